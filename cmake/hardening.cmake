# Hardening of the Linux binaries, as Debian builds its packages: checked
# string and memory functions where the compiler knows the buffer sizes
# (_FORTIFY_SOURCE, which needs an optimised build), and a global offset table
# made read-only once the program is loaded (relro with bindnow). Neither
# changes what the program computes. Not for the sanitizer and fuzz builds,
# which check more than this already, nor for Windows.
if(NOT WIN32 AND NOT QARVEX_SANITIZE AND NOT QARVEX_FUZZ
   AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    if(NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
        target_compile_definitions(qarvex_flags INTERFACE
            $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    endif()
    target_link_options(qarvex_flags INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()
