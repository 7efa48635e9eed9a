# Replays the files of FOLDERS (a ;-list) through the baseline reader and,
# for each one it accepts, checks its .prom export with promtool.
#   cmake -DPROGRAM=quorvane_prom_from_baseline -DPROMTOOL=promtool
#         -DFOLDERS=a;b -DOUTPUT=dir -P replay_prom.cmake
set(accepted 0)
set(output ${OUTPUT}/replay.prom)
foreach(folder IN LISTS FOLDERS)
  file(GLOB inputs LIST_DIRECTORIES false ${folder}/*)
  foreach(input IN LISTS inputs)
    execute_process(COMMAND ${PROGRAM} ${input} ${output} RESULT_VARIABLE made
                    ERROR_VARIABLE reason TIMEOUT 30)
    if(made EQUAL 3)
      continue()
    elseif(NOT made EQUAL 0)
      message(FATAL_ERROR "${input}: the export failed (${made}): ${reason}")
    endif()
    math(EXPR accepted "${accepted} + 1")
    execute_process(COMMAND ${PROMTOOL} check metrics INPUT_FILE ${output}
                    RESULT_VARIABLE checked OUTPUT_VARIABLE said ERROR_VARIABLE said TIMEOUT 30)
    if(NOT checked EQUAL 0 OR NOT said STREQUAL "")
      message(FATAL_ERROR "${input}: promtool rejects its .prom export: ${said}")
    endif()
  endforeach()
endforeach()
message(STATUS "${accepted} accepted inputs, every .prom export passes promtool")
