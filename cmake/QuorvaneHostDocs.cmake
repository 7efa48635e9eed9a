# The host's manual page, made from its own --help by help2man, and its bash
# completion; both go with the host (component host). The page is installed
# compressed, as man-db and Debian expect. A cross build runs the host under
# its emulator (CMAKE_CROSSCOMPILING_EMULATOR, qemu-aarch64 for arm64); one
# without an emulator (Windows) has neither.
if(NOT TARGET quorvane_cli OR (CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR))
  return()
endif()
# help2man runs the program it is given and names the page after its file, so
# a cross build gives it a script named quorvane that starts the host under
# the emulator.
set(QUORVANE_HOST_FOR_HELP2MAN $<TARGET_FILE:quorvane_cli>)
if(CMAKE_CROSSCOMPILING)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR "\" \"" emulator)
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/man/emulated/quorvane
    CONTENT "#!/bin/sh\nexec \"${emulator}\" \"$<TARGET_FILE:quorvane_cli>\" \"$@\"\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(QUORVANE_HOST_FOR_HELP2MAN ${PROJECT_BINARY_DIR}/man/emulated/quorvane)
endif()
find_program(QUORVANE_HELP2MAN help2man)
find_program(QUORVANE_GZIP gzip)
if(NOT QUORVANE_HELP2MAN OR NOT QUORVANE_GZIP)
  message(WARNING "help2man or gzip is missing: the install tree has no manual page (apt-get install help2man)")
else()
  set(man_page ${PROJECT_BINARY_DIR}/man/quorvane.1)
  add_custom_command(
    OUTPUT ${man_page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND ${QUORVANE_HELP2MAN} --no-info --section=1 --name=${QUORVANE_HOST_SUMMARY}
            --version-string=${PROJECT_VERSION} --output=${man_page} ${QUORVANE_HOST_FOR_HELP2MAN}
    # -n leaves the name and time out of the header: the same page gives the same bytes.
    COMMAND ${QUORVANE_GZIP} -9nf ${man_page}
    DEPENDS quorvane_cli
    COMMENT "Writing the manual page quorvane.1 from quorvane --help"
    VERBATIM)
  add_custom_target(quorvane_man_page ALL DEPENDS ${man_page}.gz)
  install(FILES ${man_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT host)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/bash-completion/quorvane
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT host)
