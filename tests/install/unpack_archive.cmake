# Makes the build's CPack archive, unpacks it into UNPACK_DIR, checks the
# install tree inside (one folder named like the archive) and that its
# binaries are stripped. The archive goes to BUILD_DIR/packages.
# Usage: cmake -DBUILD_DIR=<dir> -DUNPACK_DIR=<dir> -DARCHIVE=<file name>
#              -DSYSTEM=<Linux|Windows> -DOBJDUMP=<objdump> -P unpack_archive.cmake
set(packages ${BUILD_DIR}/packages)
file(REMOVE_RECURSE ${packages} ${UNPACK_DIR})
file(MAKE_DIRECTORY ${UNPACK_DIR})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -B ${packages}
  WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT EXISTS ${packages}/${ARCHIVE})
  message(FATAL_ERROR "cpack did not make ${packages}/${ARCHIVE}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${packages}/${ARCHIVE} OUTPUT_VARIABLE listing)
message(STATUS "${ARCHIVE}:\n${listing}")
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${packages}/${ARCHIVE}
  WORKING_DIRECTORY ${UNPACK_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${ARCHIVE}")
endif()
string(REGEX REPLACE "\\.(tar\\.gz|zip)$" "" top "${ARCHIVE}")
set(PREFIX ${UNPACK_DIR}/${top})
include(${CMAKE_CURRENT_LIST_DIR}/check_install_tree.cmake)

if(SYSTEM STREQUAL "Windows")
  set(binaries bin/morvatic-quorvane-cpu-benchmark.dll bin/quorvane.exe)
else()
  set(binaries lib/libmorvatic-quorvane-cpu-benchmark.so.1.0.0 bin/quorvane)
endif()
foreach(binary IN LISTS binaries)
  # A stripped binary has no symbol table: objdump -t lists no symbol.
  execute_process(COMMAND ${OBJDUMP} -t ${PREFIX}/${binary} OUTPUT_VARIABLE symbols ERROR_VARIABLE errors)
  if(symbols MATCHES "\n[0-9a-f]+ |\\[ *[0-9]+\\]\\(sec")
    message(FATAL_ERROR "${binary} in ${ARCHIVE} is not stripped")
  endif()
endforeach()
