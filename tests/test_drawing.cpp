// test_drawing.cpp - the public drawing operations: corrections and their messages in
// order, shape log lines, what lands in the canvas image for each kind, text layout,
// clearing, and that no drawing object or memory block outlives its operation.
#include <climits>
#include <string>
#include <vector>

#include "render/raster_internal.h"
#include "window/window_system.h"
#include "support/harness.h"

using namespace plotx;
using plotx_test::ring_lines;

namespace {

uint32_t pixel_of(int color) { return px::to_pixel(palette_rgb[color]); }

class Drawing : public plotx_test::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        begin();
        PLOTX_clear_canvas();
    }
    const px::Bitmap& image() const { return *px::dc_surface(g.windows.canvas_dc); }
    int count(uint32_t pixel) const {
        int n = 0;
        for (uint32_t p : image().linear()) n += p == pixel;
        return n;
    }
    // Lines logged by the operations run inside f, in order.
    template <class F>
    std::vector<std::string> logged(F f) {
        // A full ring drops one line per new one, so what came before is marked by a line.
        PLOTX_log("--mark--\n");
        f();
        std::vector<std::string> out;
        for (const std::string& s : ring_lines()) {
            if (s == "--mark--\n") out.clear();
            else out.push_back(s);
        }
        return out;
    }
    // Inclusive box of pixels different from white, in image coordinates.
    px::Rect ink() const {
        px::Rect r{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
        for (int y = 1; y < image().height - 1; ++y)
            for (int x = 1; x < image().width - 1; ++x)
                if (image().at(x, y) != 0xFFFFFF) {
                    r.left = std::min(r.left, x); r.right = std::max(r.right, x);
                    r.top = std::min(r.top, y); r.bottom = std::max(r.bottom, y);
                }
        return r;
    }
};

using Lines = std::vector<std::string>;

}  // namespace

// --- Rectangles: corners in any order, both corners inside ----------------------------

TEST_F(Drawing, RectangleCornersInAnyOrderAreNormalised) {
    Lines lines = logged([] { PLOTX_draw_rectangle(BLUE, 10, 0, 0, 10, 0); });
    EXPECT_EQ(lines, Lines{"blue rectangle with bounding box (0,10) to (10,0), filled\n"});
    EXPECT_EQ(count(pixel_of(BLUE)), 11 * 11);
    EXPECT_EQ(canvas_pixel(0, 0), pixel_of(BLUE));
    EXPECT_EQ(canvas_pixel(10, 10), pixel_of(BLUE));
    EXPECT_EQ(canvas_pixel(11, 10), 0xFFFFFFu);
    EXPECT_EQ(canvas_pixel(10, -1), 0xFFFFFFu);
}

TEST_F(Drawing, RectangleWithEqualYsIsAOnePixelBar) {
    // From the image's first column to its last.
    const int left = -g.windows.origin_x, right = CANVAS_WIDTH - 1 - g.windows.origin_x;
    PLOTX_draw_rectangle(GREEN, left, -100, right, -100, 0);
    EXPECT_EQ(count(pixel_of(GREEN)), 601);
    EXPECT_EQ(canvas_pixel(left, -100), pixel_of(GREEN));
    EXPECT_EQ(canvas_pixel(right, -100), pixel_of(GREEN));
    EXPECT_NE(canvas_pixel(0, -99), pixel_of(GREEN));
    EXPECT_NE(canvas_pixel(0, -101), pixel_of(GREEN));
}

// --- Width: 0 fills including the edge, >= 1 outlines only --------------------------

TEST_F(Drawing, WidthZeroFillsShapesIncludingTheirEdges) {
    PLOTX_draw_rectangle(RED, -50, 50, -10, 10, 0);
    for (auto [x, y] : {std::pair{-50, 50}, {-10, 10}, {-30, 30}, {-50, 10}}) EXPECT_EQ(canvas_pixel(x, y), pixel_of(RED));
    PLOTX_draw_triangle(BLUE, 10, 10, 60, 10, 10, 60, 0);
    EXPECT_EQ(canvas_pixel(10, 10), pixel_of(BLUE));
    EXPECT_EQ(canvas_pixel(20, 20), pixel_of(BLUE));
    EXPECT_EQ(canvas_pixel(59, 10), pixel_of(BLUE));
}

