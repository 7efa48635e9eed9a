# Builds consumer.c against the install tree PREFIX with the flags of
# `pkg-config --cflags --libs quorvane` alone, and runs it.
# Usage: cmake -DPREFIX=<dir> -DPKG_CONFIG=<pkg-config> -DCC=<C compiler>
#              -DSOURCE=<consumer.c> -DOUTPUT=<program> -DEXPECTED_VERSION=<x.y.z>
#              -P pkg_config_consumer.cmake
set(ENV{PKG_CONFIG_PATH} ${PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_LIBDIR} ${PREFIX}/lib/pkgconfig)
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs quorvane
  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pkg-config finds no quorvane in ${PREFIX}/lib/pkgconfig")
endif()
execute_process(COMMAND ${PKG_CONFIG} --modversion quorvane
  OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${PKG_CONFIG} --variable=libdir quorvane
  OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
message(STATUS "quorvane ${version}: ${flags}")
if(NOT version STREQUAL EXPECTED_VERSION)
  message(FATAL_ERROR "quorvane.pc says version ${version}, not ${EXPECTED_VERSION}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${CC} -std=c99 -Wall -Wextra -Werror ${SOURCE} ${flags}
                        "-DQUORVANE_EXPECTED_VERSION=\"${EXPECTED_VERSION}\"" -o ${OUTPUT}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the consumer does not build with pkg-config's flags")
endif()
# The loader finds the library through the tree pkg-config named.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libdir} ${OUTPUT}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the consumer built with pkg-config's flags failed (${status})")
endif()
