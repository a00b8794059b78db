# Doxygen does not warn about an enumerator without a description; this
# does, from Doxygen's XML for the header. Run as
#   cmake -DXML=<xml folder>/qor__bitflow_8h.xml -P check_enumerators.cmake
cmake_minimum_required(VERSION 3.25)

file(READ "${XML}" xml)
# One entry per enumerator: split at each opening tag.
string(REPLACE "<enumvalue " ";<enumvalue " parts "${xml}")
set(undocumented)
set(seen 0)
foreach(part IN LISTS parts)
  if(NOT part MATCHES "^<enumvalue ")
    continue()
  endif()
  math(EXPR seen "${seen} + 1")
  string(FIND "${part}" "</enumvalue>" end)
  string(SUBSTRING "${part}" 0 ${end} part)
  string(REGEX MATCH "<name>([^<]*)</name>" ignored "${part}")
  set(name "${CMAKE_MATCH_1}")
  # The description, brief or detailed, without its markup.
  string(REGEX REPLACE "^.*<briefdescription>" "" text "${part}")
  string(REGEX REPLACE "<[^>]*>" "" text "${text}")
  string(STRIP "${text}" text)
  if(text STREQUAL "")
    list(APPEND undocumented "${name}")
  endif()
endforeach()
if(seen EQUAL 0)
  message(FATAL_ERROR "${XML}: no enumerators found")
endif()
if(undocumented)
  message(FATAL_ERROR "enumerators without a description: ${undocumented}")
endif()
