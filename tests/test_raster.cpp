// test_raster.cpp - the shapes against the platform's own pixels (golden data made by
// tools/oracle/make_raster_golden.py), and the rules the golden data cannot reach: huge
// coordinates, degenerate boxes, null pens and brushes, the surface's row ring.
#include <gtest/gtest.h>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>
#include "render/raster.h"

namespace {

using namespace px;

constexpr int W = 601, H = 540;

// A surface with a DC drawing into it, the DC's default objects selected.
struct Canvas {
    Bitmap bmp;
    HDC dc;
    explicit Canvas(int w = W, int h = H, uint32_t fill = 0) : bmp(w, h, fill), dc(create_surface_dc(&bmp)) {}
    ~Canvas() { DeleteDC(dc); }
    int count(uint32_t pixel) const {
        int n = 0;
        for (int y = 0; y < bmp.height; ++y)
            for (int x = 0; x < bmp.width; ++x) n += bmp.at(x, y) == pixel;
        return n;
    }
    // Rows of '#' (not `bg`) and '.' over an inclusive box, for readable failures.
    std::string picture(int x0, int y0, int x1, int y1, uint32_t bg = 0) const {
        std::string s;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) s += bmp.at(x, y) != bg ? '#' : '.';
            s += '\n';
        }
        return s;
    }
};

// Draws one golden command the way the reference renderer does: a solid pen of the given
// width, a solid brush for width 0 and the hollow stock brush otherwise.
void draw_command(HDC dc, const std::vector<std::string>& tok) {
    auto num = [&](size_t i) { return std::stoi(tok.at(i)); };
    const std::string& kind = tok[0];
    COLORREF c = RGB(num(1), num(2), num(3));
    if (kind == "pixel") {
        SetPixel(dc, num(4), num(5), c);
        return;
    }
    int width = num(4);
    HPEN pen = CreatePen(PS_SOLID, width, c);
    HGDIOBJ old_pen = SelectObject(dc, pen);
    HBRUSH brush = nullptr;
    HGDIOBJ old_brush = nullptr;
    if (kind != "line") {
        brush = width == 0 ? CreateSolidBrush(c) : static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        old_brush = SelectObject(dc, brush);
    }
    if (kind == "rect") Rectangle(dc, num(5), num(6), num(7), num(8));
    else if (kind == "ellipse") Ellipse(dc, num(5), num(6), num(7), num(8));
    else if (kind == "line") { MoveToEx(dc, num(5), num(6), nullptr); LineTo(dc, num(7), num(8)); }
    else {
        size_t first = kind == "poly" ? 5 : 6;
        int n = kind == "poly" ? 3 : num(5);
        std::vector<Point> pts;
        for (int i = 0; i < n; ++i) pts.push_back(Point{num(first + 2 * i), num(first + 2 * i + 1)});
        Polygon(dc, pts.data(), n);
    }
    if (old_brush) SelectObject(dc, old_brush);
    if (brush && width == 0) DeleteObject(brush);
    SelectObject(dc, old_pen);
    DeleteObject(pen);
}

struct Shape {
    std::vector<std::string> tok;
    bool on_bitmap = false;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;   // footprint, exclusive ends
    std::vector<std::vector<char>> mask;  // golden pixels inside the footprint
    int golden_pixels = 0;
};

std::vector<std::vector<Shape>> load_golden() {
    std::ifstream in(PLOTX_TEST_DATA "/raster/golden.txt");
    std::vector<std::vector<Shape>> batches;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line == "batch") { batches.emplace_back(); continue; }
        Shape s;
        size_t at = line.find(" @ "), bar = line.find(" | ");
        std::istringstream cmd(line.substr(0, at)), box(line.substr(at + 3, bar - at - 3));
        for (std::string t; cmd >> t;) s.tok.push_back(t);
        std::string first;
        box >> first;
        if (first != "-") {
            s.on_bitmap = true;
            s.x0 = std::stoi(first);
            box >> s.y0 >> s.x1 >> s.y1;
            s.mask.assign(s.y1 - s.y0, std::vector<char>(s.x1 - s.x0, 0));
            std::istringstream rows(bar + 3 <= line.size() ? line.substr(bar + 3) : "");
            for (std::string r; rows >> r;) {
                int y = std::stoi(r.substr(0, r.find(':')));
                std::istringstream runs(r.substr(r.find(':') + 1));
                for (std::string run; std::getline(runs, run, ',');) {
                    int a = std::stoi(run.substr(0, run.find('-')));
                    int b = std::stoi(run.substr(run.find('-') + 1));
                    for (int x = a; x <= b; ++x) s.mask[y - s.y0][x - s.x0] = 1;
                    s.golden_pixels += b - a + 1;
                }
            }
        }
        batches.back().push_back(std::move(s));
    }
    return batches;
}

// Kind under which a golden shape is counted.
std::string group_of(const std::vector<std::string>& tok) {
    const std::string& k = tok[0];
    if (k == "poly" || k == "polyn") return "polygon";
    if (k == "line") return std::stoi(tok[4]) <= 1 ? "line (width 0, 1)" : "line (width 2+)";
    if (k == "rect") return std::stoi(tok[4]) == 0 ? "rectangle filled" : "rectangle outlined";
    return k;
}

struct Tally {
    int shapes = 0, exact = 0;
    long golden = 0, wrong = 0;
    std::string first_failure;
};

