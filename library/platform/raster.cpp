// raster.cpp - the shapes: rectangles, ellipses, polygons, lines. (placeholder)
#include "raster_internal.h"

namespace px {
bool Rectangle(HDC, int, int, int, int) { return true; }
bool Ellipse(HDC, int, int, int, int) { return true; }
bool Polygon(HDC, const Point*, int) { return true; }
bool MoveToEx(HDC dc, int x, int y, Point* previous) {
    if (!dc) return false;
    if (previous) *previous = dc->pos;
    dc->pos = Point{x, y};
    return true;
}
bool LineTo(HDC dc, int x, int y) { if (!dc) return false; dc->pos = Point{x, y}; return true; }
}  // namespace px
