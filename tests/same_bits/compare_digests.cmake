# Runs the kernel digest program of the target (under its emulator) and of
# the build machine, and fails unless both print the same values.
# Usage: cmake "-DEMULATOR=<emulator;args>" -DTARGET_PROGRAM=<path>
#              -DBUILD_MACHINE_PROGRAM=<path> -P compare_digests.cmake
foreach(side IN ITEMS target build_machine)
  if(side STREQUAL "target")
    set(command ${EMULATOR} ${TARGET_PROGRAM})
  else()
    set(command ${BUILD_MACHINE_PROGRAM})
  endif()
  execute_process(COMMAND ${command} OUTPUT_VARIABLE ${side}_text RESULT_VARIABLE status
                  TIMEOUT 240)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${command} failed: ${status}")
  endif()
  string(REGEX MATCHALL "[^\n]+" ${side}_lines "${${side}_text}")
endforeach()

list(LENGTH target_lines count)
if(NOT count EQUAL 402)
  message(FATAL_ERROR "the target's program printed ${count} lines, not 402:\n${target_text}")
endif()
if(NOT target_text STREQUAL build_machine_text)
  foreach(index RANGE 401)
    list(GET target_lines ${index} target_line)
    list(GET build_machine_lines ${index} build_machine_line)
    if(NOT target_line STREQUAL build_machine_line)
      message(FATAL_ERROR "the kernels' values differ first at line ${index}:\n"
                          "  target        ${target_line}\n  build machine ${build_machine_line}")
    endif()
  endforeach()
  message(FATAL_ERROR "the kernels' values differ")
endif()
list(SUBLIST target_lines 400 2 digests)
list(JOIN digests "; " digests)
message(STATUS "same values on both machines: ${digests}")
