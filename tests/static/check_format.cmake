# Fails when any C or C++ source of the project differs from what
# clang-format makes of it with the project's .clang-format.
# Usage: cmake -DSOURCE_DIR=<root> -DCLANG_FORMAT=<clang-format> -P check_format.cmake
set(patterns "")
foreach(dir include src tools tests bench)
  list(APPEND patterns ${SOURCE_DIR}/${dir}/*.h ${SOURCE_DIR}/${dir}/*.hpp ${SOURCE_DIR}/${dir}/*.cpp
       ${SOURCE_DIR}/${dir}/*.c)
endforeach()
file(GLOB_RECURSE files LIST_DIRECTORIES false ${patterns})
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "no sources found under ${SOURCE_DIR}")
endif()
execute_process(COMMAND ${CLANG_FORMAT} --style=file --dry-run --Werror ${files}
  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "clang-format: the files above differ from the project's layout; "
                      "apply it with: clang-format -i <file>")
endif()
message(STATUS "clang-format: ${count} files follow .clang-format")
