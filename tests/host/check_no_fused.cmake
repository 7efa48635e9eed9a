# Checks that no floating-point contraction reaches the library: every
# source of it is compiled with -ffp-contract=off, and its machine code has
# no fused multiply-add (x86-64: the FMA extension's vfmadd and kin;
# AArch64: fmadd, fmsub, fnmadd, fnmsub, fmla, fmls).
# Usage: cmake -DLIBRARY=<path> -DOBJDUMP=<objdump> -DCOMPILE_COMMANDS=<json>
#              -DSOURCE_DIR=<project> -P check_no_fused.cmake
file(READ ${COMPILE_COMMANDS} database)
string(JSON count LENGTH "${database}")
math(EXPR last "${count} - 1")
set(library_sources 0)
foreach(index RANGE ${last})
  string(JSON file GET "${database}" ${index} file)
  string(JSON command GET "${database}" ${index} command)
  # The library's own objects: those of the targets in src/.
  if(NOT file MATCHES "^${SOURCE_DIR}/src/" OR NOT command MATCHES " -o src/")
    continue()
  endif()
  math(EXPR library_sources "${library_sources} + 1")
  if(NOT command MATCHES " -ffp-contract=off( |$)")
    message(FATAL_ERROR "${file} is compiled without -ffp-contract=off:\n${command}")
  endif()
endforeach()
if(library_sources EQUAL 0)
  message(FATAL_ERROR "no source of the library in ${COMPILE_COMMANDS}")
endif()

execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${LIBRARY}
  OUTPUT_VARIABLE code RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR code STREQUAL "")
  message(FATAL_ERROR "${OBJDUMP} -d failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "\t(v?fn?m(add|sub)[a-z0-9]*|fml[as][a-z0-9]*)[ \t\n]" fused "${code}")
if(fused)
  message(FATAL_ERROR "fused multiply-add in ${LIBRARY}: ${fused}")
endif()
message(STATUS "${library_sources} sources with -ffp-contract=off; no fused instruction in the library")
