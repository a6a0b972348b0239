# Fails when a folder of src/ includes one on its own level or above it: the
# layers depend one way, bottom to top, and folders side by side know nothing
# of each other. Every folder of src/ must have a level here, so a new one
# is placed before it is used. Run by ctest as `cmake -DZW_SRC=... -P`.
cmake_minimum_required(VERSION 3.25)
set(levels
  # bottom first; folders on one line share a level
  "base"
  "platform"
  "ntfs"
  "index"
  "search"
  "engine"
  "live settings volumes"
  "view"
  "app cli")

set(placed "")
set(rules "")
foreach(level IN LISTS levels)
  string(REPLACE " " ";" here "${level}")
  list(APPEND placed ${here})
endforeach()
# A folder may include its own level's folders only if it is that folder,
# and nothing above.
set(below "")
foreach(level IN LISTS levels)
  string(REPLACE " " ";" here "${level}")
  foreach(folder IN LISTS here)
    set(allowed ${below} ${folder})
    set(forbidden ${placed})
    list(REMOVE_ITEM forbidden ${allowed})
    string(REPLACE ";" " " forbidden "${forbidden}")
    list(APPEND rules "${folder}: ${forbidden}")
  endforeach()
  list(APPEND below ${here})
endforeach()

set(broken "")
file(GLOB folders LIST_DIRECTORIES true RELATIVE ${ZW_SRC} ${ZW_SRC}/*)
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY ${ZW_SRC}/${folder} AND NOT folder IN_LIST placed)
    string(APPEND broken "  ${folder}/ has no level\n")
  endif()
endforeach()

foreach(rule IN LISTS rules)
  string(REGEX MATCH "^([a-z]+): (.*)$" _ "${rule}")
  set(folder ${CMAKE_MATCH_1})
  string(REPLACE " " "|" above "${CMAKE_MATCH_2}")
  if(above STREQUAL "")
    continue()
  endif()
  file(GLOB_RECURSE sources ${ZW_SRC}/${folder}/*.h ${ZW_SRC}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(RELATIVE_PATH where ${ZW_SRC} ${source})
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"(${above})/")
    foreach(line IN LISTS lines)
      string(APPEND broken "  ${where}: ${line}\n")
    endforeach()
  endforeach()
endforeach()
if(broken)
  message(FATAL_ERROR "Includes against the layering:\n${broken}")
endif()
