// backend.h - what a backend gives the window layer: a clock, a screen size, input turned
// into messages, and a display for windows and menus. The layer calls these; a backend
// never calls into the library's subsystems, and the subsystems ask a backend only what
// this interface offers. Chosen once, by PLOTX_BACKEND (headless, desktop).
//
// Checklist for a backend (one folder under platform/, see CONTRIBUTING.md):
//   [ ] now_ms           a monotonic clock in ms (virtual in headless)
//   [ ] screen_size      what GetSystemMetrics reports
//   [ ] poll             turns pending input into posted messages (post_input); never blocks
//   [ ] wait_until       blocks until input arrives or the deadline passes
//   [ ] window_created / window_shown / window_changed / window_destroyed
//                        keep the display in step with the layer's windows
//   [ ] menu_changed     redraw a window's menu bar from its px::Menu
//   [ ] capabilities     replays_from_environment
//   [ ] an entry in the backend table (backend.cpp) and a backend.cmake in its folder
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

    // Capabilities.
    // True when PLOTX_PLAYBACK=1 makes a program replay its script at PLOTX_begin and quit
    // at the script's end (a backend without a user to give input).
    virtual bool replays_from_environment() const { return false; }
};

// The backend in use; created on first use from PLOTX_BACKEND. Exits the process with
// one line on standard error if no backend can run (no display and none chosen).
Backend& backend();
// Replaces the backend (tests install a headless one directly).
void set_backend(std::unique_ptr<Backend> b);
// Posts an input message in arrival order, as a backend does.
void post_input(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp);

// Makes the backend PLOTX_BACKEND names (or the default one), from the backend table in
// backend.cpp; exits the process with one line on standard error if it cannot run.
std::unique_ptr<Backend> choose_backend();
// The factories in the table; each returns null when its backend cannot run here.
std::unique_ptr<Backend> make_headless_backend();
std::unique_ptr<Backend> make_fltk_backend();

}  // namespace px
