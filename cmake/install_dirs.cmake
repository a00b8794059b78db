# Where an install puts each kind of file, and the components it is split
# into. Included before the subdirectories so that each can install its own
# targets with the same names.
#
#   runtime      the shared library and qor-grab: what a host program needs to run
#   development  the header, link library, CMake package, pkg-config files,
#                API reference and examples
#   simulator    the simulated SDK (Cid, BFD and bfsim.h) and its example
#                populations, separate so that a machine with the board
#                vendor's SDK installs the rest without it
#   gstreamer    the GStreamer plugin (qorbitflowsrc), where GStreamer is found
#   python       the qor_bitflow Python package, which loads the runtime's library
include(GNUInstallDirs)

set(QOR_COMPONENT_RUNTIME runtime)
set(QOR_COMPONENT_DEVELOPMENT development)
set(QOR_COMPONENT_SIMULATOR simulator)
set(QOR_COMPONENT_GSTREAMER gstreamer)
set(QOR_COMPONENT_PYTHON python)

set(QOR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/qor_bitflow)
set(QOR_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(QOR_INSTALL_EXAMPLESDIR ${CMAKE_INSTALL_DOCDIR}/examples)
set(QOR_INSTALL_SIM_EXAMPLESDIR ${CMAKE_INSTALL_DATADIR}/qor_bitflow/sim-examples)

# The Python package: where Debian's python3 looks for packages of its own
# (the same relative folder under any other prefix), and on Windows a folder
# of the unpacked tree that a host puts on PYTHONPATH.
if(WIN32)
  set(QOR_INSTALL_PYTHONDIR python)
else()
  set(QOR_INSTALL_PYTHONDIR lib/python3/dist-packages)
endif()

# On Windows the simulated DLLs get a folder of their own, so that nobody
# mistakes them for the vendor's; a host that wants them copies them beside
# its program. Elsewhere they sit with the library, where its run path looks.
if(WIN32)
  set(QOR_SIM_BINDIR simulator)
  set(QOR_SIM_LIBDIR simulator/lib)
  set(QOR_SIM_INCLUDEDIR simulator/include)
else()
  set(QOR_SIM_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(QOR_SIM_LIBDIR ${CMAKE_INSTALL_LIBDIR})
  set(QOR_SIM_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/qor_bitflow)
endif()

# Installed binaries find the libraries relative to themselves, so that an
# installed tree works wherever it is copied or unpacked.
if(NOT WIN32)
  file(RELATIVE_PATH QOR_BIN_TO_LIBDIR /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set(QOR_PROGRAM_INSTALL_RPATH "$ORIGIN/${QOR_BIN_TO_LIBDIR}")
  set(QOR_LIBRARY_INSTALL_RPATH "$ORIGIN")
endif()
