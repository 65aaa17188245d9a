# headless: the in-memory backend. Always built: the tests and headless replays run on it.
file(GLOB PLOTX_HEADLESS_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
target_sources(plotx PRIVATE ${PLOTX_HEADLESS_SOURCES})
target_compile_definitions(plotx PRIVATE PLOTX_WITH_HEADLESS)
