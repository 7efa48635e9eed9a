# Cross builds for Windows run their programs (test discovery, ctest) under
# Wine through a launcher that gives this build a Wine prefix of its own,
# created once, with Wine's diagnostics quieted.
if(QUORVANE_WINE)
  set(QUORVANE_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-prefix)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in ${PROJECT_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run)
endif()

