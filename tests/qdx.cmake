# QDX information blocks end to end: `bramble qdx` against the blocks the
# stream maker of tools/ plants, and under Wine the jukebox host's
# notifications for the same streams (made by the native `qdxembed`).
# The unit tests run the command-line tool on the streams they make.
if(NOT WIN32 AND TARGET bramble)
  add_dependencies(bramble_tests bramble)
endif()
