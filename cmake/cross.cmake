# The two MinGW builds of the DLL (each with the stand-in host and the
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

# Export tables and imports of both DLLs.
foreach(arch x86_64 i686)
  add_test(NAME exports.${arch}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-exports ${arch}-w64-mingw32-objdump ${CMAKE_BINARY_DIR}/${arch}/Huescope.dll)
  set_tests_properties(exports.${arch} PROPERTIES LABELS exports TIMEOUT 60)
endforeach()

# The Wine suites run twice: the 64-bit build under wine64 (label wine), and
# the 32-bit build, the one the host loads, under the emulated 32-bit loader
# (label wine32). Each lane has its own prefix, wineserver and Xvfb display,
# started and stopped by a fixture; the tests of one lane run one at a time,
# while the two lanes may run side by side.
function(add_wine_lane lane arch option)
  set(env ${CMAKE_BINARY_DIR}/${lane})
  set(bin ${CMAKE_BINARY_DIR}/${arch})
  set(run ${CMAKE_SOURCE_DIR}/scripts/wine-env ${option} run ${env})
  add_test(NAME ${lane}.start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env ${option} start ${env})
  add_test(NAME ${lane}.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-env ${option} stop ${env})
  set_tests_properties(${lane}.start PROPERTIES FIXTURES_SETUP ${lane} TIMEOUT 180 LABELS ${lane})
  set_tests_properties(${lane}.stop PROPERTIES FIXTURES_CLEANUP ${lane} TIMEOUT 60 LABELS ${lane})
  set(props FIXTURES_REQUIRED ${lane} LABELS ${lane} RESOURCE_LOCK ${lane})

  add_test(NAME ${lane}.refusal COMMAND ${run} ${bin}/tests/refusal/refusal.exe)
  set_tests_properties(${lane}.refusal PROPERTIES ${props} TIMEOUT 120)
  # Each Wine test file is its own executable, named Quillpost.exe in a
  # folder of its own (the plug-in binds to the executable of that name).
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
  foreach(src ${sources})
    get_filename_component(name ${src} NAME_WE)
    add_test(NAME ${lane}.${name} COMMAND ${run} ${bin}/tests/${name}/Quillpost.exe)
    set_tests_properties(${lane}.${name} PROPERTIES ${props} TIMEOUT 480)
  endforeach()
endfunction()
add_wine_lane(wine x86_64 "")
add_wine_lane(wine32 i686 --i686)

# The demo's way on a machine without the 32-bit lane: the 64-bit host and DLL,
# said in one line, with every picture written.
add_test(NAME demo.without-wine32
  COMMAND ${CMAKE_COMMAND} -E env HUESCOPE_LANE32=hidden HUESCOPE_DEMO_OUT=${CMAKE_BINARY_DIR}/demo-check
          ${CMAKE_SOURCE_DIR}/scripts/demo)
set_tests_properties(demo.without-wine32 PROPERTIES TIMEOUT 300 LABELS demo
  PASS_REGULAR_EXPRESSION "demo: showing the 64-bit host and DLL: the 32-bit lane is hidden[^\n]*\n.*compose\\.png")
