# What `cmake --install build [--prefix DIR]` puts in place on Linux: the
# public header with the platform layer's Win32 headers it includes (under
# include/kova), the library with the libraries it loads (the platform layer
# and the four outside libraries), a pkg-config file, and kova-play. Every
# installed program and library finds the others beside it or in ../lib.
include(GNUInstallDirs)

if(WIN32)
  # The DLL, its import library and the header (clients bring windows.h),
  # and the DLLs it imports, which must lie beside it.
  install(TARGETS KovaDecoder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  foreach(lib PlayM4 Bravik Solvane Auralin)
    if(TARGET ${lib})
      install(TARGETS ${lib} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endforeach()
  # FFmpeg's DLLs, which the outside libraries import.
  foreach(lib avcodec avformat avutil swscale)
    if(TARGET FFmpeg::${lib})
      install(IMPORTED_RUNTIME_ARTIFACTS FFmpeg::${lib} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/Src/api/KovaDecoder.h ${PROJECT_SOURCE_DIR}/Src/public/KovaSpeed.h
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  return()
endif()

set(KOVA_INSTALL_LIBS KovaDecoder kovawin32 PlayM4 Bravik Solvane Auralin)
foreach(lib ${KOVA_INSTALL_LIBS})
  if(TARGET ${lib})
    set_target_properties(${lib} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${lib} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/Src/api/KovaDecoder.h ${PROJECT_SOURCE_DIR}/Src/public/KovaSpeed.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kova)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Src/platform/layer/include/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kova FILES_MATCHING PATTERN "*.h")

# The pkg-config file finds the prefix from where it lies, so that
# `cmake --install build --prefix DIR` gives a working file for any DIR.
file(RELATIVE_PATH KOVA_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
string(REGEX REPLACE "/$" "" KOVA_PC_TO_PREFIX "${KOVA_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/kovadecoder.pc.in ${PROJECT_BINARY_DIR}/kovadecoder.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kovadecoder.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET kova-play)
  set_target_properties(kova-play PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS kova-play RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/Tools/kova-play/gen-samples.sh
          DESTINATION ${CMAKE_INSTALL_DATADIR}/kova RENAME kova-gen-samples.sh)
endif()

# The installed tree serves a client: install into a scratch prefix, build a
# small client with pkg-config's flags and run it.
if(KOVA_BUILD_TESTS)
  add_test(NAME install.client_builds_with_pkg_config
           COMMAND bash ${PROJECT_SOURCE_DIR}/Tests/integration/install_check.sh ${PROJECT_BINARY_DIR}
                   ${PROJECT_BINARY_DIR}/install-check)
  set_tests_properties(install.client_builds_with_pkg_config PROPERTIES TIMEOUT 300)
endif()
