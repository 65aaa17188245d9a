# fltk: the desktop backend, FLTK on X11; built when PLOTX_DESKTOP is on and both are found.
# The header and the base library are all it needs, with Xlib and its extension library
# (shared-memory images). find_package(FLTK) is not used:
# Debian's FLTK CMake package refers to the fluid program and fails without it.
set(PLOTX_HAVE_DESKTOP OFF)
set(PLOTX_DESKTOP_REASON "switched off with -DPLOTX_DESKTOP=OFF")
if(PLOTX_DESKTOP)
  find_path(FLTK_INCLUDE_DIR FL/Fl.H)
  find_library(FLTK_BASE_LIBRARY fltk)
  find_package(X11 QUIET)
  if(FLTK_INCLUDE_DIR AND FLTK_BASE_LIBRARY AND X11_FOUND AND X11_Xext_FOUND)
    set(PLOTX_HAVE_DESKTOP ON)
    set(PLOTX_DESKTOP_REASON "FLTK ${FLTK_BASE_LIBRARY}, X11 ${X11_X11_LIB}")
  else()
    # Asked for (the default) but not buildable: say so now rather than build a library
    # whose programs cannot open a window.
    set(missing "")
    if(NOT FLTK_INCLUDE_DIR OR NOT FLTK_BASE_LIBRARY)
      string(APPEND missing " FLTK 1.3 (Debian: libfltk1.3-dev)")
    endif()
    if(NOT X11_FOUND)
      string(APPEND missing " Xlib (Debian: libx11-dev)")
    endif()
    message(FATAL_ERROR "The desktop backend needs the development files of:${missing}.\n"
      "Install them (apt-get install libfltk1.3-dev libx11-dev), or configure with "
      "-DPLOTX_DESKTOP=OFF to build a library whose programs run headless only.")
  endif()
endif()
if(PLOTX_HAVE_DESKTOP)
  target_sources(plotx PRIVATE ${CMAKE_CURRENT_LIST_DIR}/fltk_windows.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fltk_presentation.cpp ${CMAKE_CURRENT_LIST_DIR}/fltk_input.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fltk_menus.cpp)
  target_compile_definitions(plotx PRIVATE PLOTX_WITH_FLTK)
  target_include_directories(plotx PRIVATE ${FLTK_INCLUDE_DIR})
  target_link_libraries(plotx PRIVATE ${FLTK_BASE_LIBRARY} X11::X11 X11::Xext)
  string(APPEND PLOTX_PC_REQUIRES_PRIVATE " x11 xext")
  # Scaled windows are enlarged by the server (Render's transform) when the library is there.
  if(X11_Xrender_FOUND)
    target_link_libraries(plotx PRIVATE X11::Xrender)
    target_compile_definitions(plotx PRIVATE PLOTX_WITH_XRENDER)
    string(APPEND PLOTX_PC_REQUIRES_PRIVATE " xrender")
  endif()
  # By -l only: an absolute path would defeat `pkg-config --static` and `cc -static`.
  foreach(lib ${FLTK_BASE_LIBRARY})
    get_filename_component(name ${lib} NAME_WE)
    string(REGEX REPLACE "^lib" "" name ${name})
    string(APPEND PLOTX_PC_LIBS_PRIVATE " -l${name}")
  endforeach()
endif()
