// drawing.cpp - the public drawing operations (argument corrections with their messages,
// the shape log lines, the commands they build), the renderer that paints a DrawCommand
// into the canvas with per-command pens, brushes and fonts, and clearing the canvas.
#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/glyphs/glyph_source.h"
#include "window/backend.h"
#include "state.h"

using namespace px;

namespace plotx {

namespace {

// Canvas coordinates and pen widths are clamped to these before a command is built, so
// that x - radius, origin + x and a pen's half width around an edge all stay well inside
// 32 bits. A shape this far out is off the 601 x 540 image either way.
constexpr long long COORD_LIMIT = 1LL << 28;
constexpr long long WIDTH_LIMIT = 1LL << 28;
// Image pixels handed to the reference system calls stay within this.
constexpr long long PIXEL_LIMIT = 1LL << 30;

int clamp_coord(long long v) { return static_cast<int>(std::clamp(v, -COORD_LIMIT, COORD_LIMIT)); }
int clamp_pixel(long long v) { return static_cast<int>(std::clamp(v, -PIXEL_LIMIT, PIXEL_LIMIT)); }
int clamp_width(int w) { return static_cast<int>(std::min<long long>(w, WIDTH_LIMIT)); }

// The magnitude of a negative argument; INT_MIN has none in an int, so it becomes INT_MAX.
int corrected(int negative) { return negative == INT_MIN ? INT_MAX : -negative; }

int correct_width(int width) {
    if (width < 0) {
        PLOTX_log("Width of %d not possible, using width %d\n", width, corrected(width));
        width = corrected(width);
    }
    return width;
}

// Renders one shape command; every coordinate and the width are brought into the safe
// range first. Points are given in command order: (x1, y1), (x2, y2), (x3, y3).
void render_shape(int kind, int color, int width, long long x1, long long y1, long long x2 = 0, long long y2 = 0,
                  long long x3 = 0, long long y3 = 0) {
    DrawCommand c;
    c.kind = kind;
    c.color = color;
    c.width = clamp_width(width);
    c.x1 = clamp_coord(x1);
    c.y1 = clamp_coord(y1);
    c.x2 = clamp_coord(x2);
    c.y2 = clamp_coord(y2);
    c.x3 = clamp_coord(x3);
    c.y3 = clamp_coord(y3);
    render_command(c);
}

const char* FONT_FACE = px::PROGRAM_FACE;

void render_text(HDC dc, const DrawCommand& c, COLORREF rgb) {
    const long long left = g.windows.origin_x + static_cast<long long>(c.x1);
    const long long top = g.windows.origin_y - static_cast<long long>(c.y1);
    SetTextColor(dc, rgb);
    const int old_mode = GetBkMode(dc);
    SetBkMode(dc, TRANSPARENT);
    // A negative height asks for the character height; 0 leaves it to the default.
    const int size = std::clamp(c.x2, 0, MAX_POINT_SIZE);
    HFONT font = CreateFontA(-size, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, FONT_FACE);
    HGDIOBJ old_font = SelectObject(dc, font);
    HGLOBAL block = reinterpret_cast<HGLOBAL>(c.y2);
    if (const char* text = static_cast<const char*>(GlobalLock(block))) {
        const size_t n = std::strlen(text);
        Size whole{0, 0};
        GetTextExtentPointA(dc, text, static_cast<int>(std::min<size_t>(n, INT_MAX)), &whole);
        const long long h = whole.cy;
        // Line i has its cell's top-left at (left, top + (i - 1) h): the first line sits
        // just above the point, each further one h lower.
        size_t start = 0;
        for (long long i = 0;; ++i) {
            const char* nl = static_cast<const char*>(std::memchr(text + start, '\n', n - start));
            const size_t end = nl ? static_cast<size_t>(nl - text) : n;
            const long long y = top + (i - 1) * h;
            if (y >= PIXEL_LIMIT) break;  // this line and the rest are far below the image
            if (end > start)
                TextOutA(dc, clamp_pixel(left), clamp_pixel(y), text + start,
                         static_cast<int>(std::min<size_t>(end - start, INT_MAX)));
            if (!nl) break;
            start = end + 1;
        }
    }
    GlobalUnlock(block);
    SetBkMode(dc, old_mode);
    SelectObject(dc, old_font);
    DeleteObject(font);
}

// The backend's words for what was drawn: the shape and colour as the log names them.
void tell_backend(const DrawCommand& c, int color) {
    static const char* const SHAPES[] = {"triangle", "rectangle", "circle", "line", "pixel", "text"};
    const char* text = nullptr;
    HGLOBAL block = c.kind == DRAW_TEXT ? reinterpret_cast<HGLOBAL>(c.y2) : nullptr;
    if (block) text = static_cast<const char*>(GlobalLock(block));
    px::backend().canvas_drew(g.windows.graphics_window, SHAPES[c.kind], palette_names[color], text ? text : "");
    if (block) GlobalUnlock(block);
}

}  // namespace

void set_logging(bool on) { g.drawing.logging_on = on; }

void render_command(const DrawCommand& c) {
    ++test_hook.commands_rendered;
    if (test_hook.command_seen) test_hook.command_seen(c);
    HDC dc = g.windows.canvas_dc;
    // Before the library is open there is no canvas: the operation has logged, nothing
    // is painted.
    if (dc && c.kind >= DRAW_TRIANGLE && c.kind <= DRAW_TEXT) {
        const int color = c.color >= 0 && c.color < PALETTE_SIZE ? c.color : RED;
        const COLORREF rgb = palette_rgb[color];
        const long long ox = g.windows.origin_x, oy = g.windows.origin_y;
        auto px_x = [&](int x) { return clamp_pixel(ox + x); };
        auto px_y = [&](int y) { return clamp_pixel(oy - y); };
        const int width = std::clamp<int>(c.width, 0, static_cast<int>(WIDTH_LIMIT));
        switch (c.kind) {
            case DRAW_TRIANGLE:
            case DRAW_RECTANGLE:
            case DRAW_ELLIPSE: {
                HPEN pen = CreatePen(PS_SOLID, width, rgb);
                HBRUSH solid = width == 0 ? CreateSolidBrush(rgb) : nullptr;
                HGDIOBJ old_pen = SelectObject(dc, pen);
                HGDIOBJ old_brush = SelectObject(dc, solid ? solid : GetStockObject(NULL_BRUSH));
                if (c.kind == DRAW_TRIANGLE) {
                    const Point v[3] = {{px_x(c.x1), px_y(c.y1)}, {px_x(c.x2), px_y(static_cast<int>(c.y2))},
                                        {px_x(c.x3), px_y(c.y3)}};
                    Polygon(dc, v, 3);
                } else {
                    // The reference system's boxes exclude their right and bottom edges; + 1 makes
                    // both corners of the command part of the shape.
                    const int l = px_x(c.x1), t = px_y(c.y1);
                    const int r = clamp_pixel(ox + c.x2 + 1LL), b = clamp_pixel(oy - c.y2 + 1LL);
                    if (c.kind == DRAW_RECTANGLE)
                        Rectangle(dc, l, t, r, b);
                    else if (r - l == 1 && b - t == 1)
                        SetPixel(dc, l, t, rgb);  // a radius-0 circle is its one pixel; the reference system's ellipse draws none
                    else
                        Ellipse(dc, l, t, r, b);
                }
                SelectObject(dc, old_brush);
                SelectObject(dc, old_pen);
                if (solid) DeleteObject(solid);
                DeleteObject(pen);
                break;
            }
            case DRAW_LINE: {
                HPEN pen = CreatePen(PS_SOLID, width, rgb);
                HGDIOBJ old_pen = SelectObject(dc, pen);
                MoveToEx(dc, px_x(c.x1), px_y(c.y1), nullptr);
                LineTo(dc, px_x(c.x2), px_y(static_cast<int>(c.y2)));
                SelectObject(dc, old_pen);
                DeleteObject(pen);
                break;
            }
            case DRAW_PIXEL:
                SetPixel(dc, px_x(c.x1), px_y(c.y1), rgb);
                break;
            case DRAW_TEXT:
                render_text(dc, c, rgb);
                break;
        }
        tell_backend(c, color);
    }
    mark_canvas_dirty();
}

}  // namespace plotx

