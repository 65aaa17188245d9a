// fltk_windows.cpp - the desktop backend (FLTK on X11): every layer window becomes an FLTK
// window holding a menu bar and a view of its client image, created, shown, laid out and
// destroyed with it. Waiting blocks in Fl::wait, so an idle program sleeps in select() on
// the X connection.
//
// Checklist (the Backend interface):
//   [x] now_ms, screen_size       steady clock; FLTK's screen 0
//   [x] poll, wait_until          Fl::check, Fl::wait (not while an expose's paint is due)
//   [x] window_created / window_shown / window_changed / window_destroyed
//   [x] menu_changed              fltk_menus.cpp
//   [x] close requests            WM_CLOSE (Escape is not FLTK's close here)
//   [x] user resizing             sizable windows only; user_resized tells the layer
//   From PLOTX_begin to PLOTX_end SIGINT and SIGTERM quit as the close request does
//   (PLOTX_NO_SIGNAL_HANDLERS=1 leaves them alone), and a lost X connection lets the
//   library finish before the process ends.
//   Images go out in fltk_presentation.cpp, input comes in through fltk_input.cpp.
#include "backends/fltk/desktop.h"

#include <FL/x.H>
#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "host/files/files.h"
#include "backends/fltk/fltk_internal.h"

namespace px {
namespace fltk {
namespace {

int g_scale = 1;

// What the desktop asks for: GDK_SCALE when set, and the Xft.dpi resource (the one desktop
// settings write into the server's resource database), chosen between by display_scale_for.
int desktop_scale(Display* d) {
    const char* gdk = std::getenv("GDK_SCALE");
    int stated = gdk ? std::atoi(gdk) : 0;
    double dpi = 0;
    if (const char* resources = XResourceManagerString(d)) {
        XrmInitialize();
        XrmDatabase db = XrmGetStringDatabase(resources);
        char* type = nullptr;
        XrmValue value{};
        if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr)
            dpi = std::atof(value.addr);
        if (db) XrmDestroyDatabase(db);
    }
    return display_scale_for(stated, dpi);
}

void window_close_requested(Fl_Widget*, void* data) {
    // Escape reaching the window unhandled is FLTK's own close; the reference system has none.
    if (Fl::event() == FL_SHORTCUT) return;
    Native* n = static_cast<Native*>(data);
    if (n->hwnd) post_input(n->hwnd, WM_CLOSE, 0, 0);
}

// Smallest client area a user can shrink a sizable window to.
constexpr int MIN_CLIENT_W = 120, MIN_CLIENT_H = 40;

bool sizable(HWND h) { return (h->style & WS_THICKFRAME) != 0; }

// Puts the bar and the view in a window of the given size: the bar across the top when
// the window has a menu, the view below it.
void place_children(Native* n, int w, int h) {
    int bar = n->hwnd && n->hwnd->menu ? bar_height() : 0;
    if (bar) {
        n->bar->resize(0, 0, w, bar);
        n->bar->show();
    } else {
        n->bar->hide();
    }
    n->view->resize(0, bar, w, std::max(1, h - bar));
}

// The top-level window. A size given by the user (through the window manager) goes to the
// layer, which resizes the client image and has the window repainted.
class FrameWindow : public Fl_Window {
public:
    FrameWindow(int x, int y, int w, int h) : Fl_Window(x, y, w, h) {}
    Native* native = nullptr;
    void resize(int x, int y, int w, int h) override {
        bool resized = w != this->w() || h != this->h();
        Fl_Window::resize(x, y, w, h);
        if (!resized || !native || !native->hwnd) return;
        place_children(native, w, h);
        init_sizes();
        HWND hwnd = native->hwnd;
        int cw = native->view->w() / g_scale, ch = native->view->h() / g_scale;
        if (cw != hwnd->client.width || ch != hwnd->client.height) user_resized(hwnd, cw, ch);
    }
};

// Sizes the FLTK window so that the view is exactly the layer's client area, below the
// menu bar when the window has a menu (both scale times the layer's sizes). A sizable
// window may be resized from there on.
void lay_out(Native* n) {
    HWND h = n->hwnd;
    int cw = std::max(1, h->client.width) * g_scale, ch = std::max(1, h->client.height) * g_scale;
    int bar = h->menu ? bar_height() : 0;
    if (cw == n->laid_w && ch == n->laid_h && bar == n->laid_bar) return;
    n->laid_w = cw;
    n->laid_h = ch;
    n->laid_bar = bar;
    if (n->win->w() != cw || n->win->h() != bar + ch) n->win->size(cw, bar + ch);
    place_children(n, cw, bar + ch);
    n->win->init_sizes();
    if (sizable(h)) n->win->size_range(MIN_CLIENT_W * g_scale, bar + MIN_CLIENT_H * g_scale, 0, 0);
    else n->win->size_range(cw, bar + ch, cw, bar + ch);
}

}  // namespace

int scale() { return g_scale; }
int bar_height() { return BAR_HEIGHT * g_scale; }

namespace {

Native* native_of(HWND h) { return h ? static_cast<Native*>(h->native) : nullptr; }

// A quit signal: the program gets its quit, as from closing the graphics window, and ends
// through PLOTX_end.
void quit_signal_ready(FL_SOCKET, void*) {
    if (sys::take_quit_signal()) PostQuitMessage(0);
}

void catch_quit_signals() {
    const char* off = std::getenv("PLOTX_NO_SIGNAL_HANDLERS");
    if (off && std::strcmp(off, "1") == 0) return;
    static bool watching = false;  // the descriptor is the same in every session
    int fd = sys::catch_quit_signals();
    if (fd >= 0 && !watching) {
        Fl::add_fd(fd, FL_READ, quit_signal_ready);
        watching = true;
    }
}

// Xlib ends the process when this returns; the library finishes first. Anything it does
// that meets the display again comes back here, and then ends at once.
int x_connection_lost(Display*) {
    static bool ending = false;
    if (!ending) {
        ending = true;
        display_lost();
    }
    std::fprintf(stderr, "plotx: lost the connection to the X server; ending\n");
    std::fflush(nullptr);
    std::_Exit(1);
}

class Desktop;
Desktop* g_desktop = nullptr;

class Desktop final : public Backend {
public:
    Desktop() : start_(std::chrono::steady_clock::now()) {
        g_desktop = this;
        g_scale = desktop_scale(fl_display);
        install_entry_label();
        choose_image_path();
    }
    ~Desktop() override {
        for (auto& n : natives_) {
            if (n->win) delete n->win;
            n->win = nullptr;
        }
        if (g_desktop == this) g_desktop = nullptr;
    }
    const char* name() const override { return "desktop"; }
    uint64_t now_ms() override { return static_cast<uint64_t>(elapsed_ms()); }
    void screen_size(int* w, int* h) override {
        int x = 0, y = 0;
        Fl::screen_xywh(x, y, *w, *h, 0);
        // The layer places and sizes windows in its own pixels, scale times smaller.
        *w /= g_scale;
        *h /= g_scale;
    }
    void poll() override { Fl::check(); }
    void wait_until(uint64_t deadline) override {
        // FLTK draws what events damaged when a wait begins; an exposed view asks for its
        // paint there, which must not then sleep until the next event. The flush also sends
        // whatever was queued for the server.
        Fl::flush();
        for (HWND w : all_windows())
            if (IsWindowVisible(w) && w->needs_paint) return;
        if (deadline == NO_DEADLINE) {
            Fl::wait(1e20);  // FLTK's "forever": until an event arrives
            return;
        }
        double left = static_cast<double>(deadline) - elapsed_ms();
        if (left <= 0) {
            Fl::check();
            return;
        }
        Fl::wait(left / 1000.0);
    }

