# The GStreamer plugin is built where GStreamer's development files are
# found through pkg-config (Debian: libgstreamer1.0-dev and
# libgstreamer-plugins-base1.0-dev); the Windows build leaves it out.
set(QOR_HAVE_GSTREAMER OFF)
if(WIN32)
  message(STATUS "GStreamer plugin qorbitflowsrc: not built (Windows build)")
  return()
endif()
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(QOR_GST QUIET IMPORTED_TARGET gstreamer-1.0 gstreamer-base-1.0 gstreamer-video-1.0)
endif()
if(NOT QOR_GST_FOUND)
  message(STATUS "GStreamer plugin qorbitflowsrc: not built (gstreamer-1.0, -base-1.0 and -video-1.0 development files not found)")
  return()
endif()
message(STATUS "GStreamer plugin qorbitflowsrc: built against GStreamer ${QOR_GST_gstreamer-1.0_VERSION}")
set(QOR_HAVE_GSTREAMER ON)
# An install puts the plugin in lib/gstreamer-1.0 of its prefix; GStreamer's
# own plugin folder (pkg-config's pluginsdir) is where the Debian package
# puts it.
set(QOR_GST_PLUGIN_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/gstreamer-1.0)
pkg_get_variable(QOR_GST_PREFIX gstreamer-1.0 prefix)
pkg_get_variable(QOR_GST_PLUGINS_DIR gstreamer-1.0 pluginsdir)
add_subdirectory(${PROJECT_SOURCE_DIR}/gstreamer ${PROJECT_BINARY_DIR}/gstreamer)
