# Cross build of the Qt-free core and its tests for 64-bit Windows with
# mingw-w64, run under Wine:
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake
# The -posix compiler variant is required: the win32 one has no std::thread.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELVAN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZELVAN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELVAN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELVAN_MINGW_TRIPLE}-windres)

# Look for libraries and headers in the target's tree only, programs on the host.
set(CMAKE_FIND_ROOT_PATH /usr/${ZELVAN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime (libgcc, libstdc++, winpthreads): the .exe files need no DLLs
# beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest and gtest_discover_tests run the .exe files through Wine.
find_program(ZELVAN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ZELVAN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELVAN_WINE})
endif()
