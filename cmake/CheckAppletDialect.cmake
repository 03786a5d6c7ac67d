cmake_minimum_required(VERSION 3.25)
# Checks that each of the applet's C++ sources reaches gcc as C++03 (the
# last -std on its command line wins), then compiles it again with clang
# from the same command, failing on any warning: a second compiler finds
# what the first lets through.
#   -DCLANG=... -DCOMMANDS=<compile_commands.json> -DSOURCES=<list>
file(READ ${COMMANDS} commands)
string(JSON count LENGTH "${commands}")
math(EXPR last "${count} - 1")
set(checked "")
foreach(i RANGE ${last})
  string(JSON source GET "${commands}" ${i} file)
  if(NOT source IN_LIST SOURCES OR source IN_LIST checked)
    continue()
  endif()
  list(APPEND checked ${source})
  string(JSON directory GET "${commands}" ${i} directory)
  string(JSON command GET "${commands}" ${i} command)
  separate_arguments(arguments UNIX_COMMAND "${command}")

  set(standard "")
  set(clang_arguments "")
  set(skip_next FALSE)
  list(POP_FRONT arguments compiler)
  foreach(argument IN LISTS arguments)
    if(skip_next)
      set(skip_next FALSE)
    elseif(argument MATCHES "^-(o|MF|MT)$")
      set(skip_next TRUE)
    elseif(argument STREQUAL "-MD")
    else()
      if(argument MATCHES "^-std=(.*)")
        set(standard ${CMAKE_MATCH_1})
      endif()
      list(APPEND clang_arguments ${argument})
    endif()
  endforeach()
  if(NOT standard STREQUAL "c++03")
    message(FATAL_ERROR "${source} is compiled as '${standard}', not c++03:\n${command}")
  endif()

  execute_process(
    COMMAND ${CLANG} --target=i686-w64-mingw32 ${clang_arguments} -o /dev/null
    WORKING_DIRECTORY ${directory}
    RESULT_VARIABLE failed
    OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(failed)
    message(FATAL_ERROR "clang: ${source}\n${output}")
  endif()
  message(STATUS "${source}: c++03, clang clean")
endforeach()

set(missing "")
foreach(source IN LISTS SOURCES)
  if(source MATCHES "\\.cpp$" AND NOT source IN_LIST checked)
    list(APPEND missing ${source})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "no compile command for ${missing}")
endif()
