# SQLite for the Windows cross build: the win-x64 DLL of the NuGet package
# SQLitePCLRaw.lib.e_sqlite3 (public domain, its only import is kernel32),
# fetched once from the NuGet source into the build tree and checked by its
# SHA-256, with the C header of Debian's libsqlite3-dev (the DLL is newer
# than the header, and SQLite's C interface only grows). GNU ld links a DLL
# directly, so the DLL is its own import library. Defines SQLite::SQLite3
# and QUORVANE_SQLITE_DLL; without the package the build keeps no history.
#
#   -DQUORVANE_SQLITE_NUPKG=FILE  use a package already fetched
#   -DQUORVANE_NUGET_PACKAGE_BASE=URL  the source's package folder (NuGet v3
#                                      "PackageBaseAddress"); by default the
#                                      one that the first package source of
#                                      the user's NuGet.Config names

set(QUORVANE_SQLITE_PACKAGE sqlitepclraw.lib.e_sqlite3)
set(QUORVANE_SQLITE_PACKAGE_VERSION 3.53.3)
set(QUORVANE_SQLITE_PACKAGE_SHA256 72cb724779218e024833a21e2903c795a9e90c0bfa01520f27990c36413f32d4)
set(QUORVANE_NUGET_PACKAGE_BASE "" CACHE STRING
    "The NuGet source's package folder (v3 flat container); empty: from NuGet.Config")

# The package folder of the first source in the user's NuGet.Config, read
# from that source's service index; empty when there is none.
function(quorvane_nuget_package_base out)
  set(${out} "" PARENT_SCOPE)
  set(config $ENV{HOME}/.nuget/NuGet/NuGet.Config)
  if(NOT EXISTS ${config})
    return()
  endif()
  file(READ ${config} text)
  string(REGEX MATCH "<add [^>]*value=\"(https://[^\"]*/index\\.json)\"" found "${text}")
  if(NOT found)
    return()
  endif()
  set(index ${CMAKE_BINARY_DIR}/third_party/sqlite/nuget-index.json)
  file(DOWNLOAD ${CMAKE_MATCH_1} ${index} STATUS status TLS_VERIFY ON)
  list(GET status 0 code)
  if(NOT code EQUAL 0)
    return()
  endif()
  file(READ ${index} json)
  string(JSON count ERROR_VARIABLE problem LENGTH "${json}" resources)
  if(problem)
    return()
  endif()
  math(EXPR last "${count} - 1")
  foreach(i RANGE ${last})
    string(JSON type ERROR_VARIABLE problem GET "${json}" resources ${i} @type)
    if(type STREQUAL "PackageBaseAddress/3.0.0")
      string(JSON base GET "${json}" resources ${i} @id)
      string(REGEX REPLACE "/$" "" base "${base}")
      set(${out} ${base} PARENT_SCOPE)
      return()
    endif()
  endforeach()
endfunction()
set(QUORVANE_SQLITE_NUPKG "" CACHE FILEPATH "The SQLitePCLRaw.lib.e_sqlite3 package, if fetched already")

function(quorvane_windows_sqlite)
  set(folder ${CMAKE_BINARY_DIR}/third_party/sqlite)
  set(package ${QUORVANE_SQLITE_NUPKG})
  if(NOT package)
    set(package ${folder}/${QUORVANE_SQLITE_PACKAGE}.${QUORVANE_SQLITE_PACKAGE_VERSION}.nupkg)
  endif()
  if(NOT EXISTS ${package})
    set(base ${QUORVANE_NUGET_PACKAGE_BASE})
    if(NOT base)
      quorvane_nuget_package_base(base)
    endif()
    if(NOT base)
      message(WARNING "No NuGet source is configured (~/.nuget/NuGet/NuGet.Config): this build keeps no history")
      return()
    endif()
    set(name ${QUORVANE_SQLITE_PACKAGE}.${QUORVANE_SQLITE_PACKAGE_VERSION}.nupkg)
    message(STATUS "Fetching ${name} from the NuGet source")
    file(DOWNLOAD ${base}/${QUORVANE_SQLITE_PACKAGE}/${QUORVANE_SQLITE_PACKAGE_VERSION}/${name}
         ${package}.part STATUS status TLS_VERIFY ON)
    list(GET status 0 code)
    if(NOT code EQUAL 0)
      file(REMOVE ${package}.part)
      message(WARNING "SQLite for Windows could not be fetched (${status}): this build keeps no history")
      return()
    endif()
    file(RENAME ${package}.part ${package})
  endif()
  file(SHA256 ${package} digest)
  if(NOT digest STREQUAL QUORVANE_SQLITE_PACKAGE_SHA256)
    message(FATAL_ERROR "${package} is not the expected package (SHA-256 ${digest})")
  endif()
  set(dll ${folder}/runtimes/win-x64/native/e_sqlite3.dll)
  if(NOT EXISTS ${dll})
    file(ARCHIVE_EXTRACT INPUT ${package} DESTINATION ${folder}
         PATTERNS runtimes/win-x64/native/e_sqlite3.dll LICENSE.txt)
  endif()
  # The header alone, copied: the build machine's /usr/include must not
  # shadow the target's C headers.
  find_path(QUORVANE_SQLITE_HEADER_DIR sqlite3.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH)
  if(NOT QUORVANE_SQLITE_HEADER_DIR)
    message(WARNING "sqlite3.h (libsqlite3-dev) is missing: this build keeps no history")
    return()
  endif()
  file(COPY ${QUORVANE_SQLITE_HEADER_DIR}/sqlite3.h DESTINATION ${folder}/include)
  add_library(SQLite::SQLite3 SHARED IMPORTED GLOBAL)
  set_target_properties(SQLite::SQLite3 PROPERTIES
    IMPORTED_LOCATION ${dll}
    IMPORTED_IMPLIB ${dll}
    INTERFACE_INCLUDE_DIRECTORIES ${folder}/include)
  # Beside the programs, where Windows (and Wine) look for it first.
  file(COPY ${dll} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set(QUORVANE_SQLITE_DLL ${dll} PARENT_SCOPE)
endfunction()

quorvane_windows_sqlite()