TEST_F(Drawing, PositiveWidthLeavesTheInteriorUntouched) {
    PLOTX_draw_rectangle(YELLOW, -100, 100, 100, -100, 0);
    PLOTX_draw_rectangle(NAVY_BLUE, -50, 50, 50, -50, 1);
    PLOTX_draw_triangle(NAVY_BLUE, -90, -90, 90, -90, 0, 90, 3);
    EXPECT_EQ(canvas_pixel(-50, 0), pixel_of(NAVY_BLUE));
    EXPECT_EQ(canvas_pixel(50, 20), pixel_of(NAVY_BLUE));
    EXPECT_EQ(canvas_pixel(0, 0), pixel_of(YELLOW));
    EXPECT_EQ(canvas_pixel(-49, 49), pixel_of(YELLOW));
    EXPECT_EQ(canvas_pixel(0, -60), pixel_of(YELLOW));
    EXPECT_EQ(canvas_pixel(0, -90), pixel_of(NAVY_BLUE));
}

TEST_F(Drawing, NegativeWidthIsCorrectedToItsMagnitude) {
    Lines lines = logged([] { PLOTX_draw_rectangle(BLACK, -20, 20, 20, -20, -3); });
    EXPECT_EQ(lines, (Lines{"Width of -3 not possible, using width 3\n",
                            "black rectangle with bounding box (-20,20) to (20,-20) with line width 3\n"}));
    EXPECT_EQ(canvas_pixel(-20, 0), pixel_of(BLACK));
    EXPECT_EQ(canvas_pixel(-21, 0), pixel_of(BLACK));  // three pixels straddling the edge
    EXPECT_EQ(canvas_pixel(-19, 0), pixel_of(BLACK));
    EXPECT_EQ(canvas_pixel(0, 0), 0xFFFFFFu);
}

// --- Circles --------------------------------------------------------------------------

TEST_F(Drawing, CircleOfRadiusZeroCoversItsOnePixel) {
    PLOTX_draw_circle(MAGENTA, 7, -3, 0);
    EXPECT_EQ(count(pixel_of(MAGENTA)), 1);
    EXPECT_EQ(canvas_pixel(7, -3), pixel_of(MAGENTA));
}

TEST_F(Drawing, CircleCoversItsSquareBoxAcrossTheMiddle) {
    Lines lines = logged([] { PLOTX_draw_circle(ORANGE, 0, 0, -5); });
    EXPECT_EQ(lines, (Lines{"Radius of -5 not possible, using radius 5\n", "orange circle at (0,0), radius 5\n"}));
    for (int d : {-5, 5}) {
        EXPECT_EQ(canvas_pixel(d, 0), pixel_of(ORANGE));
        EXPECT_EQ(canvas_pixel(0, d), pixel_of(ORANGE));
    }
    EXPECT_NE(canvas_pixel(6, 0), pixel_of(ORANGE));
    EXPECT_NE(canvas_pixel(5, 5), pixel_of(ORANGE));
}

// The palette as plotx.h documents it, written out here rather than read from the library.
TEST_F(Drawing, EveryPaletteColourHasItsDocumentedValueAndName) {
    struct Documented { const char* name; uint32_t rgb; };
    const Documented PALETTE[PALETTE_SIZE] = {
        {"black", 0x000000},        {"white", 0xFFFFFF},     {"red", 0xFF0000},        {"green", 0x00FF00},
        {"blue", 0x0000FF},         {"yellow", 0xFFFF00},    {"magenta", 0xFF00FF},    {"cyan", 0x00FFFF},
        {"purple", 0x9900CC},       {"navy blue", 0x003399}, {"dusty plum", 0x996699}, {"ice blue", 0x99FFFF},
        {"turquoise", 0x99FFCC},    {"orange", 0xFF6600},    {"brown", 0x996633},      {"pink", 0xFF99CC},
        {"chalk", 0xFFFF99},        {"gold", 0xCC9933},      {"peach", 0xFF9966},      {"forest green", 0x006633},
        {"sea green", 0x33CC99},    {"olive", 0x999933},     {"50% gray", 0x808080},   {"20% gray", 0xCCCCCC}};
    for (int i = 0; i < PALETTE_SIZE; ++i) {
        Lines lines = logged([i] { PLOTX_draw_pixel(i, i, 0); });
        EXPECT_EQ(lines, Lines{std::string(PALETTE[i].name) + " pixel at (" + std::to_string(i) + ",0)\n"});
        EXPECT_EQ(canvas_pixel(i, 0), PALETTE[i].rgb) << PALETTE[i].name;
    }
}

