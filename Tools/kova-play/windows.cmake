# kova-play.exe: the C and C++ runtimes linked in, so that it needs only
# the DLLs it is given beside it: the library, the outside libraries and
# FFmpeg's. Installed with them, so a Windows user copies one folder.
target_link_options(kova-play PRIVATE -static)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The 32-bit DLL exports its functions as their callers' compilers name
  # them (_KOVA_Name@Bytes); the import library made with it takes that
  # leading underscore for part of the name, which a GCC caller's KOVA_Name@Bytes
  # does not match. An import library of kova-play's own maps the one to the other.
  file(STRINGS ${PROJECT_SOURCE_DIR}/Src/api/exports.list exports REGEX "^KOVA_")
  set(def "LIBRARY KovaDecoder.dll\nEXPORTS\n")
  foreach(line ${exports})
    string(REGEX REPLACE "^([A-Za-z_]+) +([0-9]+)$" "\\1@\\2" decorated "${line}")
    string(APPEND def "  ${decorated} == _${decorated}\n")
  endforeach()
  set(client ${CMAKE_CURRENT_BINARY_DIR}/KovaDecoderCaller)
  file(GENERATE OUTPUT ${client}.def CONTENT "${def}")
  add_custom_command(OUTPUT ${client}.a
    COMMAND ${CMAKE_DLLTOOL} -d ${client}.def -l ${client}.a
    DEPENDS ${client}.def ${PROJECT_SOURCE_DIR}/Src/api/exports.list)
  add_custom_target(kova_play_import DEPENDS ${client}.a)
  add_dependencies(kova-play kova_play_import)
  target_link_libraries(kova-play PRIVATE ${client}.a)
endif()
add_custom_command(TARGET kova-play POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_RUNTIME_DLLS:kova-play> $<TARGET_RUNTIME_DLLS:KovaDecoder>
    $<TARGET_FILE:KovaDecoder> $<TARGET_FILE_DIR:kova-play>
  COMMAND_EXPAND_LISTS)
include(GNUInstallDirs)
install(TARGETS kova-play RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Under Wine: the player over two clips made on the build machine by the
# sample script (Wine runs no ffmpeg program), read through drive Z:, Wine's
# view of the machine's root. Built beside the Wine-lane programs but not
# named as one: under Wine 8 the library's DirectDraw pictures do not reach
# child windows (they do reach top-level ones), so the panes stay black and
# the lane would fail for that alone. Run it by hand (README).
if(KOVA_BUILD_TESTS AND TARGET gtest_main)
  set(samples ${CMAKE_CURRENT_BINARY_DIR}/wine-samples)
  set(sample_files ${samples}/cam1-h264.mp4 ${samples}/cam2-mpeg4-g711u.mkv)
  add_custom_command(OUTPUT ${sample_files}
    COMMAND ${CMAKE_COMMAND} -E env KOVA_SAMPLE_SECONDS=3 KOVA_VENDOR_SAMPLE_MAKER=none
      bash ${CMAKE_CURRENT_SOURCE_DIR}/gen-samples.sh ${samples}
    DEPENDS gen-samples.sh)
  add_custom_target(kova_wine_play_samples DEPENDS ${sample_files})
  add_executable(kova_play_wine_e2e ${PROJECT_SOURCE_DIR}/Tests/windows/kova_play_wine_e2e.cpp)
  target_compile_definitions(kova_play_wine_e2e PRIVATE
    KOVA_PLAY_PROGRAM="Z:$<TARGET_FILE:kova-play>"
    KOVA_PLAY_SAMPLE_DIR="Z:${samples}"
    KOVA_PLAY_WORK_DIR="Z:${CMAKE_CURRENT_BINARY_DIR}/wine-work")
  target_link_libraries(kova_play_wine_e2e PRIVATE kova_test_support gtest_main)
  target_link_options(kova_play_wine_e2e PRIVATE -static)
  set_target_properties(kova_play_wine_e2e PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/Tests)
  add_dependencies(kova_play_wine_e2e kova-play kova_wine_play_samples)
endif()
