# Cross-builds the library, the command-line host and their tests for 64-bit
# Arm Linux with Debian's cross compilers (g++-aarch64-linux-gnu), and runs
# the test programs under qemu-aarch64 (qemu-user) over the cross sysroot.
#
#   cmake --preset aarch64     (or -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake)
#
# The compilers build for the baseline ARMv8-A instruction set: no -march,
# -mcpu or -mtune, as on x86-64.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(QUORVANE_AARCH64_TRIPLET aarch64-linux-gnu)
set(QUORVANE_AARCH64_SYSROOT /usr/${QUORVANE_AARCH64_TRIPLET})

find_program(CMAKE_C_COMPILER NAMES ${QUORVANE_AARCH64_TRIPLET}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${QUORVANE_AARCH64_TRIPLET}-g++ REQUIRED)

set(CMAKE_FIND_ROOT_PATH ${QUORVANE_AARCH64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs (and GoogleTest's test discovery) run under qemu, which
# finds the target's dynamic loader in the sysroot. The loader would look up
# the other libraries in the build machine's /etc/ld.so.cache, which, once
# Debian's own arm64 C library is installed beside the cross one (for an
# arm64 Python or Node.js), names /lib/aarch64-linux-gnu/libc.so.6: a C
# library of another build than the sysroot's loader, with which every
# thread creation hangs. LD_LIBRARY_PATH, searched before the cache, keeps
# the program on the sysroot's libraries. Without qemu the build still
# succeeds and ctest reports the tests as not runnable.
find_program(QUORVANE_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static)
if(QUORVANE_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUORVANE_QEMU_AARCH64} -L ${QUORVANE_AARCH64_SYSROOT}
      -E LD_LIBRARY_PATH=${QUORVANE_AARCH64_SYSROOT}/lib)
endif()
