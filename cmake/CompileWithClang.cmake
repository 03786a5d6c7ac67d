# Compiles each of the applet's C++ sources with clang as well, in the
# device compiler's dialect, and fails on any warning: a second compiler
# finds what the first lets through.
#   -DCLANG=... -DROOT=<source tree> -DSOURCES=<list>
foreach(source IN LISTS SOURCES)
  if(NOT source MATCHES "\\.cpp$")
    continue()
  endif()
  execute_process(
    COMMAND ${CLANG} --target=i686-w64-mingw32 -std=c++03 -pedantic -Wall -Wextra -Werror
            -fno-exceptions -fno-rtti -DUNICODE -D_UNICODE
            -I${ROOT} -I${ROOT}/platform/include -c ${source} -o /dev/null
    RESULT_VARIABLE failed
    OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(failed)
    message(FATAL_ERROR "clang: ${source}\n${output}")
  endif()
  message(STATUS "clang: ${source}: clean")
endforeach()
