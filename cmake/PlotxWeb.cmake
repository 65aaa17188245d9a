# PlotxWeb.cmake - the WebAssembly build's link settings, in one place: programs made into
# pages (the demo, the examples, a user's program through tools/build-web.sh) and the test
# programs, which run under Node with the host's file system.
set(PLOTX_WEB_DIR ${PROJECT_SOURCE_DIR}/library/backends/web/page)

# The faces a page bundles: the drawing face and the log's fixed-pitch face, from the
# system's own files, cut down at build time (pyftsubset, Debian's fonttools) to what text
# can draw: single bytes, that is Latin-1 and the western code page's characters at
# 0x80..0x9F (render/fonts.cpp). Layout tables go too: glyphs are placed by advance alone.
# Hinting and metrics stay, so every glyph renders as from the whole face. Without the tool
# the whole faces are bundled.
set(PLOTX_WEB_FACES liberation/LiberationSans-Regular.ttf dejavu/DejaVuSansMono.ttf)
set(PLOTX_WEB_FACE_CHARS "U+0000-00FF,U+0152,U+0153,U+0160,U+0161,U+0178,U+017D,U+017E,U+0192,U+02C6,U+02DC,U+2013,U+2014,U+2018-201A,U+201C-201E,U+2020-2022,U+2026,U+2030,U+2039,U+203A,U+20AC,U+2122")
find_program(PLOTX_PYFTSUBSET pyftsubset)
set(PLOTX_WEB_FONTS "")
set(PLOTX_WEB_FACE_FILES "")
foreach(face ${PLOTX_WEB_FACES})
  set(whole /usr/share/fonts/truetype/${face})
  if(PLOTX_PYFTSUBSET)
    set(cut ${PROJECT_BINARY_DIR}/faces/${face})
    get_filename_component(cut_dir ${cut} DIRECTORY)
    add_custom_command(OUTPUT ${cut}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${cut_dir}
      COMMAND ${PLOTX_PYFTSUBSET} ${whole} --output-file=${cut} --unicodes=${PLOTX_WEB_FACE_CHARS}
        --notdef-outline --drop-tables+=GSUB,GPOS,GDEF,kern,FFTM
      DEPENDS ${whole} VERBATIM)
    list(APPEND PLOTX_WEB_FONTS ${cut}@/fonts/${face})
    list(APPEND PLOTX_WEB_FACE_FILES ${cut})
  else()
    list(APPEND PLOTX_WEB_FONTS ${whole}@/fonts/${face})
  endif()
endforeach()
if(NOT PLOTX_PYFTSUBSET)
  message(STATUS "pyftsubset not found (apt-get install fonttools): pages bundle the whole faces")
endif()
add_custom_target(plotx_web_faces DEPENDS ${PLOTX_WEB_FACE_FILES})

# A program that runs in a page: its blocking event wait suspends through ASYNCIFY, files
# live in the page's file system (PLOTX.SCR in browser storage), the faces load with it.
# The code a page runs is made the same way for the frame's timing loop under Node. Fixed
# width SIMD (every current browser has it) lets the raster's loops run four pixels a step.
# The suspending wait instruments every function that could be on the stack when it
# suspends, which is any function calling through a pointer unless told otherwise: FreeType
# and zlib never wait, and leaving them out takes a tenth off the download.
add_compile_options(-msimd128)
file(WRITE ${PROJECT_BINARY_DIR}/asyncify-never.json
  [=[["FT_*","ft_*","tt_*","TT_*","af_*","ps_*","cff_*","t1_*","t42_*","pfr_*","bdf_*","pcf_*","gray_*","psh_*","sfnt_*","Ins_*","Compute_*","inflate*","zcalloc"]]=])
set(PLOTX_WEB_CODE -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536 -sASYNCIFY_REMOVE=@${PROJECT_BINARY_DIR}/asyncify-never.json
  -sALLOW_MEMORY_GROWTH=1)
function(plotx_web_page target)
  set(opts ${PLOTX_WEB_CODE} -sEXIT_RUNTIME=1
    -sENVIRONMENT=web -sEXPORTED_RUNTIME_METHODS=[FS,ENV,callMain] -lidbfs.js)
  foreach(font ${PLOTX_WEB_FONTS})
    list(APPEND opts "SHELL:--preload-file ${font}")
  endforeach()
  target_link_options(${target} PRIVATE ${opts})
  add_dependencies(${target} plotx_web_faces)
  set_target_properties(${target} PROPERTIES SUFFIX .js LINK_DEPENDS "${PLOTX_WEB_FACE_FILES}")
endfunction()

# A test program run by Node: the host's files (test data, fonts) as they are, the process
# environment visible to getenv, and the exit status passed back to ctest. Linked at -O1: the
# optimizer's full passes on a dozen programs would cost minutes for little speed.
function(plotx_web_node_program target)
  target_link_options(${target} PRIVATE -O1 -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1
    -sENVIRONMENT=node "SHELL:--pre-js ${PLOTX_WEB_DIR}/node-env.js")
endfunction()

# A program timed under Node (bench/frame_time.cpp): made as a page's program is, with the
# host's files.
function(plotx_web_timed_program target)
  target_link_options(${target} PRIVATE ${PLOTX_WEB_CODE} -sNODERAWFS=1 -sEXIT_RUNTIME=1 -sENVIRONMENT=node)
endfunction()
