# Installs the build BUILD_DIR afresh into PREFIX and checks the tree.
# Usage: cmake -DBUILD_DIR=<dir> -DPREFIX=<dir> -DSYSTEM=<Linux|Windows> -P stage_install.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/check_install_tree.cmake)
