# The layer's rooms, from the top floor down. A source may include headers
# of its own room and of the rooms on lower floors, never of a room on its
# own floor or above: what lies below never calls up. The shared headers of
# include/ (the Win32 headers and the control interface's declarations) sit
# beneath every room and include no room.
#
#   control   the test-only interface: control calls, snapshots, the viewer
#   ddraw     DirectDraw                 winmm   wave output
#   user32    windows, messages, monitors, painting
#   gdi32     device contexts, brushes, blits
#   kernel32  handles, threads, synchronisation, files, processes
#   desktop   the virtual desktop: state, framebuffers, regions, monitors
#   fault     fault injection
#
# Run as a script (cmake -DKOVA_LAYER_DIR=dir -P rooms.cmake) it checks every
# source and header of the layer and fails naming each upward include.
set(KOVA_LAYER_FLOORS
  "control"
  "ddraw winmm"
  "user32"
  "gdi32"
  "kernel32"
  "desktop"
  "fault")

if(NOT CMAKE_SCRIPT_MODE_FILE)
  return()
endif()

if(NOT KOVA_LAYER_DIR)
  message(FATAL_ERROR "rooms.cmake: set KOVA_LAYER_DIR to the layer's folder")
endif()

# Each room's floor, counted from the bottom (fault is 1).
list(LENGTH KOVA_LAYER_FLOORS floors)
set(level ${floors})
set(rooms "")
foreach(floor IN LISTS KOVA_LAYER_FLOORS)
  string(REPLACE " " ";" floor_rooms "${floor}")
  foreach(room IN LISTS floor_rooms)
    set(floor_of_${room} ${level})
    list(APPEND rooms ${room})
  endforeach()
  math(EXPR level "${level} - 1")
endforeach()

set(faults "")
file(GLOB_RECURSE files RELATIVE ${KOVA_LAYER_DIR} ${KOVA_LAYER_DIR}/*.cpp ${KOVA_LAYER_DIR}/*.h)
foreach(file IN LISTS files)
  string(REGEX MATCH "^[^/]+" room "${file}")
  if(room STREQUAL "include")
    set(own 0)
  elseif(DEFINED floor_of_${room})
    set(own ${floor_of_${room}})
  else()
    string(APPEND faults "\n  ${file}: the folder ${room}/ is no room of the layer (add it to KOVA_LAYER_FLOORS)")
    continue()
  endif()
  file(STRINGS ${KOVA_LAYER_DIR}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/.*$" "\\1" target "${line}")
    if(NOT DEFINED floor_of_${target})
      continue()  # a shared header (kova/...) or one outside the layer
    endif()
    if(target STREQUAL room)
      continue()
    endif()
    if(NOT floor_of_${target} LESS own)
      string(STRIP "${line}" shown)
      string(APPEND faults "\n  ${file}: ${shown}: ${room} may not include ${target}, which is not beneath it")
    endif()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "The platform layer's rooms include upward (Src/platform/layer/rooms.cmake orders them):${faults}")
endif()
