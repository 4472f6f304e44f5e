# Fails when a folder includes from a folder it must not know, in any
# spelling of an include ("x/y.h", <x/y.h>, "../x/y.h", spaces after #):
# core/ knows only itself; journal/ and queue/ know core/ and never each
# other; plugin/ knows the module's folders; fleet/ knows the journal core;
# tools/ the fleet; host/ (the stand-in host) the journal; workstation/ the
# host and the fleet. The include roots of the libraries keep most of this
# from compiling at all; this also catches what a path relative to a file
# would slip past them.
# Run as: cmake -DSOURCE_DIR=<project> -P layers.cmake
cmake_minimum_required(VERSION 3.16)
set(allowed_core core)
set(allowed_journal core journal)
set(allowed_queue core queue)
set(allowed_plugin core journal queue plugin)
set(allowed_fleet core journal fleet)
set(allowed_tools core journal fleet tools)
set(allowed_host core journal host)
set(allowed_workstation core fleet host workstation)
set(folders core journal queue plugin fleet tools host workstation)
set(faults "")
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    get_filename_component(here "${source}" DIRECTORY)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" path "${line}")
      # Relative to the including file when it starts with a dot, else to the
      # project's root; only the project's own folders count.
      if(path MATCHES "^\\.")
        get_filename_component(absolute "${here}/${path}" ABSOLUTE)
        file(RELATIVE_PATH path "${SOURCE_DIR}" "${absolute}")
      endif()
      if(NOT path MATCHES "^([a-z_]+)/")
        continue()
      endif()
      set(target "${CMAKE_MATCH_1}")
      if(NOT IS_DIRECTORY "${SOURCE_DIR}/${target}" OR target IN_LIST allowed_${folder})
        continue()
      endif()
      file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
      list(APPEND faults "${name}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(faults)
  string(REPLACE ";" "\n  " listed "${faults}")
  message(FATAL_ERROR "includes across the layers:\n  ${listed}")
endif()
