# The library: one set of objects, linked into the shared library that hosts
# load (exporting only the names in exports/) and into a static archive that
# the tests link, so tests can also look at the slot tables.
file(GLOB QOR_LIBRARY_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/board/*.cpp
  ${PROJECT_SOURCE_DIR}/acquisition/*.cpp
  ${PROJECT_SOURCE_DIR}/controls/*.cpp
  ${PROJECT_SOURCE_DIR}/registry/*.cpp)

add_library(qor_bitflow_objects OBJECT ${QOR_LIBRARY_SOURCES})
target_include_directories(qor_bitflow_objects PUBLIC
  ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
target_link_libraries(qor_bitflow_objects PUBLIC qor_sdk)

add_library(qor_bitflow SHARED $<TARGET_OBJECTS:qor_bitflow_objects>)
target_include_directories(qor_bitflow PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>)
# libqor_bitflow.so.1.0.0, known to the loader as libqor_bitflow.so.1 (also
# in the build tree, where Python and other loaders find it by that name).
set_target_properties(qor_bitflow PROPERTIES
  VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  INSTALL_RPATH "${QOR_LIBRARY_INSTALL_RPATH}")
target_link_libraries(qor_bitflow PRIVATE qor_sdk)
if(WIN32)
  target_sources(qor_bitflow PRIVATE ${PROJECT_SOURCE_DIR}/exports/qor_bitflow.def)
  set_target_properties(qor_bitflow PROPERTIES PREFIX "")
else()
  target_link_options(qor_bitflow PRIVATE
    -Wl,--version-script=${PROJECT_SOURCE_DIR}/exports/qor_bitflow.map -Wl,--no-undefined)
  set_target_properties(qor_bitflow PROPERTIES
    LINK_DEPENDS ${PROJECT_SOURCE_DIR}/exports/qor_bitflow.map)
endif()

add_library(qor_bitflow_static STATIC $<TARGET_OBJECTS:qor_bitflow_objects>)
target_include_directories(qor_bitflow_static PUBLIC
  ${PROJECT_SOURCE_DIR}/include ${PROJECT_SOURCE_DIR})
target_link_libraries(qor_bitflow_static PUBLIC qor_sdk)
