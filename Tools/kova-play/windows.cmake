# kova-play.exe: the same player over FFmpeg cross-built for this
# architecture. Without it only the wall side is built.
if(NOT TARGET kova::ffmpeg_play)
  message(STATUS "kova-play: no FFmpeg for ${CMAKE_SYSTEM_PROCESSOR} Windows; building its wall side only")
  return()
endif()
