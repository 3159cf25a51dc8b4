# The outside libraries the system calls, linked like the vendor DLLs they
# stand for; each one is linked once its stand-in exists (External/).
foreach(lib kova::playm4 kova::bravik kova::solvane kova::auralin)
  if(TARGET ${lib})
    target_link_libraries(kova_core PUBLIC ${lib})
  endif()
endforeach()
