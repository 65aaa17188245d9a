# PlotxPackages.cmake - Debian packages of the installed components, made by CPack
# (bash tools/package.sh leaves them in dist/):
#   libplotx1     the shared library (component runtime)
#   libplotx-dev  header, static library, CMake package, plotx.pc (component development)
#   plotx-demo    the demo program (component demo)
#   plotx-check   the checking tool (component tools)
# Each carries the licence as /usr/share/doc/<package>/copyright and a Debian changelog, which
# a plain `cmake --install` leaves out (EXCLUDE_FROM_ALL: component installs only).
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()
set(PLOTX_DEB_COMPONENTS runtime development)
if(TARGET plotx-demo)
  list(APPEND PLOTX_DEB_COMPONENTS demo)
endif()
if(TARGET plotx-check)
  list(APPEND PLOTX_DEB_COMPONENTS tools)
endif()
set(PLOTX_DEB_NAME_runtime libplotx${PROJECT_VERSION_MAJOR})
set(PLOTX_DEB_NAME_development libplotx-dev)
set(PLOTX_DEB_NAME_demo plotx-demo)
set(PLOTX_DEB_NAME_tools plotx-check)

# The changelog every Debian package carries, compressed as the policy asks (gzip -9n).
set(changelog ${PROJECT_BINARY_DIR}/debian/changelog.Debian)
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
foreach(component ${PLOTX_DEB_COMPONENTS})
  set(package ${PLOTX_DEB_NAME_${component}})
  file(WRITE ${changelog}.${package}
    "${package} (${PROJECT_VERSION}-1) unstable; urgency=medium\n\n"
    "  * Built from the PLOTX sources.\n\n"
    " -- The PLOTX authors <plotx@example.org>  ${date}\n")
  execute_process(COMMAND gzip -9nf ${changelog}.${package})
  install(FILES ${changelog}.${package}.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    RENAME changelog.Debian.gz COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package}
    RENAME copyright COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

# CPack strips programs and shared libraries; the static library keeps its symbols but not
# its debug information (RelWithDebInfo would make it 8 MB).
if(CMAKE_STRIP)
  install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:plotx>\")"
    COMPONENT development EXCLUDE_FROM_ALL)
endif()

set(CPACK_PACKAGE_NAME plotx)
set(CPACK_PACKAGE_VENDOR "The PLOTX authors")
set(CPACK_PACKAGE_CONTACT "The PLOTX authors <plotx@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${PLOTX_DEB_COMPONENTS})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://plotx.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${PLOTX_DEB_NAME_runtime})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The library finds its drawing face through fontconfig; a library loaded by ldconfig's cache.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "fonts-liberation")
file(WRITE ${PROJECT_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "small graphics library for interactive animation programs
PLOTX gives a program a canvas with integer coordinates, 24 named
colours, a few drawing operations and one blocking call that returns the
next event (mouse press, typed character, animation tick, quit). A Run
menu lets the user animate, halt, single-step, log, record and replay.
This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${PLOTX_DEB_NAME_development})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# What plotx.pc's Requires.private and a static link of libplotx.a need.
set(dev_depends "${PLOTX_DEB_NAME_runtime} (= ${PROJECT_VERSION}-1), libfreetype-dev, libfontconfig-dev, zlib1g-dev")
if(PLOTX_HAVE_DESKTOP)
  string(APPEND dev_depends ", libfltk1.3-dev, libx11-dev")
endif()
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${dev_depends}")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "small graphics library for animation programs (development files)
PLOTX gives a program a canvas with integer coordinates, 24 named
colours, a few drawing operations and one blocking call that returns the
next event. This package holds the C header, the static library, the
CMake package (find_package(plotx)) and the pkg-config file.")

set(CPACK_DEBIAN_DEMO_PACKAGE_NAME ${PLOTX_DEB_NAME_demo})
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_DEMO_DESCRIPTION "animated landscape demo of the PLOTX graphics library
A sun creeps across the sky, cars drive along a road, and a creature
walks where you click and crushes the cars it steps on. A panel starts,
stops and steers the traffic.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${PLOTX_DEB_NAME_tools})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
# grade builds students' sources against the library with the system's compiler.
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS "${PLOTX_DEB_NAME_development}, gcc, pkgconf")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "checks PLOTX programs' pictures against a reference
plotx-check runs programs written with the PLOTX graphics library
headless, under resource limits, with a recorded event script, and
compares their last picture with a reference solution's. It grades a
whole class in parallel (or sharded over several machines) and writes an
HTML report with thumbnails, a CSV file and a JUnit file.")

include(CPack)
