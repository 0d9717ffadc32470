# Benchmarks of the platform-free core. They link a copy of the core of their
# own, optimised and without sanitizers: the sanitized huescope_core would
# measure the instrumentation, not the code the DLL ships.
# They are not part of the test suite, apart from one short run that fails
# when a benchmark breaks (its sample no longer matching, a crash).
find_package(benchmark REQUIRED)

set(HUESCOPE_BENCH_FLAGS -O2 -g -fno-omit-frame-pointer)

add_library(huescope_core_bench STATIC ${HUESCOPE_CORE_SOURCES})
target_include_directories(huescope_core_bench PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(huescope_core_bench PRIVATE -Wall -Wextra ${HUESCOPE_BENCH_FLAGS})

add_executable(huescope_bench ${CMAKE_SOURCE_DIR}/bench/core_bench.cpp
               ${CMAKE_SOURCE_DIR}/host/rtf_escape.cpp)
target_compile_options(huescope_bench PRIVATE -Wall -Wextra ${HUESCOPE_BENCH_FLAGS})
target_link_libraries(huescope_bench PRIVATE huescope_core_bench benchmark::benchmark)

add_test(NAME bench.smoke COMMAND huescope_bench --benchmark_min_time=0.01)
set_tests_properties(bench.smoke PROPERTIES LABELS bench TIMEOUT 120
                     FAIL_REGULAR_EXPRESSION "ERROR OCCURRED")
