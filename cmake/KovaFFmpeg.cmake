# FFmpeg for the outside libraries, as targets FFmpeg::avcodec,
# FFmpeg::avformat, FFmpeg::avutil and FFmpeg::swscale.
#
# Linux: Debian's libraries, through pkg-config.
# Windows: DLLs built by Tools/ffmpeg-mingw.sh from Debian's source package
# for this toolchain's architecture, at configure time, into the build
# directory (ffmpeg-<arch>/); a second configure finds them built and costs
# nothing. KOVA_FFMPEG_MINGW_DIR (cache or environment variable) names a
# prefix to use instead, so several build directories share one build; it is
# built there when it is not yet.
if(TARGET FFmpeg::avcodec)
  return()
endif()
set(kova_ffmpeg_libs avcodec avformat avutil swscale)

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  foreach(lib ${kova_ffmpeg_libs})
    pkg_check_modules(KOVA_FFMPEG_${lib} REQUIRED IMPORTED_TARGET GLOBAL lib${lib})
    add_library(FFmpeg::${lib} ALIAS PkgConfig::KOVA_FFMPEG_${lib})
  endforeach()
  return()
endif()

set(KOVA_FFMPEG_MINGW_DIR "$ENV{KOVA_FFMPEG_MINGW_DIR}" CACHE PATH
    "An FFmpeg prefix built by Tools/ffmpeg-mingw.sh for this architecture (empty: build one in the build directory)")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "64")
  set(kova_ffmpeg_arch x86_64)
else()
  set(kova_ffmpeg_arch i686)
endif()
if(KOVA_FFMPEG_MINGW_DIR)
  set(kova_ffmpeg_prefix ${KOVA_FFMPEG_MINGW_DIR})
else()
  set(kova_ffmpeg_prefix ${PROJECT_BINARY_DIR}/ffmpeg-${kova_ffmpeg_arch})
endif()

# The script returns at once when the prefix holds its build already.
execute_process(
  COMMAND bash ${PROJECT_SOURCE_DIR}/Tools/ffmpeg-mingw.sh ${kova_ffmpeg_arch} ${kova_ffmpeg_prefix}
  RESULT_VARIABLE kova_ffmpeg_result)
if(NOT kova_ffmpeg_result EQUAL 0)
  message(FATAL_ERROR "Building FFmpeg for ${kova_ffmpeg_arch} Windows into ${kova_ffmpeg_prefix} failed")
endif()

foreach(lib ${kova_ffmpeg_libs})
  file(GLOB dll ${kova_ffmpeg_prefix}/bin/${lib}-*.dll)
  if(NOT dll OR NOT EXISTS ${kova_ffmpeg_prefix}/lib/lib${lib}.dll.a)
    message(FATAL_ERROR "${kova_ffmpeg_prefix} has no ${lib} DLL or import library")
  endif()
  add_library(FFmpeg::${lib} SHARED IMPORTED GLOBAL)
  set_target_properties(FFmpeg::${lib} PROPERTIES
    IMPORTED_LOCATION ${dll}
    IMPORTED_IMPLIB ${kova_ffmpeg_prefix}/lib/lib${lib}.dll.a
    INTERFACE_INCLUDE_DIRECTORIES ${kova_ffmpeg_prefix}/include)
endforeach()
# The DLLs to put beside a program or library that loads them (through the
# outside libraries too, which TARGET_RUNTIME_DLLS does not always follow).
set(kova_ffmpeg_dlls "")
foreach(lib ${kova_ffmpeg_libs})
  list(APPEND kova_ffmpeg_dlls $<TARGET_FILE:FFmpeg::${lib}>)
endforeach()
set(KOVA_FFMPEG_DLLS "${kova_ffmpeg_dlls}" CACHE INTERNAL "FFmpeg's DLLs")
set_property(TARGET FFmpeg::avformat APPEND PROPERTY INTERFACE_LINK_LIBRARIES FFmpeg::avcodec FFmpeg::avutil)
set_property(TARGET FFmpeg::avcodec APPEND PROPERTY INTERFACE_LINK_LIBRARIES FFmpeg::avutil)
set_property(TARGET FFmpeg::swscale APPEND PROPERTY INTERFACE_LINK_LIBRARIES FFmpeg::avutil)
