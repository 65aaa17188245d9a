// win32_native.h - the seam between the win32 backend's two halves. win32_native.cpp sees only
// Windows' headers, win32_backend.cpp only the layer's: both name windows, messages and menu
// flags alike, so neither may include the other's headers. Message numbers, key codes and
// menu flags pass through unchanged (the layer uses Windows' values).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace px {
namespace win32 {

struct NativeWindow;  // a real top-level window

// A client image as the layer holds it: 0x00RRGGBB pixels, rows in a ring starting at
// physical row row_offset.
struct ImageView {
    const uint32_t* pixels = nullptr;
    int width = 0, height = 0, row_offset = 0;
    uint32_t background = 0xFFFFFF;  // what the window shows beyond the image
};

// What the real windows report to the layer's side; owner is what create() was given.
struct Callbacks {
    void (*message)(void* owner, unsigned msg, uintptr_t wp, intptr_t lp);
    // A key went down or up (msg: WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN or WM_SYSKEYUP): its
    // key code, the byte it types (0 for none; with Control held, a letter itself), the
    // modifiers held, whether it is an auto-repeat, and whether it is the second key of a
    // pair with one code (right Shift, Control, Alt; keypad Enter).
    void (*key)(void* owner, unsigned msg, unsigned vk, unsigned char typed, bool control, bool shift, bool alt,
                bool repeat, bool second);
    // Part of the window was uncovered and has been repainted from image().
    void (*exposed)(void* owner);
    // The window's current image; false when it has none.
    bool (*image)(void* owner, ImageView* out);
    // The user gave the window a new client size (a sizing border or maximise); not called
    // when it is minimised.
    void (*resized)(void* owner, int client_width, int client_height);
};

// A menu as the layer holds it, one level per vector.
struct MenuEntry {
    unsigned flags = 0;  // MF_ flags
    uintptr_t id = 0;
    std::string text;
    std::vector<MenuEntry> popup;
};

bool start(const Callbacks& callbacks);
// The screen's dots per inch, once the process has declared itself DPI-aware (start()
// does, so Windows never stretches its windows); 96 when Windows reports none.
int screen_dpi();
// Every window shows each client pixel as a block of scale x scale (StretchDIBits, nearest);
// sizes and positions given here and reported back are client pixels. Set before create().
void set_scale(int scale);
int scale();
// frame: true for a window with a caption; resizable: with a sizing border and the
// minimize and maximize boxes. x, y place the outer frame; the client area gets the size.
NativeWindow* create(void* owner, const std::string& title, bool resizable, int x, int y, int client_width,
                     int client_height);
void destroy(NativeWindow* w);
void show(NativeWindow* w, bool visible);
// Replaces the menu bar (null: none), then fits the frame so the client area keeps its size.
// When only marks and states changed, the entries are updated where they are, so a menu the
// user holds open stays valid.
void set_menu(NativeWindow* w, const std::vector<MenuEntry>* bar, int client_width, int client_height);
// Puts the image on the screen: one copy of its pixels to the window.
void present(NativeWindow* w);
// Hands every pending message to its window; never blocks.
void pump();
// Blocks in Windows' message wait until input arrives or timeout_ms passes
// (negative: no limit), then pumps.
void wait(int64_t timeout_ms);
uint64_t now_ms();
void screen_size(int* width, int* height);
// For tests: Windows' handle of the window, and its client area's size.
uintptr_t handle(NativeWindow* w);
void client_size(NativeWindow* w, int* width, int* height);

}  // namespace win32
}  // namespace px
