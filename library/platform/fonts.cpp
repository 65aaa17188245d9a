// fonts.cpp - fonts matched and rendered for the text calls. (placeholder)
#include "raster_internal.h"

namespace px {
struct FontFace { int height; };
FontFace* match_font(int height, int, const std::string&) { static FontFace f{13}; (void)height; return &f; }
FontFace* stock_fixed_font() { static FontFace f{13}; return &f; }
FontFace* stock_system_font() { static FontFace f{16}; return &f; }
void font_metrics(FontFace* face, TextMetrics* tm) { *tm = TextMetrics{face->height, face->height - 3, 3, 0, 0, 8, 8}; }
Size font_extent(FontFace* face, const char*, int count) { return Size{8 * count, face->height}; }
void font_draw(FontFace*, Bitmap&, int, int, const char*, int, uint32_t, bool, uint32_t) {}

static FontFace* face_of(HDC dc) { return dc->font && dc->font->face ? dc->font->face : stock_system_font(); }
bool TextOutA(HDC dc, int x, int y, const char* text, int count) {
    if (!dc || !dc->surface) return false;
    font_draw(face_of(dc), *dc->surface, x, y, text, count, to_pixel(dc->text_color), dc->bk_mode == OPAQUE, to_pixel(dc->bk_color));
    ++dc->surface->generation;
    return true;
}
bool GetTextExtentPointA(HDC dc, const char* text, int count, Size* size) {
    if (!dc || !size) return false;
    *size = font_extent(face_of(dc), text, count);
    return true;
}
bool GetTextMetricsA(HDC dc, TextMetrics* tm) {
    if (!dc || !tm) return false;
    font_metrics(face_of(dc), tm);
    return true;
}
}  // namespace px
