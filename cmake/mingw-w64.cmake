# What both Windows tool chain files share (mingw-w64-x86_64.cmake and
# mingw-w64-i686.cmake set QUORLINK_MINGW_TRIPLE and the processor first).
#
# The programs are linked statically, C and C++ run-times included, so that a
# single .exe runs on Windows (or under Wine) with no DLL beside it.

set(CMAKE_SYSTEM_NAME Windows)

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
