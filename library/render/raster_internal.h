// raster_internal.h - the records behind the raster handles, shared by the files of the
// raster (objects and DCs, shapes, text). Nothing outside library/render includes it.
#pragma once
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include "render/portable.h"
#include "render/raster.h"

namespace px {

struct FontFace;  // a matched, sized face; owned by the font cache in fonts.cpp

struct GdiObject {
    enum Kind { Pen, Brush, Font, Bitmap_ } kind;
    bool stock = false;
    // Pen and brush.
    int style = PS_SOLID;
    int width = 0;
    COLORREF color = 0;
    bool hollow = false;  // stock null brush / null pen
    // Font: what was asked for, and what matching chose.
    int font_height = 0;
    int font_weight = FW_NORMAL;
    std::string font_face;
    FontFace* face = nullptr;
    // Bitmap.
    Bitmap bitmap;
    explicit GdiObject(Kind k) : kind(k) {}
};

struct DC {
    Bitmap* surface = nullptr;  // what drawing lands in
    HGDIOBJ pen = nullptr, brush = nullptr, font = nullptr, bitmap = nullptr;
    COLORREF text_color = RGB(0, 0, 0);
    COLORREF bk_color = RGB(255, 255, 255);
    int bk_mode = OPAQUE;
    Point pos{0, 0};
    std::unique_ptr<GdiObject> own_bitmap;  // a memory DC's initial 1x1 bitmap
    DC();
};

// One run of pixels. Where portable.h allows, long runs go to the C library's
// wide-character fill, which picks the widest stores the processor has. The rest are
// written 16 bytes at a time, the last store overlapping the one before it instead of a
// scalar tail: from a vector register where the compiler has vector types, else from a
// four-pixel array, which compilers also turn into vector stores.
#ifdef PLOTX_HAVE_VECTOR_STORES
using u32x4 = uint32_t __attribute__((vector_size(16)));
#endif

inline void fill_pixels(uint32_t* p, size_t n, uint32_t pixel) {
#ifdef PLOTX_HAVE_WIDE_FILL
    if constexpr (sizeof(wchar_t) == sizeof(uint32_t)) {
        if (n >= 48) {
            std::wmemset(reinterpret_cast<wchar_t*>(p), static_cast<wchar_t>(pixel), n);
            return;
        }
    }
#endif
    if (n >= 4) {
#ifdef PLOTX_HAVE_VECTOR_STORES
        const u32x4 v = {pixel, pixel, pixel, pixel};
#else
        const uint32_t v[4] = {pixel, pixel, pixel, pixel};
#endif
        uint32_t* const end = p + n;
        for (; p + 8 <= end; p += 8) {
            std::memcpy(p, &v, 16);
            std::memcpy(p + 4, &v, 16);
        }
        if (p + 4 <= end) std::memcpy(p, &v, 16);
        std::memcpy(end - 4, &v, 16);
        return;
    }
    for (; n > 0; --n) *p++ = pixel;
}

// Font services for the text calls (fonts.cpp).
FontFace* match_font(int height, int weight, const std::string& face);
FontFace* stock_fixed_font();
FontFace* stock_system_font();
void font_metrics(FontFace* face, TextMetrics* tm);
Size font_extent(FontFace* face, const char* text, int count);
// Draws count characters with the cell's top-left at (x, y), glyphs in colour, clipped to
// the surface; the cell is filled with bk first when opaque.
void font_draw(FontFace* face, Bitmap& surface, int x, int y, const char* text, int count,
               uint32_t color_pixel, bool opaque, uint32_t bk_pixel);

}  // namespace px
