# CLI11 for cross builds: the host's headers (header-only, the same for every
# target), seen through a folder in the build tree that holds only them.
if(NOT TARGET CLI11::CLI11)
  find_path(QOR_CLI11_HOST_INCLUDE CLI/CLI.hpp
    PATHS /usr/include /usr/local/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(QOR_CLI11_INCLUDE ${CMAKE_BINARY_DIR}/cross-include/CLI11)
  file(MAKE_DIRECTORY ${QOR_CLI11_INCLUDE})
  if(NOT EXISTS ${QOR_CLI11_INCLUDE}/CLI)
    file(CREATE_LINK ${QOR_CLI11_HOST_INCLUDE}/CLI ${QOR_CLI11_INCLUDE}/CLI SYMBOLIC)
  endif()
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${QOR_CLI11_INCLUDE})
endif()
