# Cross-compiles the Windows (32-bit) build with MinGW-w64 on Linux and runs its tests under Wine.
#   cmake -S . -B build/windows-i686 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# The posix thread model is needed for std::thread, std::mutex and std::shared_mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(VEXA_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VEXA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXA_MINGW_TRIPLE}-windres)

# Libraries and headers for the target (zlib from libz-mingw-w64-dev) live here; programs come
# from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VEXA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The executables are linked -static; without this FindZLIB picks libz.dll.a and the programs
# would need zlib1.dll at run time.
set(ZLIB_USE_STATIC_LIBS ON)

# ctest runs each test executable through Wine. WINEPREFIX and WINEDEBUG come from the
# environment (scripts/test.sh sets them).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
