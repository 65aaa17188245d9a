// raster.cpp - the shapes: rectangles, ellipses, polygons and lines, drawn the way the
// reference system's drawing interface draws them (pixel for pixel where that was measurable),
// always clipped to the surface.
//
// Every coordinate is widened to 64 bits on entry and every shape is clipped to the
// surface before it is scanned, so any int input (pen widths included) costs at most a
// few passes over the visible rows. Products of two coordinates are 128 bits wide
// (portable.h), but only once per edge or line: rows and steps then carry exact integer
// remainders.
//
// Sections (between rules): the painter of solid runs; Ellipses; Polygon fill; Lines;
// Selected objects and the drawing calls.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <vector>
#include "render/portable.h"
#include "render/raster_internal.h"

namespace px {

namespace {

// Writes solid runs into one surface, clipped; all painting in this file ends here.
struct Painter {
    Bitmap& s;
    uint32_t pixel;
    // Inclusive run x0..x1 on row y.
    void span(i64 y, i64 x0, i64 x1) const {
        if (y < 0 || y >= s.height) return;
        x0 = std::max<i64>(x0, 0);
        x1 = std::min<i64>(x1, s.width - 1);
        if (x0 > x1) return;
        fill_pixels(s.row(static_cast<int>(y)) + x0, static_cast<size_t>(x1 - x0 + 1), pixel);
    }
    // One pixel, or nothing when it is off the surface.
    void dot(i64 x, i64 y) const {
        if (static_cast<uint64_t>(x) < static_cast<uint64_t>(s.width) &&
            static_cast<uint64_t>(y) < static_cast<uint64_t>(s.height))
            s.row(static_cast<int>(y))[x] = pixel;
    }
    // Box with exclusive right and bottom. Full-width boxes are one run per stretch of
    // rows that is contiguous in the row ring.
    void box(i64 l, i64 t, i64 r, i64 b) const {
        t = std::max<i64>(t, 0);
        b = std::min<i64>(b, s.height);
        l = std::max<i64>(l, 0);
        r = std::min<i64>(r, s.width);
        if (t >= b || l >= r) return;
        const size_t n = static_cast<size_t>(r - l);
        if (n == static_cast<size_t>(s.width)) {
            for (i64 y = t; y < b;) {
                const i64 phys = (y + s.row_offset) % s.height;
                const i64 rows = std::min(b - y, s.height - phys);
                fill_pixels(s.row(static_cast<int>(y)), n * static_cast<size_t>(rows), pixel);
                y += rows;
            }
            return;
        }
        for (i64 y = t; y < b; ++y) fill_pixels(s.row(static_cast<int>(y)) + l, n, pixel);
    }
    i64 first_row(i64 t) const { return std::max<i64>(t, 0); }
    i64 end_row(i64 b) const { return std::min<i64>(b, s.height); }
};

// ---------------------------------------------------------------------------------------
// Ellipses. The reference system traces the first quadrant of the box-fitted ellipse by integer
// error stepping (Zingl's rasterizing algorithm for an ellipse in a rectangle): from the
// right end of the middle row, down and inward, until the traced column passes the middle
// column. Nothing finishes the ends of a narrow tall ellipse, so such boxes lose their end
// rows, as on the reference system (which paints whatever it finds in them; empty is the sound
// reading). A row's fill runs between its outermost traced pixels; the one-pixel outline
// is the traced pixels themselves. Boxes under three pixels either way are full blocks.
//
// Boxes up to kTracedLimit a side are traced exactly; larger ones (no measurement exists
// for them, and they are always mostly off the surface) are sampled per visible row.
constexpr i64 kTracedLimit = 1 << 14;

// The traced rows live in per-thread scratch, one buffer for each ellipse alive at once (a
// wide pen's ring needs two), so drawing allocates only when an ellipse taller than any
// before it comes along.
std::vector<i64>& ellipse_scratch(int slot) {
    static thread_local std::vector<i64> buffers[2];
    return buffers[slot];
}

class EllipseRows {
public:
    // Box l..l+w-1, t..t+h-1 (w, h > 0), traced into scratch buffer `slot`.
    EllipseRows(i64 l, i64 t, i64 w, i64 h, int slot = 0) : l_(l), t_(t), w_(w), h_(h) {
        traced_ = w >= 3 && h >= 3 && w <= kTracedLimit && h <= kTracedLimit;
        if (traced_) trace(ellipse_scratch(slot));
    }
    // Row y of the box: outer and inner x of the left outline run, and of the right one
    // (left_out <= left_in, right_in <= right_out). False when the row has no pixels.
    bool row(i64 y, i64& left_out, i64& left_in, i64& right_in, i64& right_out) const {
        if (y < t_ || y >= t_ + h_) return false;
        if (w_ < 3 || h_ < 3) {  // a full block: every pixel is on the outline
            left_out = l_;
            right_out = l_ + w_ - 1;
            left_in = right_out;
            right_in = left_out;
            return true;
        }
        i64 xmax, xmin;
        if (!half_width(y, xmax, xmin)) return false;
        left_out = l_ + (w_ - 1 - xmax) / 2;
        left_in = l_ + (w_ - 1 - xmin) / 2;
        right_in = l_ + (w_ - 1 + xmin) / 2;
        right_out = l_ + (w_ - 1 + xmax) / 2;
        return true;
    }

