# Cross-compiles the Windows 32-bit build (the player we ship) with MinGW-w64 on Linux; its tests
# run under 32-bit Wine.
#   cmake -S . -B build/windows-i686 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VEXA_MINGW_TRIPLE i686-w64-mingw32)
# Debian's wine wrapper runs 32-bit programs with the 32-bit loader.
set(VEXA_WINE_LOADER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
