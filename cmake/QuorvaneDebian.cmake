# Debian packages from CPack's DEB generator (cpack -G DEB), in Debian's
# usual split of a shared library:
#   libmorvatic-quorvane-cpu-benchmark1     the library under its soname (component lib)
#   libmorvatic-quorvane-cpu-benchmark-dev  the header, the unversioned link, the CMake
#                                           package and the .pc (component dev)
#   quorvane                                the command-line host, its manual page and
#                                           bash completion (component host)
# Each package carries its own copyright file and changelog; those are
# installed only when a package is made of its component (EXCLUDE_FROM_ALL),
# so the install tree and the archives stay as they are.
set(QUORVANE_DEB_MAINTAINER "the quorvane authors <maintainers@quorvane.example>"
    CACHE STRING "The Maintainer field of the Debian packages")
set(QUORVANE_DEB_RELEASE 1)
set(QUORVANE_DEB_VERSION ${PROJECT_VERSION}-${QUORVANE_DEB_RELEASE})
set(QUORVANE_DEB_LIB_PACKAGE lib${QUORVANE_LIBRARY_NAME}${PROJECT_VERSION_MAJOR})
set(QUORVANE_DEB_DEV_PACKAGE lib${QUORVANE_LIBRARY_NAME}-dev)
set(QUORVANE_DEB_HOST_PACKAGE quorvane)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVANE_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUORVANE_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The control files and the tree keep Debian's permissions whatever the umask.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_LIB_PACKAGE_NAME ${QUORVANE_DEB_LIB_PACKAGE})
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
# The shlibs file: a program built against the library depends on this
# package at this version or later.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_DEBIAN_LIB_DESCRIPTION "embeddable processor and memory throughput benchmark
A shared library that measures a computer's integer and floating-point
throughput on one thread and on every processor, and its memory copy
bandwidth, in a run of about 20 seconds on a thread of its own. A host
program starts the run, polls its state and progress, may cancel it, and
reads the result as one line of JSON.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${QUORVANE_DEB_DEV_PACKAGE})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${QUORVANE_DEB_LIB_PACKAGE} (= ${QUORVANE_DEB_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION "embeddable processor and memory throughput benchmark - development files
The C header, the CMake package (find_package(quorvane)) and the pkg-config
file for building programs that use the quorvane benchmark library.")

set(CPACK_DEBIAN_HOST_PACKAGE_NAME ${QUORVANE_DEB_HOST_PACKAGE})
set(CPACK_DEBIAN_HOST_PACKAGE_SECTION utils)
# The host opens the library at run time rather than linking it, so
# dpkg-shlibdeps cannot see that dependency.
set(CPACK_DEBIAN_HOST_PACKAGE_DEPENDS "${QUORVANE_DEB_LIB_PACKAGE} (= ${QUORVANE_DEB_VERSION})")
set(CPACK_DEBIAN_HOST_DESCRIPTION "command-line host of the quorvane benchmark
Runs the quorvane processor and memory throughput benchmark once or several
times with progress, describes the machine, and prints a results table or
summary statistics; writes JSON, CSV, Markdown, Prometheus and HTML exports
and compares the results with a baseline.")

# Debian's name for the architecture of a cross build (CPack asks dpkg, which
# answers for the build machine).
if(CMAKE_CROSSCOMPILING AND CMAKE_SYSTEM_PROCESSOR STREQUAL "aarch64")
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()

if(NOT WIN32)
  find_program(QUORVANE_GZIP gzip)
  string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  foreach(component IN ITEMS lib dev host)
    string(TOUPPER ${component} upper)
    set(package ${QUORVANE_DEB_${upper}_PACKAGE})
    set(changelog ${PROJECT_BINARY_DIR}/debian/${package}/changelog.Debian)
    file(WRITE ${changelog}
         "${package} (${QUORVANE_DEB_VERSION}) unstable; urgency=medium\n\n"
         "  * Release ${PROJECT_VERSION}.\n\n"
         " -- ${QUORVANE_DEB_MAINTAINER}  ${changelog_date}\n")
    execute_process(COMMAND ${QUORVANE_GZIP} -9nf ${changelog} COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${changelog}.gz ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
      COMPONENT ${component} EXCLUDE_FROM_ALL)
  endforeach()
endif()
