# QDX information blocks end to end: the stream maker `qdxembed` (native,
# built on the test writer), `bramble qdx` against its planted blocks, and
# under Wine the jukebox host's notifications for the same streams.
if(NOT CMAKE_CROSSCOMPILING)
  add_executable(qdxembed ${CMAKE_SOURCE_DIR}/tools/qdxembed.cpp)
  target_link_libraries(qdxembed PRIVATE bramble_test_support)
  # The unit tests run the command-line tool on the streams they make.
  if(TARGET bramble)
    add_dependencies(bramble_tests bramble)
  endif()
endif()
