# Cross-compiling for 32-bit Windows (x86) with the mingw-w64 tool chain of
# Debian (packages g++-mingw-w64-i686 and binutils-mingw-w64-i686): the same
# programs for 32-bit Windows 10 and older PCs.
#
#   cmake -S . -B build/windows-x86 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake -DQUORLINK_BUILD_GUI=OFF

set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUORLINK_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# A 32-bit program may use 4 GiB of address space on 64-bit Windows, not 2:
# room for two full panes (64 Mi UTF-16 units each) and the copies a load or
# a save makes of their text.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--large-address-aware")
