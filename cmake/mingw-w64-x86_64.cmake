# Cross-compiles the Qt-free core, the command-line tool and the core tests for 64-bit Windows
# with Debian's mingw-w64 (the posix-threads variant, which std::thread needs):
#   cmake -S . -B build-mingw -G Ninja -DTORVANE_CORE_ONLY=ON \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The programs are linked statically (libstdc++, libgcc, winpthread), so a single .exe runs on
# Windows or under wine without DLLs beside it. ctest runs the test programs under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TORVANE_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw sysroot only; tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Where wine is installed, ctest runs the Windows programs through it. WINEPREFIX is taken from
# the environment (scripts/wine_test.sh keeps a private prefix in the build folder).
find_program(TORVANE_WINE NAMES wine wine64)
if(TORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TORVANE_WINE})
endif()
