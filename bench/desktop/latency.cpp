// latency.cpp - what a user of the demo waits for, timed from outside as the X server sees
// it: a press of the panel's "New Color" until the recoloured cars are on the screen, and
// a start of a program until its first frame is. Input goes in through XTest; the screen
// is read back with XGetImage in a tight loop, so a figure is good to a poll (~0.1 ms).
//   plotx-desktop-latency clicks N halted|animating   (the demo already running)
//   plotx-desktop-latency start N program [args]      (starts the program N times)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../../demo/demo.h"
#include "window/window_system.h"
#include "state.h"

namespace {

Display* dpy = nullptr;

double now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void pause_ms(double ms) { std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long>(ms * 1000))); }

// The mapped top-level window with this title, or None.
::Window find_titled(::Window w, const char* title) {
    char* name = nullptr;
    if (XFetchName(dpy, w, &name) && name) {
        bool match = std::strcmp(name, title) == 0;
        XFree(name);
        XWindowAttributes a;
        if (match && XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable) return w;
    }
    ::Window root, parent, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &kids, &n)) return None;
    ::Window found = None;
    for (unsigned i = 0; i < n && found == None; ++i) found = find_titled(kids[i], title);
    if (kids) XFree(kids);
    return found;
}

// Where the graphics window's canvas lies on the screen: the view is the bottom of the
// window, below the menu bar, and holds the client area.
struct Canvas {
    ::Window win = None;
    int root_x = 0, root_y = 0;  // the client area's top-left on the screen
    int origin_x = 0, origin_y = 0;
    int to_x(int cx) const { return origin_x + cx; }
    int to_y(int cy) const { return origin_y - cy; }
};

bool locate(Canvas* c) {
    c->win = find_titled(DefaultRootWindow(dpy), "PLOTX Graphics");
    if (c->win == None) return false;
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, c->win, &a)) return false;
    px::Rect client = px::client_rect_for(px::WS_CAPTION | px::WS_SYSMENU, true, CANVAS_WIDTH, CANVAS_HEIGHT);
    int cw = client.right, ch = client.bottom;
    ::Window child;
    XTranslateCoordinates(dpy, c->win, DefaultRootWindow(dpy), 0, a.height - ch, &c->root_x, &c->root_y, &child);
    c->origin_x = cw / 2;
    c->origin_y = ch / 2;
    return true;
}

// Colour counts of a band of the screen. The road holds a few dozen colours at most, so a
// short list searched from the last hit is quicker than any map.
using Histogram = std::vector<std::pair<uint32_t, int>>;
Histogram band(const Canvas& c, int left, int top, int right, int bottom) {
    Histogram h;
    int x = c.root_x + c.to_x(left), y = c.root_y + c.to_y(top);
    XImage* im = XGetImage(dpy, DefaultRootWindow(dpy), x, y, static_cast<unsigned>(right - left),
                           static_cast<unsigned>(top - bottom), AllPlanes, ZPixmap);
    if (!im) return h;
    size_t last = 0;
    for (int j = 0; j < im->height; ++j) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(im->data + j * im->bytes_per_line);
        for (int i = 0; i < im->width; ++i) {
            uint32_t p = im->bits_per_pixel == 32 ? row[i] & 0xFFFFFF : static_cast<uint32_t>(XGetPixel(im, i, j));
            if (last < h.size() && h[last].first == p) { ++h[last].second; continue; }
            last = 0;
            while (last < h.size() && h[last].first != p) ++last;
            if (last == h.size()) h.emplace_back(p, 0);
            ++h[last].second;
        }
    }
    XDestroyImage(im);
    return h;
}

int count_of(const Histogram& h, uint32_t colour) {
    for (const auto& e : h)
        if (e.first == colour) return e.second;
    return 0;
}

int distance(const Histogram& a, const Histogram& b) {
    int d = 0;
    for (const auto& e : a) d += std::abs(e.second - count_of(b, e.first));
    for (const auto& e : b)
        if (count_of(a, e.first) == 0) d += e.second;
    return d;
}

// The road with the cars on it. Cars moving by a tick change the counts only where they
// cross the band's ends; a recolour moves hundreds of pixels from one colour to another.
constexpr int BAND_LEFT = VISIBLE_LEFT, BAND_RIGHT = VISIBLE_RIGHT, BAND_TOP = ROAD_Y + 30, BAND_BOTTOM = ROAD_Y - 12;
constexpr int RECOLOURED = 300;

Histogram road(const Canvas& c) { return band(c, BAND_LEFT, BAND_TOP, BAND_RIGHT, BAND_BOTTOM); }

