# Cross build of a 64-bit Windows qarvex.exe on Linux with MinGW-w64 (Debian:
# g++-mingw-w64-x86-64-posix). The executable is linked statically (see the
# top-level CMakeLists.txt), so it needs no MinGW runtime DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QARVEX_MINGW_TRIPLE x86_64-w64-mingw32)
find_program(CMAKE_CXX_COMPILER NAMES ${QARVEX_MINGW_TRIPLE}-g++-posix ${QARVEX_MINGW_TRIPLE}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QARVEX_MINGW_TRIPLE}-windres)
find_program(CMAKE_AR NAMES ${QARVEX_MINGW_TRIPLE}-gcc-ar-posix ${QARVEX_MINGW_TRIPLE}-ar)
find_program(CMAKE_RANLIB NAMES ${QARVEX_MINGW_TRIPLE}-gcc-ranlib-posix ${QARVEX_MINGW_TRIPLE}-ranlib)

# Look for libraries and headers in the MinGW sysroot only, programs on the host.
set(CMAKE_FIND_ROOT_PATH /usr/${QARVEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets "cmake -E" scripts and ctest run the .exe through Wine when it is there.
find_program(QARVEX_WINE NAMES wine64 wine)
if(QARVEX_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QARVEX_WINE})
endif()