// A one-pixel box (ellipse, or rectangle with a thin pen): the library's rule (the pixel
// is drawn) differs from the platform's (nothing), so those shapes are left out of the comparison.
bool is_one_pixel_box(const std::vector<std::string>& tok) {
    if (tok[0] != "ellipse" && !(tok[0] == "rect" && std::stoi(tok[4]) <= 1)) return false;
    return std::abs(std::stoi(tok[7]) - std::stoi(tok[5])) == 1 && std::abs(std::stoi(tok[8]) - std::stoi(tok[6])) == 1;
}

TEST(RasterGolden, ShapesPaintThePlatformsPixels) {
    auto batches = load_golden();
    ASSERT_GT(batches.size(), 10u) << "golden data missing";
    std::map<std::string, Tally> tally;
    long strays = 0;
    for (const auto& batch : batches) {
        Canvas cv;
        for (const auto& s : batch) draw_command(cv.dc, s.tok);
        long inside = 0;
        for (const auto& s : batch) {
            if (s.on_bitmap)
                for (int y = s.y0; y < s.y1; ++y)
                    for (int x = s.x0; x < s.x1; ++x) inside += cv.bmp.at(x, y) != 0;
            if (is_one_pixel_box(s.tok)) continue;
            Tally& t = tally[group_of(s.tok)];
            ++t.shapes;
            t.golden += s.golden_pixels;
            long wrong = 0;
            if (s.on_bitmap) {
                COLORREF c = RGB(std::stoi(s.tok[1]), std::stoi(s.tok[2]), std::stoi(s.tok[3]));
                for (int y = s.y0; y < s.y1; ++y)
                    for (int x = s.x0; x < s.x1; ++x) {
                        uint32_t p = cv.bmp.at(x, y);
                        bool want = s.mask[y - s.y0][x - s.x0];
                        wrong += want != (p != 0) || (want && p != to_pixel(c));
                    }
            }
            t.wrong += wrong;
            if (wrong == 0) ++t.exact;
            else if (t.first_failure.empty()) {
                for (const auto& x : s.tok) t.first_failure += x + " ";
                t.first_failure += "(" + std::to_string(wrong) + " pixels; O platform only, m ours only)\n";
                if ((s.x1 - s.x0) * (s.y1 - s.y0) <= 4000)
                    for (int y = s.y0; y < s.y1; ++y, t.first_failure += '\n')
                        for (int x = s.x0; x < s.x1; ++x) {
                            bool want = s.mask[y - s.y0][x - s.x0], got = cv.bmp.at(x, y) != 0;
                            t.first_failure += want && got ? '#' : want ? 'O' : got ? 'm' : '.';
                        }
            }
        }
        long batch_strays = W * H - cv.count(0) - inside;
        if (batch_strays && !strays)
            for (const auto& s : batch) {
                std::string cmd;
                for (const auto& x : s.tok) cmd += x + " ";
                std::printf("stray in the batch of: %s\n", cmd.c_str());
            }
        strays += batch_strays;
    }
    EXPECT_EQ(strays, 0) << "pixels painted outside every shape's footprint";
    for (const auto& [kind, t] : tally)
        std::printf("%-20s shapes %4d/%4d exact (%.1f%%), pixels %.3f%% wrong of %ld\n", kind.c_str(), t.exact,
                    t.shapes, 100.0 * t.exact / t.shapes, 100.0 * t.wrong / std::max<long>(t.golden, 1), t.golden);
    // Exact: every kind, ellipses included.
    for (const char* kind : {"rectangle filled", "rectangle outlined", "ellipse", "line (width 0, 1)",
                             "line (width 2+)", "polygon", "pixel"})
        EXPECT_EQ(tally[kind].exact, tally[kind].shapes) << kind << ": " << tally[kind].first_failure;
}

// --- Boxes -------------------------------------------------------------------------------

