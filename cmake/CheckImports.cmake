# Fails the build when FILE imports from any DLL but the handheld's COREDLL
# and AYGSHELL: CMake and the toolchain add Win32 libraries unasked.
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read ${FILE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  if(NOT dll MATCHES "^(COREDLL|AYGSHELL)\\.dll$")
    message(FATAL_ERROR "${FILE} imports ${dll}; the handheld has only COREDLL and AYGSHELL")
  endif()
endforeach()
