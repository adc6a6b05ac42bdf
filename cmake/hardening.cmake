# The Windows program files made as a Windows linker makes them, for the systems and scanners that
# judge a program by its header: terminal-server aware, high-entropy ASLR, relocatable, no-execute,
# and every function with a local array guarded by the stack protector.
#
# MinGW's GCC implements the stack protector in libssp. Every Windows program of the project links
# with -static, so libssp.a is linked in and the program needs no libssp-0.dll. packaging/check_pe.py
# reads the flags back from the built files (the pe_hardening test).
if(NOT WIN32)
  return()
endif()

set(KWOBL_HARDENING_COMPILE_FLAGS -fstack-protector-strong)
add_compile_options(${KWOBL_HARDENING_COMPILE_FLAGS})
# The driver adds libssp to the link only when it sees the flag there too.
add_link_options(${KWOBL_HARDENING_COMPILE_FLAGS}
  -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat)
# Without this flag Windows treats a program as written before Remote Desktop existed and applies
# its compatibility shims to it in remote sessions. It means nothing for a DLL.
add_link_options($<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:-Wl,--tsaware>)
