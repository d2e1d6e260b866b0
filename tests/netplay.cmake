# The network tests, run under Wine against local servers that
# tests/net/run_net_tests.sh starts: the plug-in's stream branch (netplay_test
# beside a scripted Plugins\Tolquin.DLL built from the same source, then
# jukebox.exe with the real library) and the streaming library's smoke test.
if(WIN32)
  set(NETPLAY_DIR ${CMAKE_BINARY_DIR}/netplay)
  add_library(FakeTolquin SHARED ${CMAKE_CURRENT_LIST_DIR}/net/netplay_test.cpp)
  target_compile_definitions(FakeTolquin PRIVATE BRAMBLE_FAKE_STREAMING)
  target_link_libraries(FakeTolquin PRIVATE bramble_abi)
  set_target_properties(FakeTolquin PROPERTIES PREFIX "" OUTPUT_NAME Tolquin SUFFIX ".DLL"
                        RUNTIME_OUTPUT_DIRECTORY ${NETPLAY_DIR}/Plugins ARCHIVE_OUTPUT_DIRECTORY ${NETPLAY_DIR}/lib)
  add_executable(netplay_test ${CMAKE_CURRENT_LIST_DIR}/net/netplay_test.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/win/WinHarness.cpp ${CMAKE_CURRENT_LIST_DIR}/win/TestWatchdog.cpp)
  target_compile_definitions(netplay_test PRIVATE ${BRAMBLE_TEST_DEFINES})
  target_link_libraries(netplay_test PRIVATE bramble_abi bramble_config ${BRAMBLE_GTEST} user32 psapi)
  set_target_properties(netplay_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${NETPLAY_DIR})
  # The plug-in beside the program, copied again whenever it is rebuilt.
  add_custom_command(OUTPUT ${NETPLAY_DIR}/BramblecotMp3.dll DEPENDS BramblecotMp3
                     COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:BramblecotMp3> ${NETPLAY_DIR}/)
  add_custom_target(netplay_plugin ALL DEPENDS ${NETPLAY_DIR}/BramblecotMp3.dll)
  add_dependencies(netplay_test FakeTolquin netplay_plugin jukebox Tolquin)
  add_test(NAME netplay COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/net/run_net_tests.sh ${CMAKE_BINARY_DIR}/netplay_net
                                ${BRAMBLE_SHARED} $<TARGET_FILE:netplay_test> ${CMAKE_BINARY_DIR}/bin)

  add_executable(streaming_test ${CMAKE_CURRENT_LIST_DIR}/net/streaming_test.cpp ${CMAKE_CURRENT_LIST_DIR}/win/TestWatchdog.cpp)
  target_compile_definitions(streaming_test PRIVATE _WIN32_WINNT=0x0600)
  target_link_libraries(streaming_test PRIVATE ${BRAMBLE_GTEST} user32 advapi32)
  add_dependencies(streaming_test Tolquin)
  add_test(NAME streaming COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/net/run_net_tests.sh ${CMAKE_BINARY_DIR}/streaming_net
                                  ${BRAMBLE_SHARED} $<TARGET_FILE:streaming_test>)
  set_tests_properties(netplay streaming PROPERTIES RESOURCE_LOCK wine_host TIMEOUT 300)
endif()
