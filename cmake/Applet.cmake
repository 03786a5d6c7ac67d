set(KBD_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

# How the applet's own code is compiled: the handheld compiler's dialect
# (C++03, no exceptions, RTTI or standard library) and nothing the device's
# system libraries do not provide. The second compiler's check reads these
# same flags from the build's compile commands.
set(KBD_APPLET_COMPILE_OPTIONS
  -std=c++03 -pedantic -Wall -Wextra -Werror
  -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-ident
  -ffunction-sections -fdata-sections)

# Every file of the applet's own, for checks that other builds of it (the
# device kit, a second compiler) see the same sources.
function(kbd_applet_sources)
  foreach(source IN LISTS ARGN)
    get_filename_component(path ${source} ABSOLUTE)
    set_property(GLOBAL APPEND PROPERTY KBD_APPLET_SOURCES ${path})
  endforeach()
endfunction()

# One room of the applet: its folder is its include path, and whoever links
# it sees that folder too. No CXX_STANDARD or CXX_EXTENSIONS here: either
# would make CMake add its own -std after ours.
function(kbd_applet_library name)
  add_library(${name} STATIC ${ARGN})
  kbd_applet_sources(${ARGN})
  target_compile_options(${name} PRIVATE ${KBD_APPLET_COMPILE_OPTIONS})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC coredll_import)
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/ControlPanelModule.cmake)

# An import library for one of the handheld's system DLLs, from the .def that
# also builds its stand-in. The .def names the x86 exports with their
# stdcall decorations, which the x86 objects call; ARM has none, so the
# ARM image's library is made from the names alone.
function(kbd_import_library name def)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${name}.a)
  if(KBD_IMPORTS_UNDECORATED)
    set(plain ${CMAKE_CURRENT_BINARY_DIR}/${name}.def)
    file(READ ${def} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    string(REGEX REPLACE "[ \t]*=[^\n]*" "" text "${text}")
    file(WRITE ${plain} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    set(def ${plain})
  endif()
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_DLLTOOL} -d ${def} -l ${lib} -k
    DEPENDS ${def}
    COMMENT "Import library for ${name}")
  add_custom_target(${name}_import_lib DEPENDS ${lib})
  add_library(${name}_import INTERFACE)
  add_dependencies(${name}_import ${name}_import_lib)
  target_link_libraries(${name}_import INTERFACE ${lib})
endfunction()
