# Cross-compiling for 64-bit Windows with the mingw-w64 tool chain of Debian
# (packages g++-mingw-w64-x86-64 and binutils-mingw-w64-x86-64).
#
#   cmake -S . -B build/windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQUORLINK_BUILD_GUI=OFF

set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUORLINK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
