// headless.h - the in-memory backend: windows that exist only as images, a virtual clock,
// and input that tests schedule at virtual times. Used by the tests, by CI and by
// headless replays (PLOTX_BACKEND=headless).
//
// The clock moves only when a test advances it or when the program waits with nothing to
// do; then it jumps to the next timer or scheduled input. A program that waits with
// nothing scheduled for longer than the idle limit receives a quit, so no headless run
// can hang.
#pragma once
#include <cstdint>
#include "window/backend.h"

namespace px {
namespace headless {

// Installs a fresh headless backend (clock at 0, no input) in place of the current one.
void install(int screen_width = 1024, int screen_height = 768);
bool active();
void set_screen_size(int width, int height);
uint64_t now();
void advance(uint64_t ms);  // moves the clock; timers fall due, nothing is dispatched
// Virtual ms without input after which a waiting program gets a quit; 0 turns it off.
void set_idle_limit(uint64_t ms);
// When non-zero, a wait moves the clock by at most this many ms at a time, as a program
// that polls sees it pass; 0 (the default) jumps straight to the next timer or input.
void set_poll_step(uint64_t ms);
// What PLOTX_PLAYBACK=1 does (replay, then quit, by default): a test stands in for a display
// whose user takes over at the script's end.
void set_environment_playback(Backend::EnvironmentPlayback mode);

// Input, delivered when the clock reaches `at` (now if at is in the past). Coordinates
// are client pixels of the window.
constexpr uint64_t NOW = 0;
// Input for FIRST_WINDOW goes to the first window alive when it is delivered: for a
// program that opens its windows after its input was scheduled.
constexpr HWND FIRST_WINDOW = nullptr;
void click(HWND hwnd, int client_x, int client_y, uint64_t at = NOW);
// The other buttons, motion and the wheel, as the backend contract in backend.h has
// them: button 1 left, 2 middle, 3 right; a wheel turn in notches (positive away from the
// user) or, with wheel_delta, in WHEEL_DELTA units. Modifier bits follow the Shift, Control
// and Alt keys' own downs and ups; held buttons follow presses and releases.
void press(HWND hwnd, int button, int client_x, int client_y, uint64_t at = NOW);
void release(HWND hwnd, int button, int client_x, int client_y, uint64_t at = NOW);
void move(HWND hwnd, int client_x, int client_y, uint64_t at = NOW);
void wheel(HWND hwnd, int client_x, int client_y, int notches, uint64_t at = NOW);
void wheel_delta(HWND hwnd, int client_x, int client_y, int delta, uint64_t at = NOW);
// A key going down: its key code, the byte it types (0 for none). Control state is
// tracked from VK_CONTROL's own downs and ups. A key already down goes down again as an
// auto-repeat; Alt and keys pressed while it is down are system keys. A key code with
// SECOND_KEY added is the second key of a pair (the right-hand Shift, Control or Alt): a
// modifier is held while either of its keys is down.
constexpr unsigned SECOND_KEY = 0x100;
void key_down(HWND hwnd, unsigned vk, unsigned char typed = 0, uint64_t at = NOW);
void key_up(HWND hwnd, unsigned vk, uint64_t at = NOW);
// A key released while no library window has the focus: the keyboard's state changes,
// no message arrives.
void release_elsewhere(unsigned vk);
// Down and up of the key that types c (letters by their upper-case code).
void type_char(HWND hwnd, char c, uint64_t at = NOW);
// Control down, the letter's key down and up, Control up.
void control_key(HWND hwnd, char letter, uint64_t at = NOW);
void close(HWND hwnd, uint64_t at = NOW);   // the title bar's close request
void focus_lost(HWND hwnd, uint64_t at = NOW);
void expose(HWND hwnd, uint64_t at = NOW);  // the window was covered and uncovered
// Chooses the menu entry with this identifier, as a mouse pick would: false (and nothing
// posted) when no such enabled entry exists.
bool choose_menu(HWND hwnd, unsigned id, uint64_t at = NOW);
// Input scheduled and not yet delivered.
int pending_input();
// Waits that began while some window's image had changed since the backend last heard
// of it (window_changed): on a display, a picture that reaches the screen late.
int blocks_with_unshown_images();

}  // namespace headless
}  // namespace px
