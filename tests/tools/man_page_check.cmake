# Renders the manual page PAGE with GROFF (when found), failing on any
# warning, then installs COMPONENT of BUILD_DIR into PREFIX and checks that
# the page is there, under MANDIR/man1 as INSTALLED (gzipped where man pages are).
if(GROFF)
  execute_process(COMMAND ${GROFF} -man -Tutf8 -ww -z ${PAGE}
    RESULT_VARIABLE status ERROR_VARIABLE warnings)
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "groff renders ${PAGE} with status ${status}:\n${warnings}")
  endif()
else()
  message(STATUS "groff not found: only the installation is checked")
endif()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  --component ${COMPONENT} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot install component ${COMPONENT}:\n${errors}")
endif()
if(NOT EXISTS ${PREFIX}/${MANDIR}/man1/${INSTALLED})
  message(FATAL_ERROR "${INSTALLED} is not installed in ${PREFIX}/${MANDIR}/man1")
endif()
file(REMOVE_RECURSE ${PREFIX})
