# run.cmake - builds consumer.c, a C program, against a PLOTX package every way the README
# offers, runs each headless and checks that all saved the same picture:
#   the build tree's CMake package (-Dplotx_DIR=<build>),
#   find_package(plotx) on the prefix (shared library),
#   `pkg-config --cflags --libs plotx` (shared) and with --static against libplotx.a.
# The prefix is a fresh `cmake --install` of the build, or, with -DPREFIX, one given (the
# Debian packages unpacked into a scratch root). Also checks that libplotx.so exports only
# PLOTX_ functions.
# cmake -DWORK_DIR=... -DC_COMPILER=... -DGENERATOR=... [-DBUILD_DIR=... [-DCONFIG=...]]
#       [-DPREFIX=...] [-DDEMO=bin/plotx-demo] -P run.cmake
foreach(var WORK_DIR C_COMPILER GENERATOR)
  if(NOT ${var})
    message(FATAL_ERROR "run.cmake needs -D${var}=...")
  endif()
endforeach()
if(NOT BUILD_DIR AND NOT PREFIX)
  message(FATAL_ERROR "run.cmake needs -DBUILD_DIR=... or -DPREFIX=...")
endif()
set(SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  message(STATUS "${what}: ok")
endfunction()

# Runs a consumer headless and checks its picture: a PNG whose header says 595 x 493, 8-bit
# RGB, byte for byte the same as the first consumer's.
function(run_consumer what program png)
  run("run the ${what} consumer" ${CMAKE_COMMAND} -E env PLOTX_BACKEND=headless ${ARGN} ${program} ${png})
  if(NOT EXISTS ${png})
    message(FATAL_ERROR "${png} was not written")
  endif()
  file(READ ${png} head LIMIT 26 HEX)
  string(SUBSTRING "${head}" 0 16 signature)
  string(SUBSTRING "${head}" 32 20 ihdr)
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT ihdr STREQUAL "00000253000001ed0802")
    message(FATAL_ERROR "${png} is not a 595x493 8-bit RGB PNG: ${head}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/first.png ${png} RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "the ${what} consumer saved a different picture")
  endif()
endfunction()

# A C-only CMake project finding the package; C only on purpose, so the package itself must
# bring what linking a C++ library needs.
function(cmake_consumer what)
  run("configure the ${what} consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/cmake_consumer -B ${WORK_DIR}/${what}
      -G ${GENERATOR} -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
      -DCMAKE_BUILD_TYPE=Release ${ARGN})
  run("build the ${what} consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/${what})
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
# Only the package under test may satisfy the consumers, not anything installed on the system.
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_LIBDIR} "")

if(NOT PREFIX)
  # 1. The build tree's own package, without installing.
  cmake_consumer(build-tree -Dplotx_DIR=${BUILD_DIR})
  run("run the build-tree consumer" ${CMAKE_COMMAND} -E env PLOTX_BACKEND=headless
      ${WORK_DIR}/build-tree/consumer ${WORK_DIR}/first.png)
  set(PREFIX ${WORK_DIR}/prefix)
  set(config_args)
  if(CONFIG)
    set(config_args --config ${CONFIG})
  endif()
  run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} ${config_args})
endif()

set(expected include/plotx.h)
if(DEMO)
  list(APPEND expected ${DEMO})
endif()
foreach(f ${expected})
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "${f} is not in the prefix")
  endif()
endforeach()
file(GLOB_RECURSE pc_files ${PREFIX}/plotx.pc)
file(GLOB_RECURSE config_files ${PREFIX}/plotxConfig.cmake)
file(GLOB_RECURSE licences ${PREFIX}/share/doc/*)
list(LENGTH pc_files n_pc)
list(LENGTH config_files n_config)
if(NOT n_pc EQUAL 1 OR NOT n_config EQUAL 1 OR NOT licences)
  message(FATAL_ERROR "expected one plotx.pc, one plotxConfig.cmake and the licence in ${PREFIX}: "
                      "${pc_files} ${config_files} ${licences}")
endif()
get_filename_component(pc_dir ${pc_files} DIRECTORY)
get_filename_component(lib_dir ${pc_dir} DIRECTORY)

# The shared library exports the public functions and nothing else.
execute_process(COMMAND nm -D --defined-only ${lib_dir}/libplotx.so.1 OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
string(REGEX MATCHALL "[^\n]+" symbols "${symbols}")
list(FILTER symbols EXCLUDE REGEX " PLOTX_[a-z_]+$")
if(NOT rc EQUAL 0 OR symbols)
  message(FATAL_ERROR "libplotx.so.1 exports more than the PLOTX_ functions (or is missing): ${symbols}")
endif()

# 2. find_package on the prefix.
cmake_consumer(find-package -DCMAKE_PREFIX_PATH=${PREFIX})
file(STRINGS ${WORK_DIR}/find-package/CMakeCache.txt found_dir REGEX "^plotx_DIR:")
get_filename_component(expected_dir ${config_files} DIRECTORY)
if(NOT found_dir STREQUAL "plotx_DIR:PATH=${expected_dir}")
  message(FATAL_ERROR "find_package found ${found_dir}, not the package in ${expected_dir}")
endif()
if(NOT EXISTS ${WORK_DIR}/first.png)
  run("run the find_package consumer" ${CMAKE_COMMAND} -E env PLOTX_BACKEND=headless
      ${WORK_DIR}/find-package/consumer ${WORK_DIR}/first.png)
endif()
run_consumer(find_package ${WORK_DIR}/find-package/consumer ${WORK_DIR}/find-package.png)

# 3. pkg-config and nothing but the compiler driver: the shared library, then libplotx.a
#    with the --static list of what it needs.
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
function(pkg_config out)
  execute_process(COMMAND pkg-config ${ARGN} plotx RESULT_VARIABLE rc OUTPUT_VARIABLE flags
                  ERROR_VARIABLE err OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config ${ARGN} plotx failed:\n${err}")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()
pkg_config(shared_flags --cflags --libs)
run("build the pkg-config consumer" ${C_COMPILER} ${SOURCE_DIR}/consumer.c ${shared_flags} -o ${WORK_DIR}/pc-shared)
run_consumer(pkg-config ${WORK_DIR}/pc-shared ${WORK_DIR}/pc-shared.png LD_LIBRARY_PATH=${lib_dir})

pkg_config(static_flags --static --cflags --libs)
list(REMOVE_ITEM static_flags -lplotx)
run("build the pkg-config --static consumer" ${C_COMPILER} ${SOURCE_DIR}/consumer.c
    -Wl,-Bstatic -lplotx -Wl,-Bdynamic ${static_flags} -o ${WORK_DIR}/pc-static)
execute_process(COMMAND objdump -p ${WORK_DIR}/pc-static OUTPUT_VARIABLE dynamic)
if(dynamic MATCHES "NEEDED +libplotx")
  message(FATAL_ERROR "the --static consumer still needs libplotx.so")
endif()
run_consumer("pkg-config --static" ${WORK_DIR}/pc-static ${WORK_DIR}/pc-static.png)
