# Cid and BFD export C names only: no C++-mangled symbol (of the model, or a
# template instance of the C++ library) among what each defines for others,
# and each still exports the functions it exists for.
#   cmake -DNM=nm -DLIBRARY=libCid.so -DEXPECT=CiBrdOpen,bfsim_reset -P sim_exports_check.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE exports RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} could not list the exports of ${LIBRARY}")
endif()
string(REPLACE "," ";" expected "${EXPECT}")
foreach(name ${expected})
  if(NOT exports MATCHES " ${name}\n")
    message(FATAL_ERROR "${LIBRARY} does not export ${name}:\n${exports}")
  endif()
endforeach()
string(REGEX MATCHALL "[^\n]* _Z[^\n]*" cxx "${exports}")
if(cxx)
  message(FATAL_ERROR "${LIBRARY} exports C++ symbols:\n${cxx}")
endif()
message(STATUS "${LIBRARY} exports C symbols only")
