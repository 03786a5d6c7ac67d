# How a Control Panel module for the handheld is made, with either
# toolchain (mingw-w64 for the x86 twin, GNU binutils for the ARM image):
# linked as the handheld links it, with no C runtime and the header of a
# Windows CE 5.01 image, checked to import nothing but COREDLL and AYGSHELL,
# and signed with the build's development test certificate.
#
# Each toolchain file says what differs: KBD_CPL_ENTRY (the entry's symbol),
# KBD_CPL_DRIVER_OPTIONS and KBD_CPL_RUNTIME (what a compiler driver needs
# told, and the compiler's helper library), and how LINKER: options reach
# its linker.

# A development test certificate of the build's own, made once when the
# build tree is configured and never committed; device makers sign with
# their privileged certificate. A build started by another (the ARM image's)
# is handed that build's certificate.
set(KBD_SIGNING_CERT ${CMAKE_BINARY_DIR}/signing/test-signing-cert.pem
    CACHE FILEPATH "Certificate that signs the modules")
set(KBD_SIGNING_KEY ${CMAKE_BINARY_DIR}/signing/test-signing-key.pem
    CACHE FILEPATH "Private key of that certificate")
if(NOT EXISTS ${KBD_SIGNING_CERT})
  get_filename_component(folder ${KBD_SIGNING_CERT} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  execute_process(
    COMMAND openssl req -x509 -sha1 -newkey rsa:2048 -nodes -days 3650
            -subj "/CN=Keyboard Applet Privileged Development Test"
            -addext "extendedKeyUsage=codeSigning"
            -keyout ${KBD_SIGNING_KEY} -out ${KBD_SIGNING_CERT}
    RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
  if(failed)
    message(FATAL_ERROR "openssl could not make the development test certificate")
  endif()
endif()

# kbd_control_panel_module(NAME SOURCES <files> DEF <file> [LIBRARIES <targets>]
#                          UNSIGNED_DIR <folder> SIGNED_DIR <folder>)
# makes NAME-unsigned.cpl in UNSIGNED_DIR from SOURCES, compiled as the
# applet's code is, and the LIBRARIES; then NAME.cpl, signed, in SIGNED_DIR.
# Targets: NAME_unsigned and NAME_cpl. The module's folder links nothing of
# the desktop's beside it: the toolchain's default libraries are cleared
# there, which the compiler driver would add even to a -nostdlib link.
function(kbd_control_panel_module name)
  cmake_parse_arguments(ARG "" "DEF;UNSIGNED_DIR;SIGNED_DIR" "SOURCES;LIBRARIES" ${ARGN})
  set(layout ${KBD_CMAKE_DIR}/applet.ld)
  get_filename_component(def ${ARG_DEF} ABSOLUTE)

  add_library(${name}_unsigned MODULE ${ARG_SOURCES})
  set_target_properties(${name}_unsigned PROPERTIES
    PREFIX "" OUTPUT_NAME ${name}-unsigned SUFFIX ".cpl" LINKER_LANGUAGE CXX
    LIBRARY_OUTPUT_DIRECTORY ${ARG_UNSIGNED_DIR} LINK_DEPENDS "${layout};${def}")
  target_compile_options(${name}_unsigned PRIVATE ${KBD_APPLET_COMPILE_OPTIONS})
  target_include_directories(${name}_unsigned PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_unsigned PRIVATE
    ${ARG_LIBRARIES} coredll_import aygshell_import ${KBD_CPL_RUNTIME})
  # The header of a Windows CE 5.01 image: subsystem Windows CE GUI (9),
  # operating-system and subsystem version 5.01, and none of the desktop's
  # DYNAMIC_BASE or NX_COMPAT flags, which the handheld's loader predates.
  # The .def names CPlApplet without a stdcall decoration, as on ARM.
  target_link_options(${name}_unsigned PRIVATE
    ${KBD_CPL_DRIVER_OPTIONS} ${def} LINKER:--dll
    "LINKER:-e,${KBD_CPL_ENTRY}" LINKER:--gc-sections LINKER:-s "LINKER:-T,${layout}"
    LINKER:--kill-at LINKER:--enable-stdcall-fixup
    LINKER:--subsystem,wince:5.01 LINKER:--major-os-version,5 LINKER:--minor-os-version,1
    LINKER:--disable-dynamicbase LINKER:--disable-nxcompat)
  add_custom_command(TARGET ${name}_unsigned POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=$<TARGET_FILE:${name}_unsigned>
            -P ${KBD_CMAKE_DIR}/CheckImports.cmake
    VERBATIM)

  set(signed ${ARG_SIGNED_DIR}/${name}.cpl)
  add_custom_command(OUTPUT ${signed}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${signed}
    COMMAND osslsigncode sign -certs ${KBD_SIGNING_CERT} -key ${KBD_SIGNING_KEY} -h sha1
            -in $<TARGET_FILE:${name}_unsigned> -out ${signed} >/dev/null
    DEPENDS ${name}_unsigned ${KBD_SIGNING_CERT}
    COMMENT "Signing ${name}.cpl")
  add_custom_target(${name}_cpl ALL DEPENDS ${signed})

  set(CMAKE_C_STANDARD_LIBRARIES "" PARENT_SCOPE)
  set(CMAKE_CXX_STANDARD_LIBRARIES "" PARENT_SCOPE)
endfunction()
