# Cross-compiles consumer.c for Windows against the header and import
# library of the install tree PREFIX, puts the DLL beside it and runs it
# under EMULATOR (Wine).
# Usage: cmake -DPREFIX=<dir> -DCC=<mingw C compiler> -DSOURCE=<consumer.c>
#              -DOUTPUT_DIR=<dir> -DEMULATOR=<launcher> -DEXPECTED_VERSION=<x.y.z>
#              -P windows_consumer.cmake
set(name morvatic-quorvane-cpu-benchmark)
file(REMOVE_RECURSE ${OUTPUT_DIR})
file(MAKE_DIRECTORY ${OUTPUT_DIR})
execute_process(COMMAND ${CC} -std=c99 -Wall -Wextra -Werror ${SOURCE} -I${PREFIX}/include
                        ${PREFIX}/lib/${name}.lib "-DQUORVANE_EXPECTED_VERSION=\"${EXPECTED_VERSION}\""
                        -o ${OUTPUT_DIR}/consumer.exe
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the consumer does not build against ${PREFIX}/lib/${name}.lib")
endif()
file(COPY ${PREFIX}/bin/${name}.dll DESTINATION ${OUTPUT_DIR})
execute_process(COMMAND ${EMULATOR} ${OUTPUT_DIR}/consumer.exe RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the consumer failed under ${EMULATOR} (${status})")
endif()
