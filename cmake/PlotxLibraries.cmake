# PlotxLibraries.cmake - libplotx.so beside the static library, and which of the two is
# plotx::plotx. Included from library/CMakeLists.txt, after the static target `plotx` (which
# the tests link, for its internal symbols) is defined.
#
# The shared library is linked from the static library's objects and exports only the public
# PLOTX_ functions (plotx.map), so the C++ runtime and the library's internals stay private
# and a C program links it with nothing but -lplotx.

# The C++ runtime libraries a C compiler driver does not add by itself (libstdc++, libm).
set(PLOTX_CXX_RUNTIME ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
if(CMAKE_C_IMPLICIT_LINK_LIBRARIES)
  list(REMOVE_ITEM PLOTX_CXX_RUNTIME ${CMAKE_C_IMPLICIT_LINK_LIBRARIES})
endif()
list(REMOVE_DUPLICATES PLOTX_CXX_RUNTIME)
if(WIN32)
  # Programs link statically there (-static): gcc_s would name the runtime's DLL instead.
  list(REMOVE_ITEM PLOTX_CXX_RUNTIME gcc_s)
endif()

# A C-only project that links the static library, as a subproject or from this build tree,
# links with the C driver: name the runtime for it. (The installed package does the same in
# plotxConfig.cmake.)
target_link_libraries(plotx INTERFACE $<BUILD_INTERFACE:${PLOTX_CXX_RUNTIME}>)
set_target_properties(plotx PROPERTIES EXPORT_NAME plotx_static)
add_library(plotx::plotx_static ALIAS plotx)

set(PLOTX_MAIN_TARGET plotx)
if(PLOTX_SHARED)
  # The static library's own objects (built position-independent), and through the link
  # to it the libraries it uses.
  add_library(plotx_shared SHARED $<TARGET_OBJECTS:plotx>)
  add_library(plotx::plotx_shared ALIAS plotx_shared)
  target_link_libraries(plotx_shared PRIVATE plotx)
  target_include_directories(plotx_shared PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  if(WIN32)
    # plotx.dll and its import library libplotx.dll.a. A module-definition file made from
    # plotx.h exports the same PLOTX_ functions the version script exports elsewhere.
    file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/include/plotx.h plotx_decls REGEX "^[A-Za-z].*[ *]PLOTX_[A-Za-z0-9_]+\\(")
    set(plotx_def "LIBRARY plotx.dll\nEXPORTS\n")
    foreach(decl ${plotx_decls})
      string(REGEX MATCH "PLOTX_[A-Za-z0-9_]+\\(" fn "${decl}")
      string(REPLACE "(" "" fn "${fn}")
      string(APPEND plotx_def "  ${fn}\n")
    endforeach()
    set(plotx_map ${CMAKE_CURRENT_BINARY_DIR}/plotx.def)
    file(GENERATE OUTPUT ${plotx_map} CONTENT "${plotx_def}")
    target_sources(plotx_shared PRIVATE ${plotx_map})
    set_target_properties(plotx_shared PROPERTIES PREFIX "" IMPORT_PREFIX lib IMPORT_SUFFIX .dll.a)
  else()
    set(plotx_map ${CMAKE_CURRENT_SOURCE_DIR}/plotx.map)
    target_link_options(plotx_shared PRIVATE "LINKER:--version-script=${plotx_map}")
  endif()
  # Every symbol resolved at link time, except in a sanitized build: Clang leaves the
  # sanitizer runtime to the program that loads the library.
  if(NOT PLOTX_SANITIZE)
    target_link_options(plotx_shared PRIVATE "LINKER:--no-undefined")
  endif()
  set_target_properties(plotx_shared PROPERTIES
    OUTPUT_NAME plotx
    EXPORT_NAME plotx_shared
    LINKER_LANGUAGE CXX
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    LINK_DEPENDS ${plotx_map})
  if(NOT DEFINED BUILD_SHARED_LIBS OR BUILD_SHARED_LIBS)
    set(PLOTX_MAIN_TARGET plotx_shared)
  endif()
endif()
add_library(plotx::plotx ALIAS ${PLOTX_MAIN_TARGET})
set(PLOTX_MAIN_TARGET ${PLOTX_MAIN_TARGET} PARENT_SCOPE)
