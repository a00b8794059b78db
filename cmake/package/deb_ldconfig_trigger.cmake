# Run by cpack once it has made the Debian packages (CPACK_POST_BUILD_SCRIPTS).
#
# CPack gives every package with a shared library under /usr/lib a postinst
# and a postrm whose only command is ldconfig. A postrm keeps a removed
# package in dpkg's "rc" state until it is purged, since dpkg must be able to
# run the postrm again then. Debian's own library packages ask for ldconfig
# through dpkg's ldconfig trigger instead, which dpkg activates on install and
# on removal alike, with no script at all: this rebuilds each such package
# that way, so that `dpkg -r` leaves nothing behind. A package with scripts
# of any other kind is refused rather than changed.
find_program(QOR_DPKG_DEB dpkg-deb REQUIRED)
if(NOT CPACK_DEBIAN_COMPRESSION_TYPE)
  set(CPACK_DEBIAN_COMPRESSION_TYPE gzip)
endif()

# The two scripts CPack writes, byte for byte.
set(generated_script_pattern
  "^#!/bin/sh\n\nset -e\n\nif \\[ \"\\$1\" = \"(configure|remove)\" \\]; then\n\tldconfig\nfi\n$")

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status ERROR_VARIABLE error)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGV}: ${error}")
  endif()
endfunction()

# Whether the control folder holds CPack's ldconfig scripts (and fails on
# scripts it did not write).
function(has_generated_ldconfig_scripts control result)
  set(found FALSE)
  foreach(script postinst postrm)
    if(EXISTS ${control}/${script})
      file(READ ${control}/${script} text)
      if(NOT text MATCHES "${generated_script_pattern}")
        message(FATAL_ERROR "${control}/${script} is not CPack's ldconfig script; "
          "cmake/package/deb_ldconfig_trigger.cmake would drop it")
      endif()
      set(found TRUE)
    endif()
  endforeach()
  set(${result} ${found} PARENT_SCOPE)
endfunction()

function(use_ldconfig_trigger deb)
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  run(${QOR_DPKG_DEB} --raw-extract ${deb} ${tree})
  has_generated_ldconfig_scripts(${tree}/DEBIAN generated)
  if(NOT generated)
    return()
  endif()
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  file(WRITE ${tree}/DEBIAN/triggers "activate-noawait ldconfig\n")
  run(${QOR_DPKG_DEB} --root-owner-group -Z${CPACK_DEBIAN_COMPRESSION_TYPE} --build ${tree} ${deb})
  file(REMOVE_RECURSE ${tree})
endfunction()

foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.deb$")
    use_ldconfig_trigger(${package})
  endif()
endforeach()
