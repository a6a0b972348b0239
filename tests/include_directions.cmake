# Fails when a folder of src/ includes one that sits above it: the layers
# depend one way, bottom to top. Run by ctest as `cmake -DZW_SRC=... -P`.
set(rules
  # folder   folders it must not include
  "platform: ntfs index search live settings volumes view app cli"
  "ntfs: index search live settings volumes view app cli"
  "index: settings live volumes view app cli"
  "settings: index search live view app cli")
set(broken "")
foreach(rule IN LISTS rules)
  string(REGEX MATCH "^([a-z]+): (.*)$" _ "${rule}")
  set(folder ${CMAKE_MATCH_1})
  string(REPLACE " " "|" above "${CMAKE_MATCH_2}")
  file(GLOB_RECURSE sources ${ZW_SRC}/${folder}/*.h ${ZW_SRC}/${folder}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} lines REGEX "^#include \"(${above})/")
    foreach(line IN LISTS lines)
      file(RELATIVE_PATH where ${ZW_SRC} ${source})
      string(APPEND broken "  ${where}: ${line}\n")
    endforeach()
  endforeach()
endforeach()
if(broken)
  message(FATAL_ERROR "Includes against the layering:\n${broken}")
endif()
