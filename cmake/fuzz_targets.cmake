# One libFuzzer executable per tests/fuzz/fuzz_*.cpp, over the core built
# with the same instrumentation.
set(FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g -O1)
add_library(huescope_core_fuzz STATIC ${HUESCOPE_CORE_SOURCES})
target_include_directories(huescope_core_fuzz PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(huescope_core_fuzz PRIVATE ${FUZZ_FLAGS})
file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(src ${FUZZ_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  # The host's RTF spelling, for the targets that build pieces as the host does.
  add_executable(${name} ${src} ${CMAKE_SOURCE_DIR}/host/rtf_escape.cpp)
  target_compile_options(${name} PRIVATE ${FUZZ_FLAGS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${name} PRIVATE huescope_core_fuzz)
endforeach()
