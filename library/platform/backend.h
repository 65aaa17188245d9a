// backend.h - what a backend gives the window layer: a clock, a screen size, input turned
// into messages, and a display for windows and menus. The layer calls these; a backend
// never calls into the library's subsystems. Chosen once, by PLOTX_BACKEND (headless, desktop).
//
// Checklist for a backend:
//   [x] now_ms           a monotonic clock in ms (virtual in headless)
//   [x] screen_size      what GetSystemMetrics reports
//   [x] poll             turns pending input into posted messages; never blocks
//   [x] wait_until       blocks until input arrives or the deadline passes
//   [x] window_created / window_changed / window_destroyed   keep the display in step
//   [x] menu_changed     redraw a window's menu bar
#pragma once
#include <cstdint>
#include <memory>
#include "window_system.h"

namespace px {

constexpr uint64_t NO_DEADLINE = UINT64_MAX;

class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    virtual uint64_t now_ms() = 0;
    virtual void screen_size(int* width, int* height) = 0;
    // Post input that has arrived (PostMessageA / post_input); must not block.
    virtual void poll() = 0;
    // Block until input may have arrived or the clock reaches deadline; whatever
    // window_changed queued for the display must have left before it blocks. Returns at once
    // if deadline is NO_DEADLINE and no input can ever arrive (a headless run with
    // nothing scheduled), so a caller can never hang on a test.
    virtual void wait_until(uint64_t deadline) = 0;
    virtual void window_created(HWND) {}
    virtual void window_shown(HWND, bool) {}
    // The window's client image changed (its generation moved) and should be shown.
    virtual void window_changed(HWND) {}
    virtual void window_destroyed(HWND) {}
    virtual void menu_changed(HWND) {}
};

// The backend in use; created on first use from PLOTX_BACKEND. Exits the process with
// one line on standard error if no backend can run (no display and none chosen).
Backend& backend();
// Replaces the backend (tests install a headless one directly).
void set_backend(std::unique_ptr<Backend> b);
// Posts an input message in arrival order, as a backend does.
void post_input(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp);
// The backends this build has; backend() picks one of them by name.
std::unique_ptr<Backend> make_headless_backend();
std::unique_ptr<Backend> make_desktop_backend();  // null when built without one

}  // namespace px