TEST(RasterBoxes, FilledRectangleExcludesRightAndBottomAndTakesCornersInAnyOrder) {
    Canvas a, b;
    HBRUSH br = CreateSolidBrush(RGB(255, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 0, RGB(255, 0, 0));
    for (Canvas* c : {&a, &b}) { SelectObject(c->dc, br); SelectObject(c->dc, pen); }
    Rectangle(a.dc, 10, 10, 21, 21);
    Rectangle(b.dc, 21, 21, 10, 10);
    EXPECT_EQ(a.count(0xFF0000), 121);
    EXPECT_EQ(a.bmp.at(10, 10), 0xFF0000u);
    EXPECT_EQ(a.bmp.at(20, 20), 0xFF0000u);
    EXPECT_EQ(a.bmp.at(21, 20), 0u);
    EXPECT_EQ(a.bmp.linear(), b.bmp.linear());
    for (Canvas* c : {&a, &b}) { SelectObject(c->dc, GetStockObject(WHITE_BRUSH)); SelectObject(c->dc, GetStockObject(BLACK_PEN)); }
    DeleteObject(br);
    DeleteObject(pen);
}

TEST(RasterBoxes, EmptyBoxesDrawNothing) {
    Canvas c;
    HPEN pen = CreatePen(PS_SOLID, 5, RGB(0, 255, 0));
    SelectObject(c.dc, pen);
    Rectangle(c.dc, 30, 40, 50, 40);
    Rectangle(c.dc, 30, 40, 30, 60);
    Ellipse(c.dc, 100, 100, 100, 140);
    Ellipse(c.dc, 100, 100, 140, 100);
    EXPECT_EQ(c.count(0), W * H);
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
}

TEST(RasterBoxes, NullPenFillsOnePixelLessRightAndBottom) {
    Canvas c;
    HBRUSH br = CreateSolidBrush(RGB(0, 0, 255));
    SelectObject(c.dc, br);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    Rectangle(c.dc, 5, 5, 15, 10);  // interior 5..13 by 5..8
    EXPECT_EQ(c.count(0x0000FF), 9 * 4);
    EXPECT_EQ(c.bmp.at(13, 8), 0x0000FFu);
    EXPECT_EQ(c.bmp.at(14, 8), 0u);
    EXPECT_EQ(c.bmp.at(13, 9), 0u);
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(br);
}

TEST(RasterBoxes, HollowBrushKeepsTheInterior) {
    Canvas c(60, 60, 0x123456);
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 255, 255));
    SelectObject(c.dc, pen);
    SelectObject(c.dc, GetStockObject(NULL_BRUSH));
    Rectangle(c.dc, 10, 10, 40, 40);
    Ellipse(c.dc, 12, 12, 38, 38);
    EXPECT_EQ(c.bmp.at(25, 25), 0x123456u);
    EXPECT_EQ(c.bmp.at(10, 25), 0xFFFFFFu);
    // Wide pens leave the outer corner pixel of a rectangle unset.
    EXPECT_EQ(c.bmp.at(9, 9), 0x123456u);
    EXPECT_EQ(c.bmp.at(10, 9), 0xFFFFFFu);
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
}

// --- Ellipses ----------------------------------------------------------------------------

TEST(RasterEllipses, SmallBoxes) {
    Canvas c(20, 20);
    HBRUSH br = CreateSolidBrush(RGB(255, 255, 255));
    HPEN pen = CreatePen(PS_SOLID, 0, RGB(255, 255, 255));
    SelectObject(c.dc, br);
    SelectObject(c.dc, pen);
    Ellipse(c.dc, 1, 1, 2, 2);  // the library's radius-0 circle: its one pixel
    Ellipse(c.dc, 4, 1, 6, 3);  // a block
    Ellipse(c.dc, 8, 1, 11, 4); // a plus
    EXPECT_EQ(c.picture(0, 0, 11, 4),
              "............\n"
              ".#..##...#..\n"
              "....##..###.\n"
              ".........#..\n"
              "............\n");
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(br);
    DeleteObject(pen);
}

TEST(RasterEllipses, Radius20DiscCoversThePlatformsCount) {
    Canvas c;
    HBRUSH br = CreateSolidBrush(RGB(1, 2, 3));
    HPEN pen = CreatePen(PS_SOLID, 0, RGB(1, 2, 3));
    SelectObject(c.dc, br);
    SelectObject(c.dc, pen);
    Ellipse(c.dc, 180, 180, 221, 221);
    EXPECT_EQ(c.count(to_pixel(RGB(1, 2, 3))), 1313);
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(br);
    DeleteObject(pen);
}

// The platform's ellipse of every narrow or flat box (shorter side up to 8, longer up to
// 60) and of every box up to 20x20, from tests/data/raster/ellipses.txt: per row the
// left outline run, mirrored on the right. Filled, and outlined with pens 0 and 1; the box
// given by either pair of corners; on a surface whose rows start mid-ring.
TEST(RasterEllipses, NarrowFlatAndSmallBoxesDrawThePlatformsRows) {
    std::ifstream in(PLOTX_TEST_DATA "/raster/ellipses.txt");
    int boxes = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream ss(line);
        int w = 0, h = 0;
        std::string outer, inner;
        ss >> w >> h >> outer >> inner;
        ASSERT_EQ(outer.size(), static_cast<size_t>(h)) << line;
        // The platform's 1x1 box is empty; the library's radius-0 circle covers its pixel.
        if (w == 1 && h == 1) outer = inner = "0";
        ++boxes;
        for (int variant = 0; variant < 3; ++variant) {
            const bool filled = variant == 0;
            // Expected picture of the box with a one-pixel margin.
            std::string want;
            for (int y = -1; y <= h; ++y, want += '\n')
                for (int x = -1; x <= w; ++x) {
                    bool on = false;
                    if (y >= 0 && y < h && outer[y] != '.') {
                        const int lo = outer[y] - '0', li = inner[y] - '0';
                        const int mx = std::min(x, w - 1 - x);  // mirrored into the left half
                        on = filled ? mx >= lo : mx >= lo && mx <= li;
                    }
                    want += on ? '#' : '.';
                }
            for (int order = 0; order < 4; ++order) {
                Canvas c(70, 70);
                c.bmp.row_offset = (w * 7 + h) % 70;
                HPEN pen = CreatePen(PS_SOLID, variant == 2 ? 1 : 0, RGB(255, 255, 255));
                HBRUSH br = filled ? CreateSolidBrush(RGB(255, 255, 255)) : nullptr;
                SelectObject(c.dc, pen);
                SelectObject(c.dc, filled ? static_cast<HGDIOBJ>(br) : GetStockObject(NULL_BRUSH));
                int x1 = 5, y1 = 5, x2 = 5 + w, y2 = 5 + h;
                if (order & 1) std::swap(x1, x2);
                if (order & 2) std::swap(y1, y2);
                Ellipse(c.dc, x1, y1, x2, y2);
                EXPECT_EQ(c.picture(4, 4, 5 + w, 5 + h), want)
                    << w << "x" << h << (filled ? " filled" : variant == 1 ? " outlined, pen 0" : " outlined, pen 1")
                    << ", corner order " << order;
                EXPECT_EQ(c.count(0xFFFFFF), std::count(want.begin(), want.end(), '#'));
                SelectObject(c.dc, GetStockObject(BLACK_PEN));
                SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
                DeleteObject(pen);
                if (br) DeleteObject(br);
                if (HasFailure()) return;
            }
        }
    }
    EXPECT_GT(boxes, 1000) << "ellipse data missing";
}

