# Checks that the shared library needs the C library alone (libc and the
# dynamic loader, no C++ runtime, no libgcc_s) and that its SONAME carries
# the major version.
# Usage: cmake -DLIBRARY=<path> -DREADELF=<readelf> -DSONAME=<expected> -P check_needed.cmake
execute_process(COMMAND ${READELF} -d ${LIBRARY} OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "readelf -d failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" needed_lines "${dynamic}")
set(needed "")
foreach(line IN LISTS needed_lines)
  string(REGEX REPLACE ".*\\[([^]]+)\\]$" "\\1" name "${line}")
  list(APPEND needed ${name})
endforeach()
set(others ${needed})
list(FILTER others EXCLUDE REGEX "^(libc\\.so\\.6|ld-linux-x86-64\\.so\\.2|ld-linux-aarch64\\.so\\.1)$")
list(FIND needed libc.so.6 libc_at)
if(libc_at EQUAL -1 OR others)
  message(FATAL_ERROR "the library needs '${needed}'; only libc.so.6 and the loader are allowed")
endif()
if(NOT dynamic MATCHES "\\(SONAME\\)[^\n]*\\[${SONAME}\\]")
  message(FATAL_ERROR "the library's SONAME is not ${SONAME}:\n${dynamic}")
endif()
message(STATUS "NEEDED: ${needed}; SONAME ${SONAME}")
