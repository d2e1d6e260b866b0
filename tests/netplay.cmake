# Network-stream playback through the plug-in: a test program with a
# scripted streaming library in a folder of its own (the plug-in loads
# Plugins\Tolquin.DLL from beside the program), and jukebox.exe against
# servers on 127.0.0.1 that tests/net/run_netplay_tests.sh starts and stops.
if(WIN32)
  set(NETPLAY_DIR ${CMAKE_BINARY_DIR}/netplay)
  add_library(FakeTolquin SHARED ${CMAKE_CURRENT_LIST_DIR}/net/FakeTolquin.cpp)
  target_include_directories(FakeTolquin PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(FakeTolquin PRIVATE bramble_abi)
  set_target_properties(FakeTolquin PROPERTIES PREFIX "" OUTPUT_NAME Tolquin SUFFIX ".DLL"
                        RUNTIME_OUTPUT_DIRECTORY ${NETPLAY_DIR}/Plugins ARCHIVE_OUTPUT_DIRECTORY ${NETPLAY_DIR}/lib)

  add_executable(netplay_test ${CMAKE_CURRENT_LIST_DIR}/net/netplay_test.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/win/WinHarness.cpp ${CMAKE_CURRENT_LIST_DIR}/win/TestWatchdog.cpp)
  target_compile_definitions(netplay_test PRIVATE ${BRAMBLE_TEST_DEFINES})
  target_include_directories(netplay_test PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(netplay_test PRIVATE bramble_config ${BRAMBLE_GTEST} user32 psapi)
  set_target_properties(netplay_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${NETPLAY_DIR})
  # The plug-in beside the program, copied again whenever it is rebuilt.
  add_custom_command(OUTPUT ${NETPLAY_DIR}/BramblecotMp3.dll
                     COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:BramblecotMp3> ${NETPLAY_DIR}/
                     DEPENDS BramblecotMp3)
  add_custom_target(netplay_plugin ALL DEPENDS ${NETPLAY_DIR}/BramblecotMp3.dll)
  add_dependencies(netplay_test FakeTolquin netplay_plugin jukebox Tolquin)

  add_test(NAME netplay
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/net/run_netplay_tests.sh ${CMAKE_BINARY_DIR}/bin
                   ${CMAKE_BINARY_DIR}/netplay_net ${BRAMBLE_SHARED} $<TARGET_FILE:netplay_test>)
  set_tests_properties(netplay PROPERTIES RESOURCE_LOCK wine_host TIMEOUT 400)
endif()
