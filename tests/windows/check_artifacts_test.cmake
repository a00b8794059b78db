# Tests of check_artifacts.cmake on made-up objdump listings: each sound
# listing passes, and each broken one fails with the message naming its fault.
# Run as cmake -DSOURCE_DIR=<repository> -DWORK_DIR=<scratch folder> -P this.
cmake_minimum_required(VERSION 3.25)

set(CHECKER ${CMAKE_CURRENT_LIST_DIR}/check_artifacts.cmake)
set(DEF ${SOURCE_DIR}/exports/qor_bitflow.def)
set(HEADER ${SOURCE_DIR}/include/qor_bitflow.h)
set(CID_DEF ${SOURCE_DIR}/sdk/Cid.def)
set(BFD_DEF ${SOURCE_DIR}/sdk/BFD.def)
file(MAKE_DIRECTORY ${WORK_DIR})

file(STRINGS ${DEF} def_lines REGEX "^[ \t]+BF_")
set(BF_NAMES)
foreach(line IN LISTS def_lines)
  string(STRIP "${line}" name)
  list(APPEND BF_NAMES ${name})
endforeach()

# An export section as objdump -p prints it.
function(export_listing out module)
  set(text "The Export Tables (interpreted .edata section contents)\n\n")
  string(APPEND text "Export Flags \t\t\t0\nName \t\t\t\t000000000000803c ${module}\n")
  string(APPEND text "Ordinal Base \t\t\t1\n\n[Ordinal/Name Pointer] Table\n")
  set(index 0)
  foreach(name IN LISTS ARGN)
    string(APPEND text "\t[ ${index}] ${name}\n")
    math(EXPR index "${index} + 1")
  endforeach()
  string(APPEND text "\nThe Function Table (interpreted .pdata section contents)\n")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# An import section; arguments are DLL names, each followed by "NAMES" and
# the names imported from it.
function(import_listing out)
  set(text "The Import Tables (interpreted .idata section contents)\n")
  set(in_names FALSE)
  foreach(word IN LISTS ARGN)
    if(word STREQUAL "NAMES")
      set(in_names TRUE)
    elseif(word MATCHES "\\.dll$")
      string(APPEND text "\n 00009000\t00009050 00000000 00000000 00009354 00009120\n\n")
      string(APPEND text "\tDLL Name: ${word}\n\tvma:  Hint/Ord Member-Name Bound-To\n")
    else()
      string(APPEND text "\t91f0\t  283  ${word}\n")
    endif()
  endforeach()
  string(APPEND text "\n 0000903c\t00000000 00000000 00000000 00000000 00000000\n\n")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(failed 0)
# Runs one check on listings; `expected` is a pattern of the failure message,
# or empty when the check must pass.
function(expect_check case check expected)
  set(arguments -DCHECK=${check} -DDEF=${DEF} -DHEADER=${HEADER}
    -DCID_DEF=${CID_DEF} -DBFD_DEF=${BFD_DEF})
  foreach(part DLL CID_DLL BFD_DLL)
    if(DEFINED listing_${part})
      set(file ${WORK_DIR}/${case}_${part}.txt)
      file(WRITE ${file} "${listing_${part}}")
      list(APPEND arguments -D${part}_DUMP=${file})
    endif()
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} ${arguments} -P ${CHECKER}
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX REPLACE "[ \t\n]+" " " output "${output}")
  if(expected STREQUAL "")
    set(ok FALSE)
    if(status EQUAL 0)
      set(ok TRUE)
    endif()
  else()
    set(ok FALSE)
    if(NOT status EQUAL 0 AND output MATCHES "${expected}")
      set(ok TRUE)
    endif()
  endif()
  if(ok)
    message(STATUS "ok   ${case}")
  else()
    message(STATUS "FAIL ${case}: status ${status}, expected '${expected}', output: ${output}")
    set(failed 1 PARENT_SCOPE)
  endif()
endfunction()

