# Native side: the core with sanitizers, its unit tests, the fuzz targets, and
# the two MinGW builds (DLL, stand-in host, Wine tests) as external projects,
# so that one CTest run covers everything.
enable_testing()

if(HUESCOPE_FUZZ)
  # Sub-build with clang: only the libFuzzer targets.
  include(cmake/fuzz_targets.cmake)
  return()
endif()

set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(huescope_core STATIC ${HUESCOPE_CORE_SOURCES})
target_include_directories(huescope_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(huescope_core PRIVATE -Wall -Wextra ${SANITIZE})
target_link_options(huescope_core PUBLIC ${SANITIZE})

find_package(GTest REQUIRED)
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_compile_options(unit_tests PRIVATE -Wall ${SANITIZE})
target_link_libraries(unit_tests PRIVATE huescope_core GTest::gtest GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(unit_tests TEST_PREFIX "unit." DISCOVERY_TIMEOUT 60 PROPERTIES LABELS native TIMEOUT 60)
include(cmake/bench.cmake)

# HUESCOPE_NATIVE_ONLY skips the clang and MinGW sub-builds (quick core work).
set(HUESCOPE_DLL_BUILD_TYPE Release CACHE STRING "build type of the two DLL builds")
option(HUESCOPE_NATIVE_ONLY "build only the native core and its unit tests" OFF)
if(NOT HUESCOPE_NATIVE_ONLY)
  include(cmake/fuzz.cmake)
  include(cmake/cross.cmake)
endif()
