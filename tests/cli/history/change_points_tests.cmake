# The history's change points against an independent reimplementation, and
# its trend page in headless Chromium (a Linux program: native builds only;
# Python starts the driver itself, which a cross build's driver cannot be).
if(CMAKE_CROSSCOMPILING)
  return()
endif()
add_executable(quorvane_history_driver ${CMAKE_CURRENT_LIST_DIR}/history_driver.cpp)
target_link_libraries(quorvane_history_driver PRIVATE quorvane_cli_core quorvane_warnings)
quorvane_python_test_classes(PREFIX cli.history MODULE test_change_points
  DIRECTORY ${CMAKE_CURRENT_LIST_DIR} TIMEOUT 120 CLASSES ChangePointTest TrendPageTest
  ENVIRONMENT "QUORVANE_HISTORY_DRIVER=$<TARGET_FILE:quorvane_history_driver>"
              PYTHONDONTWRITEBYTECODE=1
  LABELS cli history)
