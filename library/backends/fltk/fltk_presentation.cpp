// fltk_presentation.cpp - the desktop backend's image presentation: a layer window's client
// image drawn into its FLTK view. Where the server offers the shared-memory image extension
// the client images live in segments the server reads (XShmPutImage: the image goes to the
// screen with no copy on this side); else XPutImage of the pixels as they lie where the
// visual allows; else FLTK's converting image drawing. At a display scale above 1 each
// pixel is shown as a block of scale x scale: the server enlarges it (Render's transform
// with the nearest filter) where it can, else it is enlarged here into a per-window image
// that takes the same paths (bench/desktop/measure.sh times both).
//
// Checklist:
//   [x] choose_image_path  the fastest path the display's visual and connection take
//   [x] pixel_store        client images in shared segments, the heap when none can be had
//   [x] show_image         the image, then the window background where the view is larger
//   [x] ClientView::draw   an expose asks the layer window for its paint, which shows it
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#ifdef PLOTX_WITH_XRENDER
#include <X11/extensions/Xrender.h>
#endif
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <map>
#include <vector>

#include "backends/fltk/fltk_internal.h"

namespace px {
namespace fltk {
namespace {

// 0x00RRGGBB in 32 bits is what a 24-bit TrueColor visual takes as it is.
struct PutImagePath {
    bool direct = false;
    int byte_order = LSBFirst;
};
PutImagePath g_path;
bool g_render = false;  // scaled images are enlarged by the server
int g_uploads = 0;  // images sent to the server, for the tests

// Client images in shared memory segments. A segment is marked for removal as soon as the
// server has attached it, so none outlives the process however it ends. A server that
// cannot attach (a remote display) turns the store to the heap for good.
class SharedPixels final : public PixelStore {
public:
    bool usable = false;

    void* allocate(size_t bytes) override {
        if (usable && bytes > 0) {
            if (void* p = attach(bytes)) return p;
            usable = false;
        }
        return ::operator new(bytes);
    }

    void release(void* p, size_t) override {
        auto it = segments_.find(p);
        if (it == segments_.end()) {
            ::operator delete(p);
            return;
        }
        // Puts queued before the detach still read the segment; the server handles them first.
        if (fl_display) XShmDetach(fl_display, &it->second);
        shmdt(it->second.shmaddr);
        segments_.erase(it);
    }

    XShmSegmentInfo* segment_of(const void* p) {
        auto it = segments_.find(p);
        return it == segments_.end() ? nullptr : &it->second;
    }

private:
    static int attach_failed_;
    static int note_failure(Display*, XErrorEvent*) {
        attach_failed_ = 1;
        return 0;
    }

    void* attach(size_t bytes) {
        XShmSegmentInfo info{};
        info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (info.shmid < 0) return nullptr;
        info.shmaddr = static_cast<char*>(shmat(info.shmid, nullptr, 0));
        if (info.shmaddr == reinterpret_cast<char*>(-1)) {
            shmctl(info.shmid, IPC_RMID, nullptr);
            return nullptr;
        }
        info.readOnly = True;
        XSync(fl_display, False);
        attach_failed_ = 0;
        XErrorHandler previous = XSetErrorHandler(note_failure);
        bool ok = XShmAttach(fl_display, &info) != 0;
        XSync(fl_display, False);
        XSetErrorHandler(previous);
        shmctl(info.shmid, IPC_RMID, nullptr);
        if (!ok || attach_failed_) {
            shmdt(info.shmaddr);
            return nullptr;
        }
        segments_[info.shmaddr] = info;
        return info.shmaddr;
    }