// --- Extras: lines and pixels ---------------------------------------------------------

TEST_F(Drawing, PixelSetsOnePixelAndLogsIt) {
    Lines lines = logged([] { PLOTX_draw_pixel(PURPLE, -4, 9); });
    EXPECT_EQ(lines, Lines{"purple pixel at (-4,9)\n"});
    EXPECT_EQ(count(pixel_of(PURPLE)), 1);
    EXPECT_EQ(canvas_pixel(-4, 9), pixel_of(PURPLE));
}

TEST_F(Drawing, LineStopsShortOfItsEndAndCorrectsItsWidth) {
    Lines lines = logged([] { PLOTX_draw_line(24, 0, 0, 10, 0, -1); });
    EXPECT_EQ(lines, (Lines{"Illegal color 24; using RED.\n", "Width of -1 not possible, using width 1\n",
                            "red line from (0,0) to (10,0), width 1\n"}));
    EXPECT_EQ(count(pixel_of(RED)), 10);
    EXPECT_EQ(canvas_pixel(0, 0), pixel_of(RED));
    EXPECT_EQ(canvas_pixel(10, 0), 0xFFFFFFu);
}

// --- Clearing -------------------------------------------------------------------------

TEST_F(Drawing, ClearLeavesABlackFrameAroundWhite) {
    PLOTX_draw_rectangle(RED, -400, 400, 400, -400, 0);
    Lines lines = logged([] { PLOTX_clear_canvas(); });
    EXPECT_EQ(lines, Lines{"Clearing the graphics window\n"});
    const px::Bitmap& b = image();
    int wrong = 0;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            bool frame = x == 0 || x == CANVAS_WIDTH - 1 || y == 0 || y == CANVAS_HEIGHT - 1;
            wrong += b.at(x, y) != (frame ? 0x000000u : 0xFFFFFFu);
        }
    EXPECT_EQ(wrong, 0);
}

// --- Text layout ----------------------------------------------------------------------

TEST_F(Drawing, FirstTextLineSitsJustAboveThePoint) {
    PLOTX_draw_text(BLACK, -100, 0, 20, "Hg");
    px::Rect r = ink();
    EXPECT_LE(r.bottom, g.windows.origin_y - 1);
    EXPECT_GE(r.bottom, g.windows.origin_y - 3);  // the descender of g nearly reaches the cell's end
    EXPECT_GE(r.left, g.windows.origin_x - 100);
    EXPECT_LE(r.left, g.windows.origin_x - 98);
}

// Only the glyphs are painted: on yellow, every pixel of the text's box is the yellow
// or a shade from it toward black, never a cell's background.
TEST_F(Drawing, TextPaintsOnlyItsGlyphs) {
    PLOTX_draw_rectangle(YELLOW, -100, 100, 100, -100, 0);
    PLOTX_draw_text(BLACK, -60, 0, 30, "l  W\nj_");
    int ink_pixels = 0, other = 0;
    for (int y = -99; y <= 99; ++y)
        for (int x = -99; x <= 99; ++x) {
            const uint32_t p = canvas_pixel(x, y);
            const uint32_t r = p >> 16, gr = (p >> 8) & 255, b = p & 255;
            ink_pixels += p != 0xFFFF00;
            other += r != gr || b != 0;
        }
    EXPECT_GT(ink_pixels, 100);
    EXPECT_EQ(other, 0);
}