// A brush of its own colour fills only between the outline's runs, so the pen's pixels
// stay whole: the 5x7 box, pen and brush pixels as the platform paints them.
TEST(RasterEllipses, BrushFillsBetweenTheOutlineRuns) {
    Canvas c(9, 10);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    HBRUSH br = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(c.dc, pen);
    SelectObject(c.dc, br);
    Ellipse(c.dc, 2, 1, 7, 8);
    std::string pic;
    for (int y = 0; y < 10; ++y, pic += '\n')
        for (int x = 0; x < 9; ++x) {
            const uint32_t p = c.bmp.at(x, y);
            pic += p == 0x0000FF ? 'o' : p == 0xFF0000 ? '+' : p == 0 ? '.' : '?';
        }
    EXPECT_EQ(pic,
              ".........\n"
              "....o....\n"
              "...o+o...\n"
              "..o+++o..\n"
              "..o+++o..\n"
              "..o+++o..\n"
              "...o+o...\n"
              "....o....\n"
              ".........\n"
              ".........\n");
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(pen);
    DeleteObject(br);
}

// --- Extremes ----------------------------------------------------------------------------

// Pixels with a guard band either side, so that a write outside the surface shows in every
// build, not only under the sanitizer.
class GuardedStore : public PixelStore {
public:
    static constexpr size_t GUARD = 4096;
    static constexpr uint8_t MARK = 0xA5;
    void* allocate(size_t bytes) override {
        block.assign(bytes + 2 * GUARD, MARK);
        size = bytes;
        return block.data() + GUARD;
    }
    void release(void*, size_t) override {}
    bool intact() const {
        for (size_t i = 0; i < GUARD; ++i)
            if (block[i] != MARK || block[GUARD + size + i] != MARK) return false;
        return true;
    }
private:
    std::vector<uint8_t> block;
    size_t size = 0;
};

// Every shape with coordinates and pen widths at the ends of int: nothing outside the
// surface is written, the visible part is right, and the work is bounded by the surface,
// not by the coordinates.
TEST(RasterExtremes, HugeCoordinatesAndPensAreClipped) {
    constexpr uint32_t INK = 0x090909;
    GuardedStore store;
    for (int width : {0, 1, 7, INT_MAX}) {
        Canvas c(50, 40);
        c.bmp.pixels = PixelVector(PixelAllocator<uint32_t>(&store));
        HPEN pen = CreatePen(PS_SOLID, width, RGB(9, 9, 9));
        HBRUSH br = CreateSolidBrush(RGB(9, 9, 9));
        SelectObject(c.dc, pen);
        SelectObject(c.dc, br);
        const bool thin = width <= 7;  // a pen of INT_MAX covers everything near its path
        auto fresh = [&] { c.bmp.resize(50, 40, 0); };
        auto ink = [&](int x, int y) { return c.bmp.at(x, y) == INK; };
        fresh();
        Rectangle(c.dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX);
        EXPECT_EQ(c.count(INK), 50 * 40) << width;
        fresh();
        Ellipse(c.dc, INT_MIN, INT_MIN, INT_MAX, INT_MAX);
        EXPECT_EQ(c.count(INK), 50 * 40) << width;
        fresh();
        Ellipse(c.dc, INT_MIN, 10, INT_MAX, 12);  // a band across rows 10 and 11
        EXPECT_TRUE(ink(0, 10) || ink(0, 11)) << width;
        EXPECT_TRUE(ink(49, 10) || ink(49, 11)) << width;
        EXPECT_TRUE(!thin || !ink(25, 30)) << width;
        fresh();
        Ellipse(c.dc, 5, INT_MIN, 6, INT_MAX);  // a band down column 5
        EXPECT_TRUE(ink(5, 0) && ink(5, 39)) << width;
        EXPECT_TRUE(!thin || !ink(30, 20)) << width;
        fresh();
        // Only the closing edge crosses the surface, along x == y: the inside is above it.
        Point far[] = {{INT_MIN, INT_MIN}, {INT_MAX, 0}, {0, INT_MAX}, {INT_MAX, INT_MAX}};
        Polygon(c.dc, far, 4);
        EXPECT_TRUE(ink(40, 2)) << width;
        EXPECT_TRUE(!thin || !ink(2, 38)) << width;
        fresh();
        MoveToEx(c.dc, INT_MIN, INT_MIN, nullptr);
        LineTo(c.dc, INT_MAX, INT_MAX);
        EXPECT_TRUE(ink(20, 20)) << width;
        EXPECT_TRUE(!thin || !ink(40, 2)) << width;
        fresh();
        MoveToEx(c.dc, INT_MIN, 20, nullptr);
        LineTo(c.dc, INT_MAX, 21);
        EXPECT_TRUE(ink(0, 20) || ink(0, 21)) << width;
        EXPECT_TRUE(ink(49, 20) || ink(49, 21)) << width;
        EXPECT_TRUE(!thin || !ink(25, 5)) << width;
        fresh();
        MoveToEx(c.dc, INT_MAX, INT_MIN, nullptr);
        LineTo(c.dc, INT_MIN, INT_MAX);  // x + y == -1 just misses the surface
        EXPECT_TRUE(!thin || c.count(INK) <= 16) << width;
        EXPECT_TRUE(store.intact()) << width;
        SelectObject(c.dc, GetStockObject(BLACK_PEN));
        SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
        DeleteObject(pen);
        DeleteObject(br);
        c.bmp.pixels = PixelVector();
    }
}

