// glyphs_gdi.cpp - the glyph source on Windows: Windows' own font matching and text
// drawing. Each character is drawn white on black into a small 32-bit DIB section with the
// face selected, and its inked box read back as grey levels, so the library blends glyphs
// exactly as it does elsewhere.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "host/glyphs/glyph_source.h"

namespace px {
namespace {

class GdiSource : public GlyphSource {
public:
    ~GdiSource() override {
        if (dc_) {
            SelectObject(dc_, old_bitmap_);
            SelectObject(dc_, old_font_);
            DeleteDC(dc_);
        }
        if (bitmap_) DeleteObject(bitmap_);
        if (font_) DeleteObject(font_);
    }

    bool open(const std::string& name, int height, int weight) {
        // The stock fonts' families by their generic names; any other name goes to the
        // Windows' matching as it is.
        const char* face = name.c_str();
        DWORD pitch = DEFAULT_PITCH | FF_DONTCARE;
        if (name == "monospace") { face = "Courier New"; pitch = FIXED_PITCH | FF_MODERN; }
        else if (name == "sans-serif") { face = "Arial"; pitch = VARIABLE_PITCH | FF_SWISS; }
        else if (name.empty()) face = nullptr;
        font_ = CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                            CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, pitch, face);
        dc_ = font_ ? CreateCompatibleDC(nullptr) : nullptr;
        if (!dc_) return false;
        old_font_ = SelectObject(dc_, font_);
        TEXTMETRICW tm;
        if (!GetTextMetricsW(dc_, &tm)) return false;
        m_.ascent = tm.tmAscent;
        m_.descent = tm.tmDescent;
        m_.internal_leading = tm.tmInternalLeading;
        m_.ave_char_width = std::max<int>(1, tm.tmAveCharWidth);
        m_.max_char_width = std::max<int>(1, tm.tmMaxCharWidth);
        // Room for overhangs of a cell on every side of the pen's cell.
        margin_ = std::max<int>(8, tm.tmHeight);
        width_ = 3 * margin_ + 2 * m_.max_char_width;
        height_ = 3 * margin_;
        BITMAPINFO bi;
        std::memset(&bi, 0, sizeof bi);
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width_;
        bi.bmiHeader.biHeight = -height_;  // top row first
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (!bitmap_ || !bits) return false;
        bits_ = static_cast<uint32_t*>(bits);
        old_bitmap_ = SelectObject(dc_, bitmap_);
        SetTextColor(dc_, RGB(255, 255, 255));
        SetBkMode(dc_, TRANSPARENT);
        SetTextAlign(dc_, TA_BASELINE | TA_LEFT | TA_NOUPDATECP);
        return true;
    }

    FaceMetrics metrics() const override { return m_; }

    void glyph(unsigned code_point, GlyphImage* gl) override {
        wchar_t ch = static_cast<wchar_t>(code_point);
        SIZE extent;
        if (GetTextExtentPoint32W(dc_, &ch, 1, &extent)) gl->advance = extent.cx;
        std::fill(bits_, bits_ + static_cast<size_t>(width_) * height_, 0u);
        const int pen_x = margin_, baseline = margin_ + m_.ascent;
        TextOutW(dc_, pen_x, baseline, &ch, 1);
        GdiFlush();
        // The inked box; GDI leaves the alpha byte 0, so only the colour channels count.
        int x0 = width_, y0 = height_, x1 = -1, y1 = -1;
        for (int y = 0; y < height_; ++y) {
            const uint32_t* row = bits_ + static_cast<size_t>(y) * width_;
            for (int x = 0; x < width_; ++x)
                if (row[x] & 0xFFFFFFu) {
                    x0 = std::min(x0, x); x1 = std::max(x1, x);
                    y0 = std::min(y0, y); y1 = std::max(y1, y);
                }
        }
        if (x1 < 0) return;
        gl->left = x0 - pen_x;
        gl->top = baseline - y0;
        gl->width = x1 - x0 + 1;
        gl->rows = y1 - y0 + 1;
        gl->coverage.resize(static_cast<size_t>(gl->width) * gl->rows);
        for (int r = 0; r < gl->rows; ++r) {
            const uint32_t* row = bits_ + static_cast<size_t>(y0 + r) * width_ + x0;
            for (int c = 0; c < gl->width; ++c) {
                uint32_t v = row[c];
                gl->coverage[static_cast<size_t>(r) * gl->width + c] =
                    static_cast<uint8_t>(std::max({v & 255u, (v >> 8) & 255u, (v >> 16) & 255u}));
            }
        }
    }

private:
    HFONT font_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_font_ = nullptr, old_bitmap_ = nullptr;
    uint32_t* bits_ = nullptr;
    int margin_ = 0, width_ = 0, height_ = 0;
    FaceMetrics m_;
};

}  // namespace

std::unique_ptr<GlyphSource> open_glyph_source(const std::string& name, int height, int weight) {
    auto source = std::make_unique<GdiSource>();
    if (!source->open(name, height, weight)) return nullptr;
    return source;
}

}  // namespace px
