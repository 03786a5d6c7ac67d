cmake_minimum_required(VERSION 3.25)
# Fails when the ARM image holds an instruction an ARMv4T core lacks: the
# image's code, disassembled by the ARM toolchain's objdump as the newest
# ARM cores read it, may name no instruction of ARMv5 or later (blx, clz,
# bkpt, ldrd and strd, pld, the saturating and DSP arithmetic, the ARMv6
# and ARMv7 ones) and nothing undefined or unpredictable. The words that
# pc-relative loads read are constants, not code, and are passed over.
#   -DOBJDUMP=<arm-mingw32ce-objdump> -DFILE=<image>
execute_process(COMMAND ${OBJDUMP} -d -m arm ${FILE}
                OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot disassemble ${FILE}")
endif()
string(REPLACE ";" "," listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")

set(constants "")
foreach(line IN LISTS lines)
  if(line MATCHES "\tldr[a-z]*\t[^@]*\\[pc[],][^@]*@ 0x([0-9a-f]+)")
    list(APPEND constants ${CMAKE_MATCH_1})
  endif()
endforeach()

set(later "^(blx|clz|bkpt|ldrd|strd|pld|pli|q(d?add|d?sub)|sm(la[bt][bt]|law[bt]|lal[bt][bt]|ul[bt][bt]|ulw[bt]|lal?d|lsl?d|ml[as]|mul|uad|usd)|mcrr|mrrc|ldc2|stc2|mcr2|mrc2|cdp2|rev|sxt|uxt|ldrex|strex|clrex|sel|pkh|ssat|usat|cps|srs|rfe|setend|umaal|[su]h?(add|sub|asx|sax)(8|16)?|q(add|sub|asx|sax)(8|16)|usada?8|yield|wfe|wfi|sev|movw|movt|bfi|bfc|[su]bfx|rbit|dmb|dsb|isb|dbg|[su]div|mls|ldrht|strht|ldrsbt|ldrsht)")
set(faults "")
set(instructions 0)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^ *([0-9a-f]+):\t[0-9a-f]+ \t(.*)$")
    continue()
  endif()
  set(address ${CMAKE_MATCH_1})
  set(text "${CMAKE_MATCH_2}")
  if(address IN_LIST constants)
    continue()
  endif()
  math(EXPR instructions "${instructions} + 1")
  string(REGEX MATCH "^[a-z0-9.]+" mnemonic "${text}")
  if(text MATCHES "UNDEFINED|UNPREDICTABLE" OR mnemonic MATCHES "${later}")
    string(APPEND faults "  ${address}: ${text}\n")
  endif()
endforeach()

if(instructions EQUAL 0)
  message(FATAL_ERROR "${FILE}: no code found")
endif()
if(faults)
  message(FATAL_ERROR "${FILE} holds code an ARMv4T core cannot run:\n${faults}")
endif()
list(LENGTH constants count)
message(STATUS "${FILE}: ${instructions} instructions, all ARMv4T; ${count} constants passed over")
