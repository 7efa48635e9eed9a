# The install tree beyond the targets themselves, and its archive:
#   lib/cmake/quorvane/   quorvane-config.cmake, its version file, the targets
#   lib/pkgconfig/        quorvane.pc (relocatable: paths from its own folder)
#   share/doc/quorvane/   README.md, LICENSE and docs/ (where the README's
#                         links lead)
#   share/man/man1/       quorvane.1.gz, from the host's --help
#   share/bash-completion/completions/quorvane
#   share/quorvane/prometheus/  quorvane-rules.yml, alert and recording rules
# `cmake --build <build> --target package` packs that tree with CPack:
# quorvane-<version>-Linux-x86_64.tar.gz, or from the Windows cross build
# quorvane-<version>-Windows-x86_64.zip, binaries stripped.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORVANE_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quorvane)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/quorvane-config.cmake.in
  ${PROJECT_BINARY_DIR}/package/quorvane-config.cmake
  INSTALL_DESTINATION ${QUORVANE_CMAKE_PACKAGE_DIR})
# Any 1.x satisfies find_package(quorvane 1.0); 2 and later do not.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/quorvane-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/quorvane-config.cmake
              ${PROJECT_BINARY_DIR}/package/quorvane-config-version.cmake
  DESTINATION ${QUORVANE_CMAKE_PACKAGE_DIR} COMPONENT dev)

file(RELATIVE_PATH QUORVANE_PC_PREFIX_FROM_PCDIR
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/quorvane.pc.in ${PROJECT_BINARY_DIR}/package/quorvane.pc
  @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/quorvane.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# The documents belong to the install tree and the archives; each Debian
# package carries its own copyright file instead (QuorvaneDebian.cmake).
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT doc)

set(QUORVANE_HOST_SUMMARY "runs the quorvane processor and memory throughput benchmark")
include(${CMAKE_CURRENT_LIST_DIR}/QuorvaneHostDocs.cmake)
# Prometheus rules for fleets that collect the host's .prom export; they go
# with the host, on every system.
if(TARGET quorvane_cli)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/prometheus/quorvane-rules.yml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvane/prometheus COMPONENT host)
endif()

if(WIN32)
  set(QUORVANE_PACKAGE_SYSTEM Windows)
  set(CPACK_GENERATOR ZIP)
else()
  set(QUORVANE_PACKAGE_SYSTEM ${CMAKE_SYSTEM_NAME})
  set(CPACK_GENERATOR TGZ)
endif()
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(QUORVANE_PACKAGE_PROCESSOR x86_64)
else()
  set(QUORVANE_PACKAGE_PROCESSOR ${CMAKE_SYSTEM_PROCESSOR})
endif()
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "the quorvane authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME
    quorvane-${PROJECT_VERSION}-${QUORVANE_PACKAGE_SYSTEM}-${QUORVANE_PACKAGE_PROCESSOR})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
# The archive holds the install tree under one folder named like the archive.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
get_target_property(QUORVANE_LIBRARY_NAME quorvane OUTPUT_NAME)
include(${CMAKE_CURRENT_LIST_DIR}/QuorvaneDebian.cmake)
# The archives hold every component; the Debian packages leave out the doc
# component, whose LICENSE each package's copyright file stands for.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/QuorvaneCPackGenerators.cmake)
include(CPack)
