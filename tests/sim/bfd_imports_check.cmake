# BFD must reach the board model through Cid's C bridge only: no C++ symbol
# (of the model, or of a C++ runtime) may be among what it imports.
#   cmake -DNM=nm -DLIBRARY=libBFD.so -P bfd_imports_check.cmake
execute_process(COMMAND ${NM} -D --undefined-only ${LIBRARY}
  OUTPUT_VARIABLE imports RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} could not list the imports of ${LIBRARY}")
endif()
if(NOT imports MATCHES "bfsim_bfd_reg_peek")
  message(FATAL_ERROR "${LIBRARY} does not import the C bridge:\n${imports}")
endif()
string(REGEX MATCHALL "[^\n]* _Z[^\n]*" cxx "${imports}")
if(cxx)
  message(FATAL_ERROR "${LIBRARY} imports C++ symbols:\n${cxx}")
endif()
message(STATUS "BFD imports C symbols only")
