# Windows build: SETUP.EXE and PVUNZIP.EXE for 32-bit Windows, with the C and
# C++ run-times linked in so that only system DLLs are imported.
enable_language(RC)
add_link_options(-static -static-libgcc -static-libstdc++)
set(WIN_LIBS user32 gdi32 advapi32 kernel32)

add_library(pvengine STATIC ${ENGINE_SOURCES})
target_include_directories(pvengine PUBLIC src/unzip src/setup res)

set(SETUP_SOURCES
    src/setup/globals.cpp
    src/setup/message.cpp
    src/setup/sequence.cpp
    src/setup/sourcefiles.cpp
    src/setup/progress.cpp
    src/setup/installdir.cpp
    src/setup/defaultdir.cpp
    src/setup/addon.cpp)
add_library(pvsetup STATIC ${SETUP_SOURCES} src/meter/meter.cpp)
target_include_directories(pvsetup PUBLIC src/setup src/meter res)
target_link_libraries(pvsetup PUBLIC pvengine ${WIN_LIBS})

add_executable(SETUP WIN32 src/setup/main.cpp src/unzip/alloc.cpp res/setup.rc)
target_link_libraries(SETUP PRIVATE pvsetup)

add_executable(PVUNZIP tools/pvunzip/pvunzip.cpp tools/pvunzip/console.cpp src/unzip/alloc.cpp res/setup.rc)
target_link_libraries(PVUNZIP PRIVATE pvengine ${WIN_LIBS})
set_target_properties(SETUP PVUNZIP PROPERTIES SUFFIX ".EXE")

include(tests/win/tests.cmake OPTIONAL)

# Everything so far runs under Wine; the checks below need none.
get_property(wine_tests DIRECTORY PROPERTY TESTS)
if(wine_tests)
    set_tests_properties(${wine_tests} PROPERTIES LABELS wine)
endif()
if(CMAKE_SYSTEM_PROCESSOR STREQUAL i686)
    add_test(NAME pe.setup COMMAND ${CMAKE_SOURCE_DIR}/tests/check_pe.sh $<TARGET_FILE:SETUP> gui)
    add_test(NAME pe.pvunzip COMMAND ${CMAKE_SOURCE_DIR}/tests/check_pe.sh $<TARGET_FILE:PVUNZIP> console)
endif()