    // The traced pixels of the lower right quadrant in tracing order, as box offsets: along
    // each row from its right end leftward, rows from the middle one down. Traced boxes only.
    template <class Visit>
    void quadrant(Visit visit) const {
        if (!traced_) return;
        for (i64 j = (h_ - 1) / 2; j >= 0 && hi_[j] >= 0; --j)
            for (i64 X = hi_[j]; X >= lo_[j]; X -= 2) visit((w_ - 1 + X) / 2, h_ - 1 - j);
    }

private:
    // Doubled offsets from the centre: the outermost and innermost traced X of row y.
    bool half_width(i64 y, i64& xmax, i64& xmin) const {
        i64 j = y - t_;
        if (2 * j > h_ - 1) j = h_ - 1 - j;  // the lower half mirrors the upper
        if (traced_) {
            if (hi_[j] < 0) return false;
            xmax = hi_[j];
            xmin = lo_[j];
            return true;
        }
        auto outer = [this](i64 jj) -> i64 {
            if (jj < 0) return -1;
            long double a = static_cast<long double>(w_ - 1), b = static_cast<long double>(h_ - 1);
            long double yy = static_cast<long double>(h_ - 1 - 2 * jj) / b;
            long double x = a * std::sqrt(std::max<long double>(0, 1 - yy * yy));
            i64 xi = static_cast<i64>(x);
            if (((xi ^ (w_ - 1)) & 1) != 0) --xi;  // same parity as the box's doubled radius
            return xi;
        };
        xmax = outer(j);
        if (xmax < 0) return false;
        i64 above = outer(j - 1);
        xmin = std::min(xmax, std::max<i64>(above + 2, (w_ - 1) & 1));
        return true;
    }

    // Right half of the lower half, in box pixels: x from the right edge inward, y from
    // the middle row down; each point is stored mirrored into the upper half as a doubled
    // offset from the centre. Sides up to kTracedLimit keep every term within 2^50.
    void trace(std::vector<i64>& store) {
        const i64 a = w_ - 1, b = h_ - 1;
        const i64 rows = (h_ + 1) / 2;
        store.assign(2 * static_cast<size_t>(rows), -1);
        hi_ = store.data();
        lo_ = hi_ + rows;
        const i64 a_step = 8 * a * a, b_step = 8 * b * b;
        i64 dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + (b & 1)), err = dx + dy + a * a * (b & 1);
        i64 x = a, y = h_ / 2;
        // Every step moves x or y (or both); the bound only guards the loop's end.
        for (i64 n = w_ + h_; x >= w_ / 2 && y <= b && n > 0; --n) {
            const size_t j = static_cast<size_t>(b - y);
            const i64 X = 2 * x - a;
            if (hi_[j] < 0) hi_[j] = lo_[j] = X;
            else {
                hi_[j] = std::max(hi_[j], X);
                lo_[j] = std::min(lo_[j], X);
            }
            const i64 e2 = 2 * err;
            if (e2 >= dx) {
                --x;
                dx += b_step;
                err += dx;
            }
            if (e2 <= dy) {
                ++y;
                dy += a_step;
                err += dy;
            }
        }
    }

