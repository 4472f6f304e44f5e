# Fails unless the module's exported symbols are Qt's plug-in entry points and
# nothing else. Run as: cmake -DNM=<nm> -DMODULE=<module> -P moduleexports.cmake
# (ELF: its dynamic symbols), or with -DOBJDUMP=<objdump> for a Windows DLL
# (the names in its export table).
if(OBJDUMP)
  execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
  # The name table's lines read "[   0] name" or "[   0] +base[   1] 0000 name".
  string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[^\n]*\n)*)" table "${dump}")
  string(REGEX MATCHALL "[^\n]+" lines "${CMAKE_MATCH_1}")
else()
  execute_process(COMMAND ${NM} -D --defined-only ${MODULE}
                  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  string(REGEX MATCHALL "[^\n]+" lines "${listing}")
endif()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "listing the symbols of ${MODULE} failed")
endif()
set(entry 0)
set(others "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.*[ \t]" "" name "${line}")
  if(name MATCHES "^qt_plugin_(instance|query_metadata|query_metadata_v2)$")
    math(EXPR entry "${entry} + 1")
  else()
    list(APPEND others ${name})
  endif()
endforeach()
list(LENGTH lines count)
message(STATUS "${MODULE}: ${count} exported symbols")
if(NOT entry EQUAL 2 OR others)
  message(FATAL_ERROR "expected the two plug-in entry points only; found ${entry} and: ${others}")
endif()
