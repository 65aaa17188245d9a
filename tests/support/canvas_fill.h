// canvas_fill.h - paints straight into the library's canvas surface, for the desktop probes
// (the test's and the measuring one) that depend on nothing but the window layer and the
// backend under test.
#pragma once
#include <algorithm>
#include <cstdint>

#include "state.h"

inline void fill_canvas(int left, int top, int right, int bottom, uint32_t pixel) {
    px::Bitmap* b = px::dc_surface(plotx::g.windows.canvas_dc);
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, b->width);
    bottom = std::min(bottom, b->height);
    for (int y = top; y < bottom; ++y) std::fill(b->row(y) + left, b->row(y) + right, pixel);
    ++b->generation;
    plotx::g.windows.canvas_dirty = 1;
}