using namespace plotx;

extern "C" int PLOTX_draw_circle(int color, int x, int y, int radius) {
    color = check_color(color);
    if (radius < 0) {
        PLOTX_log("Radius of %d not possible, using radius %d\n", radius, corrected(radius));
        radius = corrected(radius);
    }
    if (g.drawing.logging_on) PLOTX_log("%s circle at (%d,%d), radius %d\n", palette_names[color], x, y, radius);
    render_shape(DRAW_ELLIPSE, color, 0, static_cast<long long>(x) - radius, static_cast<long long>(y) + radius,
                 static_cast<long long>(x) + radius, static_cast<long long>(y) - radius);
    return 1;
}

extern "C" int PLOTX_draw_triangle(int color, int x1, int y1, int x2, int y2, int x3, int y3, int width) {
    color = check_color(color);
    width = correct_width(width);
    if (g.drawing.logging_on)
        PLOTX_log("%s triangle at (%d,%d), (%d,%d), (%d,%d)\n", palette_names[color], x1, y1, x2, y2, x3, y3);
    render_shape(DRAW_TRIANGLE, color, width, x1, y1, x2, y2, x3, y3);
    return 1;
}

extern "C" int PLOTX_draw_rectangle(int color, int x1, int y1, int x2, int y2, int width) {
    const int left = std::min(x1, x2), right = std::max(x1, x2);
    const int top = std::max(y1, y2), bottom = std::min(y1, y2);
    color = check_color(color);
    width = correct_width(width);
    if (g.drawing.logging_on) {
        if (width == 0)
            PLOTX_log("%s rectangle with bounding box (%d,%d) to (%d,%d), filled\n", palette_names[color], left, top,
                      right, bottom);
        else
            PLOTX_log("%s rectangle with bounding box (%d,%d) to (%d,%d) with line width %d\n", palette_names[color],
                      left, top, right, bottom, width);
    }
    render_shape(DRAW_RECTANGLE, color, width, left, top, right, bottom);
    return 1;
}

