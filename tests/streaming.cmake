# The streaming library's smoke test, run under Wine against local servers.
if(WIN32)
  add_executable(streaming_test ${CMAKE_CURRENT_LIST_DIR}/net/streaming_test.cpp ${CMAKE_CURRENT_LIST_DIR}/win/TestWatchdog.cpp)
  target_compile_definitions(streaming_test PRIVATE _WIN32_WINNT=0x0600)
  target_link_libraries(streaming_test PRIVATE ${BRAMBLE_GTEST} user32 advapi32)
  add_dependencies(streaming_test Tolquin)
  add_test(NAME streaming COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/net/run_net_tests.sh ${CMAKE_BINARY_DIR}/streaming_net
                                  ${BRAMBLE_SHARED} $<TARGET_FILE:streaming_test>)
  set_tests_properties(streaming PROPERTIES TIMEOUT 300)
endif()
