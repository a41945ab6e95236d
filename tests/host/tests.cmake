# Host tests: the engine natively, under the sanitizers.
find_package(ZLIB REQUIRED)

# The Huffman tables and the Deflate decoder alone, over stand-in streams.
add_executable(test_inflate tests/host/test_inflate.cpp tests/host/inflate_harness.cpp
               src/unzip/huft.cpp src/unzip/inflate.cpp)
target_include_directories(test_inflate PRIVATE src/unzip src/setup res posix tests/host)
target_link_libraries(test_inflate PRIVATE gtest_main ZLIB::ZLIB)
add_test(NAME host.inflate COMMAND test_inflate)

option(PV_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(PV_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(fuzz_inflate fuzz/fuzz_inflate.cpp tests/host/inflate_harness.cpp
                   src/unzip/huft.cpp src/unzip/inflate.cpp)
    target_include_directories(fuzz_inflate PRIVATE src/unzip src/setup res posix tests/host)
    target_compile_options(fuzz_inflate PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_inflate PRIVATE -fsanitize=fuzzer)

    # The whole engine, compiled into the target so that all of it is
    # instrumented; the target brings its own heap and error box.
    set(fuzz_engine ${ENGINE_SOURCES})
    list(REMOVE_ITEM fuzz_engine src/unzip/errbox.cpp)
    add_executable(fuzz_archive fuzz/fuzz_archive.cpp ${fuzz_engine} posix/files.cpp
                   posix/times.cpp posix/text.cpp posix/window.cpp ${PV_STRINGS})
    target_include_directories(fuzz_archive PRIVATE src/unzip src/setup res posix)
    target_compile_options(fuzz_archive PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_archive PRIVATE -fsanitize=fuzzer)
endif()

# The whole engine over archives: hand-made ones, peers' ones, and pvunzip.
# The engine's heap is the tests' own (engine_harness.cpp), so that any
# allocation can be made to fail.
add_library(enginetest STATIC tests/host/engine_harness.cpp tests/host/zipwriter.cpp)
target_include_directories(enginetest PUBLIC tests/host)
target_link_libraries(enginetest PUBLIC pvengine gtest ZLIB::ZLIB)

add_executable(test_engine tests/host/test_walker.cpp tests/host/test_frame.cpp ${PV_STRINGS})
target_link_libraries(test_engine PRIVATE enginetest gtest_main)
add_test(NAME host.engine COMMAND test_engine)

add_executable(test_peers tests/host/test_peers.cpp ${PV_STRINGS})
target_link_libraries(test_peers PRIVATE enginetest gtest_main)
add_test(NAME host.peers COMMAND test_peers)

add_executable(test_pvunzip tests/host/test_pvunzip.cpp ${PV_STRINGS})
target_link_libraries(test_pvunzip PRIVATE enginetest gtest_main)
target_compile_definitions(test_pvunzip PRIVATE PVUNZIP_PATH="$<TARGET_FILE:pvunzip>")
add_dependencies(test_pvunzip pvunzip)
add_test(NAME host.pvunzip COMMAND test_pvunzip)
