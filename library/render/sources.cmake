# The renderer: pixel surfaces, the exact pixels of every drawing call, and text.
target_sources(plotx PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/raster.cpp
  ${CMAKE_CURRENT_LIST_DIR}/raster_objects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fonts.cpp)
