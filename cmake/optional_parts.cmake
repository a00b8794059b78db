# The tests, the benchmarks and the API reference need packages that the
# library and qor-grab do not (GoogleTest, Google Benchmark, Doxygen with
# Graphviz), so that a plain `cmake --preset default` builds on a machine with
# only the build tools. Each part's option is ON (its packages are required),
# OFF, or AUTO, the default: built when its packages are found, and left out
# with a message saying so when they are not. The test command and the
# presets that exist to run tests set their parts ON, so a missing package
# fails them rather than leaving a part out.

# qor_optional_part(OPTION DOC PACKAGE [find_package arguments...])
function(qor_optional_part option doc package)
  set(${option} AUTO CACHE STRING "${doc}: ON, OFF, or AUTO (when ${package} is found)")
  set_property(CACHE ${option} PROPERTY STRINGS ON OFF AUTO)
  if(NOT ${option} STREQUAL AUTO)
    return()
  endif()
  find_package(${package} ${ARGN} QUIET)
  if(${package}_FOUND)
    set(${option} ON PARENT_SCOPE)
  else()
    set(${option} OFF PARENT_SCOPE)
    message(STATUS "${package} not found: ${doc} left out (${option}=ON requires it)")
  endif()
endfunction()
