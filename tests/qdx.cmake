# The unit tests run the `bramble` tool; under Wine the jukebox host's tag and
# information-block checks run against streams the native `qdxembed` makes.
if(NOT WIN32 AND TARGET bramble)
  add_dependencies(bramble_tests bramble)
endif()

if(WIN32)
  # The plug-in's entry points linked into the test program itself, so that
  # the test shares the tag module's pending tag with the Stop entry point.
  add_executable(bramble_tags_win_tests ${CMAKE_CURRENT_SOURCE_DIR}/win_tags/test_tags_win.cpp
                 ${CMAKE_CURRENT_SOURCE_DIR}/win/WinHarness.cpp ${CMAKE_CURRENT_SOURCE_DIR}/win/TestWatchdog.cpp
                 ${CMAKE_SOURCE_DIR}/plugin/Module.cpp)
  target_include_directories(bramble_tags_win_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(bramble_tags_win_tests PRIVATE bramble_plugin_core bramble_ui bramble_config
                        ${BRAMBLE_GTEST} psapi)
  # The message box needs a display: Xvfb unless one exists.
  add_test(NAME win_tags COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/dialogs/run_dialog_tests.sh
                                 $<TARGET_FILE:bramble_tags_win_tests>)
  set_tests_properties(win_tags PROPERTIES RESOURCE_LOCK wine_host TIMEOUT 300 SKIP_RETURN_CODE 77)

  set(BRAMBLE_NATIVE_BIN ${CMAKE_SOURCE_DIR}/build/native/bin CACHE PATH "bin/ of a native build (for identity checks)")
  # Titles from stored orders and information blocks through jukebox.exe,
  # against the native tools' streams and output.
  add_test(NAME win_tags_qdx
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/tags_qdx_checks.sh
                   ${CMAKE_BINARY_DIR}/bin ${BRAMBLE_NATIVE_BIN} ${CMAKE_SOURCE_DIR})
  set_tests_properties(win_tags_qdx PROPERTIES RESOURCE_LOCK wine_host TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()
