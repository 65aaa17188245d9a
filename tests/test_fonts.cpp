// test_fonts.cpp - fonts and the text calls: sizes and extents as the platform reports
// them, ink where the platform puts it (golden data in data/text), the stock fonts'
// metrics, clipping, and the opaque and transparent background modes.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "render/raster.h"
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
#include <fontconfig/fontconfig.h>
#endif
#if !defined(_WIN32)
#include "host/glyphs/glyph_files.h"
#include "host/glyphs/glyph_source.h"
#endif

using namespace px;

namespace {

constexpr uint32_t WHITE_PX = 0xFFFFFF;

struct InkBox {
    int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
    bool empty() const { return x1 < x0; }
};

InkBox ink_of(const Bitmap& b, uint32_t background) {
    InkBox box;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            if (b.at(x, y) != background) {
                box.x0 = std::min(box.x0, x); box.x1 = std::max(box.x1, x);
                box.y0 = std::min(box.y0, y); box.y1 = std::max(box.y1, y);
            }
    return box;
}

// A white surface with a DC that has the library's text font of the given size selected.
struct TextSurface {
    Bitmap bitmap{601, 540, WHITE_PX};
    HDC dc = create_surface_dc(&bitmap);
    HFONT font;
    HGDIOBJ previous;
    explicit TextSurface(int size) {
        font = CreateFontA(-size, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "PLOTX-font");
        previous = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
    }
    ~TextSurface() {
        SelectObject(dc, previous);
        DeleteObject(font);
        DeleteDC(dc);
    }
    Size extent(const std::string& s) {
        Size sz{};
        GetTextExtentPointA(dc, s.data(), static_cast<int>(s.size()), &sz);
        return sz;
    }
};

struct Golden {
    int size, cx, cy;
    bool has_ink;
    InkBox ink;
    std::string text;
};

std::vector<Golden> read_golden() {
    std::vector<Golden> out;
    std::ifstream in(PLOTX_TEST_DATA "/text/golden.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ls(line);
        Golden gd{};
        ls >> gd.size >> gd.cx >> gd.cy >> gd.ink.x0 >> gd.ink.y0 >> gd.ink.x1 >> gd.ink.y1;
        gd.has_ink = true;
        ls.get();
        std::getline(ls, gd.text);
        out.push_back(gd);
    }
    return out;
}

}  // namespace

// The platform's extents: the cell height is fixed by the size alone, the width is the sum
// of whole-pixel advances; both must match exactly, or layouts drift.
TEST(TextExtent, MatchesThePlatformForEverySizeAndString) {
    std::vector<Golden> golden = read_golden();
    ASSERT_GT(golden.size(), 100u);
    for (const Golden& gd : golden) {
        TextSurface s(gd.size);
        Size sz = s.extent(gd.text);
        EXPECT_EQ(sz.cy, gd.cy) << "size " << gd.size << " \"" << gd.text << "\"";
        EXPECT_EQ(sz.cx, gd.cx) << "size " << gd.size << " \"" << gd.text << "\"";
    }
}

// Ink goes where the platform puts it: the cell's top-left at the point, glyphs on the
// baseline. Shading differs, so only the ink box is compared.
TEST(TextInk, BoxWithinAPixelOfThePlatform) {
    const std::vector<Golden> golden = read_golden();
    ASSERT_GT(golden.size(), 100u) << "golden data missing";
    for (const Golden& gd : golden) {
        TextSurface s(gd.size);
        TextOutA(s.dc, 20, 30, gd.text.data(), static_cast<int>(gd.text.size()));
        InkBox box = ink_of(s.bitmap, WHITE_PX);
        ASSERT_FALSE(box.empty()) << gd.text;
        // Glyph shading may differ, so a faint fringe may reach one pixel further or less;
        // Windows shades with its own text services, whose fringes reach one more. Those also
        // place each glyph within its advance their own way, so there the ink's right end
        // drifts along a line (3 pixels over "iiii", 7 over 90 characters) and is not compared.
#ifdef _WIN32
        const int tol = 2;
        const bool right_end = false;
#else
        const int tol = 1;
        const bool right_end = true;
#endif
        std::string what = "size " + std::to_string(gd.size) + " \"" + gd.text + "\"";
        EXPECT_NEAR(box.x0 - 20, gd.ink.x0, tol) << what;
        EXPECT_NEAR(box.y0 - 30, gd.ink.y0, tol) << what;
        if (right_end) {
            EXPECT_NEAR(box.x1 - 20, gd.ink.x1, tol) << what;
        }
        EXPECT_NEAR(box.y1 - 30, gd.ink.y1, tol) << what;
    }
}

