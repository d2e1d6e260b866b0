# The streaming library's test program, run under Wine against local servers
# that tests/net/run_streaming_tests.sh starts and stops.
if(WIN32)
  add_executable(streaming_test ${CMAKE_CURRENT_LIST_DIR}/net/streaming_test.cpp ${CMAKE_CURRENT_LIST_DIR}/win/TestWatchdog.cpp)
  target_compile_definitions(streaming_test PRIVATE _WIN32_WINNT=0x0600)
  target_link_libraries(streaming_test PRIVATE ${BRAMBLE_GTEST} user32 advapi32)
  add_dependencies(streaming_test Tolquin)
  add_test(NAME streaming
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/net/run_streaming_tests.sh
                   $<TARGET_FILE:streaming_test> ${CMAKE_BINARY_DIR}/streaming_net ${BRAMBLE_SHARED})
  set_tests_properties(streaming PROPERTIES TIMEOUT 300)
endif()
