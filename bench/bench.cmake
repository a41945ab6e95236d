# Benchmarks (the "bench" preset: optimised, no sanitizers). The engine beside
# zlib with Google Benchmark; whole processes with bench/hyperfine.sh.
find_package(benchmark REQUIRED)
find_package(ZLIB REQUIRED)

add_executable(bench_engine bench/bench_engine.cpp tests/host/zipwriter.cpp src/unzip/alloc.cpp
               ${PV_STRINGS})
target_include_directories(bench_engine PRIVATE tests/host)
target_link_libraries(bench_engine PRIVATE pvengine benchmark::benchmark ZLIB::ZLIB)
