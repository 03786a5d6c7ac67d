# What the applet is built against, in the x86 build and the ARM image's
# alike: the handheld's own headers (the shell's API and the keypad
# driver's codes beyond the contract) and import libraries for its two
# system DLLs, made from the .def files that also build the stand-ins.
add_library(platform_headers INTERFACE)
target_include_directories(platform_headers INTERFACE ${CMAKE_CURRENT_LIST_DIR}/include)
target_link_libraries(platform_headers INTERFACE keypad_contract)

set(COREDLL_DEF ${CMAKE_CURRENT_LIST_DIR}/coredll/coredll.def)
set(AYGSHELL_DEF ${CMAKE_CURRENT_LIST_DIR}/aygshell/aygshell.def)
kbd_import_library(coredll ${COREDLL_DEF})
kbd_import_library(aygshell ${AYGSHELL_DEF})