TEST_F(Drawing, TextLinesFollowEachOtherByTheLineHeight) {
    PLOTX_draw_text(BLACK, 0, 100, 16, "X");
    px::Rect one = ink();
    PLOTX_clear_canvas();
    PLOTX_draw_text(BLACK, 0, 100, 16, "X\n");
    px::Rect trailing = ink();
    EXPECT_EQ(trailing.top, one.top);
    EXPECT_EQ(trailing.bottom, one.bottom);
    PLOTX_clear_canvas();
    PLOTX_draw_text(BLACK, 0, 100, 16, "X\n\nX");
    px::Rect three = ink();
    EXPECT_EQ(three.top, one.top);
    // The third line lies two line heights lower; the empty middle line has no ink.
    const int h = three.bottom - one.bottom;
    EXPECT_EQ(h % 2, 0);
    const int line = h / 2;
    EXPECT_GE(line, 16);
    for (int y = one.bottom + 1; y < one.top + 2 * line; ++y)
        for (int x = 1; x < CANVAS_WIDTH - 1; ++x) ASSERT_EQ(image().at(x, y), 0xFFFFFFu) << x << "," << y;
}

TEST_F(Drawing, EmptyTextDrawsNothingButMarksTheCanvas) {
    const std::vector<uint32_t> before = image().linear();
    g.windows.canvas_dirty = 0;
    Lines lines = logged([] { PLOTX_draw_text(BLUE, 0, 0, 12, ""); });
    EXPECT_EQ(lines, Lines{"blue text at (0,0), \"\"\n"});
    EXPECT_EQ(g.windows.canvas_dirty, 1);
    EXPECT_EQ(image().linear(), before);
    g.windows.canvas_dirty = 0;
    lines = logged([] { PLOTX_draw_text(BLUE, 1, 2, 12, nullptr); });
    EXPECT_EQ(lines, Lines{"blue text at (1,2), \"\"\n"});
    EXPECT_EQ(g.windows.canvas_dirty, 1);
    EXPECT_EQ(image().linear(), before);
}

TEST_F(Drawing, UnknownKindDrawsNothingButMarksTheCanvas) {
    const std::vector<uint32_t> before = image().linear();
    const unsigned long rendered = test_hook.commands_rendered;
    for (int kind : {-1, 6, INT_MAX}) {
        g.windows.canvas_dirty = 0;
        DrawCommand c;
        c.kind = kind;
        c.x1 = -10; c.y1 = 10; c.x2 = 10; c.y2 = -10;
        render_command(c);
        EXPECT_EQ(g.windows.canvas_dirty, 1);
    }
    EXPECT_EQ(test_hook.commands_rendered, rendered + 3);
    EXPECT_EQ(image().linear(), before);
}

// --- Corrections: which messages, in which order -------------------------------------

TEST_F(Drawing, PointSizeCorrectionsComeBeforeTheColourCheck) {
    Lines lines = logged([] { PLOTX_draw_text(-1, 0, 0, -5, "a"); });
    EXPECT_EQ(lines, (Lines{"ptsize of -5 not possible, using ptsize 5\n", "Illegal color -1; using RED.\n",
                            "red text at (0,0), \"a\"\n"}));
    lines = logged([] { PLOTX_draw_text(RED, 0, 0, -200, "a"); });
    EXPECT_EQ(lines, (Lines{"ptsize of -200 not possible, using ptsize 200\n",
                            "ptsize of 200 not possible, using ptsize 127\n", "red text at (0,0), \"a\"\n"}));
    lines = logged([] { PLOTX_draw_text(RED, 0, 0, 128, "a"); });
    EXPECT_EQ(lines.front(), "ptsize of 128 not possible, using ptsize 127\n");
    lines = logged([] { PLOTX_draw_text(RED, 0, 0, 127, "a"); });
    EXPECT_EQ(lines, Lines{"red text at (0,0), \"a\"\n"});
}