TEST(RasterExtremes, ThinLineAcrossTheWholeIntRangeKeepsItsSlope) {
    Canvas c(50, 40, 0xFFFFFF);
    MoveToEx(c.dc, INT_MIN, INT_MIN, nullptr);
    LineTo(c.dc, INT_MAX, INT_MAX);  // the diagonal x == y, in the default black pen
    for (int i = 0; i < 40; ++i) EXPECT_EQ(c.bmp.at(i, i), 0u) << i;
    EXPECT_EQ(c.count(0), 40);
    c.bmp.resize(50, 40, 0);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    SelectObject(c.dc, pen);
    MoveToEx(c.dc, INT_MIN, INT_MIN, nullptr);
    LineTo(c.dc, INT_MAX, INT_MAX);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(c.bmp.at(i, i), 0xFFFFFFu) << i;
    EXPECT_EQ(c.count(0xFFFFFF), 40);
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
}

// --- Lines -------------------------------------------------------------------------------

TEST(RasterLines, ThinLineStopsBeforeItsEndAndMovesThePosition) {
    Canvas c(20, 20);
    HPEN pen = CreatePen(PS_SOLID, 0, RGB(255, 255, 255));
    SelectObject(c.dc, pen);
    MoveToEx(c.dc, 2, 3, nullptr);
    LineTo(c.dc, 7, 3);
    LineTo(c.dc, 7, 6);
    EXPECT_EQ(c.count(0xFFFFFF), 5 + 3);
    EXPECT_EQ(c.bmp.at(7, 3), 0xFFFFFFu);  // drawn by the second line, not the first
    EXPECT_EQ(c.bmp.at(7, 6), 0u);
    Point at{};
    MoveToEx(c.dc, 0, 0, &at);
    EXPECT_EQ(at.x, 7);
    EXPECT_EQ(at.y, 6);
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
}

TEST(RasterLines, WidePenIncludesBothEnds) {
    Canvas c(40, 40);
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 255, 255));
    SelectObject(c.dc, pen);
    MoveToEx(c.dc, 10, 20, nullptr);
    LineTo(c.dc, 30, 20);
    EXPECT_EQ(c.picture(8, 18, 32, 22),
              ".........................\n"
              "..#####################..\n"
              ".#######################.\n"
              "..#####################..\n"
              ".........................\n");
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
}

// --- Against the rules' definitions --------------------------------------------------------
// Seeded random shapes, each drawn by the rasterizer and by a direct reading of its rule
// (one pixel or one row at a time, no stepping), on surfaces whose rows start mid-ring.

// A small deterministic generator, so that a failure names a reproducible case.
struct Lcg {
    uint64_t s;
    int next(int lo, int hi) {  // inclusive
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return lo + static_cast<int>((s >> 33) % static_cast<uint64_t>(hi - lo + 1));
    }
};

long long ceil_div(long long n, long long d) {  // d > 0
    return n >= 0 ? (n + d - 1) / d : -((-n) / d);
}

// Thin line: step i of n along the major axis, the minor offset i * d / n rounded to
// nearest with halves toward the smaller coordinate; the end point is left out.
void reference_thin_line(Canvas& c, int x1, int y1, int x2, int y2, uint32_t pixel) {
    const long long dx = x2 - x1, dy = y2 - y1;
    const bool xmajor = std::llabs(dx) >= std::llabs(dy);
    const long long n = xmajor ? std::llabs(dx) : std::llabs(dy), d = xmajor ? dy : dx;
    for (long long i = 0; i < n; ++i) {
        const long long m = ceil_div(2 * i * d - n, 2 * n);
        const long long x = xmajor ? x1 + (dx > 0 ? i : -i) : x1 + m;
        const long long y = xmajor ? y1 + m : y1 + (dy > 0 ? i : -i);
        if (x >= 0 && x < c.bmp.width && y >= 0 && y < c.bmp.height) c.bmp.row(static_cast<int>(y))[x] = pixel;
    }
}

// Alternate fill sampled at integer points: pixel x of row y is inside when an odd number
// of the edges spanning the row (upper end in, lower end out) cross it at or left of x.
void reference_polygon(Canvas& c, const std::vector<Point>& pts, uint32_t pixel) {
    for (int y = 0; y < c.bmp.height; ++y)
        for (int x = 0; x < c.bmp.width; ++x) {
            int crossings = 0;
            for (size_t i = 0; i < pts.size(); ++i) {
                Point a = pts[i], b = pts[(i + 1) % pts.size()];
                if ((a.y <= y) == (b.y <= y)) continue;
                if (a.y > b.y) std::swap(a, b);
                const long long first = a.x + ceil_div(static_cast<long long>(y - a.y) * (b.x - a.x), b.y - a.y);
                crossings += first <= x;
            }
            if (crossings % 2) c.bmp.row(y)[x] = pixel;
        }
}