extern "C" int PLOTX_draw_line(int color, int x1, int y1, int x2, int y2, int width) {
    color = check_color(color);
    width = correct_width(width);
    if (g.drawing.logging_on)
        PLOTX_log("%s line from (%d,%d) to (%d,%d), width %d\n", palette_names[color], x1, y1, x2, y2, width);
    render_shape(DRAW_LINE, color, width, x1, y1, x2, y2);
    return 1;
}

extern "C" int PLOTX_draw_pixel(int color, int x, int y) {
    color = check_color(color);
    if (g.drawing.logging_on) PLOTX_log("%s pixel at (%d,%d)\n", palette_names[color], x, y);
    render_shape(DRAW_PIXEL, color, 0, x, y);
    return 1;
}

extern "C" int PLOTX_draw_text(int color, int x, int y, int point_size, const char* text) {
    if (!text) text = "";
    if (point_size < 0) {
        PLOTX_log("ptsize of %d not possible, using ptsize %d\n", point_size, corrected(point_size));
        point_size = corrected(point_size);
    }
    if (point_size > MAX_POINT_SIZE) {
        PLOTX_log("ptsize of %d not possible, using ptsize %d\n", point_size, MAX_POINT_SIZE);
        point_size = MAX_POINT_SIZE;
    }
    color = check_color(color);
    if (g.drawing.logging_on) PLOTX_log("%s text at (%d,%d), \"%s\"\n", palette_names[color], x, y, text);
    const size_t n = std::strlen(text);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, n + 1);
    if (char* copy = static_cast<char*>(GlobalLock(block))) {
        std::memcpy(copy, text, n + 1);
        GlobalUnlock(block);
    }
    DrawCommand c;
    c.kind = DRAW_TEXT;
    c.color = color;
    c.x1 = clamp_coord(x);
    c.y1 = clamp_coord(y);
    c.x2 = point_size;
    c.y2 = reinterpret_cast<intptr_t>(block);
    render_command(c);
    GlobalFree(block);
    return 1;
}

extern "C" int PLOTX_draw_formatted_text(int color, int x, int y, int point_size, const char* format, ...) {
    char buffer[FORMAT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    const int n = format_line(buffer, format, args);
    va_end(args);
    PLOTX_draw_text(color, x, y, point_size, buffer);
    return std::min(n, FORMAT_BUFFER_SIZE - 1);
}

extern "C" int PLOTX_clear_canvas(void) {
    if (g.drawing.logging_on) PLOTX_log("Clearing the graphics window\n");
    if (HDC dc = g.windows.canvas_dc) {
        // The outline is the pen the DC holds, which every command puts back: its initial
        // one-pixel black pen, so the image's outermost pixels end up black.
        HBRUSH white = CreateSolidBrush(palette_rgb[BACKGROUND_COLOR]);
        HGDIOBJ old_brush = SelectObject(dc, white);
        Rectangle(dc, 0, 0, CANVAS_WIDTH, CANVAS_HEIGHT);
        SelectObject(dc, old_brush);
        DeleteObject(white);
        px::backend().canvas_cleared(g.windows.graphics_window);
    }
    mark_canvas_dirty();
    return 1;
}
