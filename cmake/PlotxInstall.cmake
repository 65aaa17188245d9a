# PlotxInstall.cmake - installation and the packages a build can find: the header, both
# libraries, the licence, a CMake package (find_package(plotx) gives plotx::plotx) and
# pkg-config's plotx.pc; the same CMake package is exported from the build tree, so
# -Dplotx_DIR=<build> (or CMAKE_PREFIX_PATH=<build>) works without installing.
# Included from library/CMakeLists.txt. Install components name the Debian packages
# (PlotxPackages.cmake): runtime (libplotx1), development (libplotx-dev), demo (plotx-demo).
include(CMakePackageConfigHelpers)
set(PLOTX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/plotx)

# A sanitized build needs its runtime in whatever links it, first: so every consumer links
# with the same options, the shared library's too.
set(PLOTX_SANITIZE_LINK "")
if(PLOTX_SANITIZE)
  set(PLOTX_SANITIZE_LINK -fsanitize=address,undefined)
  target_link_options(plotx INTERFACE ${PLOTX_SANITIZE_LINK})
  if(TARGET plotx_shared)
    target_link_options(plotx_shared INTERFACE ${PLOTX_SANITIZE_LINK})
  endif()
endif()

set(plotx_targets plotx)
if(TARGET plotx_shared)
  list(APPEND plotx_targets plotx_shared)
endif()
install(TARGETS ${plotx_targets} EXPORT plotxTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/include/plotx.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  COMPONENT development)
# The packages carry the licence as their copyright file instead (PlotxPackages.cmake).
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT licence)
install(EXPORT plotxTargets NAMESPACE plotx:: DESTINATION ${PLOTX_CMAKE_DIR} COMPONENT development)

# The build tree's package: the same config file, with the targets exported in place.
export(EXPORT plotxTargets NAMESPACE plotx:: FILE ${PROJECT_BINARY_DIR}/plotxTargets.cmake)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/plotxConfig.cmake.in
  ${PROJECT_BINARY_DIR}/plotxConfig.cmake INSTALL_DESTINATION ${PLOTX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/plotxConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/plotxConfig.cmake ${PROJECT_BINARY_DIR}/plotxConfigVersion.cmake
  DESTINATION ${PLOTX_CMAKE_DIR} COMPONENT development)

# pkg-config: the prefix is found from the .pc file's own place, so an install with
# `cmake --install --prefix` anywhere is right without reconfiguring. The parts of
# library/CMakeLists.txt have filled in PLOTX_PC_REQUIRES_PRIVATE and PLOTX_PC_LIBS_PRIVATE.
file(RELATIVE_PATH PLOTX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" PLOTX_PC_TO_PREFIX "${PLOTX_PC_TO_PREFIX}")
foreach(lib ${PLOTX_CXX_RUNTIME})
  string(APPEND PLOTX_PC_LIBS_PRIVATE " -l${lib}")
endforeach()
string(JOIN " " PLOTX_PC_LIBS_EXTRA ${PLOTX_SANITIZE_LINK})
string(STRIP "${PLOTX_PC_REQUIRES_PRIVATE}" PLOTX_PC_REQUIRES_PRIVATE)
string(STRIP "${PLOTX_PC_LIBS_PRIVATE}" PLOTX_PC_LIBS_PRIVATE)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/plotx.pc.in ${CMAKE_CURRENT_BINARY_DIR}/plotx.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/plotx.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)
