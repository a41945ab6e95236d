# Host tests: the engine natively, under the sanitizers.
find_package(ZLIB REQUIRED)
