# Run by CPack once the Debian packages' files are staged: Debian's
# GStreamer looks for plugins in its own multiarch folder only
# (pkg-config's pluginsdir), not in lib/gstreamer-1.0 of the prefix where
# an install puts the plugin, so its package moves it there.
set(staged ${CPACK_TEMPORARY_DIRECTORY}/${CPACK_QOR_GST_COMPONENT}${CPACK_PACKAGING_INSTALL_PREFIX})
set(from ${staged}/${CPACK_QOR_GST_INSTALL_DIR})
set(to ${staged}/${CPACK_QOR_GST_DEB_DIR})
if(NOT IS_DIRECTORY ${from} OR from STREQUAL to)
  return()
endif()
file(MAKE_DIRECTORY ${to})
file(GLOB plugins ${from}/*.so)
foreach(plugin ${plugins})
  get_filename_component(name ${plugin} NAME)
  file(RENAME ${plugin} ${to}/${name})
endforeach()
file(REMOVE_RECURSE ${from})
