# MinGW side: Huescope.dll, the stand-in host Quillpost.exe, and (x86_64) the
# Wine integration tests.
set(WIN_FLAGS -Wall -Wextra -fexec-charset=CP932 -finput-charset=UTF-8)
set(STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
set(SYSTEM_LIBS comctl32 comdlg32 imm32 gdi32 user32 kernel32)

add_library(Huescope SHARED ${HUESCOPE_ALL_SOURCES}
  ${CMAKE_SOURCE_DIR}/src/shell/huescope.rc ${CMAKE_SOURCE_DIR}/src/shell/Huescope.def)
set_target_properties(Huescope PROPERTIES PREFIX "" OUTPUT_NAME Huescope)
target_include_directories(Huescope PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(Huescope PRIVATE ${WIN_FLAGS})
target_compile_definitions(Huescope PRIVATE WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0500)
# stdcall-fixup lets the .def name the undecorated i686 symbols.
# The static runtime brings its debug sections along; a release ships without
# them (the DLL is less than half the size).
target_link_options(Huescope PRIVATE ${STATIC_RUNTIME} -Wl,--enable-stdcall-fixup
                    $<$<CONFIG:Release>:-s>)
target_link_libraries(Huescope PRIVATE ${SYSTEM_LIBS})
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/shell/huescope.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/src/settings/sheet/pages.rc;${CMAKE_SOURCE_DIR}/src/shell/resource.h")

# Puts Huescope.dll beside a program's Quillpost.exe in dir, copied again
# whenever the DLL is relinked. (A POST_BUILD step of the program would run
# only when the program itself is relinked, and leave an old DLL beside it.)
function(place_plugin_beside program dir)
  add_custom_command(OUTPUT ${dir}/Huescope.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Huescope> ${dir}/Huescope.dll
    DEPENDS Huescope)
  add_custom_target(${program}_plugin ALL DEPENDS ${dir}/Huescope.dll)
  add_dependencies(${program} ${program}_plugin)
endfunction()

include(cmake/host.cmake)
include(cmake/wine_tests.cmake)
include(cmake/e2e_timing.cmake)
