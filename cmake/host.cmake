# Host build: the extraction engine on Linux against our POSIX layer, with its
# tests under AddressSanitizer and UndefinedBehaviorSanitizer.
option(PV_SANITIZE "Build with ASan and UBSan" ON)
if(PV_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

add_executable(rcstrings tools/rcstrings.cpp)

# The string table: one source, res/setup.rc, for both builds. Sets VAR to
# the generated source, which each program compiles with its own sources.
function(pv_string_table var script)
    get_filename_component(stem ${script} NAME_WE)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/strings_${stem}.cpp)
    add_custom_command(OUTPUT ${out}
        COMMAND rcstrings ${CMAKE_SOURCE_DIR}/res/resource.h ${script} ${out}
        DEPENDS rcstrings ${CMAKE_SOURCE_DIR}/res/resource.h ${script})
    set(${var} ${out} PARENT_SCOPE)
endfunction()

add_library(posixwin STATIC posix/files.cpp posix/times.cpp posix/text.cpp posix/window.cpp)
target_include_directories(posixwin PUBLIC posix)

pv_string_table(PV_STRINGS ${CMAKE_SOURCE_DIR}/res/setup.rc)

add_library(pvengine STATIC ${ENGINE_SOURCES})
target_include_directories(pvengine PUBLIC src/unzip src/setup res)
target_link_libraries(pvengine PUBLIC posixwin)

add_executable(pvunzip tools/pvunzip/pvunzip.cpp tools/pvunzip/console.cpp src/unzip/alloc.cpp
               ${PV_STRINGS})
target_link_libraries(pvunzip PRIVATE pvengine)

include(tests/host/tests.cmake OPTIONAL)

option(PV_BENCH "Build the benchmarks" OFF)
if(PV_BENCH)
    include(bench/bench.cmake)
endif()
