# Checks that PREFIX holds quorvane's install tree for SYSTEM (Linux or
# Windows): the header, the library (with its version links on Linux, the
# import library and the export list on Windows), the host, the CMake
# package, the pkg-config file and the documents.
# Usage: cmake -DPREFIX=<dir> -DSYSTEM=<Linux|Windows> -P check_install_tree.cmake
set(name morvatic-quorvane-cpu-benchmark)
set(expected
  include/quorvane/quorvane.h
  lib/cmake/quorvane/quorvane-config.cmake
  lib/cmake/quorvane/quorvane-config-version.cmake
  lib/cmake/quorvane/quorvane-targets.cmake
  lib/pkgconfig/quorvane.pc
  share/doc/quorvane/README.md
  share/doc/quorvane/LICENSE
  share/doc/quorvane/docs/embedding.md
  share/doc/quorvane/docs/examples/load_and_run.c
  share/quorvane/prometheus/quorvane-rules.yml)
if(SYSTEM STREQUAL "Windows")
  # e_sqlite3.dll: the SQLite that quorvane.exe keeps its history with.
  list(APPEND expected bin/${name}.dll bin/quorvane.exe bin/e_sqlite3.dll lib/${name}.lib
       lib/${name}.def)
else()
  list(APPEND expected bin/quorvane lib/lib${name}.so lib/lib${name}.so.1 lib/lib${name}.so.1.0.0
       share/man/man1/quorvane.1.gz share/bash-completion/completions/quorvane)
endif()
set(problems "")
foreach(file IN LISTS expected)
  if(NOT EXISTS ${PREFIX}/${file})
    string(APPEND problems "\n  missing ${file}")
  endif()
endforeach()

if(NOT SYSTEM STREQUAL "Windows")
  # lib<name>.so -> .so.1 -> .so.1.0.0, the last one the file itself.
  foreach(link_and_target IN ITEMS "lib${name}.so=lib${name}.so.1" "lib${name}.so.1=lib${name}.so.1.0.0")
    string(REPLACE "=" ";" pair "${link_and_target}")
    list(GET pair 0 link)
    list(GET pair 1 target)
    file(READ_SYMLINK ${PREFIX}/lib/${link} found)
    if(NOT found STREQUAL target)
      string(APPEND problems "\n  lib/${link} points at '${found}', not ${target}")
    endif()
  endforeach()
  if(IS_SYMLINK ${PREFIX}/lib/lib${name}.so.1.0.0)
    string(APPEND problems "\n  lib/lib${name}.so.1.0.0 is a link, not the library")
  endif()
else()
  # The export list names the eight functions and nothing else.
  file(STRINGS ${PREFIX}/lib/${name}.def def_lines)
  set(exports "")
  foreach(line IN LISTS def_lines)
    if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)")
      list(APPEND exports ${CMAKE_MATCH_1})
    endif()
  endforeach()
  list(SORT exports)
  set(eight quorvane_cancel quorvane_last_error quorvane_phase quorvane_progress
      quorvane_results_json quorvane_start quorvane_state quorvane_version)
  if(NOT exports STREQUAL eight)
    string(APPEND problems "\n  lib/${name}.def exports '${exports}', not the eight functions")
  endif()
endif()

file(READ ${PREFIX}/share/doc/quorvane/LICENSE license)
if(NOT license MATCHES "Copyright \\(c\\) 2026 the quorvane authors")
  string(APPEND problems "\n  share/doc/quorvane/LICENSE lacks the copyright line")
endif()

if(problems)
  message(FATAL_ERROR "${PREFIX} is not a complete install tree:${problems}")
endif()
message(STATUS "install tree complete: ${PREFIX}")