TEST_F(Drawing, ColourCheckComesBeforeRadiusAndWidth) {
    Lines lines = logged([] { PLOTX_draw_circle(99, 1, 2, -3); });
    EXPECT_EQ(lines, (Lines{"Illegal color 99; using RED.\n", "Radius of -3 not possible, using radius 3\n",
                            "red circle at (1,2), radius 3\n"}));
    lines = logged([] { PLOTX_draw_triangle(24, 0, 0, 5, 0, 0, 5, -2); });
    EXPECT_EQ(lines, (Lines{"Illegal color 24; using RED.\n", "Width of -2 not possible, using width 2\n",
                            "red triangle at (0,0), (5,0), (0,5)\n"}));
}

TEST_F(Drawing, LoggingOffWritesOnlyCorrections) {
    PLOTX_set_logging(0);
    Lines lines = logged([] {
        PLOTX_draw_circle(GOLD, 0, 0, 4);
        PLOTX_draw_rectangle(GOLD, 0, 0, 4, 4, 0);
        PLOTX_draw_triangle(GOLD, 0, 0, 4, 0, 0, 4, 0);
        PLOTX_draw_text(GOLD, 0, 0, 10, "quiet");
        PLOTX_draw_line(GOLD, 0, 0, 4, 4, 1);
        PLOTX_draw_pixel(GOLD, 0, 0);
        PLOTX_clear_canvas();
        PLOTX_draw_circle(30, 0, 0, -1);
        PLOTX_draw_text(GOLD, 0, 0, 300, "x");
    });
    EXPECT_EQ(lines, (Lines{"Illegal color 30; using RED.\n", "Radius of -1 not possible, using radius 1\n",
                            "ptsize of 300 not possible, using ptsize 127\n"}));
}

// Negating INT_MIN has no int result: it is taken as INT_MAX, and nothing overflows on
// the way to the image.
TEST_F(Drawing, ExtremeArgumentsAreCorrectedWithoutOverflow) {
    Lines lines = logged([] { PLOTX_draw_circle(TURQUOISE, 0, 0, INT_MIN); });
    EXPECT_EQ(lines.front(), "Radius of -2147483648 not possible, using radius 2147483647\n");
    EXPECT_EQ(count(pixel_of(TURQUOISE)), CANVAS_WIDTH * CANVAS_HEIGHT);
    lines = logged([] { PLOTX_draw_text(RED, 0, 0, INT_MIN, "x"); });
    EXPECT_EQ(lines[0], "ptsize of -2147483648 not possible, using ptsize 2147483647\n");
    EXPECT_EQ(lines[1], "ptsize of 2147483647 not possible, using ptsize 127\n");
    lines = logged([] { PLOTX_draw_rectangle(RED, 0, 0, 1, 1, INT_MIN); });
    EXPECT_EQ(lines[0], "Width of -2147483648 not possible, using width 2147483647\n");

    PLOTX_clear_canvas();
    PLOTX_draw_rectangle(PINK, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0);
    EXPECT_EQ(count(pixel_of(PINK)), CANVAS_WIDTH * CANVAS_HEIGHT);
    // Shapes wholly far away paint nothing...
    PLOTX_clear_canvas();
    PLOTX_draw_circle(PINK, INT_MAX, INT_MAX, 3);
    PLOTX_draw_circle(PINK, INT_MIN, 0, INT_MAX / 2);
    PLOTX_draw_triangle(PINK, INT_MIN, INT_MIN, INT_MIN + 9, INT_MIN, INT_MIN, INT_MIN + 9, INT_MAX);
    PLOTX_draw_rectangle(PINK, INT_MAX, INT_MAX, INT_MAX - 9, INT_MAX - 9, 5);
    PLOTX_draw_pixel(PINK, INT_MIN, INT_MAX);
    PLOTX_draw_text(PINK, INT_MAX, INT_MIN, 127, "far\naway");
    PLOTX_draw_text(PINK, INT_MIN, INT_MAX, 127, "far\naway");
    EXPECT_EQ(count(pixel_of(PINK)), 0);
    // ...and one that passes through the canvas shows its part there.
    PLOTX_draw_line(PINK, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1);
    EXPECT_EQ(canvas_pixel(0, 0), pixel_of(PINK));
    EXPECT_EQ(canvas_pixel(100, 100), pixel_of(PINK));
    EXPECT_EQ(canvas_pixel(100, 99), 0xFFFFFFu);
}

