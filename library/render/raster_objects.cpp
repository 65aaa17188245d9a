// raster_objects.cpp - device contexts and drawing objects: creation, selection, deletion
// with a count of live objects, block copies, scrolling and single pixels. The shapes are
// in raster.cpp and the text calls in fonts.cpp.
#include <algorithm>
#include <cstring>
#include "render/raster_internal.h"

namespace px {

namespace {
int g_live_objects = 0;

GdiObject* stock(int which) {
    static GdiObject white_brush(GdiObject::Brush), black_brush(GdiObject::Brush),
        null_brush(GdiObject::Brush), white_pen(GdiObject::Pen), black_pen(GdiObject::Pen),
        null_pen(GdiObject::Pen), fixed_font(GdiObject::Font), system_font(GdiObject::Font);
    static bool ready = false;
    if (!ready) {
        ready = true;
        for (GdiObject* o : {&white_brush, &black_brush, &null_brush, &white_pen, &black_pen,
                             &null_pen, &fixed_font, &system_font})
            o->stock = true;
        white_brush.color = RGB(255, 255, 255);
        null_brush.hollow = true;
        white_pen.color = RGB(255, 255, 255);
        null_pen.hollow = true;
        null_pen.style = PS_NULL;
    }
    switch (which) {
        case WHITE_BRUSH: return &white_brush;
        case BLACK_BRUSH: return &black_brush;
        case NULL_BRUSH: return &null_brush;
        case WHITE_PEN: return &white_pen;
        case BLACK_PEN: return &black_pen;
        case NULL_PEN: return &null_pen;
        case ANSI_FIXED_FONT:
            if (!fixed_font.face) fixed_font.face = stock_fixed_font();
            return &fixed_font;
        case SYSTEM_FONT:
            if (!system_font.face) system_font.face = stock_system_font();
            return &system_font;
        default: return nullptr;
    }
}

GdiObject* make(GdiObject::Kind k) {
    ++g_live_objects;
    return new GdiObject(k);
}
}  // namespace

std::vector<uint32_t> Bitmap::linear() const {
    std::vector<uint32_t> out(pixels.size());
    for (int y = 0; y < height; ++y)
        std::memcpy(out.data() + static_cast<size_t>(y) * width, row(y), sizeof(uint32_t) * width);
    return out;
}

void Bitmap::copy_bytes(int x, int y, int w, int h, int bytes_per_pixel, uint8_t* out) const {
    for (int r = 0; r < h; ++r) {
        const uint32_t* src = row(y + r) + x;
        for (int i = 0; i < w; ++i, out += bytes_per_pixel) {
            const uint32_t v = src[i];
            out[0] = static_cast<uint8_t>(v >> 16);
            out[1] = static_cast<uint8_t>(v >> 8);
            out[2] = static_cast<uint8_t>(v);
            if (bytes_per_pixel == 4) out[3] = 255;
        }
    }
}

DC::DC() {
    pen = stock(BLACK_PEN);
    brush = stock(WHITE_BRUSH);
    font = nullptr;  // the system font, looked up on first use
}

HPEN CreatePen(int style, int width, COLORREF color) {
    GdiObject* o = make(GdiObject::Pen);
    o->style = style;
    o->width = width < 0 ? 0 : width;
    o->color = color & 0xFFFFFF;
    o->hollow = style == PS_NULL;
    return o;
}

HBRUSH CreateSolidBrush(COLORREF color) {
    GdiObject* o = make(GdiObject::Brush);
    o->color = color & 0xFFFFFF;
    return o;
}

HGDIOBJ GetStockObject(int which) { return stock(which); }

HFONT CreateFontA(int height, int, int, int, int weight, unsigned, unsigned, unsigned, unsigned,
                  unsigned, unsigned, unsigned, unsigned, const char* face) {
    GdiObject* o = make(GdiObject::Font);
    o->font_height = height;
    o->font_weight = weight;
    o->font_face = face ? face : "";
    o->face = match_font(height, weight, o->font_face);
    return o;
}

HBITMAP CreateCompatibleBitmap(HDC, int width, int height) {
    GdiObject* o = make(GdiObject::Bitmap_);
    // A new bitmap's content is undefined on the reference system; black is what it shows here.
    o->bitmap.resize(width, height, 0);
    return o;
}

HDC CreateCompatibleDC(HDC) {
    DC* dc = new DC();
    dc->own_bitmap = std::make_unique<GdiObject>(GdiObject::Bitmap_);
    dc->own_bitmap->stock = true;
    dc->own_bitmap->bitmap.resize(1, 1, 0);
    dc->bitmap = dc->own_bitmap.get();
    dc->surface = &dc->own_bitmap->bitmap;
    return dc;
}

HDC create_surface_dc(Bitmap* surface) {
    DC* dc = new DC();
    dc->surface = surface;
    return dc;
}

bool DeleteDC(HDC dc) {
    delete dc;
    return dc != nullptr;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (!dc || !object) return nullptr;
    HGDIOBJ previous = nullptr;
    switch (object->kind) {
        case GdiObject::Pen: previous = dc->pen; dc->pen = object; break;
        case GdiObject::Brush: previous = dc->brush; dc->brush = object; break;
        case GdiObject::Font:
            previous = dc->font ? dc->font : stock(SYSTEM_FONT);
            dc->font = object;
            break;
        case GdiObject::Bitmap_:
            previous = dc->bitmap;
            dc->bitmap = object;
            dc->surface = &object->bitmap;
            break;
    }
    return previous;
}

bool DeleteObject(HGDIOBJ object) {
    if (!object || object->stock) return false;
    --g_live_objects;
    delete object;
    return true;
}

int live_gdi_objects() { return g_live_objects; }

Bitmap* dc_surface(HDC dc) { return dc ? dc->surface : nullptr; }

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
    Bitmap* s = dc_surface(dc);
    if (!s || x < 0 || y < 0 || x >= s->width || y >= s->height) return 0xFFFFFFFF;
    s->row(y)[x] = to_pixel(color);
    ++s->generation;
    return color & 0xFFFFFF;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    Bitmap* s = dc_surface(dc);
    if (!s || x < 0 || y < 0 || x >= s->width || y >= s->height) return 0xFFFFFFFF;
    return from_pixel(s->row(y)[x]);
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    if (!dc) return 0xFFFFFFFF;
    COLORREF old = dc->text_color;
    dc->text_color = color & 0xFFFFFF;
    return old;
}
COLORREF SetBkColor(HDC dc, COLORREF color) {
    if (!dc) return 0xFFFFFFFF;
    COLORREF old = dc->bk_color;
    dc->bk_color = color & 0xFFFFFF;
    return old;
}
COLORREF GetBkColor(HDC dc) { return dc ? dc->bk_color : 0xFFFFFFFF; }
int SetBkMode(HDC dc, int mode) {
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int old = dc->bk_mode;
    dc->bk_mode = mode;
    return old;
}
int GetBkMode(HDC dc) { return dc ? dc->bk_mode : 0; }