std::string differences(const Canvas& got, const Canvas& want) {
    std::string out;
    for (int y = 0; y < got.bmp.height; ++y)
        for (int x = 0; x < got.bmp.width; ++x)
            if (got.bmp.at(x, y) != want.bmp.at(x, y) && out.size() < 200)
                out += "(" + std::to_string(x) + "," + std::to_string(y) + ") ";
    return out;
}

// --- Wide pens ---------------------------------------------------------------------------

TEST(RasterWidePens, SlantedBandsGiveTheOddPixelToTheRightAsThePlatformDoes) {
    Canvas c(30, 18);
    HPEN four = CreatePen(PS_SOLID, 4, RGB(255, 255, 255)), five = CreatePen(PS_SOLID, 5, RGB(255, 255, 255));
    SelectObject(c.dc, four);
    MoveToEx(c.dc, 3, 3, nullptr);
    LineTo(c.dc, 14, 8);  // down-right, shallow
    SelectObject(c.dc, five);
    MoveToEx(c.dc, 25, 3, nullptr);
    LineTo(c.dc, 21, 14);  // down-left, steep
    // The reference renderer's pixels.
    EXPECT_EQ(c.picture(0, 0, 29, 17),
              "..............................\n"
              "..##....................###...\n"
              ".######................#####..\n"
              ".########..............#####..\n"
              "..#########............#####..\n"
              "..###########.........######..\n"
              ".....##########.......######..\n"
              ".......#########......#####...\n"
              ".........#######.....######...\n"
              "...........####......######...\n"
              ".....................#####....\n"
              "....................######....\n"
              "....................######....\n"
              "...................######.....\n"
              "...................######.....\n"
              "...................#####......\n"
              "....................###.......\n"
              "..............................\n");
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(four);
    DeleteObject(five);
}

TEST(RasterWidePens, EllipsesStrokeTheOutlinesPathAsThePlatformDoes) {
    // The reference renderer's pixels: a pen of 3 round a 20x12 box, lopsided as the
    // platform's path through the outline's pixels makes it, and a pen of 4 round a filled
    // 9x7 box.
    Canvas hollow(26, 18), filled(16, 14);
    HPEN three = CreatePen(PS_SOLID, 3, RGB(255, 255, 255)), four = CreatePen(PS_SOLID, 4, RGB(255, 255, 255));
    HBRUSH br = CreateSolidBrush(RGB(255, 255, 255));
    SelectObject(hollow.dc, three);
    SelectObject(hollow.dc, GetStockObject(NULL_BRUSH));
    Ellipse(hollow.dc, 3, 3, 23, 15);
    SelectObject(filled.dc, four);
    SelectObject(filled.dc, br);
    Ellipse(filled.dc, 12, 10, 3, 3);  // corners in either order
    EXPECT_EQ(hollow.picture(1, 1, 24, 16),
              "........................\n"
              "........##########......\n"
              "......##############....\n"
              "....##################..\n"
              "..########......#######.\n"
              ".#######..........####..\n"
              ".#####.............####.\n"
              ".####...............###.\n"
              ".####...............###.\n"
              ".#####.............####.\n"
              ".#######..........####..\n"
              "..########......#######.\n"
              "....##################..\n"
              "......##############....\n"
              "........##########......\n"
              "........................\n");
    EXPECT_EQ(filled.picture(0, 0, 14, 12),
              "...............\n"
              "....######.....\n"
              "...#########...\n"
              "..###########..\n"
              ".############..\n"
              ".############..\n"
              ".############..\n"
              ".############..\n"
              "..##########...\n"
              "...##########..\n"
              "....########...\n"
              "...............\n"
              "...............\n");
    for (Canvas* c : {&hollow, &filled}) {
        SelectObject(c->dc, GetStockObject(BLACK_PEN));
        SelectObject(c->dc, GetStockObject(WHITE_BRUSH));
    }
    DeleteObject(three);
    DeleteObject(four);
    DeleteObject(br);
}

TEST(RasterWidePens, EitherDirectionDrawsTheSameBand) {
    Lcg rng{23};
    for (int k = 0; k < 300; ++k) {
        Canvas a(57, 43), b(57, 43);
        a.bmp.row_offset = k % 43;
        HPEN pen = CreatePen(PS_SOLID, rng.next(2, 9), RGB(255, 255, 255));
        SelectObject(a.dc, pen);
        SelectObject(b.dc, pen);
        const int x1 = rng.next(-10, 66), y1 = rng.next(-10, 52);
        const int x2 = x1 + rng.next(-30, 30), y2 = y1 + rng.next(-30, 30);
        MoveToEx(a.dc, x1, y1, nullptr);
        LineTo(a.dc, x2, y2);
        MoveToEx(b.dc, x2, y2, nullptr);
        LineTo(b.dc, x1, y1);
        ASSERT_EQ(differences(a, b), "") << x1 << "," << y1 << " to " << x2 << "," << y2;
        SelectObject(a.dc, GetStockObject(BLACK_PEN));
        SelectObject(b.dc, GetStockObject(BLACK_PEN));
        DeleteObject(pen);
    }
}

