# Fails when a source file of a room includes a room on its own floor or
# above it (other than itself). Run as a build step for each room:
#   cmake -DROOM=name -DROOMS="name:floor;..." -DFILES="a.cpp;b.h"
#         -DSTAMP=file -P KovaRoomCheck.cmake
# A room is the first folder of an include path ("pool/CBufferManager.h");
# includes without a folder (outside libraries, system headers) are not
# rooms and are not checked here.
foreach(entry ${ROOMS})
  string(REPLACE ":" ";" pair "${entry}")
  list(GET pair 0 name)
  list(GET pair 1 level)
  set(floor_${name} ${level})
endforeach()

set(failures "")
foreach(file ${FILES})
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[A-Za-z_0-9]+/")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([A-Za-z_0-9]+)/.*" "\\1" target "${line}")
    if(target STREQUAL ROOM OR NOT DEFINED floor_${target})
      continue()
    endif()
    if(NOT floor_${target} LESS floor_${ROOM})
      string(APPEND failures "\n  ${file}: ${line} (room ${ROOM} may only look down; ${target} is not beneath it)")
    endif()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "upward include between rooms:${failures}")
endif()
file(WRITE "${STAMP}" "")
