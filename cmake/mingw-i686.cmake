# Cross build for the 32-bit Windows ABI the handheld's applets share; the
# result runs under 32-bit Wine, which plays the handheld.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL      ${MINGW_TRIPLET}-dlltool)
set(CMAKE_OBJDUMP      ${MINGW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# How a Control Panel module links with this toolchain
# (cmake/ControlPanelModule.cmake): the compiler driver is told to add no
# C runtime or start files, and libgcc serves ___chkstk_ms and 64-bit
# division.
set(KBD_CPL_ENTRY _DllMain@12)
set(KBD_CPL_DRIVER_OPTIONS -nostdlib -nostartfiles)
set(KBD_CPL_RUNTIME gcc)
# The resource script is preprocessed by the C compiler, for its headers.
set(KBD_RC_PREPROCESSOR ${CMAKE_C_COMPILER} -E -P -xc)