// Where the small surface differs from the same-sized window of the big one at (off, off);
// empty when a shape cut by the small surface kept exactly its visible pixels.
std::string clipped_difference(const Canvas& small, const Canvas& big, int off) {
    for (int y = 0; y < small.bmp.height; ++y)
        for (int x = 0; x < small.bmp.width; ++x)
            if (small.bmp.at(x, y) != big.bmp.at(x + off, y + off))
                return "pixel " + std::to_string(x) + "," + std::to_string(y);
    return "";
}

TEST(RasterWidePens, BandsCutByTheSurfaceKeepTheirVisiblePixels) {
    // The same segments on a small surface and, shifted, inside a large one.
    Lcg rng{31};
    constexpr int kOff = 40;
    for (int k = 0; k < 200; ++k) {
        Canvas small(31, 23), big(31 + 2 * kOff, 23 + 2 * kOff);
        small.bmp.row_offset = k % 23;
        HPEN pen = CreatePen(PS_SOLID, rng.next(2, 12), RGB(255, 255, 255));
        SelectObject(small.dc, pen);
        SelectObject(big.dc, pen);
        const int x1 = rng.next(-25, 55), y1 = rng.next(-25, 47);
        const int x2 = rng.next(-25, 55), y2 = rng.next(-25, 47);
        MoveToEx(small.dc, x1, y1, nullptr);
        LineTo(small.dc, x2, y2);
        MoveToEx(big.dc, x1 + kOff, y1 + kOff, nullptr);
        LineTo(big.dc, x2 + kOff, y2 + kOff);
        ASSERT_EQ(clipped_difference(small, big, kOff), "") << x1 << "," << y1 << " to " << x2 << "," << y2;
        SelectObject(small.dc, GetStockObject(BLACK_PEN));
        SelectObject(big.dc, GetStockObject(BLACK_PEN));
        DeleteObject(pen);
    }
}

TEST(RasterEllipses, EllipsesCutByTheSurfaceKeepTheirVisiblePixels) {
    // The same boxes, up to 120 a side, on a small surface and, shifted, inside a large one.
    Lcg rng{43};
    constexpr int kOff = 130;
    for (int k = 0; k < 300; ++k) {
        Canvas small(31, 23), big(31 + 2 * kOff, 23 + 2 * kOff);
        small.bmp.row_offset = k % 23;
        const int width = k % 3 == 2 ? 1 : 0;
        HPEN pen = CreatePen(PS_SOLID, width, RGB(255, 255, 255));
        HBRUSH br = CreateSolidBrush(RGB(255, 0, 0));
        for (Canvas* c : {&small, &big}) {
            SelectObject(c->dc, pen);
            SelectObject(c->dc, width == 0 ? static_cast<HGDIOBJ>(br) : GetStockObject(NULL_BRUSH));
        }
        const int side = k % 2 ? 120 : 12;
        const int x1 = rng.next(-side, 40), y1 = rng.next(-side, 30);
        const int x2 = x1 + rng.next(1, side), y2 = y1 + rng.next(1, side);
        Ellipse(small.dc, x1, y1, x2, y2);
        Ellipse(big.dc, x1 + kOff, y1 + kOff, x2 + kOff, y2 + kOff);
        ASSERT_EQ(clipped_difference(small, big, kOff), "") << x1 << "," << y1 << " to " << x2 << "," << y2;
        for (Canvas* c : {&small, &big}) {
            SelectObject(c->dc, GetStockObject(BLACK_PEN));
            SelectObject(c->dc, GetStockObject(WHITE_BRUSH));
        }
        DeleteObject(pen);
        DeleteObject(br);
    }
}

TEST(RasterRules, ThinLinesInEveryDirectionMatchTheRoundingRule) {
    Lcg rng{7};
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    for (int k = 0; k < 400; ++k) {
        Canvas got(61, 47), want(61, 47);
        got.bmp.row_offset = want.bmp.row_offset = k % 47;
        SelectObject(got.dc, pen);
        // Mostly short lines around the surface, some long ones crossing it.
        const int span = k % 4 == 0 ? 400 : 40;
        const int x1 = rng.next(-20, 80), y1 = rng.next(-20, 66);
        const int x2 = x1 + rng.next(-span, span), y2 = y1 + rng.next(-span, span);
        MoveToEx(got.dc, x1, y1, nullptr);
        LineTo(got.dc, x2, y2);
        reference_thin_line(want, x1, y1, x2, y2, 0xFFFFFF);
        ASSERT_EQ(differences(got, want), "") << x1 << "," << y1 << " to " << x2 << "," << y2;
        SelectObject(got.dc, GetStockObject(BLACK_PEN));
    }
    DeleteObject(pen);
}