// The library's own faces open from known files without asking fontconfig: those files must
// be the ones fontconfig would choose, or text would change with the shortcut.
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
TEST(KnownFaces, AreTheFilesFontconfigChooses) {
    const std::pair<const char*, const char*> names[] = {
        {PROGRAM_FACE, DRAWING_FAMILY}, {DRAWING_FAMILY, DRAWING_FAMILY}, {"sans-serif", "sans-serif"},
        {"monospace", "monospace"}};
    ASSERT_TRUE(FcInit());
    for (const auto& [name, family] : names) {
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
        FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(FW_NORMAL));
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        FcChar8* file = nullptr;
        ASSERT_TRUE(match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) << name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(file)), face_file(name, FW_NORMAL).file) << name;
        FcPatternDestroy(match);
        FcPatternDestroy(pattern);
    }
}
#endif

// Without the drawing face, text still draws in fontconfig's default face, and standard
// error says why once, however many fonts are made. The check runs in a fresh process whose
// fontconfig cannot see the face.
#ifndef __EMSCRIPTEN__
TEST(DrawingFace, MissingFallsBackWithOneLineOnStandardError) {
#ifdef _WIN32
    GTEST_SKIP() << "the face fallback is the fontconfig glyph source's; Windows matches faces itself";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string conf = testing::TempDir() + "plotx-no-drawing-face.conf";
    std::ofstream(conf) << "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
                           "<include>/etc/fonts/fonts.conf</include><selectfont><rejectfont><pattern>"
                           "<patelt name=\"family\"><string>Liberation Sans</string></patelt>"
                           "</pattern></rejectfont></selectfont></fontconfig>\n";
    EXPECT_EXIT(
        {
            setenv("FONTCONFIG_FILE", conf.c_str(), 1);
            bool drawn = true;
            for (const char* name : {"PLOTX-font", "no such face"})
                for (int weight : {400, 700}) {
                    TextSurface s(12);
                    HFONT other = CreateFontA(-16, 0, 0, 0, weight, 0, 0, 0, 0, 0, 0, 0, 0, name);
                    SelectObject(s.dc, other);
                    TextOutA(s.dc, 20, 30, "Hello", 5);
                    drawn = drawn && s.extent("Hello").cx > 0 && !ink_of(s.bitmap, WHITE_PX).empty();
                    SelectObject(s.dc, s.font);
                    DeleteObject(other);
                }
            std::exit(drawn ? 0 : 1);
        },
        testing::ExitedWithCode(0), "^plotx: the font Liberation Sans is not installed[^\n]*\n$");
}
#else
TEST(DrawingFace, MissingFallsBackWithOneLineOnStandardError) {
    GTEST_SKIP() << "a WebAssembly build bundles its faces (no fontconfig) and Node runs no child test processes";
}
#endif

TEST(TextMetrics, NegativeHeightIsTheCharacterHeight) {
    for (int size : {8, 13, 20, 64, 127}) {
        TextSurface s(size);
        TextMetrics tm{};
        ASSERT_TRUE(GetTextMetricsA(s.dc, &tm));
        EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, size);
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
        EXPECT_EQ(tm.tmExternalLeading, 0);
        EXPECT_EQ(s.extent("x").cy, tm.tmHeight);
    }
}

TEST(TextMetrics, HeightZeroGivesTheDefaultCellAndPositiveIsTheCell) {
    TextSurface zero(0);  // CreateFontA(-0) is CreateFontA(0)
    TextMetrics tm{};
    GetTextMetricsA(zero.dc, &tm);
    EXPECT_EQ(tm.tmHeight, 16);
    HFONT cell = CreateFontA(30, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "PLOTX-font");
    HGDIOBJ old = SelectObject(zero.dc, cell);
    GetTextMetricsA(zero.dc, &tm);
    EXPECT_EQ(tm.tmHeight, 30);
    SelectObject(zero.dc, old);
    DeleteObject(cell);
}

// The text log lays its lines out by the stock fixed font: a small cell, every
// character the same advance.
TEST(StockFixedFont, SmallCellAndFixedPitch) {
    Bitmap b(200, 40, WHITE_PX);
    HDC dc = create_surface_dc(&b);
    SelectObject(dc, GetStockObject(ANSI_FIXED_FONT));
    TextMetrics tm{};
    GetTextMetricsA(dc, &tm);
    EXPECT_GE(tm.tmHeight, 12);
    EXPECT_LE(tm.tmHeight, 16);
    Size i{}, w{};
    GetTextExtentPointA(dc, "iiiiiiiiii", 10, &i);
    GetTextExtentPointA(dc, "WWWWWWWWWW", 10, &w);
    EXPECT_EQ(i.cx, w.cx);
    EXPECT_GT(i.cx, 0);
    DeleteDC(dc);
}

