# Builds the string resources from the one string table (zebstrings.txt, its format described
# there):
#
#   cmake -DTABLE=zebstrings.txt -DOUT_DIR=DIR -DDATA_FILE=PATH -P zebstrings.cmake
#
#   DIR/zebircan.rc           the language library's STRINGTABLE (Windows build: zebircan.dll)
#   DIR/zebiwicn_strings.rc   the library's own STRINGTABLE (Windows build: part of zebiwicn.dll)
#   DIR/zebiwicn_strings.inc  the library's own table as the C string a native build carries
#   PATH                      the language library as a string-table data file of the simulated
#                             machine ("WINSIM-STRINGS", then "id<TAB>text" lines)
#
# A table line that is not "MODULE ID TEXT", a number given twice for one module, an unknown
# escape, a character outside printable ASCII or an own number outside its reserved ranges stops
# the build with the line's number.
cmake_minimum_required(VERSION 3.25)

foreach(var TABLE OUT_DIR DATA_FILE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "zebstrings.cmake: ${var} is not given")
  endif()
endforeach()

file(READ "${TABLE}" content)

# CMake lists split at ";" and treat "\" and "[" "]" specially, so these characters travel through
# the line list as control characters, which the table itself may not contain.
string(ASCII 1 kBackslash)
string(ASCII 2 kSemicolon)
string(ASCII 3 kOpen)
string(ASCII 4 kClose)
if(content MATCHES "[${kBackslash}${kSemicolon}${kOpen}${kClose}]")
  message(FATAL_ERROR "${TABLE}: control characters are not allowed")
endif()
string(REPLACE "\\" "${kBackslash}" content "${content}")
string(REPLACE ";" "${kSemicolon}" content "${content}")
string(REPLACE "[" "${kOpen}" content "${content}")
string(REPLACE "]" "${kClose}" content "${content}")
string(REPLACE "\r" "" content "${content}")
string(REPLACE "\n" ";" lines "${content}")

function(fail line_number why)
  message(FATAL_ERROR "${TABLE}:${line_number}: ${why}")
endfunction()

# The text with its special characters back; FORM rc doubles quotes for a resource script.
function(restore out text form)
  string(REPLACE "${kBackslash}" "\\" text "${text}")
  string(REPLACE "${kSemicolon}" ";" text "${text}")
  string(REPLACE "${kOpen}" "[" text "${text}")
  string(REPLACE "${kClose}" "]" text "${text}")
  if(form STREQUAL "rc")
    string(REPLACE "\"" "\"\"" text "${text}")
  elseif(form STREQUAL "c")
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(kHeader "// Made from zebstrings.txt by zebstrings.cmake: change the table, not this file.")
set(rc_zebircan "${kHeader}\nLANGUAGE 9, 1\nSTRINGTABLE\nBEGIN\n")
set(rc_zebiwicn "${kHeader}\nLANGUAGE 9, 1\nSTRINGTABLE\nBEGIN\n")
set(inc_zebiwicn "${kHeader}\n\"WINSIM-STRINGS\\n\"\n")
set(data_zebircan "WINSIM-STRINGS\n")

set(line_number 0)
foreach(line IN LISTS lines)
  math(EXPR line_number "${line_number} + 1")
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  if(line MATCHES "[^ -~${kBackslash}${kSemicolon}${kOpen}${kClose}]")
    fail(${line_number} "only printable ASCII is allowed (a tab is written \\t)")
  endif()
  if(NOT line MATCHES "^(zebircan|zebiwicn) ([1-9][0-9]*) (.+)$")
    fail(${line_number} "not \"MODULE ID TEXT\" (MODULE zebircan or zebiwicn, ID a number from 1)")
  endif()
  set(module "${CMAKE_MATCH_1}")
  set(text "${CMAKE_MATCH_3}")
  string(LENGTH "${CMAKE_MATCH_2}" digits)
  if(digits GREATER 5)
    fail(${line_number} "string number ${CMAKE_MATCH_2} is out of range 1-65535")
  endif()
  set(id "${CMAKE_MATCH_2}")
  if(id GREATER 65535)
    fail(${line_number} "string number ${id} is out of range 1-65535")
  endif()
  if(module STREQUAL "zebiwicn" AND NOT ((id GREATER_EQUAL 250 AND id LESS_EQUAL 263) OR
                                         (id GREATER_EQUAL 300 AND id LESS_EQUAL 719) OR
                                         (id GREATER_EQUAL 10000 AND id LESS_EQUAL 10335)))
    fail(${line_number} "own string number ${id} is outside 250-263, 300-719 and 10000-10335")
  endif()
  if(DEFINED seen_${module}_${id})
    fail(${line_number} "${module} ${id} is already given on line ${seen_${module}_${id}}")
  endif()
  set(seen_${module}_${id} ${line_number})
  string(REGEX REPLACE "${kBackslash}[nrt${kBackslash}]" "" unescaped "${text}")
  if(unescaped MATCHES "${kBackslash}")
    fail(${line_number} "unknown escape: only \\n, \\r, \\t and \\\\ are allowed")
  endif()

  # The resource compiler and the simulated loader both read \n, \r, \t and \\ as the table does.
  restore(rc_text "${text}" rc)
  restore(plain_text "${text}" plain)
  if(module STREQUAL "zebircan")
    string(APPEND rc_zebircan "    ${id}, \"${rc_text}\"\n")
    string(APPEND data_zebircan "${id}\t${plain_text}\n")
  else()
    restore(c_text "${text}" c)
    string(APPEND rc_zebiwicn "    ${id}, \"${rc_text}\"\n")
    string(APPEND inc_zebiwicn "\"${id}\\t${c_text}\\n\"\n")
  endif()
endforeach()

string(APPEND rc_zebircan "END\n")
string(APPEND rc_zebiwicn "END\n")
file(WRITE "${OUT_DIR}/zebircan.rc" "${rc_zebircan}")
file(WRITE "${OUT_DIR}/zebiwicn_strings.rc" "${rc_zebiwicn}")
file(WRITE "${OUT_DIR}/zebiwicn_strings.inc" "${inc_zebiwicn}")
file(WRITE "${DATA_FILE}" "${data_zebircan}")
