# run.cmake - installs the current build into a fresh prefix, then builds consumer.c
# against the installed package twice, with find_package(plotx) and with
# `pkg-config --static`, runs both headless and checks the pictures they save.
# cmake -DBUILD_DIR=... -DWORK_DIR=... -DC_COMPILER=... -DGENERATOR=... [-DCONFIG=...]
#       [-DDEMO=bin/plotx-demo] -P run.cmake
foreach(var BUILD_DIR WORK_DIR C_COMPILER GENERATOR)
  if(NOT ${var})
    message(FATAL_ERROR "run.cmake needs -D${var}=...")
  endif()
endforeach()
set(SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(PREFIX ${WORK_DIR}/prefix)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  message(STATUS "${what}: ok")
endfunction()

# Checks a saved picture: a PNG whose header says 595 x 493, 8-bit RGB.
function(check_png file)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} was not written")
  endif()
  file(READ ${file} head LIMIT 26 HEX)
  string(SUBSTRING "${head}" 0 16 signature)
  string(SUBSTRING "${head}" 32 20 ihdr)
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT ihdr STREQUAL "00000253000001ed0802")
    message(FATAL_ERROR "${file} is not a 595x493 8-bit RGB PNG: ${head}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(config_args)
if(CONFIG)
  set(config_args --config ${CONFIG})
endif()
run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} ${config_args})
set(expected include/plotx.h)
if(DEMO)
  list(APPEND expected ${DEMO})
endif()
foreach(f ${expected})
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "install did not put ${f} in the prefix")
  endif()
endforeach()

# Only the fresh prefix may satisfy the consumers, not anything installed on the system.
set(ENV{PKG_CONFIG_PATH} "")
file(GLOB_RECURSE pc_files ${PREFIX}/plotx.pc)
file(GLOB_RECURSE config_files ${PREFIX}/plotxConfig.cmake)
list(LENGTH pc_files n_pc)
list(LENGTH config_files n_config)
if(NOT n_pc EQUAL 1 OR NOT n_config EQUAL 1)
  message(FATAL_ERROR "expected one plotx.pc and one plotxConfig.cmake in ${PREFIX}: ${pc_files} ${config_files}")
endif()

# 1. CMake's find_package, in a C-only project.
run("configure the find_package consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/cmake_consumer -B ${WORK_DIR}/cmake
    -G ${GENERATOR} -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_PREFIX_PATH=${PREFIX}
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_BUILD_TYPE=Release)
file(STRINGS ${WORK_DIR}/cmake/CMakeCache.txt found_dir REGEX "^plotx_DIR:")
get_filename_component(expected_dir ${config_files} DIRECTORY)
if(NOT found_dir STREQUAL "plotx_DIR:PATH=${expected_dir}")
  message(FATAL_ERROR "find_package found ${found_dir}, not the package in ${expected_dir}")
endif()
run("build the find_package consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/cmake)
run("run the find_package consumer" ${CMAKE_COMMAND} -E env PLOTX_BACKEND=headless
    ${WORK_DIR}/cmake/consumer ${WORK_DIR}/cmake.png)
check_png(${WORK_DIR}/cmake.png)

# 2. pkg-config --static, with nothing but the compiler driver.
get_filename_component(pc_dir ${pc_files} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
execute_process(COMMAND pkg-config --static --cflags --libs plotx RESULT_VARIABLE rc
                OUTPUT_VARIABLE flags ERROR_VARIABLE err OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config --static --cflags --libs plotx failed:\n${err}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
run("build the pkg-config consumer" ${C_COMPILER} ${SOURCE_DIR}/consumer.c ${flags} -o ${WORK_DIR}/pc-consumer)
run("run the pkg-config consumer" ${CMAKE_COMMAND} -E env PLOTX_BACKEND=headless
    ${WORK_DIR}/pc-consumer ${WORK_DIR}/pkg-config.png)
check_png(${WORK_DIR}/pkg-config.png)

# The same program linked either way draws the same picture, byte for byte.
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/cmake.png ${WORK_DIR}/pkg-config.png
                RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "the two consumers saved different pictures")
endif()