TEST(TextBackground, OpaqueFillsTheCellTransparentLeavesIt) {
    TextSurface s(13);
    const Size sz = s.extent("ab");
    SetBkColor(s.dc, RGB(0, 0, 255));
    SetBkMode(s.dc, OPAQUE);
    TextOutA(s.dc, 100, 100, "ab", 2);
    InkBox box = ink_of(s.bitmap, WHITE_PX);
    EXPECT_EQ(box.x0, 100);
    EXPECT_EQ(box.y0, 100);
    EXPECT_EQ(box.x1, 100 + sz.cx - 1);
    EXPECT_EQ(box.y1, 100 + sz.cy - 1);
    EXPECT_EQ(s.bitmap.at(100, 100), 0x0000FFu);  // the cell's corner is background, not ink
    SetBkMode(s.dc, TRANSPARENT);
    TextOutA(s.dc, 300, 100, "  ", 2);  // blanks have no ink
    EXPECT_EQ(s.bitmap.at(301, 105), WHITE_PX);
}

TEST(TextColour, FullCoverageIsTheTextColourAndShadesBlendTowardIt) {
    TextSurface s(40);
    SetTextColor(s.dc, RGB(255, 0, 0));
    TextOutA(s.dc, 10, 10, "l", 1);  // a vertical stem: solid in its middle
    bool solid = false;
    for (int y = 0; y < s.bitmap.height; ++y)
        for (int x = 0; x < s.bitmap.width; ++x) {
            uint32_t p = s.bitmap.at(x, y);
            if (p == WHITE_PX) continue;
            EXPECT_EQ(p >> 16, 0xFFu) << "red stays full while blending from white";
            EXPECT_EQ((p >> 8) & 255, p & 255);
            if (p == 0xFF0000) solid = true;
        }
    EXPECT_TRUE(solid);
}

TEST(TextClipping, FarOffOrPartlyOffSurfaceIsSafe) {
    TextSurface s(30);
    const uint64_t before = s.bitmap.generation;
    for (int x : {INT_MIN, -1000, -10, 590, INT_MAX - 5})
        for (int y : {INT_MIN, -20, 530, INT_MAX - 5}) TextOutA(s.dc, x, y, "Wg|Wg", 5);
    EXPECT_GT(s.bitmap.generation, before);
    // Only the corners' partial glyphs show: the same pixels as drawing just those four.
    TextSurface corners(30);
    for (int x : {-10, 590})
        for (int y : {-20, 530}) TextOutA(corners.dc, x, y, "Wg|Wg", 5);
    EXPECT_FALSE(ink_of(corners.bitmap, WHITE_PX).empty());
    EXPECT_TRUE(s.bitmap.linear() == corners.bitmap.linear());
    // Every byte value has a glyph or none, never a crash; the extent grows with the text.
    std::string all;
    for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
    TextOutA(s.dc, 0, 200, all.data(), static_cast<int>(all.size()));
    EXPECT_GT(s.extent(all).cx, s.extent(all.substr(0, 100)).cx);
}

#ifdef PLOTX_WEB_FACES_DIR
// The faces a page bundles are cut down to the characters text can draw: each of those
// renders exactly as from the system's whole face, at the log's sizes and others.
TEST(BundledFaces, DrawEveryByteAsTheWholeFace) {
    for (const char* face : {"liberation/LiberationSans-Regular.ttf", "dejavu/DejaVuSansMono.ttf"})
        for (int height : {-11, -13, 13, 16, -24, 40}) {
            auto cut = open_face_file({std::string(PLOTX_WEB_FACES_DIR "/") + face, 0}, height);
            auto whole = open_face_file({std::string("/usr/share/fonts/truetype/") + face, 0}, height);
            ASSERT_TRUE(cut && whole) << face;
            const FaceMetrics a = cut->metrics(), b = whole->metrics();
            EXPECT_EQ(std::make_tuple(a.ascent, a.descent, a.internal_leading, a.ave_char_width, a.max_char_width),
                      std::make_tuple(b.ascent, b.descent, b.internal_leading, b.ave_char_width, b.max_char_width))
                << face << " at " << height;
            for (int byte = 0; byte < 256; ++byte) {
                GlyphImage x, y;
                cut->glyph(byte_code_point(static_cast<unsigned char>(byte)), &x);
                whole->glyph(byte_code_point(static_cast<unsigned char>(byte)), &y);
                EXPECT_TRUE(x.advance == y.advance && x.pen_advance == y.pen_advance && x.left == y.left &&
                            x.top == y.top && x.width == y.width && x.rows == y.rows && x.coverage == y.coverage)
                    << face << " at " << height << ", byte " << byte;
            }
        }
}
#endif