    std::map<const void*, XShmSegmentInfo> segments_;
};
int SharedPixels::attach_failed_ = 0;

// Never freed: windows may release their images after the backend has gone.
SharedPixels& shared_pixels() {
    static SharedPixels* store = new SharedPixels;
    return *store;
}

void put_rows(const Bitmap& b, Drawable to, int vx, int vy, int width, int height) {
    if (width <= 0 || height <= 0) return;
    // The rows form a ring: logical row 0 is physical row row_offset. Two bands at most.
    int off = b.row_offset;
    int first = std::min(height, b.height - off);
    if (XShmSegmentInfo* seg = g_path.direct ? shared_pixels().segment_of(b.pixels.data()) : nullptr) {
        XImage* im = XShmCreateImage(fl_display, fl_visual->visual, 24, ZPixmap, nullptr, seg,
                                     static_cast<unsigned>(b.width), static_cast<unsigned>(b.height));
        if (im && im->bytes_per_line == b.width * 4) {
            im->data = seg->shmaddr;
            XShmPutImage(fl_display, to, fl_gc, im, 0, off, vx, vy, static_cast<unsigned>(width),
                         static_cast<unsigned>(first), False);
            if (first < height)
                XShmPutImage(fl_display, to, fl_gc, im, 0, 0, vx, vy + first, static_cast<unsigned>(width),
                             static_cast<unsigned>(height - first), False);
            im->data = nullptr;
            XDestroyImage(im);
            ++g_uploads;
            return;
        }
        if (im) {
            im->data = nullptr;
            XDestroyImage(im);
        }
    }
    ++g_uploads;
    if (g_path.direct) {
        XImage* im = XCreateImage(fl_display, fl_visual->visual, 24, ZPixmap, 0,
                                  reinterpret_cast<char*>(const_cast<uint32_t*>(b.pixels.data())), b.width,
                                  b.height, 32, b.width * 4);
        if (!im) return;
        im->byte_order = g_path.byte_order;
        XPutImage(fl_display, to, fl_gc, im, 0, off, vx, vy, static_cast<unsigned>(width),
                  static_cast<unsigned>(first));
        if (first < height)
            XPutImage(fl_display, to, fl_gc, im, 0, 0, vx, vy + first, static_cast<unsigned>(width),
                      static_cast<unsigned>(height - first));
        im->data = nullptr;  // the pixels belong to the bitmap
        XDestroyImage(im);
        return;
    }
    fl_draw_image(
        [](void* data, int x, int y, int w, uchar* out) {
            static_cast<const Bitmap*>(data)->copy_bytes(x, y, w, 1, 3, out);
        },
        const_cast<Bitmap*>(&b), vx, vy, width, height, 3);
}

// The client image as scale x scale blocks (nearest neighbour), width x height of its
// pixels from the top left, at (vx, vy). Enlarged here, each source row once and its copies
// by memcpy, then sent as one image like an unscaled frame.
void put_scaled(Native* n, int vx, int vy, int width, int height, int scale) {
    if (width <= 0 || height <= 0) return;
    const Bitmap& b = n->hwnd->client;
    int sw = width * scale, sh = height * scale;
#ifdef PLOTX_WITH_XRENDER
    if (g_render) {
        // The image goes once at its own size to a pixmap; the server draws it enlarged into
        // the window, sampling the nearest pixel, so this side's cost does not grow with the
        // scale. The transform maps window to pixmap positions: (x, y) to (x/s, y/s).
        ScaledImage& img = n->scaled;
        XRenderPictFormat* format = XRenderFindVisualFormat(fl_display, fl_visual->visual);
        if (img.pixmap_w != b.width || img.pixmap_h != b.height) {
            if (img.picture) XRenderFreePicture(fl_display, img.picture);
            if (img.pixmap) XFreePixmap(fl_display, img.pixmap);
            img.pixmap = XCreatePixmap(fl_display, fl_window, static_cast<unsigned>(b.width),
                                       static_cast<unsigned>(b.height), 24);
            img.picture = XRenderCreatePicture(fl_display, img.pixmap, format, 0, nullptr);
            // An affine scale, which the server's fast nearest paths take (a projective w = s
            // falls to the general path, ten times slower in a software server). 1/3 is not
            // exact in 16.16 but stays within a block for images thousands of pixels wide.
            XFixed inverse = XDoubleToFixed(1.0 / scale);
            XTransform t{{{inverse, 0, 0}, {0, inverse, 0}, {0, 0, XDoubleToFixed(1)}}};
            XRenderSetPictureTransform(fl_display, img.picture, &t);
            XRenderSetPictureFilter(fl_display, img.picture, FilterNearest, nullptr, 0);
            img.pixmap_w = b.width;
            img.pixmap_h = b.height;
        }
        put_rows(b, img.pixmap, 0, 0, width, height);
        // FLTK may give the window a new X window after a hide; a picture per frame follows it.
        Picture window = XRenderCreatePicture(fl_display, fl_window, format, 0, nullptr);
        XRenderComposite(fl_display, PictOpSrc, img.picture, None, window, 0, 0, 0, 0, vx, vy,
                         static_cast<unsigned>(sw), static_cast<unsigned>(sh));
        XRenderFreePicture(fl_display, window);
        return;
    }
#endif
    if (!g_path.direct) {
        struct Source { const Bitmap* b; int scale; std::vector<uchar> row; } src{&b, scale, {}};
        src.row.resize(static_cast<size_t>(width) * 3);
        fl_draw_image(
            [](void* data, int x, int y, int w, uchar* out) {
                Source* s = static_cast<Source*>(data);
                int first = x / s->scale, last = (x + w - 1) / s->scale;
                s->b->copy_bytes(first, y / s->scale, last - first + 1, 1, 3, s->row.data());
                for (int i = 0; i < w; ++i) {
                    const uchar* p = &s->row[static_cast<size_t>((x + i) / s->scale - first) * 3];
                    out[i * 3] = p[0];
                    out[i * 3 + 1] = p[1];
                    out[i * 3 + 2] = p[2];
                }
            },
            &src, vx, vy, sw, sh, 3);
        ++g_uploads;
        return;
    }
    ScaledImage& img = n->scaled;
    size_t bytes = static_cast<size_t>(sw) * sh * 4;
    if (img.bytes != bytes) {
        if (img.pixels) shared_pixels().release(img.pixels, img.bytes);
        img.pixels = static_cast<uint32_t*>(shared_pixels().allocate(bytes));
        img.bytes = bytes;
    }
    for (int y = 0; y < height; ++y) {
        const uint32_t* from = b.row(y);
        uint32_t* to = img.pixels + static_cast<size_t>(y) * scale * sw;
        for (int x = 0; x < width; ++x) std::fill_n(to + x * scale, scale, from[x]);
        for (int k = 1; k < scale; ++k) std::copy_n(to, sw, to + static_cast<size_t>(k) * sw);
    }
    ++g_uploads;
    if (XShmSegmentInfo* seg = shared_pixels().segment_of(img.pixels)) {
        XImage* im = XShmCreateImage(fl_display, fl_visual->visual, 24, ZPixmap, nullptr, seg,
                                     static_cast<unsigned>(sw), static_cast<unsigned>(sh));
        if (im && im->bytes_per_line == sw * 4) {
            im->data = seg->shmaddr;
            XShmPutImage(fl_display, fl_window, fl_gc, im, 0, 0, vx, vy, static_cast<unsigned>(sw),
                         static_cast<unsigned>(sh), False);
            im->data = nullptr;
            XDestroyImage(im);
            return;
        }
        if (im) {
            im->data = nullptr;
            XDestroyImage(im);
        }
    }
    XImage* im = XCreateImage(fl_display, fl_visual->visual, 24, ZPixmap, 0, reinterpret_cast<char*>(img.pixels),
                              static_cast<unsigned>(sw), static_cast<unsigned>(sh), 32, sw * 4);
    if (!im) return;
    im->byte_order = g_path.byte_order;
    XPutImage(fl_display, fl_window, fl_gc, im, 0, 0, vx, vy, static_cast<unsigned>(sw), static_cast<unsigned>(sh));
    im->data = nullptr;  // the pixels belong to the scaled image
    XDestroyImage(im);
}

}  // namespace

ScaledImage::~ScaledImage() {
    if (pixels) shared_pixels().release(pixels, bytes);
#ifdef PLOTX_WITH_XRENDER
    if (fl_display && picture) XRenderFreePicture(fl_display, picture);
#endif
    if (fl_display && pixmap) XFreePixmap(fl_display, pixmap);
}

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
    // Shared images hold the pixels as they lie, so they need the direct path's visual and
    // the server's byte order to be ours.
    // Asked by name first: Xlib prints a warning when the version query finds no extension.
    int opcode = 0, event = 0, error = 0, major = 0, minor = 0;
    Bool pixmaps = False;
    shared_pixels().usable = g_path.direct && ImageByteOrder(fl_display) == g_path.byte_order &&
                             XQueryExtension(fl_display, "MIT-SHM", &opcode, &event, &error) &&
                             XShmQueryVersion(fl_display, &major, &minor, &pixmaps);
#ifdef PLOTX_WITH_XRENDER
    // The server enlarges scaled images when it has Render (0.6: transforms and filters) and
    // the pixels go to a pixmap as they lie.
    int render_event = 0, render_error = 0, render_major = 0, render_minor = 0;
    g_render = g_path.direct && XQueryExtension(fl_display, "RENDER", &opcode, &render_event, &render_error) &&
               XRenderQueryExtension(fl_display, &render_event, &render_error) &&
               XRenderQueryVersion(fl_display, &render_major, &render_minor) &&
               (render_major > 0 || render_minor >= 6) && XRenderFindVisualFormat(fl_display, fl_visual->visual);
#endif
}

PixelStore* pixel_store() { return &shared_pixels(); }

bool shared_images() { return shared_pixels().usable; }

int uploads() { return g_uploads; }

void show_image(Native* n) {
    ClientView* v = n->view;
    const Bitmap& b = n->hwnd->client;
    int s = scale();
    // Whole blocks only: a view a user made a few pixels larger shows background there.
    int w = std::min(v->w() / s, b.width), h = std::min(v->h() / s, b.height);
    if (s == 1) put_rows(b, fl_window, v->x(), v->y(), w, h);
    else put_scaled(n, v->x(), v->y(), w, h, s);
    w *= s;
    h *= s;
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
    // needs its paint, which is how the layer's windows learn they were uncovered. The
    // paint's image is what goes to the screen; sending the old one first would only
    // double the upload.
    native_->exposed = true;
    InvalidateRect(native_->hwnd, nullptr, true);
}

}  // namespace fltk
}  // namespace px
