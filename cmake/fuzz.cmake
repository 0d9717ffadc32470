# The fuzz targets need clang; they are built in a sub-build of their own and
# each runs for a bounded time as a test. FUZZ_SECONDS sets the time per target.
include(ExternalProject)
set(FUZZ_SECONDS 8 CACHE STRING "seconds each fuzz target runs inside the test suite")
find_program(CLANGXX NAMES clang++ clang++-14)
if(NOT CLANGXX)
  message(WARNING "clang++ not found: fuzz targets are not built")
  return()
endif()
ExternalProject_Add(fuzzers
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
  CMAKE_ARGS -DHUESCOPE_FUZZ=ON -DCMAKE_CXX_COMPILER=${CLANGXX} -DCMAKE_C_COMPILER=clang -DCMAKE_BUILD_TYPE=RelWithDebInfo
  BUILD_ALWAYS ON
  INSTALL_COMMAND "")
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(src ${FUZZ_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  set(corpus ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
  add_test(NAME fuzz.${name}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/run-fuzzer ${CMAKE_BINARY_DIR}/fuzz/${name} ${corpus} ${FUZZ_SECONDS})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endforeach()
