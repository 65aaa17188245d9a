// backend_table.cpp - the backend table: which backends this build has, and the choice among them
// by PLOTX_BACKEND. A backend folder's backend.cmake defines PLOTX_WITH_<FOLDER> when the
// folder is built; its entry here is the only other line it adds outside its folder.
#include "window/backend.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace px {
namespace {

struct BackendEntry {
    const char* name;  // what PLOTX_BACKEND says
    std::unique_ptr<Backend> (*make)();
};

const BackendEntry BACKENDS[] = {
    {"headless", make_headless_backend},
#ifdef PLOTX_WITH_FLTK
    {"desktop", make_fltk_backend},
#endif
#ifdef PLOTX_WITH_WIN32
    {"desktop", make_win32_backend},
#endif
#ifdef PLOTX_WITH_WEB
    {"web", make_web_backend},
#endif
};

// The backend a program gets without PLOTX_BACKEND: the page in a page's build, else the
// desktop where there is a display.
std::string default_backend() {
#ifdef _WIN32
    return "desktop";  // Windows always has a desktop to open windows on
#endif
#ifdef PLOTX_WITH_WEB
    return "web";
#endif
    const char* display = std::getenv("DISPLAY");
    if (display && *display) return "desktop";
    std::fprintf(stderr, "plotx: no display to open windows on; set DISPLAY, or PLOTX_BACKEND=headless to run without one\n");
    std::exit(2);
}

[[noreturn]] void desktop_cannot_start() {
    std::fprintf(stderr, "plotx: the desktop backend could not start (is DISPLAY set to a running X server?); PLOTX_BACKEND=headless runs without one\n");
    std::exit(2);
}

void (*display_lost_hook)() = nullptr;

}  // namespace

void set_display_lost_hook(void (*hook)()) { display_lost_hook = hook; }

void display_lost() {
    void (*hook)() = display_lost_hook;
    display_lost_hook = nullptr;  // once, even if the hook itself meets the lost display
    if (hook) hook();
}

int display_scale_for(int desktop_scale, double dpi) {
    auto clamp = [](long s) { return static_cast<int>(s < 1 ? 1 : s > MAX_DISPLAY_SCALE ? MAX_DISPLAY_SCALE : s); };
    const char* forced = std::getenv("PLOTX_SCALE");
    if (forced && *forced) {
        char* end = nullptr;
        long s = std::strtol(forced, &end, 10);
        if (*end == '\0' && s >= 1 && s <= MAX_DISPLAY_SCALE) return static_cast<int>(s);
        std::fprintf(stderr, "plotx: PLOTX_SCALE=\"%s\" is not a whole number from 1 to %d; ignored\n", forced,
                     MAX_DISPLAY_SCALE);
    }
    if (desktop_scale > 0) return clamp(desktop_scale);
    if (!(dpi > 0) || dpi > 96.0 * 100) return 1;  // unknown, or not a real screen's
    // The half-way factor (144 dpi) rounds up, so 150 % gets blocks rather than staying small.
    return clamp(static_cast<long>(std::floor(dpi / 96.0 + 0.5)));
}

std::unique_ptr<Backend> choose_backend() {
    const char* choice = std::getenv("PLOTX_BACKEND");
    std::string name = choice && *choice ? choice : default_backend();
    for (const BackendEntry& e : BACKENDS) {
        if (name != e.name) continue;
        std::unique_ptr<Backend> b = e.make();
        if (!b) desktop_cannot_start();  // only a display can be missing
        return b;
    }
    if (name == "desktop") {
        std::fprintf(stderr, "plotx: this library was built without the desktop backend (PLOTX_DESKTOP=OFF), so it "
                             "cannot open windows; PLOTX_BACKEND=headless runs without them\n");
        std::exit(2);
    }
    std::fprintf(stderr, "plotx: unknown PLOTX_BACKEND \"%s\"; use headless or desktop\n", name.c_str());
    std::exit(2);
}

}  // namespace px
