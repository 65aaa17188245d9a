# Host-OS services, one folder each with its interface beside its implementations: files and
# signals (files/), where faces and glyph images come from (glyphs/), PNG encoding (png/),
# animated GIF encoding (gif/, plain computation: the same bytes everywhere).
# Each host system picks its implementation of each service here.
if(WIN32)
  set(PLOTX_GLYPHS gdi CACHE STRING "Glyph source: host/glyphs/glyphs_<this>.cpp")
  set(PLOTX_FILES win32 CACHE STRING "File and signal calls: host/files/files_<this>.cpp")
elseif(EMSCRIPTEN)
  # A page has no font configuration: its faces are bundled.
  set(PLOTX_GLYPHS bundled CACHE STRING "Glyph source: host/glyphs/glyphs_<this>.cpp")
  set(PLOTX_FILES posix CACHE STRING "File and signal calls: host/files/files_<this>.cpp")
else()
  set(PLOTX_GLYPHS fontconfig CACHE STRING "Glyph source: host/glyphs/glyphs_<this>.cpp")
  set(PLOTX_FILES posix CACHE STRING "File and signal calls: host/files/files_<this>.cpp")
endif()
target_sources(plotx PRIVATE ${CMAKE_CURRENT_LIST_DIR}/glyphs/glyphs_${PLOTX_GLYPHS}.cpp
  ${CMAKE_CURRENT_LIST_DIR}/files/files_${PLOTX_FILES}.cpp ${CMAKE_CURRENT_LIST_DIR}/gif/gif_writer.cpp)
include(${CMAKE_CURRENT_LIST_DIR}/glyphs/glyphs.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/png/png.cmake)
