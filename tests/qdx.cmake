# The unit tests run the `bramble` tool; under Wine the jukebox host's tag and
# information-block checks run against streams the native `qdxembed` makes.
if(NOT WIN32 AND TARGET bramble)
  add_dependencies(bramble_tests bramble)
endif()
