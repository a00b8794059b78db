# nlohmann-json for cross builds: the host's headers, seen through a folder in
# the build tree that holds only them.
if(NOT TARGET nlohmann_json::nlohmann_json)
  find_path(QOR_NLOHMANN_HOST_INCLUDE nlohmann/json.hpp
    PATHS /usr/include /usr/local/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(QOR_NLOHMANN_INCLUDE ${CMAKE_BINARY_DIR}/cross-include/nlohmann-json)
  file(MAKE_DIRECTORY ${QOR_NLOHMANN_INCLUDE})
  if(NOT EXISTS ${QOR_NLOHMANN_INCLUDE}/nlohmann)
    file(CREATE_LINK ${QOR_NLOHMANN_HOST_INCLUDE}/nlohmann ${QOR_NLOHMANN_INCLUDE}/nlohmann SYMBOLIC)
  endif()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES ${QOR_NLOHMANN_INCLUDE})
endif()
