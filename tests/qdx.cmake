# The unit tests run the `bramble` tool.
if(NOT WIN32 AND TARGET bramble)
  add_dependencies(bramble_tests bramble)
endif()