bool BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int sx, int sy, uint32_t rop) {
    Bitmap* d = dc_surface(dst);
    Bitmap* s = dc_surface(src);
    if (!d || !s || rop != SRCCOPY) return false;
    // Clip the destination rectangle against both surfaces, moving the source with it; in
    // 64 bits, since any int may come in.
    int64_t X = x, Y = y, SX = sx, SY = sy, W = width, H = height;
    if (X < 0) { SX -= X; W += X; X = 0; }
    if (Y < 0) { SY -= Y; H += Y; Y = 0; }
    if (SX < 0) { X -= SX; W += SX; SX = 0; }
    if (SY < 0) { Y -= SY; H += SY; SY = 0; }
    W = std::min({W, d->width - X, s->width - SX});
    H = std::min({H, d->height - Y, s->height - SY});
    if (W <= 0 || H <= 0) return true;
    // Within one surface the copy acts as if through a temporary: rows are taken in the
    // order that reads each before it is overwritten, and a row may overlap itself.
    const bool upward = d == s && SY < Y;
    for (int64_t i = 0; i < H; ++i) {
        const int r = static_cast<int>(upward ? H - 1 - i : i);
        std::memmove(d->row(static_cast<int>(Y) + r) + X, s->row(static_cast<int>(SY) + r) + SX,
                     sizeof(uint32_t) * static_cast<size_t>(W));
    }
    ++d->generation;
    return true;
}

bool ScrollDC(HDC dc, int dx, int dy) {
    Bitmap* s = dc_surface(dc);
    if (!s || s->height == 0) return false;
    if (dy != 0) {
        // Moving the content up by -dy rows is a change of the ring's offset; the rows that
        // come into view at the bottom are stale, as the reference system leaves uncovered pixels.
        int shift = -dy % s->height;
        s->row_offset = ((s->row_offset + shift) % s->height + s->height) % s->height;
    }
    if (dx != 0) {
        int w = s->width;
        for (int y = 0; y < s->height; ++y) {
            uint32_t* r = s->row(y);
            if (dx > 0 && dx < w) std::memmove(r + dx, r, sizeof(uint32_t) * (w - dx));
            if (dx < 0 && -dx < w) std::memmove(r, r - dx, sizeof(uint32_t) * (w + dx));
        }
    }
    ++s->generation;
    return true;
}

}  // namespace px
