# PNG encoding: one writer on every system, on zlib alone, so the same canvas gives the
# same file everywhere. Windows builds put zlib's objects into the library itself, so a
# program that links it statically needs nothing but the system's own libraries.
target_sources(plotx PRIVATE ${CMAKE_CURRENT_LIST_DIR}/png_writer.cpp)
if(WIN32)
  find_path(PLOTX_ZLIB_INCLUDE_DIR zlib.h REQUIRED)
  find_library(PLOTX_ZLIB_LIBRARY NAMES libz.a z REQUIRED)
  set(PLOTX_ZLIB_OBJECTS_DIR ${CMAKE_CURRENT_BINARY_DIR}/zlib-objects)
  file(MAKE_DIRECTORY ${PLOTX_ZLIB_OBJECTS_DIR})
  execute_process(COMMAND ${CMAKE_AR} x ${PLOTX_ZLIB_LIBRARY} WORKING_DIRECTORY ${PLOTX_ZLIB_OBJECTS_DIR})
  file(GLOB PLOTX_ZLIB_OBJECTS ${PLOTX_ZLIB_OBJECTS_DIR}/*.o)
  set_source_files_properties(${PLOTX_ZLIB_OBJECTS} PROPERTIES EXTERNAL_OBJECT ON GENERATED ON)
  target_sources(plotx PRIVATE ${PLOTX_ZLIB_OBJECTS})
  target_include_directories(plotx PRIVATE ${PLOTX_ZLIB_INCLUDE_DIR})
else()
  find_package(ZLIB REQUIRED)
  target_link_libraries(plotx PRIVATE ZLIB::ZLIB)
  string(APPEND PLOTX_PC_REQUIRES_PRIVATE " zlib")
endif()

# The writer with the reader beside it, for the programs that read pictures back (the tests,
# plotx-check); not installed.
if(NOT EMSCRIPTEN OR PLOTX_TESTS)
  add_library(plotx_png_io STATIC ${CMAKE_CURRENT_LIST_DIR}/png_reader.cpp ${CMAKE_CURRENT_LIST_DIR}/png_writer.cpp)
  target_include_directories(plotx_png_io PUBLIC ${PROJECT_SOURCE_DIR}/library)
  if(WIN32)
    target_include_directories(plotx_png_io PRIVATE ${PLOTX_ZLIB_INCLUDE_DIR})
    target_link_libraries(plotx_png_io PUBLIC ${PLOTX_ZLIB_LIBRARY})
  else()
    target_link_libraries(plotx_png_io PUBLIC ZLIB::ZLIB)
  endif()
endif()
