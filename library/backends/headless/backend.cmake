# headless: the in-memory backend. Always built: the tests and headless replays run on it.
target_sources(plotx PRIVATE ${CMAKE_CURRENT_LIST_DIR}/headless.cpp)
target_compile_definitions(plotx PRIVATE PLOTX_WITH_HEADLESS)
