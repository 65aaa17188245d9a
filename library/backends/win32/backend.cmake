# win32: the desktop backend on Windows, real windows and menus through Windows' own
# services; built in every Windows build that has PLOTX_DESKTOP on.
set(PLOTX_HAVE_DESKTOP OFF)
if(PLOTX_DESKTOP AND WIN32)
  set(PLOTX_HAVE_DESKTOP ON)
  target_sources(plotx PRIVATE ${CMAKE_CURRENT_LIST_DIR}/win32_backend.cpp
    ${CMAKE_CURRENT_LIST_DIR}/win32_native.cpp)
  target_compile_definitions(plotx PRIVATE PLOTX_WITH_WIN32)
  target_link_libraries(plotx PRIVATE user32 gdi32)
endif()
