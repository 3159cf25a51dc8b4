# Optional link dependencies of the platform layer. Each part builds without
# its library and then reports what it cannot do at run time.

# Snapshots in PNG (BMP needs nothing).
find_package(ZLIB)
if(ZLIB_FOUND)
  target_compile_definitions(kovawin32 PRIVATE KOVA_HAVE_ZLIB)
  target_link_libraries(kovawin32 PRIVATE ZLIB::ZLIB)
endif()

# The X11 viewer of the virtual desktop (KOVA_VIEWER=x11).
find_package(X11)
if(X11_FOUND)
  target_compile_definitions(kovawin32 PRIVATE KOVA_HAVE_X11)
  target_link_libraries(kovawin32 PRIVATE X11::X11)
endif()
