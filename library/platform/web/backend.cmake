# web: a browser page (platform/web/web.cpp with the page's web/plotx-web.js); built in a
# WebAssembly build (emscripten), where it is the only backend but headless.
if(EMSCRIPTEN)
  file(GLOB PLOTX_WEB_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
  target_sources(plotx PRIVATE ${PLOTX_WEB_SOURCES})
  target_compile_definitions(plotx PRIVATE PLOTX_WITH_WEB)
endif()
