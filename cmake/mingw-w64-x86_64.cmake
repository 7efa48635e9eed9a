# Cross-builds the 64-bit Windows library and its tests with the mingw-w64
# compilers of the win32 thread model, and runs the test programs under Wine.
#
#   cmake -S . -B build-win -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# The win32 thread model keeps libwinpthread out of every program: threads
# come from the C runtime and kernel32 alone.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUORVANE_MINGW_TRIPLET x86_64-w64-mingw32)

# Debian ships each compiler once per thread model; the unsuffixed names are
# alternatives that may point at the posix one.
find_program(CMAKE_C_COMPILER NAMES ${QUORVANE_MINGW_TRIPLET}-gcc-win32 ${QUORVANE_MINGW_TRIPLET}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QUORVANE_MINGW_TRIPLET}-g++-win32 ${QUORVANE_MINGW_TRIPLET}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${QUORVANE_MINGW_TRIPLET}-windres)
find_program(QUORVANE_MINGW_OBJDUMP NAMES ${QUORVANE_MINGW_TRIPLET}-objdump)

# Every program and DLL carries the GCC and C++ runtimes inside, so it runs
# with nothing beside it but the system's DLLs (under Wine as on Windows).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine when it is installed; without it they still
# build and ctest reports them as not runnable.
find_program(QUORVANE_WINE NAMES wine wine64)
if(QUORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVANE_WINE})
endif()
