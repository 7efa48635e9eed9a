# Runs clang-tidy with the project's .clang-tidy on every translation unit of
# the build under the given source folders; any finding fails the check.
# Usage: cmake -DSOURCE_DIR=<root> -DBUILD_DIR=<build> -DCLANG_TIDY=<clang-tidy>
#              -DFOLDERS=<folder|...> [-DEXTRA_ARGS=<arg|...>] [-DSTRIP_FLAGS=<flag|...>]
#              -P check_tidy.cmake
# EXTRA_ARGS go to the compiler clang-tidy runs (a cross build's target and
# C++ headers); STRIP_FLAGS are flags of the build's compiler that clang
# does not know, taken out of a copy of the compile commands.
string(REPLACE "|" ";" FOLDERS "${FOLDERS}")
string(REPLACE "|" ";" EXTRA_ARGS "${EXTRA_ARGS}")
string(REPLACE "|" ";" STRIP_FLAGS "${STRIP_FLAGS}")

file(READ ${BUILD_DIR}/compile_commands.json commands)
set(database_dir ${BUILD_DIR})
if(STRIP_FLAGS)
  foreach(flag IN LISTS STRIP_FLAGS)
    string(REPLACE " ${flag}" "" commands "${commands}")
  endforeach()
  set(database_dir ${BUILD_DIR}/clang-tidy)
  file(WRITE ${database_dir}/compile_commands.json "${commands}")
endif()

string(JSON entries LENGTH "${commands}")
set(files "")
math(EXPR last "${entries} - 1")
foreach(index RANGE ${last})
  string(JSON file GET "${commands}" ${index} file)
  foreach(folder IN LISTS FOLDERS)
    if(file MATCHES "^${SOURCE_DIR}/${folder}/")
      list(APPEND files ${file})
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES files)
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "no translation unit under ${FOLDERS} in ${BUILD_DIR}/compile_commands.json")
endif()

set(extra "")
foreach(arg IN LISTS EXTRA_ARGS)
  list(APPEND extra --extra-arg=${arg})
endforeach()
execute_process(COMMAND ${CLANG_TIDY} -p ${database_dir} --quiet ${extra} ${files}
  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
# clang-tidy counts the warnings it suppressed in system headers on stderr;
# only findings matter.
string(REGEX REPLACE "[0-9]+ warnings? (and [0-9]+ errors? )?generated\\.\n?" "" errors "${errors}")
message("${output}${errors}")
if(NOT status EQUAL 0 OR output MATCHES "(warning|error):")
  message(FATAL_ERROR "clang-tidy: findings in ${FOLDERS}")
endif()
message(STATUS "clang-tidy: ${count} translation units under ${FOLDERS}, no findings")
