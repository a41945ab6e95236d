# Windows tests: GoogleTest programs run through Wine (tools/winerun).
add_executable(standin WIN32 tests/win/standin.cpp)

set(FIXTURES ${CMAKE_CURRENT_BINARY_DIR}/fixtures)
add_custom_command(OUTPUT ${FIXTURES}/good.pv
    COMMAND ${CMAKE_SOURCE_DIR}/tests/win/make_fixtures.sh $<TARGET_FILE:standin> ${FIXTURES}
    DEPENDS standin ${CMAKE_SOURCE_DIR}/tests/win/make_fixtures.sh)
add_custom_target(win_fixtures ALL DEPENDS ${FIXTURES}/good.pv)

add_library(wintestlib STATIC tests/win/boxwatch.cpp tests/win/distfolder.cpp tests/win/testwindow.cpp)
target_include_directories(wintestlib PUBLIC tests/win res)
target_link_libraries(wintestlib PUBLIC ${WIN_LIBS})

add_executable(setup_harness tests/win/setup_harness.cpp src/unzip/alloc.cpp res/setup.rc)
target_link_libraries(setup_harness PRIVATE pvsetup wintestlib)

add_executable(test_sequence tests/win/test_sequence.cpp)
target_link_libraries(test_sequence PRIVATE wintestlib gtest_main)
add_dependencies(test_sequence setup_harness win_fixtures)
add_test(NAME win.sequence COMMAND test_sequence)

# The string loader and window placement, with a string table of their own.
add_executable(test_strings tests/win/test_strings.cpp tests/win/strings_test.rc src/unzip/alloc.cpp)
target_link_libraries(test_strings PRIVATE pvsetup wintestlib gtest_main)
add_test(NAME win.strings COMMAND test_strings)

# Dialog 100 driven in-process over a distribution folder of its own.
add_executable(test_installdir tests/win/test_installdir.cpp tests/win/testenv.cpp
    src/unzip/alloc.cpp res/setup.rc)
target_link_libraries(test_installdir PRIVATE pvsetup wintestlib gtest_main)
add_dependencies(test_installdir setup_harness win_fixtures)
add_test(NAME win.installdir COMMAND test_installdir)

# The add-on release and the default folder change winfile.ini and win.ini
# and open a File Manager window, which whole setup runs in the shared
# prefix would meet: they run in a Wine prefix of their own.
set(SETTINGS_PREFIX ${CMAKE_BINARY_DIR}/wineprefix-settings)
add_executable(test_addon tests/win/test_addon.cpp tests/win/testenv.cpp
    src/unzip/alloc.cpp res/setup.rc)
target_link_libraries(test_addon PRIVATE pvsetup wintestlib gtest_main)
add_test(NAME win.addon COMMAND test_addon)
set_tests_properties(win.addon PROPERTIES
    ENVIRONMENT "WINEPREFIX32=${SETTINGS_PREFIX};WINEPREFIX64=${SETTINGS_PREFIX}")

add_executable(test_defaultdir tests/win/test_defaultdir.cpp tests/win/testenv.cpp
    src/unzip/alloc.cpp)
target_link_libraries(test_defaultdir PRIVATE pvsetup gtest_main)
add_test(NAME win.defaultdir COMMAND test_defaultdir)
set_tests_properties(win.defaultdir PROPERTIES
    ENVIRONMENT "WINEPREFIX32=${SETTINGS_PREFIX};WINEPREFIX64=${SETTINGS_PREFIX}")

# The meter, the progress dialog and the loose-file pass, driven in-process.
add_executable(test_meter tests/win/test_meter.cpp)
target_link_libraries(test_meter PRIVATE pvsetup gtest_main)
add_test(NAME win.meter COMMAND test_meter)

add_executable(test_progress tests/win/test_progress.cpp tests/win/progressdlg.cpp
    src/unzip/alloc.cpp res/setup.rc)
target_link_libraries(test_progress PRIVATE pvsetup wintestlib gtest_main)
add_test(NAME win.progress COMMAND test_progress)

add_executable(test_sourcefiles tests/win/test_sourcefiles.cpp tests/win/progressdlg.cpp
    src/unzip/alloc.cpp res/setup.rc)
target_link_libraries(test_sourcefiles PRIVATE pvsetup wintestlib gtest_main)
add_dependencies(test_sourcefiles win_fixtures)
add_test(NAME win.sourcefiles COMMAND test_sourcefiles)

# Whole runs with dialog 300; the picture taken half way is kept as PNG.
add_executable(test_run tests/win/test_run.cpp tests/win/progressdlg.cpp
    src/unzip/alloc.cpp res/setup.rc)
target_link_libraries(test_run PRIVATE pvsetup wintestlib gtest_main)
add_dependencies(test_run setup_harness win_fixtures)
add_test(NAME win.run COMMAND test_run)
set_tests_properties(win.run PROPERTIES FIXTURES_SETUP run_picture)
add_test(NAME win.run.picture COMMAND convert ${CMAKE_CURRENT_BINARY_DIR}/progress-mid-run.bmp
    ${CMAKE_CURRENT_BINARY_DIR}/progress-mid-run.png)
set_tests_properties(win.run.picture PROPERTIES FIXTURES_REQUIRED run_picture)

# The demo's File Manager whose add-on stays loaded, for dialog 200.
add_executable(fmstandin WIN32 tests/win/fmstandin.cpp)
