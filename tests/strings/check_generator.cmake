# cmake -DGENERATOR=zebstrings.cmake -DWORK=DIR -P check_generator.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(failures "")

# Runs the generator on TABLE_TEXT; RC and OUTPUT receive its exit status and messages.
function(generate table_text rc_var output_var)
  file(WRITE "${WORK}/table.txt" "${table_text}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DTABLE=${WORK}/table.txt -DOUT_DIR=${WORK}
                          -DDATA_FILE=${WORK}/zebircan.dll -P ${GENERATOR}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${rc_var} "${rc}" PARENT_SCOPE)
  set(${output_var} "${out}${err}" PARENT_SCOPE)
endfunction()

function(expect_contains file wanted)
  file(READ "${WORK}/${file}" got)
  string(FIND "${got}" "${wanted}" at)
  if(at EQUAL -1)
    set(failures "${failures}${file} lacks [${wanted}]:\n${got}\n" PARENT_SCOPE)
  endif()
endfunction()

# Characters CMake lists and resource scripts treat specially, and the table's escapes.
generate([=[# comment
zebircan 5 a;b [c] [d "q" x\\y line\nnext\ttab;
zebircan 6 ] ;[

zebiwicn 300 c:\\temp "x";
]=] rc out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "a good table was refused:\n${out}")
endif()
string(ASCII 9 tab)
expect_contains(zebircan.dll "WINSIM-STRINGS\n5${tab}a;b [c] [d \"q\" x\\\\y line\\nnext\\ttab;\n6${tab}] ;[\n")
expect_contains(zebircan.rc [=[    5, "a;b [c] [d ""q"" x\\y line\nnext\ttab;"
    6, "] ;["
END]=])
expect_contains(zebiwicn_strings.rc [=[    300, "c:\\temp ""x"";"]=])
expect_contains(zebiwicn_strings.inc [=["WINSIM-STRINGS\n"
"300\tc:\\\\temp \"x\";\n"]=])
foreach(file zebircan.dll zebircan.rc)
  file(READ "${WORK}/${file}" got)
  if(got MATCHES "temp")
    string(APPEND failures "${file} holds an own string\n")
  endif()
endforeach()

# Each bad line, after a good first line, with what the generator must say.
set(cases
    "zebircan 7 bad\\q|table.txt:2: unknown escape"
    "zebiwicn 264 x|table.txt:2: own string number 264 is outside"
    "zebiwicn 720 x|table.txt:2: own string number 720 is outside"
    "zebircan 0250 x|table.txt:2: not \"MODULE ID TEXT\""
    "zebircan 70000 x|table.txt:2: string number 70000 is out of range"
    "zebircan 8|table.txt:2: not \"MODULE ID TEXT\""
    "zebircan 8 |table.txt:2: not \"MODULE ID TEXT\""
    "zebiwicx 9 x|table.txt:2: not \"MODULE ID TEXT\""
    "zebircan 9 a${tab}b|table.txt:2: only printable ASCII"
    "zebircan 1 again|table.txt:2: zebircan 1 is already given on line 1")
foreach(case IN LISTS cases)
  string(FIND "${case}" "|" bar)
  string(SUBSTRING "${case}" 0 ${bar} line)
  math(EXPR from "${bar} + 1")
  string(SUBSTRING "${case}" ${from} -1 wanted)
  generate("zebircan 1 ok\n${line}\n" rc out)
  string(REGEX REPLACE "[ \n]+" " " flat "${out}")
  string(FIND "${flat}" "${wanted}" at)
  if(rc EQUAL 0 OR at EQUAL -1)
    string(APPEND failures "[${line}]: exit ${rc}, expected [${wanted}] in:\n${out}\n")
  endif()
endforeach()
# The same number in the other module is another string.
generate("zebircan 250 x\nzebiwicn 250 y\n" rc out)
if(NOT rc EQUAL 0)
  string(APPEND failures "one number in both modules was refused:\n${out}\n")
endif()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
