cmake_minimum_required(VERSION 3.25)
# Reads keyboard.cab back with tools we did not write, as a handheld's
# wceload would take it: cabextract lists and extracts it (the setup file
# first, then the image), the image in it is byte for byte the signed ARM
# image, and wince_info reads the setup file: the names Remove Programs
# shows, the processor, the Windows CE versions, where keyboard.cpl goes,
# and the four settings at their defaults, each kept when the device has
# it already.
#   -DCAB=<keyboard.cab> -DIMAGE=<signed keyboard.cpl> -DWORK=<folder>
set(failures "")
function(expect what text)
  string(FIND "${output}" "${text}" at)
  if(at LESS 0)
    set(failures "${failures}${what}: no \"${text}\"\n" PARENT_SCOPE)
  endif()
endfunction()

execute_process(COMMAND cabextract -l ${CAB} OUTPUT_VARIABLE listing RESULT_VARIABLE failed
                ERROR_QUIET)
string(REGEX MATCHALL "\\| [A-Z0-9~]+\\.[0-9][0-9][0-9]" names "${listing}")
if(failed OR NOT names STREQUAL "| KEYBOARD.000;| KEYBOARD.001")
  string(APPEND failures "cabextract lists ${names}, not KEYBOARD.000 then KEYBOARD.001\n")
endif()

file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND cabextract -q -d ${WORK} ${CAB} OUTPUT_QUIET ERROR_QUIET)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/KEYBOARD.001 ${IMAGE}
                RESULT_VARIABLE differs)
if(differs)
  string(APPEND failures "KEYBOARD.001 is not the signed ARM image\n")
endif()

execute_process(COMMAND wince_info ${WORK}/KEYBOARD.000 OUTPUT_VARIABLE output ERROR_QUIET)
expect("the application" "app name     = Keyboard\n")
expect("the provider" "provider     = Ormadi\n")
expect("the processor" "architecture = StrongARM (2577)\n")
expect("the oldest Windows CE" "min WinCE v. = 5.1\n")
expect("the newest Windows CE" "max WinCE v. = 5.99\n")
expect("the file" "f01: \\Windows\\keyboard.cpl\n       unknown=1 flags=0x40000002\n")
expect("the settings key" "h01: HKEY_LOCAL_MACHINE\\Software\\Ormadi\\KEYBOARD\n")
set(key "hive=HKEY_LOCAL_MACHINE\\Software\\Ormadi\\KEYBOARD\n")
expect("InitalDelay" "k01: ${key}       name=<<InitalDelay>> subst=0 flags=0x00010003\n       [DWORD] 000000dc (220)\n")
expect("RepeatDelay" "k02: ${key}       name=<<RepeatDelay>> subst=0 flags=0x00010003\n       [DWORD] 00000064 (100)\n")
expect("KeyLight" "k03: ${key}       name=<<KeyLight>> subst=0 flags=0x00010003\n       [DWORD] 00000001 (1)\n")
expect("KeyLightDelay" "k04: ${key}       name=<<KeyLightDelay>> subst=0 flags=0x00010003\n       [DWORD] 00001388 (5000)\n")
expect("the counts: 4 strings, a directory, a file, a hive, 4 values, no links"
       "counts       = 4,1,1,1,4,0\n")

if(failures)
  message(FATAL_ERROR "${failures}\nwince_info says:\n${output}")
endif()
message(STATUS "keyboard.cab holds the signed ARM image and its setup file:\n${output}")