void key(KeySym sym, bool down) {
    XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, sym), down ? True : False, CurrentTime);
}

void control_letter(KeySym letter) {
    key(XK_Control_L, true);
    key(letter, true);
    key(letter, false);
    key(XK_Control_L, false);
    XFlush(dpy);
}

void report(const char* what, std::vector<double> t, int misses) {
    std::sort(t.begin(), t.end());
    double median = t.empty() ? 0 : (t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2);
    std::printf("%s n %zu median_ms %.2f best_ms %.2f worst_ms %.2f misses %d\n", what, t.size(), median,
                t.empty() ? 0 : t.front(), t.empty() ? 0 : t.back(), misses);
}

// Presses and releases the button under the pointer; the time until the road band shows
// a recolour, or -1 if none shows within a second.
double press_and_watch(const Canvas& c) {
    Histogram before = road(c);
    double t0 = now_ms();
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XFlush(dpy);
    double t = 0;
    while ((t = now_ms() - t0) < 1000)
        if (distance(before, road(c)) >= RECOLOURED) return t;
    return -1;
}

int clicks(int presses, bool halted) {
    Canvas c;
    for (int i = 0; i < 100 && !locate(&c); ++i) pause_ms(100);
    if (c.win == None) { std::fprintf(stderr, "no PLOTX Graphics window\n"); return 1; }
    int bx = c.root_x + c.to_x((PANEL_LEFT + PANEL_RIGHT) / 2);
    int by = c.root_y + c.to_y(PANEL_TOP - 5 * BUTTON_HEIGHT - BUTTON_HEIGHT / 2);
    XTestFakeMotionEvent(dpy, -1, bx, by, CurrentTime);
    XFlush(dpy);
    // Keys go to the window under the pointer. Run the demo until a press recolours a car
    // on the screen (at first the road may be empty), then stop it if asked.
    bool ready = false;
    for (int tries = 0; tries < 30 && !ready; ++tries) {
        control_letter(XK_a);
        pause_ms(1000);
        if (halted) control_letter(XK_h);
        pause_ms(200);
        ready = press_and_watch(c) >= 0;
    }
    if (!ready) { std::fprintf(stderr, "no car on the road was recoloured\n"); return 1; }
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> phase(0, 100);
    std::vector<double> times;
    int misses = 0;
    for (int i = 0; i < presses; ++i) {
        pause_ms(50 + phase(rng));  // lands anywhere in the 100 ms tick
        double t = press_and_watch(c);
        if (t >= 0) times.push_back(t);
        else ++misses;
    }
    report(halted ? "clicks_halted" : "clicks_animating", times, misses);
    return 0;
}

int starts(int runs, char** argv) {
    std::vector<double> times;
    int misses = 0;
    uint32_t sky = px::to_pixel(plotx::palette_rgb[ICE_BLUE]);
    for (int i = 0; i < runs; ++i) {
        double t0 = now_ms();
        pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[0], argv);
            _exit(127);
        }
        bool seen = false;
        double t = 0;
        Canvas c;
        while (!seen && (t = now_ms() - t0) < 5000) {
            if (c.win == None && !locate(&c)) continue;
            // The sky's top-left corner: the first frame puts it there.
            XImage* im = XGetImage(dpy, DefaultRootWindow(dpy), c.root_x + c.to_x(-290), c.root_y + c.to_y(240), 1, 1,
                                   AllPlanes, ZPixmap);
            if (!im) { c.win = None; continue; }
            seen = (XGetPixel(im, 0, 0) & 0xFFFFFF) == sky;
            XDestroyImage(im);
        }
        if (seen) times.push_back(t);
        else ++misses;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        // Until the window is gone, a later run could find this one's.
        for (int k = 0; k < 100 && find_titled(DefaultRootWindow(dpy), "PLOTX Graphics") != None; ++k) pause_ms(20);
    }
    report("start_to_first_frame", times, misses);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s clicks N halted|animating | start N program [args]\n", argv[0]);
        return 2;
    }
    dpy = XOpenDisplay(nullptr);
    if (!dpy) { std::fprintf(stderr, "no display\n"); return 1; }
    // A read of a window that is going away fails; the loops retry rather than end.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    int n = std::max(1, std::atoi(argv[2]));
    if (std::strcmp(argv[1], "clicks") == 0 && argc >= 4) return clicks(n, std::strcmp(argv[3], "halted") == 0);
    if (std::strcmp(argv[1], "start") == 0 && argc >= 4) return starts(n, argv + 3);
    std::fprintf(stderr, "unknown mode %s\n", argv[1]);
    return 2;
}
