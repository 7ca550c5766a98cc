# Lists the DLL's export table with objdump and compares it with the 22 plain names:
#   cmake -DOBJDUMP=... -DDLL=... -P check_exports.cmake
set(expected CLOSE DISPLAY EJREPORT GETDEPTTABLE GETDRSTATUS GETEJFILES GETLOTTERYRCPTSTATUS GETSTATUS
             GETVATTABLE OPEN OPENDR PAY PRINTFR PRINTNFR PRINTXR PRINTZR REPRINTFR SET SETDATETIME
             SETDEPTTABLE SETVATTABLE VERSION)
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${table}")
set(names)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${row}")
  list(APPEND names "${name}")
endforeach()
list(SORT names)
if(NOT names STREQUAL expected)
  list(LENGTH names count)
  message(FATAL_ERROR "export table differs (${count} names): ${names}")
endif()
message(STATUS "22 exports, plain names: ${names}")
