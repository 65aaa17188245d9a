// backend.h - what a backend gives the window layer: a clock, a screen size, input turned
// into messages, and a display for windows and menus. The layer calls these; a backend
// never calls into the library's subsystems, and the subsystems ask a backend only what
// this interface offers. Chosen once, by PLOTX_BACKEND (headless, desktop; in a page the web backend).
//
// Checklist for a backend (one folder under backends/, see CONTRIBUTING.md):
//   [ ] now_ms           a monotonic clock in ms (virtual in headless)
//   [ ] screen_size      what GetSystemMetrics reports
//   [ ] poll             turns pending input into posted messages (post_input); never blocks
//   [ ] wait_until       blocks until input arrives or the deadline passes
//   [ ] window_created / window_shown / window_changed / window_destroyed
//                        keep the display in step with the layer's windows
//   [ ] menu_changed     redraw a window's menu bar from its px::Menu
//   [ ] capabilities     environment_playback
//   [ ] optional         log_line, canvas_drew / canvas_cleared (a text alternative of the
//                        program's output, for a display that offers one)
//   [ ] display_scale    blocks of s x s from display_scale_for(), positions posted in client pixels
//   [ ] an entry in the backend table (backend_table.cpp) and a backend.cmake in its folder
//   [ ] input            every message of the input contract below
//
// Input contract: what poll() posts with post_input, in arrival order, to the window the
// input belongs to. Positions are client pixels of that window, x in the low and y in the
// high word of lParam, each a signed 16-bit value (MAKELPARAM). The parameter helpers and
// MK_ and KEY_ names are in window_system.h, the VK_ names in key_codes.h.
//   WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN and their ...UP: every press and release
//       of the three buttons, a release also when the pointer has been dragged outside.
//       wParam: MK_LBUTTON / MK_MBUTTON / MK_RBUTTON for the buttons held after the event,
//       MK_SHIFT, MK_CONTROL, MK_ALT for the modifiers held.
//   WM_MOUSEMOVE: each position over the client area (the layer coalesces a run of moves
//       into the latest), positions outside it while a button is held, and one position
//       outside the client area when the pointer leaves it. wParam as for buttons.
//   WM_MOUSEWHEEL: wParam = wheel_wparam(MK_ bits, turn), the turn in WHEEL_DELTA units
//       per notch, positive away from the user (fractions of a notch may be sent); lParam
//       the pointer's client position. Horizontal wheels send nothing.
//   WM_KEYDOWN / WM_KEYUP: wParam the key code (VK_ names; letters and digits as their
//       upper-case characters; either Shift is VK_SHIFT, either Control VK_CONTROL); lParam
//       = key_lparam(typed, control, up, shift, alt, repeat): typed is the byte the key
//       types (0 for none; with Control held a letter gives the letter itself and other
//       keys 0), repeat is set on an auto-repeat down, second on the second key of a pair
//       with one code (right Shift, Control, Alt; keypad Enter). An auto-repeat is another
//       key-down of the same physical key with no up in between. Keys with no VK_ name here are
//       posted with their reference-system
//       code, VK_NO_CODE, or not at all; the library ignores codes it does not know.
//   WM_SYSKEYDOWN / WM_SYSKEYUP: Alt itself (VK_MENU) and keys pressed while Alt is held,
//       with the same parameters and typed 0. A backend may still let its menu bar see them.
//   WM_KILLFOCUS: the window lost the keyboard (the library then releases the keys it
//       believes held). WM_CLOSE: the close request. WM_COMMAND: a menu pick (wParam the id).
#pragma once
#include <cstdint>
#include <memory>
#include "window/window_system.h"

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
    // Where windows' client images are kept: memory the display reads without a copy, or
    // null for the heap. It must outlive every window (a backend that has one never frees it).
    virtual PixelStore* pixel_store() { return nullptr; }
    // The library opened (PLOTX_begin) or closed (PLOTX_end). What a backend takes over
    // from the process for a session (the quit signals) it takes here and gives back there,
    // so a program that goes on after PLOTX_end has it as before.
    virtual void session_started() {}
    virtual void session_ended() {}

    // What the program wrote and drew, in words, for a display that shows it in another form
    // than pixels (a screen reader's text): each line the log shown by `window` takes (without
    // its one trailing line feed), each shape drawn on the
    // canvas shown by `window` (shape and colour names as the log writes them; text only for
    // text) and each clearing of that canvas.
    virtual void log_line(HWND /*window*/, const char* /*text*/) {}
    virtual void canvas_drew(HWND /*window*/, const char* /*shape*/, const char* /*colour*/, const char* /*text*/) {}
    virtual void canvas_cleared(HWND /*window*/) {}

    // Capabilities.
    // What PLOTX_PLAYBACK=1 does at PLOTX_begin: nothing; replay the script and quit at its
    // end (a backend without a user to give input); or replay it and leave the program to
    // the user at its end (a page opened as a link to a recorded run).
    enum class EnvironmentPlayback { NONE, THEN_QUIT, THEN_USER };
    virtual EnvironmentPlayback environment_playback() const { return EnvironmentPlayback::NONE; }
    // The whole factor (1..4) each client pixel is shown at, chosen once at start with
    // display_scale_for(). Everything posted stays in client pixels; 1 where nothing scales.
    virtual int display_scale() const { return 1; }
};

constexpr int MAX_DISPLAY_SCALE = 4;
// The scale a display backend shows windows at, decided here for every backend:
// PLOTX_SCALE=1..4 when set, else desktop_scale (a factor the desktop states outright, 0
// for none), else the display's dots per inch (0 for unknown) rounded to the nearest whole
// multiple of 96, a half rounding up: 120 dpi (125 %) gives 1, 144 dpi (150 %) gives 2.
int display_scale_for(int desktop_scale, double dpi);

// The backend in use; created on first use from PLOTX_BACKEND. Exits the process with
// one line on standard error if no backend can run (no display and none chosen).
Backend& backend();
// Replaces the backend (tests install a headless one directly).
void set_backend(std::unique_ptr<Backend> b);
// Posts an input message in arrival order, as a backend does.
void post_input(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp);
// A backend whose display has gone calls display_lost() just before it ends the process;
// the library's hook keeps what must not be lost (the end of a recording) and must not
// touch the display.
void set_display_lost_hook(void (*hook)());
void display_lost();

// Makes the backend PLOTX_BACKEND names (or the default one), from the backend table in
// backend_table.cpp; exits the process with one line on standard error if it cannot run.
std::unique_ptr<Backend> choose_backend();
// The factories in the table; each returns null when its backend cannot run here.
std::unique_ptr<Backend> make_headless_backend();
std::unique_ptr<Backend> make_fltk_backend();
std::unique_ptr<Backend> make_win32_backend();
std::unique_ptr<Backend> make_web_backend();

}  // namespace px
