# The end-to-end timing program: the stand-in host with timings of its own,
# built as Quillpost.exe in bench-e2e/ with the DLL beside it.
add_executable(e2e_timing ${CMAKE_SOURCE_DIR}/bench/e2e/timing_main.cpp)
set_target_properties(e2e_timing PROPERTIES OUTPUT_NAME Quillpost RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench-e2e)
target_compile_options(e2e_timing PRIVATE ${WIN_FLAGS} -O2)
target_link_options(e2e_timing PRIVATE ${STATIC_RUNTIME} ${CMAKE_BINARY_DIR}/host.def)
target_link_libraries(e2e_timing PRIVATE quillpost_host)
place_plugin_beside(e2e_timing ${CMAKE_BINARY_DIR}/bench-e2e)