    i64 l_, t_, w_, h_;
    bool traced_ = false;
    i64* hi_ = nullptr;  // per upper-half row; -1 where nothing was traced
    i64* lo_ = nullptr;
};

// Filled ellipse of a box given as left, top, width, height.
void fill_ellipse(const Painter& p, i64 l, i64 t, i64 w, i64 h) {
    if (w <= 0 || h <= 0) return;
    EllipseRows e(l, t, w, h);
    for (i64 y = p.first_row(t), end = p.end_row(t + h); y < end; ++y) {
        i64 lo, li, ri, ro;
        if (e.row(y, lo, li, ri, ro)) p.span(y, lo, ro);
    }
}

// The round dot a wide pen leaves at a point: the pen's width across, centred as the
// reference system centres it (the extra pixel of an even width goes up and left).
void pen_dot(const Painter& p, i64 x, i64 y, i64 width) {
    fill_ellipse(p, x - width / 2, y - width / 2, width, width);
}

// ---------------------------------------------------------------------------------------
// Polygon fill: alternate (even-odd) rule sampled at integer points; on each row an edge
// counts from its upper end up to but not including its lower end, and a run includes
// its left crossing and excludes its right one. This is how the reference system fills polygons
// and the regions behind wide pens: a rectangle's corner points fill exactly the pixels
// from left/top up to but not including right/bottom.
//
// The crossings are stepped from row to row: each edge keeps its crossing's ceiling and the
// exact remainder, so a row costs a few additions per edge crossing it, whatever the
// coordinates. Edges that cross no visible row are dropped before scanning.
struct P64 { i64 x, y; };

struct Edge {
    i64 x;             // ceiling of the crossing on the current row
    i64 rem;           // x * dy - exact crossing * dy, in [0, dy)
    i64 x_step, rem_step, dy;  // dx = x_step * dy + rem_step, 0 <= rem_step < dy
    i64 y_begin, y_end;        // visible rows crossed: y_begin <= y < y_end
    // To the next row; without a branch, as the carry follows the slope's fraction.
    void step() {
        x += x_step;
        rem -= rem_step;
        const i64 borrow = -static_cast<i64>(rem < 0);  // -1 when the remainder went below 0
        x -= borrow;
        rem += dy & borrow;
    }
};

void fill_polygon(const Painter& p, const P64* pts, size_t n) {
    if (n < 3) return;
    static thread_local std::vector<Edge> edges;
    static thread_local std::vector<Edge*> active;
    edges.clear();
    for (size_t i = 0; i < n; ++i) {
        P64 a = pts[i], b = pts[i + 1 == n ? 0 : i + 1];
        if (a.y == b.y) continue;  // crosses no row
        if (a.y > b.y) std::swap(a, b);
        const i64 y0 = p.first_row(a.y), y1 = p.end_row(b.y);
        if (y0 >= y1) continue;
        const i64 dx = b.x - a.x, dy = b.y - a.y;
        Edge e;
        e.dy = dy;
        e.x_step = floor_div(dx, dy);
        e.rem_step = dx - e.x_step * dy;
        const Wide num = wide_mul(y0 - a.y, dx);
        const i64 q = ceil_div(num, dy);
        e.x = a.x + q;
        e.rem = low64(wide_mul(q, dy) - num);
        e.y_begin = y0;
        e.y_end = y1;
        edges.push_back(e);
    }
    if (edges.size() < 2) return;
    std::sort(edges.begin(), edges.end(), [](const Edge& l, const Edge& r) { return l.y_begin < r.y_begin; });
    active.clear();
    size_t next = 0;
    uint32_t* const pixels = p.s.pixels.data();
    const i64 width = p.s.width, height = p.s.height;
    for (i64 y = edges[0].y_begin;;) {
        while (next < edges.size() && edges[next].y_begin == y) active.push_back(&edges[next++]);
        // Until an edge begins or ends the active set stays as it is. Two edges (every
        // row of a convex polygon) need no ordering: the run lies between their crossings.
        i64 stop = next < edges.size() ? edges[next].y_begin : height;
        for (const Edge* e : active) stop = std::min(stop, e->y_end);
        if (active.size() == 2) {
            Edge a = *active[0], b = *active[1];
            i64 phys = (y + p.s.row_offset) % height;
            for (; y < stop; ++y) {
                const i64 x0 = std::max<i64>(std::min(a.x, b.x), 0), x1 = std::min<i64>(std::max(a.x, b.x), width);
                if (x0 < x1) fill_pixels(pixels + phys * width + x0, static_cast<size_t>(x1 - x0), p.pixel);
                if (++phys == height) phys = 0;
                a.step();
                b.step();
            }
            *active[0] = a;
            *active[1] = b;
        } else {
            for (; y < stop; ++y) {
                // Keep the active edges in crossing order; from one row to the next they
                // rarely change places, so an insertion sort is close to a single pass.
                for (size_t k = 1; k < active.size(); ++k) {
                    Edge* e = active[k];
                    size_t j = k;
                    for (; j > 0 && active[j - 1]->x > e->x; --j) active[j] = active[j - 1];
                    active[j] = e;
                }
                uint32_t* row = p.s.row(static_cast<int>(y));
                for (size_t k = 0; k + 1 < active.size(); k += 2) {
                    const i64 x0 = std::max<i64>(active[k]->x, 0), x1 = std::min<i64>(active[k + 1]->x, width);
                    if (x0 < x1) fill_pixels(row + x0, static_cast<size_t>(x1 - x0), p.pixel);
                }
                for (Edge* e : active) e->step();
            }
        }
        active.erase(std::remove_if(active.begin(), active.end(), [y](const Edge* e) { return e->y_end <= y; }),
                     active.end());
        if (active.empty()) {
            if (next == edges.size()) break;
            y = edges[next].y_begin;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Lines.
//
// Thin lines (pen width 0 or 1) step along the major axis from the start point and stop
// before the end point; the minor coordinate is the exact one rounded to nearest, with an
// exact half rounded toward the smaller coordinate whatever the direction. Only the steps
// that land on the surface are visited.
//
// With D = |minor delta| <= n = |major delta|, the minor offset of step i is
// sign * floor((2 i D + c) / 2n), where c = n - 1 rounds halves down on a rising minor
// coordinate and c = n rounds them down on a falling one (up in the offset's terms). A
// line along x is drawn as one run per row, the first step of each row stepped exactly
// like a polygon edge; a line along y has one pixel per row and steps the offset.
void thin_line(const Painter& p, i64 x1, i64 y1, i64 x2, i64 y2) {
    const i64 dx = x2 - x1, dy = y2 - y1;
    const bool xmajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    const i64 n = xmajor ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
    if (n == 0) return;
    const i64 major0 = xmajor ? x1 : y1;
    const i64 minor0 = xmajor ? y1 : x1;
    const i64 dminor = xmajor ? dy : dx;
    const i64 step = (xmajor ? dx : dy) > 0 ? 1 : -1;
    const i64 limit = xmajor ? p.s.width : p.s.height;
    // Step indexes i in [0, n) whose major coordinate major0 + step * i is in [0, limit).
    i64 i0, i1;
    if (step > 0) { i0 = -major0; i1 = limit - 1 - major0; }
    else { i0 = major0 - (limit - 1); i1 = major0; }
    i0 = std::max<i64>(i0, 0);
    i1 = std::min<i64>(i1, n - 1);
    if (i0 > i1) return;
    const i64 two_n = 2 * n, two_D = 2 * (dminor < 0 ? -dminor : dminor);
    const i64 sign = dminor < 0 ? -1 : 1, c = dminor < 0 ? n : n - 1;
    Bitmap& s = p.s;
    const Wide num0 = wide_mul(i0, two_D) + c;
    i64 k = floor_div(num0, two_n);  // offset of the first visible step
    if (xmajor) {
        // Row k holds the steps up to e - 1, e = ceil((2n (k + 1) - c) / 2D) being the
        // first step of the next row; e advances by 2n / 2D per row, rem its remainder.
        i64 e = i1 + 1, rem = 0, e_step = 0, rem_step = 0;
        if (two_D > 0) {
            const Wide num = wide_mul(two_n, k + 1) - c;
            e = ceil_div(num, two_D);
            rem = low64(wide_mul(e, two_D) - num);
            e_step = two_n / two_D;
            rem_step = two_n - e_step * two_D;
        }
        for (i64 i = i0;;) {
            const i64 last = std::min(e - 1, i1);
            const i64 y = minor0 + sign * k;
            if (static_cast<uint64_t>(y) < static_cast<uint64_t>(s.height)) {
                const i64 xa = major0 + step * i, xb = major0 + step * last;
                fill_pixels(s.row(static_cast<int>(y)) + std::min(xa, xb), static_cast<size_t>(last - i + 1), p.pixel);
            }
            if (last == i1) break;
            i = e;
            ++k;
            e += e_step;
            rem -= rem_step;
            if (rem < 0) {
                ++e;
                rem += two_D;
            }
        }
        return;
    }
    // Along y: the remainder r of the offset's division, in [0, 2n).
    i64 r = low64(num0 - wide_mul(k, two_n));
    const i64 width = s.width, height = s.height;
    uint32_t* const pixels = s.pixels.data();
    i64 phys = (major0 + step * i0 + s.row_offset) % height;
    for (i64 left = i1 - i0;; --left) {
        const i64 x = minor0 + sign * k;
        if (static_cast<uint64_t>(x) < static_cast<uint64_t>(width)) pixels[phys * width + x] = p.pixel;
        if (left == 0) break;
        phys += step;
        if (phys == height) phys = 0;
        else if (phys < 0) phys = height - 1;
        r += two_D;
        if (r >= two_n) {
            ++k;
            r -= two_n;
        }
    }
}

// Wide lines, built the way the reference system builds them: a region of the segment's band and a
// round dot of the pen's size at each end, painted in the pen's colour. One colour, so
// painting the pieces one after another paints their union.
//
// A slanted band is a quadrilateral with integer corners, filled by the polygon rule. The
// pen's extent across the segment, wx = w |dy| / len along x and wy = w |dx| / len along y,
// is split in two halves rounded separately: round(v / 2) on the side of smaller x and
// round((v + 1) / 2) on the side of larger x. So an odd extent puts its extra pixel on the
// right, whichever way the segment runs, and both directions draw the same band. Level
// and upright bands are plain boxes: width / 2 rows or columns before the line, the rest
// after it.
void wide_band(const Painter& p, i64 x1, i64 y1, i64 x2, i64 y2, i64 width) {
    const i64 dx = x2 - x1, dy = y2 - y1;
    if (dx != 0 && dy != 0) {
        // In double precision, as the reference system computes the extent.
        const double adx = static_cast<double>(dx < 0 ? -dx : dx), ady = static_cast<double>(dy < 0 ? -dy : dy);
        const double len = std::hypot(adx, ady);
        const double wx = static_cast<double>(width) * ady / len, wy = static_cast<double>(width) * adx / len;
        auto rnd = [](double v) { return static_cast<i64>(std::floor(v + 0.5)); };
        const i64 left_x = rnd(wx / 2), left_y = rnd(wy / 2);
        const i64 right_x = rnd((wx + 1) / 2), right_y = rnd((wy + 1) / 2);
        // The band's right side lies up from the segment when it runs down-right or up-left.
        const i64 s = (dx < 0) == (dy < 0) ? 1 : -1;
        const P64 q[4] = {{x1 + right_x, y1 - s * right_y}, {x2 + right_x, y2 - s * right_y},
                          {x2 - left_x, y2 + s * left_y}, {x1 - left_x, y1 + s * left_y}};
        fill_polygon(p, q, 4);
    } else if (dx != 0 || dy != 0) {
        const i64 before = width / 2;
        if (dy == 0) p.box(std::min(x1, x2), y1 - before, std::max(x1, x2), y1 - before + width);
        else p.box(x1 - before, std::min(y1, y2), x1 - before + width, std::max(y1, y2));
    }
}

void wide_segment(const Painter& p, i64 x1, i64 y1, i64 x2, i64 y2, i64 width) {
    wide_band(p, x1, y1, x2, y2, width);
    pen_dot(p, x1, y1, width);
    pen_dot(p, x2, y2, width);
}

// A wide pen's ellipse, as the reference system strokes it: the closed path through the one-pixel
// outline's pixels in order around the box, every step a wide segment (band and round
// dots); a box under three pixels either way goes round its block's corners. A run of
// steps along one row or column is one band: the dots between cover nothing more. Each
// vertex's dot is painted once.
//
// Every pixel is painted about once per step within the pen's reach, so this is kept to
// pens up to kStrokedPenLimit (measured exact up to there) and traced boxes; false leaves
// wider pens and bigger boxes to an approximation.
constexpr i64 kStrokedPenLimit = 16;

bool stroke_wide_ellipse(const Painter& pen, i64 l, i64 t, i64 w, i64 h, i64 width) {
    if (w > kTracedLimit || h > kTracedLimit || width > kStrokedPenLimit) return false;
    static thread_local std::vector<P64> path;
    path.clear();
    auto add = [](i64 x, i64 y) {
        if (path.empty() || path.back().x != x || path.back().y != y) path.push_back(P64{x, y});
    };
    if (w < 3 || h < 3) {
        add(l, t);
        add(l + w - 1, t);
        add(l + w - 1, t + h - 1);
        add(l, t + h - 1);
    } else {
        EllipseRows e(l, t, w, h);
        static thread_local std::vector<P64> q;
        q.clear();
        e.quadrant([](i64 x, i64 y) { q.push_back(P64{x, y}); });
        const i64 a = w - 1, b = h - 1;
        for (const P64& p : q) add(l + p.x, t + p.y);                                   // lower right
        for (size_t i = q.size(); i-- > 0;) add(l + a - q[i].x, t + q[i].y);            // lower left
        for (const P64& p : q) add(l + a - p.x, t + b - p.y);                           // upper left
        for (size_t i = q.size(); i-- > 0;) add(l + q[i].x, t + b - q[i].y);            // upper right
    }
    while (path.size() > 1 && path.back().x == path.front().x && path.back().y == path.front().y) path.pop_back();
    if (path.size() == 1) {
        pen_dot(pen, path[0].x, path[0].y, width);
        return true;
    }
    const size_t n = path.size();
    for (size_t i = 0; i < n;) {
        // Extend along a row or column while the path keeps going that way.
        const P64 from = path[i];
        size_t k = i + 1;
        const i64 sx = path[k % n].x - from.x, sy = path[k % n].y - from.y;
        if (sx == 0 || sy == 0)
            while (k < n && path[(k + 1) % n].x - path[k].x == sx && path[(k + 1) % n].y - path[k].y == sy) ++k;
        const P64 to = path[k % n];
        const i64 m = width / 2 + 1;
        if (std::max(from.x, to.x) + m >= 0 && std::min(from.x, to.x) - m < pen.s.width &&
            std::max(from.y, to.y) + m >= 0 && std::min(from.y, to.y) - m < pen.s.height) {
            wide_band(pen, from.x, from.y, to.x, to.y, width);
            pen_dot(pen, from.x, from.y, width);
        }
        i = k;
    }
    return true;
}

// ---------------------------------------------------------------------------------------
// Selected objects.
struct Tools {
    Bitmap* s = nullptr;
    bool pen = false, brush = false;
    uint32_t pen_pixel = 0, brush_pixel = 0;
    i64 width = 1;  // pen width, 0 taken as 1
};

Tools tools_of(HDC dc) {
    Tools t;
    if (!dc || !dc->surface) return t;
    t.s = dc->surface;
    if (dc->pen && !dc->pen->hollow && dc->pen->style != PS_NULL) {
        t.pen = true;
        t.pen_pixel = to_pixel(dc->pen->color);
        t.width = std::max(dc->pen->width, 1);
    }
    if (dc->brush && !dc->brush->hollow) {
        t.brush = true;
        t.brush_pixel = to_pixel(dc->brush->color);
    }
    return t;
}

void order(i64& a, i64& b) {
    if (a > b) std::swap(a, b);
}

// A box as Rectangle and Ellipse take it: corners in order, widened to 64 bits; the
// surface counts as changed. False when the DC has nothing to draw into.
struct Box {
    i64 l, t, r, b;
};
bool open_box(const Tools& tl, int left, int top, int right, int bottom, Box* box) {
    if (!tl.s) return false;
    *box = Box{left, top, right, bottom};
    order(box->l, box->r);
    order(box->t, box->b);
    ++tl.s->generation;
    return true;
}

}  // namespace

bool Rectangle(HDC dc, int left, int top, int right, int bottom) {
    Tools tl = tools_of(dc);
    Box box;
    if (!open_box(tl, left, top, right, bottom, &box)) return false;
    const i64 l = box.l, t = box.t, r = box.r, b = box.b;
    if (!tl.pen) {
        // Without a pen the reference system fills one pixel less on the right and at the bottom:
        // the interior alone, l..r-2 by t..b-2. The text log's background relies on it.
        if (tl.brush) Painter{*tl.s, tl.brush_pixel}.box(l, t, r - 1, b - 1);
        return true;
    }
    if (r <= l || b <= t) return true;  // an empty box draws nothing, not even its pen
    // A one-pixel box with a thin pen draws nothing on the reference system; here it draws its
    // pixel, as a rectangle whose two corners coincide must cover that corner.
    const Painter pen{*tl.s, tl.pen_pixel};
    const i64 w = tl.width;
    if (w == 1) {
        // A thin pen is the box's outermost ring of pixels: each row is written once.
        if (tl.brush && tl.brush_pixel == tl.pen_pixel) {
            pen.box(l, t, r, b);
            return true;
        }
        pen.box(l, t, r, t + 1);
        if (b - 1 > t) pen.box(l, b - 1, r, b);
        const Painter brush{*tl.s, tl.brush_pixel};
        for (i64 y = pen.first_row(t + 1), end = pen.end_row(b - 1); y < end; ++y) {
            pen.dot(l, y);
            pen.dot(r - 1, y);
            if (tl.brush) brush.span(y, l + 1, r - 2);
        }
        return true;
    }
    if (tl.brush) Painter{*tl.s, tl.brush_pixel}.box(l + 1, t + 1, r - 1, b - 1);
    // The pen is centred on the box's outer pixels (x = l and x = r-1, y likewise).
    const i64 before = w / 2, after = (w - 1) / 2;
    pen.box(l, t - before, r, t + after + 1);          // top
    pen.box(l, b - 1 - before, r, b + after);          // bottom
    pen.box(l - before, t, l + after + 1, b);          // left
    pen.box(r - 1 - before, t, r + after, b);          // right
    if (w > 2) {  // round joins; up to width 2 the bars already meet square
        pen_dot(pen, l, t, w);
        pen_dot(pen, r - 1, t, w);
        pen_dot(pen, l, b - 1, w);
        pen_dot(pen, r - 1, b - 1, w);
    } else if (w == 2) {
        pen.box(l - 1, t - 1, l + 1, t + 1);
        pen.box(r - 2, t - 1, r, t + 1);
        pen.box(l - 1, b - 2, l + 1, b);
        pen.box(r - 2, b - 2, r, b);
    }
    return true;
}

bool Ellipse(HDC dc, int left, int top, int right, int bottom) {
    Tools tl = tools_of(dc);
    Box box;
    if (!open_box(tl, left, top, right, bottom, &box)) return false;
    i64 l = box.l, t = box.t, r = box.r, b = box.b;
    if (!tl.pen) {  // as with rectangles, no pen means one pixel less right and bottom
        if (tl.brush) fill_ellipse(Painter{*tl.s, tl.brush_pixel}, l, t, r - 1 - l, b - 1 - t);
        return true;
    }
    if (r <= l || b <= t) return true;
    const i64 w = tl.width;
    const Painter pen{*tl.s, tl.pen_pixel}, brush{*tl.s, tl.brush_pixel};
    if (w <= 1) {
        EllipseRows e(l, t, r - l, b - t);
        for (i64 y = pen.first_row(t), end = pen.end_row(b); y < end; ++y) {
            i64 lo, li, ri, ro;
            if (!e.row(y, lo, li, ri, ro)) continue;
            if (tl.brush) brush.span(y, li + 1, ri - 1);
            pen.span(y, lo, li);
            pen.span(y, ri, ro);
        }
        return true;
    }
    if (tl.brush) fill_ellipse(brush, l, t, r - l, b - t);
    if (stroke_wide_ellipse(pen, l, t, r - l, b - t, w)) return true;
    // Beyond the budget, an approximation: the ring between the box grown and shrunk by
    // the pen's half widths.
    const i64 before = w / 2, after = (w - 1) / 2;
    EllipseRows outer(l - before, t - before, r - l + before + after, b - t + before + after);
    const i64 il = l + after + 1, it = t + after + 1, iw = r - l - 2 * (after + 1) - (before - after),
              ih = b - t - 2 * (after + 1) - (before - after);
    const bool has_inner = iw > 0 && ih > 0;
    EllipseRows inner(il, it, has_inner ? iw : 1, has_inner ? ih : 1, 1);
    for (i64 y = pen.first_row(t - before), end = pen.end_row(b + after); y < end; ++y) {
        i64 lo, li, ri, ro, jlo, jli, jri, jro;
        if (!outer.row(y, lo, li, ri, ro)) continue;
        if (has_inner && inner.row(y, jlo, jli, jri, jro)) {
            pen.span(y, lo, jlo - 1);
            pen.span(y, jro + 1, ro);
        } else {
            pen.span(y, lo, ro);
        }
    }
    return true;
}

namespace {

void thick_or_thin(const Tools& tl, i64 x1, i64 y1, i64 x2, i64 y2) {
    const Painter pen{*tl.s, tl.pen_pixel};
    if (tl.width <= 1) thin_line(pen, x1, y1, x2, y2);
    else wide_segment(pen, x1, y1, x2, y2, tl.width);
}

}  // namespace

bool Polygon(HDC dc, const Point* points, int count) {
    Tools tl = tools_of(dc);
    if (!tl.s || !points || count < 2) return false;
    static thread_local std::vector<P64> pts;
    pts.assign(static_cast<size_t>(count), P64{0, 0});
    for (int i = 0; i < count; ++i) pts[static_cast<size_t>(i)] = P64{points[i].x, points[i].y};
    ++tl.s->generation;
    const size_t n = pts.size();
    if (tl.brush) fill_polygon(Painter{*tl.s, tl.brush_pixel}, pts.data(), n);
    if (!tl.pen) return true;
    for (size_t i = 0; i < n; ++i) {
        const P64& a = pts[i];
        const P64& b = pts[(i + 1) % n];
        thick_or_thin(tl, a.x, a.y, b.x, b.y);
    }
    return true;
}

bool MoveToEx(HDC dc, int x, int y, Point* previous) {
    if (!dc) return false;
    if (previous) *previous = dc->pos;
    dc->pos = Point{x, y};
    return true;
}

bool LineTo(HDC dc, int x, int y) {
    if (!dc) return false;
    Tools tl = tools_of(dc);
    const Point from = dc->pos;
    dc->pos = Point{x, y};
    if (!tl.s) return false;
    ++tl.s->generation;
    if (tl.pen) thick_or_thin(tl, from.x, from.y, x, y);
    return true;
}

}  // namespace px
