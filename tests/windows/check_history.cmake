# quorvane.exe keeps a history with the SQLite DLL beside it: a results
# document imported twice lands once, and the history reads it back.
# Usage: cmake -DHOST=<quorvane.exe> -DEMULATOR=<wine-run or ""> -DWORK=<dir> -P check_history.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(run "{\"started_at\":\"2026-10-01T00:00:00Z\",\"ended_at\":\"2026-10-01T00:00:20Z\",\"cancelled\":false,\"report\":{\"score_single\":1000,\"score_multi\":2000,\"int_single_mops\":550,\"int_multi_mops\":1100,\"fp_single_mflops\":3000,\"fp_multi_mflops\":6000,\"mem_bandwidth_mbps\":9000,\"threads_used\":2,\"duration_ms\":20013},\"verdict\":{\"clean\":true,\"reasons\":[],\"not_reported\":[]}}")
file(WRITE ${WORK}/runs.json
     "{\"schema_version\":2,\"host_version\":\"1.0.0\",\"library_version\":\"1.0.0\",\"started_at\":\"2026-10-01T00:00:00Z\",\"machine\":{\"cpu_model\":\"test processor\",\"kernel\":\"Windows NT 10.0\",\"id\":\"0123456789abcdef0123456789abcdef\"},\"runs\":[${run},${run},${run}]}")

function(host expected_status expected_output)
  # Relative paths: Wine gives the program the folder as its current one.
  execute_process(COMMAND ${EMULATOR} ${HOST} ${ARGN} WORKING_DIRECTORY ${WORK}
                  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL expected_status OR NOT output MATCHES "${expected_output}")
    message(FATAL_ERROR "quorvane ${ARGN}: status ${status}\n${output}${errors}")
  endif()
endfunction()

host(0 "imported 1 of 1 documents" history import --history h.sqlite runs.json)
host(0 "imported 0 of 1 documents" history import --history h.sqlite runs.json)
host(0 "multi-thread score: 2000 since run 1 \\(3 clean runs\\)" history --history h.sqlite)
file(WRITE ${WORK}/text.sqlite "not a database\n")
host(7 "" history --history text.sqlite)
