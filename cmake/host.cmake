# The stand-in host: a static library (host/), the Quillpost.exe program that
# runs the demo, and a second build lacking one export for the refusal test.
set(HOST_FUNCTIONS RegistCallback:8 SetTimer:12 KillTimer:4 GetMailbox:0 GetAccount:4 ImportFile:12
    MoveMail:8 MarkMail:12 DeleteMail:4 FolderGetCurrentEntry:4 FolderGetSelectEntry:8 SendGetText:8
    SendGetHeader:4 SendSetText:8 SendSetHeader:8 ViewGetText:4 ViewGetHeader:4 ViewSetText:8
    ViewGetPath:4 SjisToJis:12 JisToSjis:12)

# Writes a .def exporting "_ZorName@N" for each function, except `omit`.
function(write_host_def file omit)
  set(text "EXPORTS\n")
  foreach(entry ${HOST_FUNCTIONS})
    string(REPLACE ":" ";" parts ${entry})
    list(GET parts 0 name)
    list(GET parts 1 bytes)
    if(NOT name STREQUAL omit)
      if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
        string(APPEND text "    \"_Zor${name}@${bytes}\" = host${name}@${bytes}\n")
      else()
        string(APPEND text "    \"_Zor${name}@${bytes}\" = host${name}\n")
      endif()
    endif()
  endforeach()
  file(WRITE ${file} "${text}")
endfunction()
write_host_def(${CMAKE_BINARY_DIR}/host.def "")
write_host_def(${CMAKE_BINARY_DIR}/host_without_jistosjis.def JisToSjis)

file(GLOB HOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/*_win.cpp)
list(FILTER HOST_SOURCES EXCLUDE REGEX "main_win\\.cpp$")
list(APPEND HOST_SOURCES ${CMAKE_SOURCE_DIR}/host/rtf_escape.cpp)
add_library(quillpost_host STATIC ${HOST_SOURCES})
target_include_directories(quillpost_host PUBLIC ${CMAKE_SOURCE_DIR}/host)
target_compile_options(quillpost_host PRIVATE ${WIN_FLAGS})
target_link_libraries(quillpost_host PUBLIC ${SYSTEM_LIBS})

function(add_host_program target def dir)
  add_executable(${target} WIN32 ${ARGN})
  # A .def given to the linker exports from the executable.
  target_link_options(${target} PRIVATE ${def})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME Quillpost RUNTIME_OUTPUT_DIRECTORY ${dir})
  target_compile_options(${target} PRIVATE ${WIN_FLAGS})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/host ${CMAKE_SOURCE_DIR}/src)
  target_link_options(${target} PRIVATE ${STATIC_RUNTIME})
  target_link_libraries(${target} PRIVATE quillpost_host)
endfunction()

add_host_program(quillpost ${CMAKE_BINARY_DIR}/host.def ${CMAKE_BINARY_DIR}/host ${CMAKE_SOURCE_DIR}/host/main_win.cpp)
place_plugin_beside(quillpost ${CMAKE_BINARY_DIR}/host)
