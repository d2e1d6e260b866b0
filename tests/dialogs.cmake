# The dialogs, the language library and About.exe, driven as a user would
# under Wine; windows need a display, so the run goes through xvfb-run.
if(WIN32)
  file(GLOB DIALOG_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win/dialogs/*.cpp)
  add_executable(bramble_dialog_tests ${DIALOG_TEST_SOURCES} ${CMAKE_CURRENT_SOURCE_DIR}/win/WinHarness.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/win/TestWatchdog.cpp)
  target_compile_definitions(bramble_dialog_tests PRIVATE ${BRAMBLE_TEST_DEFINES})
  target_include_directories(bramble_dialog_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(bramble_dialog_tests PRIVATE bramble_ui bramble_plugin_core bramble_config comctl32
                        ${BRAMBLE_GTEST} psapi)
  add_dependencies(bramble_dialog_tests BramblecotMp3 RCENU About Tolquin)
  add_test(NAME win_dialogs
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/dialogs/run_dialog_tests.sh $<TARGET_FILE:bramble_dialog_tests>)
  set_tests_properties(win_dialogs PROPERTIES RESOURCE_LOCK wine_host TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()
if(NOT CMAKE_CROSSCOMPILING)
  add_test(NAME dialog_bitmap COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/make_bitmap.py --check
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
endif()
