# Shared part of the MinGW-w64 toolchain files (mingw-i686.cmake, mingw-x86_64.cmake). The including
# file sets VEXA_MINGW_TRIPLE, CMAKE_SYSTEM_PROCESSOR and VEXA_WINE_LOADER first.
# The posix thread model is needed for std::thread, std::mutex and std::shared_mutex.
set(CMAKE_SYSTEM_NAME Windows)

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

# ctest runs each test executable through Wine's loader for this word size. WINEPREFIX and
# WINEDEBUG come from the environment (scripts/wine-env.sh sets them).
set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXA_WINE_LOADER})
