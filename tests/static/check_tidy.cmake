# Runs clang-tidy with the project's .clang-tidy on every translation unit of
# the build under the given source folders; any finding fails the check.
# Usage: cmake -DSOURCE_DIR=<root> -DBUILD_DIR=<build> -DCLANG_TIDY=<clang-tidy>
#              -DFOLDERS=<folder|...> [-DEXTRA_ARGS=<arg|...>] [-DSTRIP_FLAGS=<flag|...>]
#              [-DCACHE_DIR=<dir>] -P check_tidy.cmake
# EXTRA_ARGS go to the compiler clang-tidy runs (a cross build's target and
# C++ headers); STRIP_FLAGS are flags of the build's compiler that clang
# does not know, taken out of a copy of the compile commands.
#
# A translation unit found clean is remembered in CACHE_DIR (outside the
# clone; none when empty) under a hash of everything clang-tidy reads: its
# version and configuration, the extra arguments, the compile command and the
# unit as the build's preprocessor expands it, all with the clone's own
# folder taken out. The same unit in another build or clone is then not
# checked again; any change to it, to a header it includes or to the checks
# makes a new hash. Units with findings are never remembered.
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)
string(REPLACE "|" ";" FOLDERS "${FOLDERS}")
string(REPLACE "|" ";" EXTRA_ARGS "${EXTRA_ARGS}")
string(REPLACE "|" ";" STRIP_FLAGS "${STRIP_FLAGS}")

file(READ ${BUILD_DIR}/compile_commands.json commands)
set(database_dir ${BUILD_DIR})
if(STRIP_FLAGS)
  set(stripped "${commands}")
  foreach(flag IN LISTS STRIP_FLAGS)
    string(REPLACE " ${flag}" "" stripped "${stripped}")
  endforeach()
  set(database_dir ${BUILD_DIR}/clang-tidy)
  file(WRITE ${database_dir}/compile_commands.json "${stripped}")
endif()

# The units under FOLDERS, each with its compile command.
string(JSON entries LENGTH "${commands}")
set(files "")
math(EXPR last "${entries} - 1")
foreach(index RANGE ${last})
  string(JSON file GET "${commands}" ${index} file)
  foreach(folder IN LISTS FOLDERS)
    if(file MATCHES "^${SOURCE_DIR}/${folder}/" AND NOT file IN_LIST files)
      list(APPEND files ${file})
      string(JSON command_of_${index} GET "${commands}" ${index} command)
      set(index_of_${file} ${index})
    endif()
  endforeach()
endforeach()
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "no translation unit under ${FOLDERS} in ${BUILD_DIR}/compile_commands.json")
endif()

set(extra "")
foreach(arg IN LISTS EXTRA_ARGS)
  list(APPEND extra --extra-arg=${arg})
endforeach()

# What every unit's hash starts with: the checker and its configuration.
execute_process(COMMAND ${CLANG_TIDY} --version OUTPUT_VARIABLE tidy_version)
file(READ ${SOURCE_DIR}/.clang-tidy tidy_config)
set(common_key "${tidy_version}\n${tidy_config}\n${EXTRA_ARGS}\n${STRIP_FLAGS}\n")

# The unit's key, or empty when it cannot be made: its compile command run
# as a preprocessor from the source folder with the clone's folder taken out
# of every path, so the expansion names files the same in every clone.
function(unit_key file result)
  set(${result} "" PARENT_SCOPE)
  set(command "${command_of_${index_of_${file}}}")
  string(REPLACE "${SOURCE_DIR}/" "" command "${command}")
  string(REPLACE "${SOURCE_DIR}" "." command "${command}")
  separate_arguments(arguments UNIX_COMMAND "${command}")
  set(preprocess "")
  set(skip_next FALSE)
  foreach(argument IN LISTS arguments)
    if(skip_next)
      set(skip_next FALSE)
    elseif(argument MATCHES "^-(o|MF|MT|MQ)$")
      set(skip_next TRUE)
    elseif(NOT argument MATCHES "^-(c|MD|MMD)$")
      list(APPEND preprocess "${argument}")
    endif()
  endforeach()
  string(SHA256 unit_name "${file}")
  set(expanded ${BUILD_DIR}/clang-tidy-expanded-${unit_name}.ii)
  execute_process(COMMAND ${preprocess} -E -o ${expanded} WORKING_DIRECTORY ${SOURCE_DIR}
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(status EQUAL 0)
    file(SHA256 ${expanded} expansion)
    string(SHA256 key "${common_key}${command}\n${expansion}")
    set(${result} ${key} PARENT_SCOPE)
  endif()
  file(REMOVE ${expanded})
endfunction()

set(failed FALSE)
set(reused 0)
foreach(file IN LISTS files)
  set(key "")
  if(CACHE_DIR)
    unit_key(${file} key)
    if(key AND EXISTS ${CACHE_DIR}/${key})
      math(EXPR reused "${reused} + 1")
      continue()
    endif()
  endif()
  execute_process(COMMAND ${CLANG_TIDY} -p ${database_dir} --quiet ${extra} ${file}
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  # clang-tidy counts the warnings it suppressed in system headers on stderr;
  # only findings matter.
  string(REGEX REPLACE "[0-9]+ warnings? (and [0-9]+ errors? )?generated\\.\n?" "" errors "${errors}")
  if(NOT status EQUAL 0 OR output MATCHES "(warning|error):")
    message("${output}${errors}")
    set(failed TRUE)
  elseif(key)
    file(MAKE_DIRECTORY ${CACHE_DIR})
    file(TOUCH ${CACHE_DIR}/${key})
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "clang-tidy: findings in ${FOLDERS}")
endif()
message(STATUS "clang-tidy: ${count} translation units under ${FOLDERS}, no findings "
               "(${reused} of them unchanged since an earlier check)")
