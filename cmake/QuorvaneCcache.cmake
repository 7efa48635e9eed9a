# Compiles through ccache when it is installed, so a second build of the same
# sources (another preset's CI run, a fresh clone beside this one) takes the
# objects from the cache instead of compiling them again. The cache is
# ccache's own (~/.cache/ccache, or wherever CCACHE_DIR points), never inside
# the clone.
#
# Two clones hash the same only if no absolute path of theirs reaches the
# hash: base_dir is the source tree, so ccache hands the compiler paths
# relative to the build folder, and the debug information of -g builds names
# the source tree as "." rather than by its absolute path (with both set,
# ccache leaves the build folder out of the hash as well).
#
# A launcher given on the command line (-DCMAKE_CXX_COMPILER_LAUNCHER=...)
# is kept as it is; -DQUORVANE_CCACHE=OFF compiles without a cache.
option(QUORVANE_CCACHE "Compile through ccache when it is installed" ON)

if(QUORVANE_CCACHE AND NOT CMAKE_C_COMPILER_LAUNCHER AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  find_program(QUORVANE_CCACHE_PROGRAM ccache)
  if(QUORVANE_CCACHE_PROGRAM)
    # ccache before 4.8 takes its settings from the environment alone.
    set(quorvane_launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}
                          ${QUORVANE_CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${quorvane_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${quorvane_launcher})
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
      add_compile_options(-fdebug-prefix-map=${PROJECT_SOURCE_DIR}=.)
    endif()
    message(STATUS "Compiling through ${QUORVANE_CCACHE_PROGRAM}")
  endif()
endif()
