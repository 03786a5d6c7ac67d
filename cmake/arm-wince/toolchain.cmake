# Cross build of the handheld's own image: Windows CE 5.01 on 32-bit ARM.
# No packaged toolchain links one, so two real ones share the work: clang
# compiles for an ARMv4T core in ARM mode (the ARMv4I and ARMv5 handhelds
# run no Thumb-2, which is all clang's Windows ARM targets make) with the
# APCS calling convention the device's compiler uses, and GNU binutils for
# arm-mingw32ce (built by install-deps) assembles, links and converts
# resources for the arm-wince-pe target. clang writes ELF-flavoured
# assembly; the `as` beside this file translates its directives for
# GNU's COFF assembler, which clang runs through -B.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)

find_program(CMAKE_C_COMPILER NAMES clang-14 clang REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES clang++-14 clang++ REQUIRED)
set(ARM_WINCE_TARGET armv4t-unknown-linux-gnueabi)
set(CMAKE_C_COMPILER_TARGET ${ARM_WINCE_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${ARM_WINCE_TARGET})
foreach(tool ar ranlib ld objdump dlltool windres)
  string(TOUPPER ${tool} name)
  find_program(ARM_WINCE_${name} arm-mingw32ce-${tool} REQUIRED)
endforeach()
set(CMAKE_AR ${ARM_WINCE_AR})
set(CMAKE_RANLIB ${ARM_WINCE_RANLIB})
set(CMAKE_LINKER ${ARM_WINCE_LD})
set(CMAKE_OBJDUMP ${ARM_WINCE_OBJDUMP})
set(CMAKE_DLLTOOL ${ARM_WINCE_DLLTOOL})
set(CMAKE_RC_COMPILER ${ARM_WINCE_WINDRES})
# Nothing links without the image's own libraries; CMake's own checks
# compile only.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# The Windows headers are mingw-w64's, the only system headers besides
# clang's own; the rest says what the device's compiler would: Windows CE
# 5.01 on ARM, wchar_t of 2 bytes, enums of 4, char signed, no position-
# independent code, and an unaligned access is an error (the core traps).
execute_process(COMMAND ${CMAKE_C_COMPILER} -print-resource-dir
                OUTPUT_VARIABLE clang_resources OUTPUT_STRIP_TRAILING_WHITESPACE)
set(ARM_WINCE_HEADERS /usr/i686-w64-mingw32/include)
set(flags "-marm -mabi=apcs-gnu -fshort-wchar -fno-short-enums -fsigned-char -fno-pic -fno-pie \
-nostdinc -isystem ${clang_resources}/include -isystem ${ARM_WINCE_HEADERS} \
-D_WIN32 -DUNDER_CE=0x501 -D_WIN32_WCE=0x501 -DARM -D_ARM_ -fms-extensions -fdeclspec \
-fno-ident -Wcast-align -Werror=cast-align -fno-integrated-as -B${CMAKE_CURRENT_LIST_DIR}/")
set(CMAKE_C_FLAGS_INIT "${flags}")
set(CMAKE_CXX_FLAGS_INIT "${flags}")

# A module is linked by GNU ld itself, which takes LINKER: options as they
# are (cmake/ControlPanelModule.cmake).
set(CMAKE_CXX_CREATE_SHARED_MODULE
    "<CMAKE_LINKER> <LINK_FLAGS> <OBJECTS> -o <TARGET> <LINK_LIBRARIES>")
set(KBD_CPL_ENTRY DllMain)
set(KBD_CPL_DRIVER_OPTIONS "")
set(KBD_CPL_RUNTIME "")
# ARM has no stdcall decorations: import libraries from the bare names.
set(KBD_IMPORTS_UNDECORATED ON)
# The resource script is preprocessed for the same headers.
set(KBD_RC_PREPROCESSOR ${CMAKE_C_COMPILER} -E -P -xc -nostdinc -isystem ${ARM_WINCE_HEADERS})
