# Reads the DLL's export and import tables with objdump -p and checks them:
# exactly the eight quorvane_ functions exported, under their plain names;
# nothing imported but KERNEL32.dll and msvcrt.dll; no formatting function
# of msvcrt.dll's printf family used (the report is formatted by mingw-w64's
# own C99 code); and no static constructor.
# Usage: cmake -DDLL=<dll> -DOBJDUMP=<objdump> -P check_pe_tables.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump -p failed on ${DLL}")
endif()
string(REGEX MATCHALL "[^\n]*\n" lines "${headers}")

set(exports "")
set(imported_dlls "")
set(msvcrt_imports "")
set(section "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(section export_table)
  elseif(line MATCHES "^[ \t]*DLL Name: ([^ \t\n]+)")
    set(dll "${CMAKE_MATCH_1}")
    list(APPEND imported_dlls "${dll}")
    set(section "import ${dll}")
  elseif(line MATCHES "^[^ \t\n]")
    set(section "")
  elseif(section STREQUAL "export_table" AND line MATCHES "^[ \t]+\\[ *[0-9]+\\] ([^ \t\n]+)")
    list(APPEND exports "${CMAKE_MATCH_1}")
  elseif(section MATCHES "^import msvcrt.dll$" AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+ +([A-Za-z_][^ \t\n]*)")
    list(APPEND msvcrt_imports "${CMAKE_MATCH_1}")
  endif()
endforeach()
# objdump prints some tables twice; a name counts once.
list(REMOVE_DUPLICATES exports)
list(SORT exports)
list(REMOVE_DUPLICATES imported_dlls)
list(SORT imported_dlls)

set(expected_exports quorvane_cancel quorvane_last_error quorvane_phase quorvane_progress
    quorvane_results_json quorvane_start quorvane_state quorvane_version)
if(NOT exports STREQUAL expected_exports)
  message(FATAL_ERROR "exports differ:\n  got      ${exports}\n  expected ${expected_exports}")
endif()
if(NOT imported_dlls STREQUAL "KERNEL32.dll;msvcrt.dll")
  message(FATAL_ERROR "imported DLLs differ:\n  got      ${imported_dlls}\n"
                      "  expected KERNEL32.dll;msvcrt.dll")
endif()
if(msvcrt_imports STREQUAL "")
  message(FATAL_ERROR "no functions read from the msvcrt.dll import table")
endif()
foreach(name IN LISTS msvcrt_imports)
  if(name MATCHES "s(n)?w?printf")
    message(FATAL_ERROR "the DLL formats with msvcrt.dll's ${name}")
  endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -t ${DLL} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT symbols MATCHES "quorvane_start")
  message(FATAL_ERROR "objdump -t gave no symbol table for ${DLL}")
endif()
if(symbols MATCHES "_GLOBAL__sub_I_")
  message(FATAL_ERROR "the DLL has a static constructor")
endif()

message(STATUS "exports: ${exports}")
message(STATUS "imported DLLs: ${imported_dlls}")
message(STATUS "from msvcrt.dll: ${msvcrt_imports}")