    void window_created(HWND h) override {
        auto n = std::make_unique<Native>();
        n->hwnd = h;
        Fl_Group* saved = Fl_Group::current();
        Fl_Group::current(nullptr);
        auto* win = new FrameWindow(h->x, h->y, std::max(1, h->width), std::max(1, h->height));
        n->win = win;
        n->win->box(FL_NO_BOX);  // the bar and the view cover it; no gray flash on expose
        n->bar = new MenuBar(0, 0, n->win->w(), bar_height());
        n->bar->textsize(FL_NORMAL_SIZE * g_scale);
        n->bar->user_data(n.get());
        n->bar->hide();
        n->view = new ClientView(n.get(), 0, 0, n->win->w(), n->win->h());
        n->win->end();
        Fl_Group::current(saved);
        n->win->copy_label(h->title.c_str());
        n->win->xclass("plotx");
        n->win->callback(window_close_requested, n.get());
        win->native = n.get();
        h->native = n.get();
        natives_.push_back(std::move(n));
    }

    void window_shown(HWND h, bool show) override {
        Native* n = native_of(h);
        if (!n) return;
        if (!show) {
            n->win->hide();
            n->exposed = false;
            return;
        }
        lay_out(n);
        n->win->position(h->x * g_scale, h->y * g_scale);
        n->win->show();
        // FLTK nudges a bordered window at the screen's edge inward to keep a title bar it
        // assumes on screen; ask for the layer's place itself (a window manager may still
        // place the frame as it likes).
        XMoveWindow(fl_display, fl_xid(n->win), h->x * g_scale, h->y * g_scale);
        // Without a window manager keys go to the window under the pointer; within FLTK
        // they go to the focus widget, which is the view of the last window shown.
        n->view->take_focus();
    }

