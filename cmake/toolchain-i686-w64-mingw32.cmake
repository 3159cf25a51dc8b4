# Cross-build for Windows with mingw-w64 (i686).
set(KOVA_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
