# GoogleTest cross-built from Debian's sources, and one test program per file
# under tests/wine, each named Quillpost.exe in a folder of its own, with the
# stand-in host linked in and Huescope.dll copied beside it.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

file(GLOB WINE_SUPPORT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/support/*.cpp)
add_library(wine_support STATIC ${WINE_SUPPORT_SOURCES})
target_include_directories(wine_support PUBLIC ${CMAKE_SOURCE_DIR}/tests/wine/support ${CMAKE_SOURCE_DIR}/src)
target_compile_options(wine_support PRIVATE ${WIN_FLAGS})
target_link_libraries(wine_support PUBLIC quillpost_host gtest version)

file(GLOB WINE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*_test.cpp)
foreach(src ${WINE_TEST_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  set(dir ${CMAKE_BINARY_DIR}/tests/${name})
  add_executable(${name} ${src})
  target_link_options(${name} PRIVATE ${CMAKE_BINARY_DIR}/host.def)
  set_target_properties(${name} PROPERTIES OUTPUT_NAME Quillpost RUNTIME_OUTPUT_DIRECTORY ${dir})
  target_compile_options(${name} PRIVATE ${WIN_FLAGS})
  target_link_options(${name} PRIVATE ${STATIC_RUNTIME})
  target_link_libraries(${name} PRIVATE wine_support gtest_main)
  # A test that exercises plug-in code below the entry points (the settings
  # record after loading, say) compiles that code in beside the host.
  if(EXISTS ${CMAKE_SOURCE_DIR}/tests/wine/${name}.sources)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${CMAKE_SOURCE_DIR}/tests/wine/${name}.sources)
    file(STRINGS ${CMAKE_SOURCE_DIR}/tests/wine/${name}.sources linked)
    list(TRANSFORM linked PREPEND ${CMAKE_SOURCE_DIR}/)
    target_sources(${name} PRIVATE ${linked})
  endif()
  place_plugin_beside(${name} ${dir})
endforeach()

# The refusal test runs as another program, beside a Quillpost.exe that
# lacks _ZorJisToSjis@12, so that the plug-in binds to that one.
add_host_program(quillpost_incomplete ${CMAKE_BINARY_DIR}/host_without_jistosjis.def
  ${CMAKE_BINARY_DIR}/tests/refusal ${CMAKE_SOURCE_DIR}/host/main_win.cpp)
add_executable(refusal ${CMAKE_SOURCE_DIR}/tests/wine/refusal/refusal_main.cpp)
set_target_properties(refusal PROPERTIES OUTPUT_NAME refusal RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/refusal)
target_compile_options(refusal PRIVATE ${WIN_FLAGS})
target_link_options(refusal PRIVATE ${STATIC_RUNTIME})
target_link_libraries(refusal PRIVATE wine_support gtest_main)
add_dependencies(refusal quillpost_incomplete)
place_plugin_beside(refusal ${CMAKE_BINARY_DIR}/tests/refusal)
