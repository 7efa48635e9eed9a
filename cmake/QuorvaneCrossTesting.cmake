# What the test suites need when they are cross-built (for Windows, or for
# Linux on another processor): GoogleTest compiled from the Debian sources
# with the cross compiler, and the header-only nlohmann_json of the build
# machine. find_package(GTest) and find_package(nlohmann_json) in the test
# directories then find these through CMake's package redirects.

# GoogleTest. GCC 12's C++ library for Windows in the win32 thread model has
# no std::mutex, which GoogleTest's Notification uses; the header in
# tests/windows/gtest-custom supplies one built on a Win32 event.
set(QUORVANE_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
if(NOT EXISTS ${QUORVANE_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${QUORVANE_GTEST_SOURCE_DIR} "
                      "(Debian package googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${QUORVANE_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(library gtest gtest_main)
  if(WIN32)
    target_include_directories(${library} BEFORE PUBLIC ${PROJECT_SOURCE_DIR}/tests/windows/gtest-custom)
  endif()
  if(NOT TARGET GTest::${library})
    add_library(GTest::${library} ALIAS ${library})
  endif()
endforeach()
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake
     "# GTest::gtest and GTest::gtest_main are built by this project.\n")

# nlohmann_json: only its own header directory, never the build machine's
# whole /usr/include, goes on the cross compiler's include path.
find_path(QUORVANE_NLOHMANN_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH
          NO_CMAKE_FIND_ROOT_PATH)
if(NOT QUORVANE_NLOHMANN_INCLUDE_DIR)
  message(FATAL_ERROR "nlohmann/json.hpp not found (Debian package nlohmann-json3-dev)")
endif()
set(nlohmann_headers ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${nlohmann_headers})
file(CREATE_LINK ${QUORVANE_NLOHMANN_INCLUDE_DIR}/nlohmann ${nlohmann_headers}/nlohmann SYMBOLIC)
add_library(quorvane_nlohmann_json INTERFACE)
target_include_directories(quorvane_nlohmann_json SYSTEM INTERFACE ${nlohmann_headers})
add_library(nlohmann_json::nlohmann_json ALIAS quorvane_nlohmann_json)
file(STRINGS ${QUORVANE_NLOHMANN_INCLUDE_DIR}/nlohmann/detail/abi_macros.hpp version_lines
     REGEX "#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) [0-9]+")
set(nlohmann_version "")
foreach(line IN LISTS version_lines)
  string(REGEX MATCH "[0-9]+" number "${line}")
  list(APPEND nlohmann_version ${number})
endforeach()
list(JOIN nlohmann_version "." nlohmann_version)
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/nlohmann_json-config.cmake
     "# nlohmann_json::nlohmann_json is defined by this project.\n")
file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/nlohmann_json-config-version.cmake
     "set(PACKAGE_VERSION ${nlohmann_version})\n"
     "if(PACKAGE_FIND_VERSION_MAJOR EQUAL 3 AND PACKAGE_VERSION VERSION_GREATER_EQUAL PACKAGE_FIND_VERSION)\n"
     "  set(PACKAGE_VERSION_COMPATIBLE TRUE)\n"
     "endif()\n")