# ---- Export table of qor_bitflow.dll --------------------------------------
set(sound_sdk_imports Cid.dll NAMES CiBrdOpen CiBrdClose BFD.dll NAMES BFIsR64
  USER32.dll NAMES GetFocus MessageBoxA KERNEL32.dll NAMES Sleep
  msvcrt.dll NAMES malloc api-ms-win-crt-heap-l1-1-0.dll NAMES free)

export_listing(listing_DLL qor_bitflow.dll ${BF_NAMES})
expect_check(exports_sound exports "")

export_listing(listing_DLL qor_bitflow.dll ${BF_NAMES} _ZN3qor8openSlotEi)
expect_check(exports_cxx_symbol exports "unexpected \\[_ZN3qor8openSlotEi\\]")

set(decorated ${BF_NAMES})
list(TRANSFORM decorated REPLACE "^BF_Close$" "BF_Close@4")
export_listing(listing_DLL qor_bitflow.dll ${decorated})
expect_check(exports_decorated exports "missing \\[BF_Close\\], unexpected \\[BF_Close@4\\]")

set(short ${BF_NAMES})
list(REMOVE_ITEM short BF_RegNametoId)
export_listing(listing_DLL qor_bitflow.dll ${short})
expect_check(exports_missing exports "missing \\[BF_RegNametoId\\]")

export_listing(listing_DLL libqor_bitflow.dll ${BF_NAMES})
expect_check(exports_module_name exports "module name is 'libqor_bitflow.dll'")

# ---- Import table of qor_bitflow.dll --------------------------------------
import_listing(listing_DLL ${sound_sdk_imports})
expect_check(imports_sound imports "")

import_listing(listing_DLL Cid.dll NAMES CiBrdClose BFD.dll NAMES BFIsR64 CiBrdOpen
  USER32.dll NAMES GetFocus MessageBoxA)
expect_check(imports_sdk_name_from_wrong_dll imports
  "names imported from BFD.dll: unexpected \\[CiBrdOpen\\]")

import_listing(listing_DLL ${sound_sdk_imports} libstdc++-6.dll NAMES _ZdlPv)
expect_check(imports_mingw_runtime imports "imports from libstdc\\+\\+-6.dll, which is neither")

import_listing(listing_DLL Cid.dll NAMES CiBrdOpen BFD.dll NAMES BFIsR64)
expect_check(imports_no_user32 imports "does not import from USER32.dll")

import_listing(listing_DLL Cid.dll NAMES CiBrdOpen BFD.dll NAMES BFIsR64
  USER32.dll NAMES GetFocus MessageBoxA MessageBoxW)
expect_check(imports_other_user32_call imports "unexpected \\[MessageBoxW\\]")

# ---- The simulated SDK DLLs ----------------------------------------------
file(STRINGS ${CID_DEF} cid_lines REGEX "^[ \t]+Ci")
file(STRINGS ${BFD_DEF} bfd_lines REGEX "^[ \t]+BF")
list(TRANSFORM cid_lines STRIP)
list(TRANSFORM bfd_lines STRIP)
unset(listing_DLL)
export_listing(cid_exports Cid.dll ${cid_lines} bfsim_reset)
import_listing(bfd_imports Cid.dll NAMES bfsim_reset KERNEL32.dll NAMES Sleep)
export_listing(bfd_exports BFD.dll ${bfd_lines})
set(listing_CID_DLL "${cid_exports}")
set(listing_BFD_DLL "${bfd_imports}${bfd_exports}")
expect_check(simulator_sound simulator "")

import_listing(bfd_alone KERNEL32.dll NAMES Sleep)
set(listing_BFD_DLL "${bfd_alone}${bfd_exports}")
expect_check(simulator_bfd_apart simulator "cannot share its boards")

export_listing(cid_exports Cid.dll ${cid_lines} BFRegPeek)
set(listing_CID_DLL "${cid_exports}")
set(listing_BFD_DLL "${bfd_imports}${bfd_exports}")
expect_check(simulator_name_in_both simulator "Cid.dll exports the other SDK DLL's names: \\[BFRegPeek\\]")

if(failed)
  message(FATAL_ERROR "some checks did not judge their listing right")
endif()
