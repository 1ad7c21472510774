# Cross-compiling for 64-bit Windows with the mingw-w64 tool chain of Debian
# (packages g++-mingw-w64-x86-64 and binutils-mingw-w64-x86-64).
#
#   cmake -S . -B build/windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUORLINK_BUILD_GUI=OFF
#
# The programs are linked statically, C and C++ run-times included, so that a
# single .exe runs on Windows (or under Wine) with no DLL beside it.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORLINK_MINGW_TRIPLE x86_64-w64-mingw32)

# The "posix" flavour has the complete C++ thread library (std::thread,
# std::mutex); the "win32" one of GCC 12 lacks it.  Either links statically.
find_program(CMAKE_C_COMPILER NAMES ${QUORLINK_MINGW_TRIPLE}-gcc-posix ${QUORLINK_MINGW_TRIPLE}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QUORLINK_MINGW_TRIPLE}-g++-posix ${QUORLINK_MINGW_TRIPLE}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QUORLINK_MINGW_TRIPLE}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORLINK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
