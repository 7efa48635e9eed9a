# Compiler settings shared by the library, its tests and its tools.

# Warnings for the project's own code.
add_library(quorvane_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(quorvane_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                                     -Wno-sign-conversion)
endif()

# The kernels compute the same bits from every compiler and architecture:
# the baseline instruction set only (no -march), and no fused multiply-add
# anywhere in the library. GCC contracts a * b + c into one fused
# instruction by default wherever the target has one, and AArch64 always
# has it.
add_library(quorvane_exact_fp INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(quorvane_exact_fp INTERFACE -ffp-contract=off)
endif()

# The kernels stay plain scalar code: auto-vectorisation would change the
# matrix kernel's instruction mix (and, with reassociation, its results) from
# one compiler to the next.
set(QUORVANE_NO_VECTORIZE_FLAGS "")
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(QUORVANE_NO_VECTORIZE_FLAGS -fno-tree-vectorize -fno-tree-slp-vectorize)
elseif(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(QUORVANE_NO_VECTORIZE_FLAGS -fno-vectorize -fno-slp-vectorize)
endif()

# The flags that kernels.cpp gets from Clang, for the check that compares a
# Clang build's kernel loops with this build's (tests/host).
set(QUORVANE_CLANG_KERNEL_FLAGS -ffp-contract=off -fno-vectorize -fno-slp-vectorize -falign-loops=64)

# Every kernel loop starts a 64-byte block of code. The matrix product's
# inner loop is about 32 bytes; left at 16-byte alignment it straddles two
# 64-byte fetch blocks whenever the linker happens to place it so, and then
# runs up to 1.7 times slower (seen on AMD Zen 4), so the matrix figures
# would depend on link order rather than on the machine.
set(QUORVANE_KERNEL_ALIGN_FLAGS "")
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set(QUORVANE_KERNEL_ALIGN_FLAGS -falign-loops=64)
endif()

if(QUORVANE_SANITIZER STREQUAL "thread")
  add_compile_options(-fsanitize=thread -g)
  add_link_options(-fsanitize=thread)
elseif(QUORVANE_SANITIZER STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all -g)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT QUORVANE_SANITIZER STREQUAL "")
  message(FATAL_ERROR "QUORVANE_SANITIZER must be thread, address or empty")
endif()

# The fuzz targets alone, with Clang (tests/fuzz).
option(QUORVANE_FUZZ "Build the libFuzzer targets alone (Clang)" OFF)
if(QUORVANE_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QUORVANE_FUZZ needs Clang")
endif()
