// drawing.cpp - the public drawing operations, their corrections and log lines, and the
// renderer that paints a DrawCommand into the canvas.
#include "state.h"

using namespace plotx;

extern "C" int PLOTX_draw_circle(int, int, int, int) { g.canvas_dirty = 1; return 1; }
extern "C" int PLOTX_draw_triangle(int, int, int, int, int, int, int, int) { g.canvas_dirty = 1; return 1; }
extern "C" int PLOTX_draw_rectangle(int, int, int, int, int, int) { g.canvas_dirty = 1; return 1; }
extern "C" int PLOTX_draw_line(int, int, int, int, int, int) { g.canvas_dirty = 1; return 1; }
extern "C" int PLOTX_draw_pixel(int, int, int) { g.canvas_dirty = 1; return 1; }
extern "C" int PLOTX_draw_text(int, int, int, int, const char*) { g.canvas_dirty = 1; return 1; }
extern "C" int PLOTX_draw_formatted_text(int, int, int, int, const char*, ...) { g.canvas_dirty = 1; return 0; }
extern "C" int PLOTX_clear_canvas(void) { g.canvas_dirty = 1; return 1; }
