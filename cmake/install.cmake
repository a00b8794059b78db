# What `cmake --install` puts where: the library, its header, the simulated
# SDK as a component of its own, the CMake package and pkg-config files that
# let other builds find both, and the documentation with the examples.
include(CMakePackageConfigHelpers)

install(TARGETS qor_bitflow EXPORT qor_bitflow_targets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${QOR_COMPONENT_RUNTIME}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${QOR_COMPONENT_RUNTIME}
    NAMELINK_COMPONENT ${QOR_COMPONENT_DEVELOPMENT}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT ${QOR_COMPONENT_DEVELOPMENT}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/qor_bitflow.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT ${QOR_COMPONENT_DEVELOPMENT})

# The simulated SDK. qor_bitflow::simulator gives a host the simulator's
# control header and both libraries in one name.
add_library(qor_bitflow_simulator INTERFACE)
set_target_properties(qor_bitflow_simulator PROPERTIES EXPORT_NAME simulator)
target_link_libraries(qor_bitflow_simulator INTERFACE Cid BFD)
set_target_properties(BFD PROPERTIES INSTALL_RPATH "${QOR_LIBRARY_INSTALL_RPATH}")
install(TARGETS Cid BFD qor_bitflow_simulator EXPORT qor_bitflow_simulator_targets
  RUNTIME DESTINATION ${QOR_SIM_BINDIR} COMPONENT ${QOR_COMPONENT_SIMULATOR}
  LIBRARY DESTINATION ${QOR_SIM_LIBDIR} COMPONENT ${QOR_COMPONENT_SIMULATOR}
  ARCHIVE DESTINATION ${QOR_SIM_LIBDIR} COMPONENT ${QOR_COMPONENT_SIMULATOR}
  INCLUDES DESTINATION ${QOR_SIM_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/sim/bfsim.h
  DESTINATION ${QOR_SIM_INCLUDEDIR} COMPONENT ${QOR_COMPONENT_SIMULATOR})

# find_package(qor_bitflow 1.0 CONFIG): the paths in these files are all
# relative to the file itself, so the tree can be moved.
install(EXPORT qor_bitflow_targets NAMESPACE qor_bitflow:: FILE qor_bitflowTargets.cmake
  DESTINATION ${QOR_INSTALL_CMAKEDIR} COMPONENT ${QOR_COMPONENT_DEVELOPMENT})
install(EXPORT qor_bitflow_simulator_targets NAMESPACE qor_bitflow::
  FILE qor_bitflowSimulatorTargets.cmake
  DESTINATION ${QOR_INSTALL_CMAKEDIR} COMPONENT ${QOR_COMPONENT_SIMULATOR})
set(QOR_PACKAGE_BUILD_DIR ${PROJECT_BINARY_DIR}/package)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/package/qor_bitflowConfig.cmake.in
  ${QOR_PACKAGE_BUILD_DIR}/qor_bitflowConfig.cmake INSTALL_DESTINATION ${QOR_INSTALL_CMAKEDIR})
write_basic_package_version_file(${QOR_PACKAGE_BUILD_DIR}/qor_bitflowConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${QOR_PACKAGE_BUILD_DIR}/qor_bitflowConfig.cmake
              ${QOR_PACKAGE_BUILD_DIR}/qor_bitflowConfigVersion.cmake
  DESTINATION ${QOR_INSTALL_CMAKEDIR} COMPONENT ${QOR_COMPONENT_DEVELOPMENT})

# pkg-config files that find the prefix from their own place (pcfiledir),
# so they too stay right wherever the tree goes.
file(RELATIVE_PATH QOR_PC_TO_PREFIX /${QOR_INSTALL_PKGCONFIGDIR} /)
string(REGEX REPLACE "/$" "" QOR_PC_TO_PREFIX "${QOR_PC_TO_PREFIX}")
foreach(pc qor_bitflow qor_bitflow-simulator)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/package/${pc}.pc.in ${QOR_PACKAGE_BUILD_DIR}/${pc}.pc @ONLY)
endforeach()
install(FILES ${QOR_PACKAGE_BUILD_DIR}/qor_bitflow.pc
  DESTINATION ${QOR_INSTALL_PKGCONFIGDIR} COMPONENT ${QOR_COMPONENT_DEVELOPMENT})
install(FILES ${QOR_PACKAGE_BUILD_DIR}/qor_bitflow-simulator.pc
  DESTINATION ${QOR_INSTALL_PKGCONFIGDIR} COMPONENT ${QOR_COMPONENT_SIMULATOR})

# Documentation: the README, the guide, and each example with its CMake file.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/guide.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT ${QOR_COMPONENT_DEVELOPMENT})
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/windows.md
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT ${QOR_COMPONENT_DEVELOPMENT})
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
  DESTINATION ${QOR_INSTALL_EXAMPLESDIR} COMPONENT ${QOR_COMPONENT_DEVELOPMENT})

# The Python package, as its source tree has it: it loads the runtime's
# library through the system loader (or from QOR_BITFLOW_LIBRARY).
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/qor_bitflow
  DESTINATION ${QOR_INSTALL_PYTHONDIR} COMPONENT ${QOR_COMPONENT_PYTHON}
  FILES_MATCHING PATTERN "*.py" PATTERN "py.typed" PATTERN "__pycache__" EXCLUDE)
