# The host's manual page, made from its own --help by help2man, and its bash
# completion; both go with the host (component host). The page is installed
# compressed, as man-db and Debian expect. A cross build cannot run the host,
# so it has neither.
if(NOT TARGET quorvane_cli OR CMAKE_CROSSCOMPILING)
  return()
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
            --version-string=${PROJECT_VERSION} --output=${man_page} $<TARGET_FILE:quorvane_cli>
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