TEST_F(Drawing, FormattedTextReturnsTheLengthItDrew) {
    EXPECT_EQ(PLOTX_draw_formatted_text(BLACK, 0, 0, 12, "n=%06d", 42), 8);
    const std::string long_text(5000, 'w');
    EXPECT_EQ(PLOTX_draw_formatted_text(BLACK, 0, 0, 12, "%s", long_text.c_str()), FORMAT_BUFFER_SIZE - 1);
    Lines lines = logged([] { PLOTX_draw_formatted_text(BLACK, 3, 4, 12, "%d apples", 7); });
    EXPECT_EQ(lines, Lines{"black text at (3,4), \"7 apples\"\n"});
}

// --- Resources: nothing outlives its operation ----------------------------------------

TEST_F(Drawing, NoObjectOrBlockOutlivesItsOperation) {
    for (int i = 0; i < LOG_RING_SIZE; ++i) PLOTX_log("fill\n");  // a full ring keeps its block count
    PLOTX_draw_text(RED, 0, 0, 10, "x");  // the DC's first text puts the system font in place
    px::DC* dc = g.windows.canvas_dc;
    const px::HGDIOBJ pen = dc->pen, brush = dc->brush, font = dc->font;
    const int mode = px::GetBkMode(dc);
    const int objects = px::live_gdi_objects(), blocks = px::live_global_blocks();
    auto unchanged = [&](const char* what) {
        EXPECT_EQ(px::live_gdi_objects(), objects) << what;
        EXPECT_EQ(px::live_global_blocks(), blocks) << what;
        EXPECT_EQ(dc->pen, pen) << what;
        EXPECT_EQ(dc->brush, brush) << what;
        EXPECT_EQ(dc->font, font) << what;
        EXPECT_EQ(px::GetBkMode(dc), mode) << what;
    };
    PLOTX_draw_circle(RED, 0, 0, 10); unchanged("circle");
    PLOTX_draw_triangle(RED, 0, 0, 9, 0, 0, 9, 0); unchanged("filled triangle");
    PLOTX_draw_triangle(RED, 0, 0, 9, 0, 0, 9, 2); unchanged("outlined triangle");
    PLOTX_draw_rectangle(RED, 0, 0, 9, 9, 0); unchanged("rectangle");
    PLOTX_draw_line(RED, 0, 0, 9, 9, 4); unchanged("line");
    PLOTX_draw_pixel(RED, 0, 0); unchanged("pixel");
    PLOTX_draw_text(RED, 0, 0, 30, "two\nlines"); unchanged("text");
    PLOTX_draw_formatted_text(RED, 0, 0, 0, "%d", 5); unchanged("formatted text");
    PLOTX_clear_canvas(); unchanged("clear");
}

// --- Before the library is open -------------------------------------------------------

TEST(DrawingBeforeBegin, LogsButPaintsNothingAndDoesNotCrash) {
    reset_library_for_tests();
    px::headless::install();
    EXPECT_EQ(PLOTX_draw_circle(RED, 0, 0, -1), 1);
    EXPECT_EQ(PLOTX_draw_rectangle(RED, 0, 0, 1, 1, 0), 1);
    EXPECT_EQ(PLOTX_draw_triangle(RED, 0, 0, 1, 1, 2, 0, 0), 1);
    EXPECT_EQ(PLOTX_draw_line(RED, 0, 0, 1, 1, 1), 1);
    EXPECT_EQ(PLOTX_draw_pixel(RED, 0, 0), 1);
    EXPECT_EQ(PLOTX_draw_text(RED, 0, 0, 10, "early"), 1);
    EXPECT_EQ(PLOTX_clear_canvas(), 1);
    std::vector<std::string> lines = ring_lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Radius of -1 not possible, using radius 1\n");
    EXPECT_EQ(lines[6], "red text at (0,0), \"early\"\n");
    EXPECT_EQ(lines[7], "Clearing the graphics window\n");
    EXPECT_EQ(px::live_gdi_objects(), 0);
    reset_library_for_tests();
}
