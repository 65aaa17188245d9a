# The window layer: the Win32-shaped calls the subsystems make (windows, the message queue,
# timers, paint, menus) and the contract every backend implements, with its table.
target_sources(plotx PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/window_system.cpp
  ${CMAKE_CURRENT_LIST_DIR}/backend_table.cpp)
