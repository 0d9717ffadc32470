# MinGW side: Huescope.dll, the stand-in host Quillpost.exe, and (x86_64) the
# Wine integration tests.
set(WIN_FLAGS -Wall -Wextra -fexec-charset=CP932 -finput-charset=UTF-8)
set(STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
set(SYSTEM_LIBS comctl32 comdlg32 imm32 gdi32 user32 kernel32)

add_library(Huescope SHARED ${HUESCOPE_ALL_SOURCES}
  ${CMAKE_SOURCE_DIR}/src/shell/huescope.rc ${CMAKE_SOURCE_DIR}/src/shell/Huescope.def)
set_target_properties(Huescope PROPERTIES PREFIX "" OUTPUT_NAME Huescope)
target_include_directories(Huescope PRIVATE ${CMAKE_SOURCE_DIR}/src)
# The plug-in throws nothing and runs on the host's one UI thread: without
# exceptions, type information and thread-safe statics it needs nothing of the
# C++ runtime, and so nothing of the posix-threads library that runtime would
# bring. The C runtime's own snprintf (wrapped to always terminate) serves
# the few numbers and keys it formats.
target_compile_options(Huescope PRIVATE ${WIN_FLAGS} -fno-exceptions -fno-rtti -fno-threadsafe-statics)
target_compile_definitions(Huescope PRIVATE WINVER=0x0501 _WIN32_WINNT=0x0501 _WIN32_IE=0x0500
                           __USE_MINGW_ANSI_STDIO=0)
# Windows XP (x64: XP x64 / Server 2003) and later: the header says so, and
# the export check holds the imports to functions these versions have.
# No C runtime start-up code either: the plug-in has no static constructors
# or destructors and no thread-local data, so DllMain itself is the entry
# point, and the DLL imports only what the plug-in calls.
if(HUESCOPE_ARCH STREQUAL "i686")
  set(oldest_minor 1)
  set(dll_entry _DllMain@12)
else()
  set(oldest_minor 2)
  set(dll_entry DllMain)
endif()
# libgcc (its 64-bit division on i686) is linked in statically; stdcall-fixup
# lets the .def name the undecorated i686 symbols; a release ships without its
# symbol table.
target_link_options(Huescope PRIVATE ${STATIC_RUNTIME} -nostartfiles -Wl,-e,${dll_entry} -Wl,--enable-stdcall-fixup
                    -Wl,--subsystem,windows:5.${oldest_minor}
                    -Wl,--major-os-version,5,--minor-os-version,${oldest_minor}
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
