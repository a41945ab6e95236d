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
endif()
