# Read by cpack for each generator it runs.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL lib dev host)
  # Each package's description has its own synopsis line; CPackDeb would
  # put the project's summary above it.
  unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)
endif()
