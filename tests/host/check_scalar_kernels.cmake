# Checks the kernels' object code: scalar SSE2 multiply and add in the
# matrix product, a real division in the fill, and no packed or fused
# floating-point arithmetic anywhere.
# Usage: cmake -DOBJECT=<kernels.o> -DOBJDUMP=<objdump> -P check_scalar_kernels.cmake
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${OBJECT}
  OUTPUT_VARIABLE code RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${OBJECT}")
endif()
string(REGEX MATCH "<[^>]*matrix_multiply[^>]*>:\n([^\n]+\n)+" multiply "${code}")
if(multiply STREQUAL "")
  message(FATAL_ERROR "matrix_multiply not found in ${OBJECT}")
endif()
foreach(required mulsd addsd)
  if(NOT multiply MATCHES "[ \t]${required}[ \t]")
    message(FATAL_ERROR "matrix_multiply lacks ${required}:\n${multiply}")
  endif()
endforeach()
string(REGEX MATCH "<[^>]*matrix_fill[^>]*>:\n([^\n]+\n)+" fill "${code}")
if(NOT fill MATCHES "[ \t]divsd[ \t]")
  message(FATAL_ERROR "matrix_fill does not divide:\n${fill}")
endif()
string(REGEX MATCHALL "[ \t](v[a-z0-9]+|(add|sub|mul|div|hadd|max|min|sqrt)p[sd]|[a-z]*fmadd[a-z0-9]*|[a-z]*fmsub[a-z0-9]*)[ \t\n]"
       forbidden "${code}")
if(forbidden)
  message(FATAL_ERROR "packed, fused or AVX instructions in the kernels: ${forbidden}")
endif()
message(STATUS "kernels are scalar SSE2")
