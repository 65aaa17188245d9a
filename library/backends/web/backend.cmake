# web: a browser page (web.cpp here, with the page's script, style and markup in page/);
# built in a WebAssembly build (emscripten), where it is the only backend but headless.
if(EMSCRIPTEN)
  target_sources(plotx PRIVATE ${CMAKE_CURRENT_LIST_DIR}/web.cpp)
  target_compile_definitions(plotx PRIVATE PLOTX_WITH_WEB)
endif()
