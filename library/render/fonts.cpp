// fonts.cpp - fonts for the text calls: the reference system's text metrics and extents, and
// glyphs blended into a surface. Faces and their glyph images are cached for
// the life of the process, since the library creates a font for every text it draws;
// where faces and glyph images come from is glyph_source.h's business.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "host/glyphs/glyph_source.h"
#include "render/raster_internal.h"

namespace px {

namespace {

// The default cell height when a font asks for height 0, and the stock fonts' cells.
constexpr int DEFAULT_CELL_HEIGHT = 16;
constexpr int FIXED_CELL_HEIGHT = 13;
constexpr int SYSTEM_CELL_HEIGHT = 16;
// Beyond this a height is no use on any surface and would only cost memory in glyphs.
constexpr int MAX_PIXEL_HEIGHT = 2048;

// Text calls take single-byte text in the reference system's western code page; these are its
// characters 0x80..0x9F (0 where the code page leaves a hole). Other bytes are Latin-1.
const uint16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};


struct Glyph : GlyphImage {
    bool ready = false;
    // The glyph already blended over one background in one colour: opaque text (the log's
    // black on white) copies these rows instead of blending every pixel again.
    std::vector<uint32_t> blended;
    uint32_t blended_fg = 0, blended_bg = 0;
};

// Coverage a of fg over d, each channel rounded to nearest: (fg*a + d*(255-a)) / 255.
// Red and blue travel together 16 bits apart (no sum exceeds 16 bits), and x / 255 is
// taken as (x + 128 + ((x + 128) >> 8)) >> 8, which is exact for every sum that occurs.
uint32_t blend(uint32_t fg, uint32_t d, uint32_t a) {
    const uint32_t na = 255 - a;
    uint32_t rb = (fg & 0xFF00FFu) * a + (d & 0xFF00FFu) * na + 0x800080u;
    rb = ((rb + ((rb >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
    uint32_t g = (fg & 0xFF00u) * a + (d & 0xFF00u) * na + 0x8000u;
    g = ((g + ((g >> 8) & 0xFF00u)) >> 8) & 0xFF00u;
    return rb | g;
}

const std::vector<uint32_t>& blended_over(Glyph& gl, uint32_t fg, uint32_t bg) {
    if (gl.blended.size() != gl.coverage.size() || gl.blended_fg != fg || gl.blended_bg != bg) {
        gl.blended.resize(gl.coverage.size());
        for (size_t i = 0; i < gl.coverage.size(); ++i) gl.blended[i] = blend(fg, bg, gl.coverage[i]);
        gl.blended_fg = fg;
        gl.blended_bg = bg;
    }
    return gl.blended;
}

}  // namespace

unsigned byte_code_point(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
    return byte;
}

struct FontFace {
    std::unique_ptr<GlyphSource> source;  // null when no face could be loaded: text then has metrics only
    int ascent = 0, descent = 0, internal_leading = 0;
    int ave_char_width = 0, max_char_width = 0;
    Glyph glyphs[256];

    Glyph& glyph(unsigned char byte) {
        Glyph& gl = glyphs[byte];
        if (gl.ready) return gl;
        gl.ready = true;
        if (source) source->glyph(byte_code_point(byte), &gl);
        else gl.advance = ave_char_width;
        if (gl.pen_advance < 0) gl.pen_advance = gl.advance;
        return gl;
    }
};

namespace {

std::unique_ptr<FontFace> load_face(const std::string& name, int height, int weight) {
    auto face = std::make_unique<FontFace>();
    face->source = open_glyph_source(name, height, weight);
    FaceMetrics m;
    if (face->source) {
        m = face->source->metrics();
    } else {
        // No usable face: plausible metrics so layout still works; glyphs draw nothing.
        int em = height < 0 ? -height : (height * 7 + 4) / 8;
        m.ascent = (em * 4 + 2) / 5 + 1;
        m.descent = std::max(1, em / 5);
        m.internal_leading = m.ascent + m.descent - em;
        m.ave_char_width = m.max_char_width = std::max(1, em / 2);
    }
    face->ascent = m.ascent;
    face->descent = m.descent;
    face->internal_leading = m.internal_leading;
    face->ave_char_width = m.ave_char_width;
    face->max_char_width = m.max_char_width;
    return face;
}

FontFace* cached_face(const std::string& name, int height, int weight) {
    // Keyed by what was asked; the resolved file is a function of name and weight, so this
    // is the same as keying by file, pixel size and weight, without a match per lookup.
    static std::map<std::tuple<std::string, int, int>, std::unique_ptr<FontFace>> faces;
    auto key = std::make_tuple(name, height, weight);
    auto it = faces.find(key);
    if (it != faces.end()) return it->second.get();
    FontFace* face = faces.emplace(key, load_face(name, height, weight)).first->second.get();
    return face;
}

}  // namespace

FontFace* match_font(int height, int weight, const std::string& face) {
    if (height == 0) height = DEFAULT_CELL_HEIGHT;
    height = std::clamp(height, -MAX_PIXEL_HEIGHT, MAX_PIXEL_HEIGHT);
    return cached_face(face, height, weight);
}

FontFace* stock_fixed_font() {
    static FontFace* face = cached_face("monospace", FIXED_CELL_HEIGHT, FW_NORMAL);
    return face;
}

FontFace* stock_system_font() {
    static FontFace* face = cached_face("sans-serif", SYSTEM_CELL_HEIGHT, FW_NORMAL);
    return face;
}

void font_metrics(FontFace* face, TextMetrics* tm) {
    tm->tmAscent = face->ascent;
    tm->tmDescent = face->descent;
    tm->tmHeight = face->ascent + face->descent;
    tm->tmInternalLeading = face->internal_leading;
    tm->tmExternalLeading = 0;
    tm->tmAveCharWidth = face->ave_char_width;
    tm->tmMaxCharWidth = face->max_char_width;
}

Size font_extent(FontFace* face, const char* text, int count) {
    long long width = 0;
    for (int i = 0; text && i < count; ++i) width += face->glyph(static_cast<unsigned char>(text[i])).advance;
    return Size{static_cast<int>(std::min<long long>(width, INT32_MAX)), face->ascent + face->descent};
}

void font_draw(FontFace* face, Bitmap& surface, int x, int y, const char* text, int count, uint32_t color_pixel,
               bool opaque, uint32_t bk_pixel) {
    if (!text || count <= 0 || surface.width <= 0 || surface.height <= 0) return;
    const long long W = surface.width, H = surface.height;
    const long long cell_top = y, cell_bottom = static_cast<long long>(y) + face->ascent + face->descent;
    if (opaque) {
        long long right = x;
        for (int i = 0; i < count; ++i) right += face->glyph(static_cast<unsigned char>(text[i])).pen_advance;
        long long x0 = std::max(0LL, static_cast<long long>(x)), x1 = std::min(W, right);
        long long y0 = std::max(0LL, cell_top), y1 = std::min(H, cell_bottom);
        for (long long r = y0; r < y1 && x0 < x1; ++r)
            fill_pixels(surface.row(static_cast<int>(r)) + x0, static_cast<size_t>(x1 - x0), bk_pixel);
    }
    // Glyphs stay in the cell's rows, as the reference system draws them: an accent or an underscore
    // that hinting pushes past the ascent or the descent is cut off.
    if (cell_bottom <= 0 || cell_top >= H) return;
    const long long baseline = cell_top + face->ascent;
    long long pen = x;
    for (int i = 0; i < count && pen < W; ++i) {
        Glyph& gl = face->glyph(static_cast<unsigned char>(text[i]));
        const long long gx = pen + gl.left, gy = baseline - gl.top;
        const long long cell_left = pen;
        pen += gl.pen_advance;
        if (gl.coverage.empty() || gx >= W || gx + gl.width <= 0 || gy >= H || gy + gl.rows <= 0) continue;
        const int c0 = static_cast<int>(std::max(0LL, -gx)), c1 = static_cast<int>(std::min<long long>(gl.width, W - gx));
        const int r0 = static_cast<int>(std::max({0LL, -gy, cell_top - gy}));
        const int r1 = static_cast<int>(std::min({static_cast<long long>(gl.rows), H - gy, cell_bottom - gy}));
        if (r0 >= r1) continue;
        // In opaque mode a glyph that stays inside its own cell lands on the background
        // colour only, so its pre-blended rows are exactly what blending would give.
        if (opaque && gx >= cell_left && gx + gl.width <= pen && gy >= cell_top && gy + gl.rows <= cell_bottom) {
            const std::vector<uint32_t>& px_rows = blended_over(gl, color_pixel, bk_pixel);
            for (int r = r0; r < r1; ++r)
                std::copy(px_rows.data() + static_cast<size_t>(r) * gl.width + c0,
                          px_rows.data() + static_cast<size_t>(r) * gl.width + c1,
                          surface.row(static_cast<int>(gy + r)) + gx + c0);
            continue;
        }
        for (int r = r0; r < r1; ++r) {
            const uint8_t* cov = gl.coverage.data() + static_cast<size_t>(r) * gl.width;
            uint32_t* dst = surface.row(static_cast<int>(gy + r)) + gx;
            for (int c = c0; c < c1; ++c) {
                const uint32_t a = cov[c];
                if (a == 0) continue;
                dst[c] = a == 255 ? color_pixel : blend(color_pixel, dst[c], a);
            }
        }
    }
}

static FontFace* face_of(HDC dc) { return dc->font && dc->font->face ? dc->font->face : stock_system_font(); }

bool TextOutA(HDC dc, int x, int y, const char* text, int count) {
    if (!dc || !dc->surface) return false;
    if (!text || count < 0) return false;
    font_draw(face_of(dc), *dc->surface, x, y, text, count, to_pixel(dc->text_color), dc->bk_mode == OPAQUE,
              to_pixel(dc->bk_color));
    ++dc->surface->generation;
    return true;
}

bool GetTextExtentPointA(HDC dc, const char* text, int count, Size* size) {
    if (!dc || !size || count < 0 || (!text && count > 0)) return false;
    *size = font_extent(face_of(dc), text, count);
    return true;
}

bool GetTextMetricsA(HDC dc, TextMetrics* tm) {
    if (!dc || !tm) return false;
    font_metrics(face_of(dc), tm);
    return true;
}

}  // namespace px
