# Cross-compiles the Windows 64-bit build with MinGW-w64 on Linux; its tests run under 64-bit Wine,
# which also works on machines that cannot start 32-bit programs at all.
#   cmake -S . -B build/windows-x86_64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(VEXA_MINGW_TRIPLE x86_64-w64-mingw32)
# Debian's `wine` wrapper prefers the 32-bit loader whenever wine32 is installed, and `wine64` is
# not on PATH: call the 64-bit loader itself.
set(VEXA_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
