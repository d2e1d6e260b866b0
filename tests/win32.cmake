# Win32 tests of the plug-in DLL, its dialogs, the settings store and the
# jukebox host. Built in the mingw builds; run under wine64 in build/win64.
if(WIN32)
  file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win/*.cpp)
  add_executable(bramble_win_tests ${WIN_TEST_SOURCES})
  target_compile_definitions(bramble_win_tests PRIVATE ${BRAMBLE_TEST_DEFINES})
  target_include_directories(bramble_win_tests PRIVATE ${CMAKE_SOURCE_DIR})
  target_link_libraries(bramble_win_tests PRIVATE bramble_ui bramble_plugin_core bramble_config comctl32
                        ${BRAMBLE_GTEST} psapi)
  add_dependencies(bramble_win_tests BramblecotMp3 RCENU About Tolquin)
  # Tests share the registry and the host window class: never in parallel.
  # The dialogs need a display (scripts/wine-tests.sh starts Xvfb).
  add_test(NAME win_plugin COMMAND bramble_win_tests)
  set_tests_properties(win_plugin PROPERTIES RESOURCE_LOCK wine_host TIMEOUT 600)

  # Keeps Wine's desktop up between test programs (started by wine-prefix.sh).
  add_executable(desktop_keeper WIN32 ${CMAKE_CURRENT_SOURCE_DIR}/win/keeper/DesktopKeeper.cpp)

  # Reads a file's version resource back (tests/win/install/install_test.sh).
  add_executable(version_check ${CMAKE_CURRENT_SOURCE_DIR}/win/install/VersionCheck.cpp)
  target_link_libraries(version_check PRIVATE version)

  # jukebox.exe end to end: byte identity with the native decoder, and
  # information blocks against the native tools.
  set(BRAMBLE_NATIVE_BIN ${CMAKE_SOURCE_DIR}/build/native/bin CACHE PATH "bin/ of a native build (for identity checks)")
  add_test(NAME win_jukebox
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/win/jukebox_checks.sh
                   ${CMAKE_BINARY_DIR}/bin ${BRAMBLE_NATIVE_BIN} ${BRAMBLE_SHARED}/conformance ${CMAKE_SOURCE_DIR})
  set_tests_properties(win_jukebox PROPERTIES RESOURCE_LOCK wine_host TIMEOUT 600 SKIP_RETURN_CODE 77)
endif()
