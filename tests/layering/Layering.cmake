# Fails on any #include "<folder>/..." that runs up or across the floors below. A folder may include
# itself and any folder on a lower floor, never a sibling on its own floor; "apart" folders include
# only themselves and may be included from anywhere. Subfolders count as their top folder.
# Usage: cmake -DROOT=<source tree> -P Layering.cmake

set(FLOORS
  "platform          1"
  "gfxkit            2"
  "core              2"
  "script            3"
  "app_framework     3"
  "devices           4"
  "render            5"
  "confdlg           5"
  "benchmark         6"
  "tools             6"
  "lightwave         apart"
  # Test, benchmark and fuzz programs may include anything.
  "tests             top"
  "bench             top"
  "fuzz              top")

foreach(entry ${FLOORS})
  string(REGEX MATCH "^([A-Za-z0-9_]+) +([a-z0-9]+)$" ok "${entry}")
  if(NOT ok)
    message(FATAL_ERROR "Layering table: bad line \"${entry}\"")
  endif()
  set(floor_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()

file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/*.h ${ROOT}/*.hpp ${ROOT}/*.inl ${ROOT}/*.c ${ROOT}/*.cpp)
set(faults "")
set(checked 0)
foreach(source ${sources})
  string(REGEX MATCH "^[^/]+" from "${source}")
  if(from STREQUAL source OR from MATCHES "^\\." OR EXISTS ${ROOT}/${from}/CMakeCache.txt)
    continue()  # files at the top, hidden folders and build trees
  endif()
  if(NOT DEFINED floor_${from})
    list(APPEND faults "${source}: folder \"${from}\" has no floor in the layering table")
    continue()
  endif()
  set(f ${floor_${from}})
  file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][A-Za-z0-9_]+/")
  foreach(line ${lines})
    string(REGEX MATCH "include[ \t]*[\"<]([A-Za-z0-9_]+)/" ok "${line}")
    set(to ${CMAKE_MATCH_1})
    if(NOT IS_DIRECTORY ${ROOT}/${to})
      continue()  # a system or third-party header
    endif()
    math(EXPR checked "${checked} + 1")
    if(to STREQUAL from OR f STREQUAL "top")
      continue()
    endif()
    if(NOT DEFINED floor_${to})
      list(APPEND faults "${source}: includes \"${to}/\", which has no floor in the layering table")
      continue()
    endif()
    set(t ${floor_${to}})
    if(t STREQUAL "apart")
      if(f STREQUAL "apart")
        list(APPEND faults "${source}: \"${from}\" stands apart and may not include \"${to}/\"")
      endif()
    elseif(f STREQUAL "apart" OR t STREQUAL "top" OR NOT t LESS f)
      list(APPEND faults "${source}: \"${from}\" may not include \"${to}/\"")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes against the layering:\n  ${text}")
endif()
if(checked EQUAL 0)
  message(FATAL_ERROR "No includes found under ${ROOT}")
endif()
message(STATUS "${checked} includes follow the layering")
