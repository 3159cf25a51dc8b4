# Cross-build for Windows with mingw-w64 (x86_64).
set(KOVA_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