TEST(RasterRules, PolygonsFillByTheAlternateRuleWhateverTheirShape) {
    Lcg rng{11};
    HBRUSH br = CreateSolidBrush(RGB(0, 128, 255));
    for (int k = 0; k < 300; ++k) {
        Canvas got(53, 41), want(53, 41);
        got.bmp.row_offset = want.bmp.row_offset = (k * 7) % 41;
        SelectObject(got.dc, br);
        SelectObject(got.dc, GetStockObject(NULL_PEN));
        // Triangles, then polygons of up to nine points (crossing themselves, with
        // horizontal edges and points off the surface).
        std::vector<Point> pts(k < 100 ? 3 : static_cast<size_t>(rng.next(4, 9)));
        for (Point& q : pts) q = Point{rng.next(-15, 67), rng.next(-15, 55)};
        if (k % 10 == 5) pts[1].y = pts[0].y;
        Polygon(got.dc, pts.data(), static_cast<int>(pts.size()));
        reference_polygon(want, pts, to_pixel(RGB(0, 128, 255)));
        std::string where;
        for (const Point& q : pts) where += std::to_string(q.x) + "," + std::to_string(q.y) + " ";
        ASSERT_EQ(differences(got, want), "") << where;
        SelectObject(got.dc, GetStockObject(WHITE_BRUSH));
        SelectObject(got.dc, GetStockObject(BLACK_PEN));
    }
    DeleteObject(br);
}

TEST(RasterRules, ThinPenOutlineComesAfterTheInteriorInEveryRow) {
    // A triangle whose brush and pen differ: the outline's pixels win where they meet
    // the interior, exactly as the fill alone followed by the three lines alone.
    Canvas got(40, 40), want(40, 40);
    HBRUSH br = CreateSolidBrush(RGB(255, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 0, RGB(0, 0, 255));
    const std::vector<Point> tri = {{3, 2}, {36, 11}, {9, 37}};
    SelectObject(got.dc, br);
    SelectObject(got.dc, pen);
    Polygon(got.dc, tri.data(), 3);
    reference_polygon(want, tri, 0xFF0000);
    for (int i = 0; i < 3; ++i)
        reference_thin_line(want, tri[i].x, tri[i].y, tri[(i + 1) % 3].x, tri[(i + 1) % 3].y, 0x0000FF);
    EXPECT_EQ(differences(got, want), "");
    SelectObject(got.dc, GetStockObject(WHITE_BRUSH));
    SelectObject(got.dc, GetStockObject(BLACK_PEN));
    DeleteObject(br);
    DeleteObject(pen);
}

TEST(RasterRules, ThinPenRectangleIsItsRingAroundTheBrush) {
    Canvas c(12, 9);
    c.bmp.row_offset = 5;
    HBRUSH br = CreateSolidBrush(RGB(255, 0, 0));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 255));
    SelectObject(c.dc, br);
    SelectObject(c.dc, pen);
    Rectangle(c.dc, 1, 1, 11, 8);   // ring x 1..10, y 1..7
    Rectangle(c.dc, 5, -3, 7, 20);  // two columns, rows cut by the surface: pen only
    // '.' is the brush's red: the first box's interior less the two pen columns.
    EXPECT_EQ(c.picture(0, 0, 11, 8, 0xFF0000),
              "############\n"
              "############\n"
              "##...##...##\n"
              "##...##...##\n"
              "##...##...##\n"
              "##...##...##\n"
              "##...##...##\n"
              "############\n"
              "############\n");
    EXPECT_EQ(c.bmp.at(5, 0), 0x0000FFu);
    EXPECT_EQ(c.bmp.at(0, 0), 0u);
    EXPECT_EQ(c.bmp.at(1, 1), 0x0000FFu);
    EXPECT_EQ(c.bmp.at(2, 2), 0xFF0000u);
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(br);
    DeleteObject(pen);
}

TEST(RasterRules, FullWidthFillCrossesTheRowRingsSeam) {
    Canvas c(10, 10);
    c.bmp.row_offset = 7;  // logical rows 3..9 then 0..2 in memory order
    HBRUSH br = CreateSolidBrush(RGB(0, 255, 0));
    SelectObject(c.dc, br);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    Rectangle(c.dc, -5, 1, 50, 10);  // rows 1..8, every column
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(c.bmp.at(x, y), y >= 1 && y <= 8 ? 0x00FF00u : 0u) << x << "," << y;
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(br);
}

// --- Surfaces and objects ----------------------------------------------------------------

TEST(RasterSurface, DrawingFollowsTheRowRingAndBumpsTheGeneration) {
    Canvas c(10, 10);
    c.bmp.row_offset = 7;
    HBRUSH br = CreateSolidBrush(RGB(255, 0, 0));
    SelectObject(c.dc, br);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    uint64_t gen = c.bmp.generation;
    Rectangle(c.dc, 0, 2, 10, 4);  // logical row 2 only
    EXPECT_GT(c.bmp.generation, gen);
    for (int y = 0; y < 10; ++y) EXPECT_EQ(c.bmp.at(4, y), y == 2 ? 0xFF0000u : 0u) << y;
    gen = c.bmp.generation;
    Point tri[] = {{0, 0}, {5, 0}, {0, 5}};
    Polygon(c.dc, tri, 3);
    EXPECT_GT(c.bmp.generation, gen);
    SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
    SelectObject(c.dc, GetStockObject(BLACK_PEN));
    DeleteObject(br);
}

TEST(RasterSurface, DrawingCreatesNoObjects) {
    int before = live_gdi_objects();
    {
        Canvas c(30, 30);
        Rectangle(c.dc, 1, 1, 20, 20);
        Ellipse(c.dc, 1, 1, 20, 20);
        Point tri[] = {{0, 0}, {25, 3}, {4, 28}};
        Polygon(c.dc, tri, 3);
        LineTo(c.dc, 29, 29);
    }
    EXPECT_EQ(live_gdi_objects(), before);
}

}  // namespace
