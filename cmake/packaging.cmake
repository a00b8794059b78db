# Packages made with CPack from the install rules: on Windows a ZIP that
# unpacks into a ready tree (qor_bitflow-1.0.0-win64.zip), elsewhere Debian
# packages, one per install component:
#   qor-bitflow            runtime: libqor_bitflow.so.1 and qor-grab
#   qor-bitflow-dev        development: header, link, CMake and pkg-config files, docs
#   qor-bitflow-simulator  the simulated SDK and its example populations
#   gstreamer1.0-qor-bitflow  the GStreamer plugin, where GStreamer is found
#   python3-qor-bitflow    the Python package
# and, with the debug symbols kept apart, a -dbgsym.ddeb beside each package
# that holds binaries.
# `cpack` in the build folder makes them.

if(WIN32 AND NOT MSVC)
  # MSVC links against a .lib made from the export list; dlltool makes the
  # same kind of import library from the same .def, so hosts built with
  # Visual Studio need nothing from this build but the archive.
  set(QOR_MSVC_IMPORT_LIBRARY ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/qor_bitflow.lib)
  set(QOR_EXPORT_DEF ${PROJECT_SOURCE_DIR}/exports/qor_bitflow.def)
  add_custom_command(OUTPUT ${QOR_MSVC_IMPORT_LIBRARY}
    COMMAND ${CMAKE_DLLTOOL} --input-def ${QOR_EXPORT_DEF} --dllname qor_bitflow.dll
            --output-lib ${QOR_MSVC_IMPORT_LIBRARY}
    DEPENDS ${QOR_EXPORT_DEF}
    COMMENT "MSVC import library qor_bitflow.lib"
    VERBATIM)
  add_custom_target(qor_bitflow_msvc_import_library ALL DEPENDS ${QOR_MSVC_IMPORT_LIBRARY})
  install(FILES ${QOR_MSVC_IMPORT_LIBRARY}
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${QOR_COMPONENT_DEVELOPMENT})
endif()

set(CPACK_PACKAGE_NAME qor_bitflow)
set(CPACK_PACKAGE_VENDOR "qor_bitflow developers")
set(CPACK_PACKAGE_CONTACT "qor_bitflow developers <qor_bitflow@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Flat C interface to frame-grabber boards driven through their vendor SDK (Cid, BFD)")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_COMPONENTS_ALL
  ${QOR_COMPONENT_RUNTIME} ${QOR_COMPONENT_DEVELOPMENT} ${QOR_COMPONENT_SIMULATOR})
if(QOR_HAVE_GSTREAMER)
  list(APPEND CPACK_COMPONENTS_ALL ${QOR_COMPONENT_GSTREAMER})
endif()
list(APPEND CPACK_COMPONENTS_ALL ${QOR_COMPONENT_PYTHON})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME qor_bitflow-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  # Dependencies on the C and C++ runtimes come from dpkg-shlibdeps. The
  # simulated SDK that the library loads is in no Debian package, so it is
  # looked up in the build; the library asks for it only as a recommendation,
  # since a machine with the vendor's SDK runs without it.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  # Binaries ship stripped; their debug information goes into -dbgsym
  # packages, which gdb finds by build id once installed.
  set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
  set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
  # ldconfig through dpkg's trigger rather than maintainer scripts, so that
  # `dpkg -r` removes a package completely (the script says why).
  list(APPEND CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package/deb_ldconfig_trigger.cmake)

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME qor-bitflow)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS qor-bitflow-simulator)
  set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "Flat C interface to frame-grabber boards: shared library and qor-grab")

  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME qor-bitflow-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "qor-bitflow (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "qor_bitflow development files: header, CMake package, pkg-config file, API reference, examples")

  set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME qor-bitflow-simulator)
  set(CPACK_COMPONENT_SIMULATOR_DESCRIPTION
    "Simulated frame-grabber SDK (libCid, libBFD) for qor_bitflow without boards")

  if(QOR_HAVE_GSTREAMER)
    set(CPACK_DEBIAN_GSTREAMER_PACKAGE_NAME gstreamer1.0-qor-bitflow)
    set(CPACK_DEBIAN_GSTREAMER_PACKAGE_SECTION video)
    set(CPACK_DEBIAN_GSTREAMER_PACKAGE_DEPENDS "qor-bitflow (= ${PROJECT_VERSION})")
    set(CPACK_COMPONENT_GSTREAMER_DESCRIPTION
      "GStreamer source element qorbitflowsrc: frame-grabber boards in GStreamer pipelines")
    # The package puts the plugin where Debian's GStreamer looks for it.
    set(CPACK_QOR_GST_COMPONENT ${QOR_COMPONENT_GSTREAMER})
    set(CPACK_QOR_GST_INSTALL_DIR ${QOR_GST_PLUGIN_INSTALL_DIR})
    file(RELATIVE_PATH CPACK_QOR_GST_DEB_DIR ${QOR_GST_PREFIX} ${QOR_GST_PLUGINS_DIR})
    list(APPEND CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/gstreamer_deb_layout.cmake)
  endif()
  # Pure Python; the prerm clears the byte-code python3 leaves beside it.
  set(QOR_PYTHON_PACKAGE_DIR ${CPACK_PACKAGING_INSTALL_PREFIX}/${QOR_INSTALL_PYTHONDIR}/qor_bitflow)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/package/python3-qor-bitflow.prerm.in
    ${PROJECT_BINARY_DIR}/package/python3-qor-bitflow/prerm @ONLY)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-qor-bitflow)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "qor-bitflow (= ${PROJECT_VERSION}), python3 (>= 3.9), python3-numpy")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/package/python3-qor-bitflow/prerm)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_COMPONENT_PYTHON_DESCRIPTION
    "qor_bitflow from Python: the library over ctypes, frames as numpy arrays")
endif()

include(CPack)
