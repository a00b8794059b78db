# The version of the host's headers, read from their version macros.
find_file(QOR_NLOHMANN_VERSION_HEADER NAMES nlohmann/detail/abi_macros.hpp nlohmann/json.hpp
  PATHS /usr/include /usr/local/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
set(PACKAGE_VERSION 0.0.0)
if(QOR_NLOHMANN_VERSION_HEADER)
  file(STRINGS ${QOR_NLOHMANN_VERSION_HEADER} version_lines
    REGEX "#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) +[0-9]+")
  set(version_parts)
  foreach(part MAJOR MINOR PATCH)
    string(REGEX MATCH "VERSION_${part} +([0-9]+)" match "${version_lines}")
    list(APPEND version_parts ${CMAKE_MATCH_1})
  endforeach()
  list(JOIN version_parts "." PACKAGE_VERSION)
endif()

# Same rule as the upstream package: same major version, at least the one asked.
string(REGEX MATCH "^[0-9]+" found_major "${PACKAGE_VERSION}")
set(PACKAGE_VERSION_COMPATIBLE FALSE)
if(PACKAGE_FIND_VERSION_MAJOR STREQUAL found_major
   AND PACKAGE_VERSION VERSION_GREATER_EQUAL PACKAGE_FIND_VERSION)
  set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
if(PACKAGE_VERSION VERSION_EQUAL PACKAGE_FIND_VERSION)
  set(PACKAGE_VERSION_EXACT TRUE)
endif()
