# The two MinGW builds of the DLL (and, for x86_64, the stand-in host and the
# Wine tests) as sub-builds of this tree, then the tests that run them.
include(ExternalProject)
foreach(arch x86_64 i686)
  ExternalProject_Add(mingw-${arch}
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/${arch}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/toolchain-${arch}.cmake
               -DCMAKE_BUILD_TYPE=${HUESCOPE_DLL_BUILD_TYPE}
               -DHUESCOPE_ARCH=${arch}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
endforeach()

set(WIN64_DIR ${CMAKE_BINARY_DIR}/x86_64)
set(WIN32_DIR ${CMAKE_BINARY_DIR}/i686)

# Export tables and imports of both DLLs.
foreach(arch x86_64 i686)
  add_test(NAME exports.${arch}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-exports ${arch}-w64-mingw32-objdump ${CMAKE_BINARY_DIR}/${arch}/Huescope.dll)
  set_tests_properties(exports.${arch} PROPERTIES LABELS exports TIMEOUT 60)
endforeach()

# Wine: one prefix per build tree and one wineserver and Xvfb display for the
# whole run, started and stopped by fixtures.
set(WINE_ENV ${CMAKE_BINARY_DIR}/wine)
add_test(NAME wine.start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env start ${WINE_ENV})
add_test(NAME wine.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env stop ${WINE_ENV})
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120 LABELS wine)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60 LABELS wine)

add_test(NAME wine.refusal
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env run ${WINE_ENV} ${WIN64_DIR}/tests/refusal/refusal.exe)
set_tests_properties(wine.refusal PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT 120 RESOURCE_LOCK wine)

# Each Wine test file is its own executable, named Quillpost.exe in a folder
# of its own (the plug-in binds to the executable of that name).
file(GLOB WINE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
foreach(src ${WINE_TEST_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_test(NAME wine.${name}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env run ${WINE_ENV}
            ${WIN64_DIR}/tests/${name}/Quillpost.exe)
  set_tests_properties(wine.${name} PROPERTIES FIXTURES_REQUIRED wine LABELS wine TIMEOUT 240 RESOURCE_LOCK wine)
endforeach()
