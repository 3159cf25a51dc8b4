# kova-play.exe: the C and C++ runtimes linked in, so that it needs only
# the DLLs it is given beside it: the library, the outside libraries and
# FFmpeg's. Installed with them, so a Windows user copies one folder.
target_link_options(kova-play PRIVATE -static)
add_custom_command(TARGET kova-play POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_RUNTIME_DLLS:kova-play> $<TARGET_RUNTIME_DLLS:KovaDecoder>
    $<TARGET_FILE:KovaDecoder> $<TARGET_FILE_DIR:kova-play>
  COMMAND_EXPAND_LISTS)
include(GNUInstallDirs)
install(TARGETS kova-play RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Under Wine: the player over two clips made on the build machine by the
# sample script (Wine runs no ffmpeg program), read through drive Z:, Wine's
# view of the machine's root. One of the Wine lane's programs, which runs it
# with Wine's GDI renderer: with Wine 8's OpenGL one the library's DirectDraw
# pictures do not reach child windows, and two panes can hang in Wine's
# command threads (README).
if(KOVA_BUILD_TESTS AND TARGET gtest_main)
  set(samples ${CMAKE_CURRENT_BINARY_DIR}/wine-samples)
  set(sample_files ${samples}/cam1-h264.mp4 ${samples}/cam2-mpeg4-g711u.mkv)
  add_custom_command(OUTPUT ${sample_files}
    COMMAND ${CMAKE_COMMAND} -E env KOVA_SAMPLE_SECONDS=3 KOVA_VENDOR_SAMPLE_MAKER=none
      bash ${CMAKE_CURRENT_SOURCE_DIR}/gen-samples.sh ${samples}
    DEPENDS gen-samples.sh)
  add_custom_target(kova_wine_play_samples DEPENDS ${sample_files})
  add_executable(kova_wine_play_e2e ${PROJECT_SOURCE_DIR}/Tests/windows/kova_wine_play_e2e.cpp)
  target_compile_definitions(kova_wine_play_e2e PRIVATE
    KOVA_PLAY_PROGRAM="Z:$<TARGET_FILE:kova-play>"
    KOVA_PLAY_SAMPLE_DIR="Z:${samples}"
    KOVA_PLAY_WORK_DIR="Z:${CMAKE_CURRENT_BINARY_DIR}/wine-work")
  target_link_libraries(kova_wine_play_e2e PRIVATE kova_test_support gtest_main)
  target_link_options(kova_wine_play_e2e PRIVATE -static)
  set_target_properties(kova_wine_play_e2e PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/Tests)
  add_dependencies(kova_wine_play_e2e kova-play kova_wine_play_samples)
endif()
