# The outside libraries the system calls, linked like the vendor DLLs they
# stand for, each by the room that calls it, once its stand-in exists
# (External/).
foreach(pair kova_generaldecoder=kova::playm4 kova_generaldecoder=kova::auralin
             kova_stdstream=kova::bravik kova_stdstream=kova::solvane)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 room)
  list(GET pair 1 lib)
  if(TARGET ${lib})
    target_link_libraries(${room} PUBLIC ${lib})
  endif()
endforeach()
