# Checks that the shared library exports exactly the eight quorvane_
# functions and has no static constructor.
# Usage: cmake -DLIBRARY=<path> -DNM=<nm> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm -D failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${dynamic}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(expected quorvane_cancel quorvane_last_error quorvane_phase quorvane_progress
    quorvane_results_json quorvane_start quorvane_state quorvane_version)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exported symbols differ:\n  got      ${names}\n  expected ${expected}")
endif()

execute_process(COMMAND ${NM} ${LIBRARY} OUTPUT_VARIABLE all RESULT_VARIABLE status)
if(all MATCHES "_GLOBAL__sub_I_")
  message(FATAL_ERROR "the library has a static constructor")
endif()
message(STATUS "exports: ${names}")
