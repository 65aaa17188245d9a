# PlotxWeb.cmake - the WebAssembly build's link settings, in one place: programs made into
# pages (the demo, the examples, a user's program through tools/build-web.sh) and the test
# programs, which run under Node with the host's file system.
set(PLOTX_WEB_DIR ${PROJECT_SOURCE_DIR}/library/backends/web/page)

# The faces a page bundles: the drawing face and the log's fixed-pitch face.
set(PLOTX_WEB_FONTS
  /usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf@/fonts/liberation/LiberationSans-Regular.ttf
  /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf@/fonts/dejavu/DejaVuSansMono.ttf)

# A program that runs in a page: its blocking event wait suspends through ASYNCIFY, files
# live in the page's file system (PLOTX.SCR in browser storage), the faces load with it.
function(plotx_web_page target)
  set(opts -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1
    -sENVIRONMENT=web -sEXPORTED_RUNTIME_METHODS=[FS,ENV,callMain] -lidbfs.js)
  foreach(font ${PLOTX_WEB_FONTS})
    list(APPEND opts "SHELL:--preload-file ${font}")
  endforeach()
  target_link_options(${target} PRIVATE ${opts})
  set_target_properties(${target} PROPERTIES SUFFIX .js)
endfunction()

# A test program run by Node: the host's files (test data, fonts) as they are, the process
# environment visible to getenv, and the exit status passed back to ctest. Linked at -O1: the
# optimizer's full passes on a dozen programs would cost minutes for little speed.
function(plotx_web_node_program target)
  target_link_options(${target} PRIVATE -O1 -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1
    -sENVIRONMENT=node "SHELL:--pre-js ${PLOTX_WEB_DIR}/node-env.js")
endfunction()
