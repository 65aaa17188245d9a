// raster.h - pixel surfaces and the drawing services the library's subsystems call: device
// contexts, pens, brushes, fonts, shapes, text, block copies and scrolling.
// Semantics follow the reference system's drawing interface (right/bottom-exclusive boxes, lines
// that exclude their end pixel, alternate polygon fill). Windows and messages live in
// window_system.h; glyphs come from fonts.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <vector>

namespace px {

// Colour value as the reference system passes it around: 0x00BBGGRR.
using COLORREF = uint32_t;
constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) { return (r & 255) | ((g & 255) << 8) | ((b & 255) << 16); }
constexpr unsigned GetRValue(COLORREF c) { return c & 255; }
constexpr unsigned GetGValue(COLORREF c) { return (c >> 8) & 255; }
constexpr unsigned GetBValue(COLORREF c) { return (c >> 16) & 255; }

// Pixels are stored as 0x00RRGGBB (what X11 TrueColor visuals and most image writers
// take without conversion).
constexpr uint32_t to_pixel(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }
constexpr COLORREF from_pixel(uint32_t p) { return RGB((p >> 16) & 255, (p >> 8) & 255, p & 255); }

// Where a surface's pixels live. Surfaces use the heap; a backend may give a window's
// client image memory its display reads directly (window_system.h, Backend::pixel_store),
// so that presenting the image copies nothing more on this side.
class PixelStore {
public:
    virtual ~PixelStore() = default;
    virtual void* allocate(size_t bytes) = 0;
    virtual void release(void* pixels, size_t bytes) = 0;
};

template <class T>
struct PixelAllocator {
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    PixelStore* store = nullptr;  // null: the heap
    PixelAllocator() = default;
    explicit PixelAllocator(PixelStore* s) : store(s) {}
    template <class U>
    PixelAllocator(const PixelAllocator<U>& o) : store(o.store) {}
    T* allocate(size_t n) {
        return static_cast<T*>(store ? store->allocate(n * sizeof(T)) : ::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) {
        if (store) store->release(p, n * sizeof(T));
        else ::operator delete(p);
    }
    // A copy of a surface lives on the heap, whatever the original's store.
    PixelAllocator select_on_container_copy_construction() const { return PixelAllocator(); }
    template <class U>
    bool operator==(const PixelAllocator<U>& o) const { return store == o.store; }
    template <class U>
    bool operator!=(const PixelAllocator<U>& o) const { return store != o.store; }
};
using PixelVector = std::vector<uint32_t, PixelAllocator<uint32_t>>;

// A 32-bit surface. Rows form a ring: logical row y is stored at physical row
// (y + row_offset) mod height, so scrolling the whole surface vertically moves an offset
// instead of every pixel. Everything that touches pixels goes through row().
struct Bitmap {
    int width = 0, height = 0;
    int row_offset = 0;
    PixelVector pixels;
    uint64_t generation = 0;  // bumped by every change; presenters compare it
    Bitmap() = default;
    Bitmap(int w, int h, uint32_t fill = 0) { resize(w, h, fill); }
    void resize(int w, int h, uint32_t fill = 0) {
        width = w > 0 ? w : 0; height = h > 0 ? h : 0; row_offset = 0;
        pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), fill);
        ++generation;
    }
    uint32_t* row(int y) {
        int p = y + row_offset;
        if (p >= height) p -= height;
        return pixels.data() + static_cast<size_t>(p) * static_cast<size_t>(width);
    }
    const uint32_t* row(int y) const { return const_cast<Bitmap*>(this)->row(y); }
    uint32_t at(int x, int y) const { return row(y)[x]; }
    // A copy with the rows in logical order.
    std::vector<uint32_t> linear() const;
    // The w x h pixels from (x, y) as bytes in logical row order, R G B (3 bytes a pixel) or
    // R G B A with A 255 (4): what PNG files, pages and image drawing take. The one place
    // that undoes the ring for consumers of bytes.
    void copy_bytes(int x, int y, int w, int h, int bytes_per_pixel, uint8_t* out) const;
};

struct Point { int x, y; };
struct Size { int cx, cy; };
struct Rect { int left, top, right, bottom; };

struct TextMetrics {
    int tmHeight, tmAscent, tmDescent, tmInternalLeading, tmExternalLeading;
    int tmAveCharWidth, tmMaxCharWidth;
};

struct GdiObject;
struct DC;
using HGDIOBJ = GdiObject*;
using HPEN = GdiObject*;
using HBRUSH = GdiObject*;
using HFONT = GdiObject*;
using HBITMAP = GdiObject*;
using HDC = DC*;

// Pen styles, stock objects, background modes, raster operations.
enum { PS_SOLID = 0, PS_NULL = 5 };
enum StockObject { WHITE_BRUSH = 0, BLACK_BRUSH = 4, NULL_BRUSH = 5, WHITE_PEN = 6, BLACK_PEN = 7,
                   NULL_PEN = 8, ANSI_FIXED_FONT = 11, SYSTEM_FONT = 13 };
enum { TRANSPARENT = 1, OPAQUE = 2 };
constexpr uint32_t SRCCOPY = 0x00CC0020;
enum { FW_NORMAL = 400, ANSI_CHARSET = 0, OUT_DEFAULT_PRECIS = 0, CLIP_DEFAULT_PRECIS = 0,
       DEFAULT_QUALITY = 0, DEFAULT_PITCH = 0, FF_DONTCARE = 0 };

HPEN CreatePen(int style, int width, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);
HGDIOBJ GetStockObject(int which);
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight,
                  unsigned italic, unsigned underline, unsigned strike_out, unsigned charset,
                  unsigned out_precision, unsigned clip_precision, unsigned quality,
                  unsigned pitch_and_family, const char* face);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
HDC CreateCompatibleDC(HDC dc);
bool DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
bool DeleteObject(HGDIOBJ object);

// Shapes: outline with the selected pen, interior with the selected brush.
bool Rectangle(HDC dc, int left, int top, int right, int bottom);
bool Ellipse(HDC dc, int left, int top, int right, int bottom);
bool Polygon(HDC dc, const Point* points, int count);
bool MoveToEx(HDC dc, int x, int y, Point* previous);
bool LineTo(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
COLORREF GetPixel(HDC dc, int x, int y);

// Text.
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
bool TextOutA(HDC dc, int x, int y, const char* text, int count);
bool GetTextExtentPointA(HDC dc, const char* text, int count, Size* size);
bool GetTextMetricsA(HDC dc, TextMetrics* metrics);

// Block copy (SRCCOPY only) and scrolling of the whole surface (uncovered pixels keep
// whatever they held).
bool BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int src_x, int src_y, uint32_t rop);
bool ScrollDC(HDC dc, int dx, int dy);

// For tests and backends.
int live_gdi_objects();               // pens, brushes, fonts and bitmaps created and not deleted
Bitmap* dc_surface(HDC dc);           // the surface a DC draws into, or null
HDC create_surface_dc(Bitmap* surface);  // a DC drawing into a surface it does not own

}  // namespace px