    void window_changed(HWND h) override {
        Native* n = native_of(h);
        // Until its first expose a window shows nothing sent to it, and while a paint is due
        // the image is about to change: the paint's own image goes when it ends.
        if (!n || !n->win->shown() || !n->win->visible() || !n->exposed || h->needs_paint) return;
        lay_out(n);
        n->win->make_current();
        show_image(n);
        XFlush(fl_display);
    }

    void window_destroyed(HWND h) override {
        Native* n = native_of(h);
        if (!n) return;
        n->hwnd = nullptr;
        h->native = nullptr;
        delete n->win;  // never inside an FLTK callback: the layer destroys from its dispatch
        n->win = nullptr;
        natives_.erase(std::remove_if(natives_.begin(), natives_.end(),
                                      [&](const std::unique_ptr<Native>& p) { return p.get() == n; }),
                       natives_.end());
    }

    PixelStore* pixel_store() override { return fltk::pixel_store(); }
    int display_scale() const override { return g_scale; }

    void session_started() override { catch_quit_signals(); }
    void session_ended() override { sys::release_quit_signals(); }

    void menu_changed(HWND h) override {
        Native* n = native_of(h);
        if (!n) return;
        sync_menu(n);
        if (h->client.width || h->client.height) lay_out(n);
    }

private:
    double elapsed_ms() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    }

    std::chrono::steady_clock::time_point start_;
    std::vector<std::unique_ptr<Native>> natives_;
};

}  // namespace
}  // namespace fltk

namespace desktop {
using fltk::g_desktop;
using fltk::native_of;
using fltk::Native;

bool active() { return g_desktop && &backend() == g_desktop; }

void sync() {
    if (fl_display) XSync(fl_display, False);
}

bool shared_images() { return active() && fltk::shared_images(); }

int uploads() { return fltk::uploads(); }

int client_top(HWND hwnd) {
    Native* n = active() ? native_of(hwnd) : nullptr;
    if (!n) return -1;
    return n->view->y();
}

}  // namespace desktop

std::unique_ptr<Backend> make_fltk_backend() {
    // Checked here so that a missing X server ends in the layer's one-line message rather
    // than in FLTK's own fatal error.
    Display* d = XOpenDisplay(nullptr);
    if (!d) return nullptr;
    fl_open_display(d);
    XSetIOErrorHandler(fltk::x_connection_lost);
    return std::make_unique<fltk::Desktop>();
}

}  // namespace px
