// presentation.cpp - the desktop backend's image presentation: a layer window's client
// image drawn into its FLTK view, by XPutImage of the pixels as they lie where the visual
// allows, else by FLTK's converting image drawing.
//
// Checklist:
//   [x] choose_image_path  the fastest path the display's visual takes
//   [x] show_image         the image, then the window background where the view is larger
//   [x] ClientView::draw   an expose asks the layer window for its paint
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>

#include "fltk_internal.h"

namespace px {
namespace fltk {
namespace {

// 0x00RRGGBB in 32 bits is what a 24-bit TrueColor visual takes as it is.
struct PutImagePath {
    bool direct = false;
    int byte_order = LSBFirst;
};
PutImagePath g_path;

void put_rows(const Bitmap& b, int vx, int vy, int width, int height) {
    if (width <= 0 || height <= 0) return;
    if (g_path.direct) {
        XImage* im = XCreateImage(fl_display, fl_visual->visual, 24, ZPixmap, 0,
                                  reinterpret_cast<char*>(const_cast<uint32_t*>(b.pixels.data())), b.width,
                                  b.height, 32, b.width * 4);
        if (!im) return;
        im->byte_order = g_path.byte_order;
        // The rows form a ring: logical row 0 is physical row row_offset. Two bands at most.
        int off = b.row_offset;
        int first = std::min(height, b.height - off);
        XPutImage(fl_display, fl_window, fl_gc, im, 0, off, vx, vy, static_cast<unsigned>(width),
                  static_cast<unsigned>(first));
        if (first < height)
            XPutImage(fl_display, fl_window, fl_gc, im, 0, 0, vx, vy + first, static_cast<unsigned>(width),
                      static_cast<unsigned>(height - first));
        im->data = nullptr;  // the pixels belong to the bitmap
        XDestroyImage(im);
        return;
    }
    fl_draw_image(
        [](void* data, int x, int y, int w, uchar* out) {
            const Bitmap* bm = static_cast<const Bitmap*>(data);
            const uint32_t* row = bm->row(y) + x;
            for (int i = 0; i < w; ++i) {
                out[3 * i] = static_cast<uchar>(row[i] >> 16);
                out[3 * i + 1] = static_cast<uchar>(row[i] >> 8);
                out[3 * i + 2] = static_cast<uchar>(row[i]);
            }
        },
        const_cast<Bitmap*>(&b), vx, vy, width, height, 3);
}

}  // namespace

void choose_image_path() {
    g_path.direct = false;
    const Visual* v = fl_visual ? fl_visual->visual : nullptr;
    if (!v || fl_visual->depth != 24 || v->red_mask != 0xFF0000 || v->green_mask != 0xFF00 || v->blue_mask != 0xFF)
        return;
    // The server must store depth-24 pixels in 32 bits for the pixels to go as they are.
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(fl_display, &count);
    for (int i = 0; i < count; ++i)
        if (formats[i].depth == 24 && formats[i].bits_per_pixel == 32) g_path.direct = true;
    if (formats) XFree(formats);
    const uint32_t one = 1;
    g_path.byte_order = *reinterpret_cast<const unsigned char*>(&one) == 1 ? LSBFirst : MSBFirst;
}

void show_image(Native* n) {
    ClientView* v = n->view;
    const Bitmap& b = n->hwnd->client;
    int w = std::min(v->w(), b.width), h = std::min(v->h(), b.height);
    put_rows(b, v->x(), v->y(), w, h);
    // Whatever the image does not cover shows the window background.
    if (w < v->w() || h < v->h()) {
        COLORREF bg = n->hwnd->background;
        fl_color(static_cast<uchar>(GetRValue(bg)), static_cast<uchar>(GetGValue(bg)),
                 static_cast<uchar>(GetBValue(bg)));
        if (w < v->w()) fl_rectf(v->x() + w, v->y(), v->w() - w, v->h());
        if (h < v->h()) fl_rectf(v->x(), v->y() + h, w, v->h() - h);
    }
}

void ClientView::draw() {
    if (!native_->hwnd) {
        fl_rectf(x(), y(), w(), h(), FL_WHITE);
        return;
    }
    // FLTK draws the view only when it was exposed, shown or resized: the window then
    // needs its paint as well, which is how the layer's windows learn they were uncovered.
    InvalidateRect(native_->hwnd, nullptr, true);
    show_image(native_);
}

}  // namespace fltk
}  // namespace px
