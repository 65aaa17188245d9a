// window_system.h - the window services the library's subsystems call: window classes and
// windows, the message queue (post, peek, translate, dispatch, default handling, quit),
// timers, device contexts of windows, paint, menus, system metrics and moveable memory.
// It keeps the reference system's rules (retrieval order, one timer message per due timer,
// character messages from translated key-downs) and leaves input, clock and display to
// the backend chosen at run time (backend.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include "window/key_codes.h"
#include "render/raster.h"

namespace px {

struct Window;
struct Menu;
using HWND = Window*;
using HMENU = Menu*;
using HINSTANCE = void*;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using WNDPROC = LRESULT (*)(HWND, unsigned, WPARAM, LPARAM);

enum : unsigned {
    WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_SIZE = 0x0005, WM_KILLFOCUS = 0x0008,
    WM_PAINT = 0x000F, WM_CLOSE = 0x0010, WM_QUIT = 0x0012, WM_ERASEBKGND = 0x0014, WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101, WM_CHAR = 0x0102, WM_SYSKEYDOWN = 0x0104, WM_SYSKEYUP = 0x0105,
    WM_COMMAND = 0x0111, WM_TIMER = 0x0113, WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202, WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205, WM_MBUTTONDOWN = 0x0207,
    WM_MBUTTONUP = 0x0208, WM_MOUSEWHEEL = 0x020A
};


// Key message parameters. wParam is the key code. lParam: bits 0-15 repeat count,
// bits 16-23 the byte the key types (0 if it types nothing; this layer carries it where
// the reference system carries a scan code, so a posted copy of the message still translates),
// bit 24 set when Control was held as the key went down, bit 25 Shift held, bit 29 Alt
// held, bit 30 the key was already down (auto-repeat), bit 31 set on key-up. Bit 26 (this
// layer's) marks the second of two keys with one key code: the right-hand Shift, Control
// or Alt, the keypad's Enter; the two are separate keys, each down until its own up.
constexpr uint32_t KEY_CONTROL_HELD = 1u << 24, KEY_SHIFT_HELD = 1u << 25, KEY_SECOND = 1u << 26,
                   KEY_ALT_HELD = 1u << 29, KEY_WAS_DOWN = 1u << 30, KEY_UP_BIT = 1u << 31;
constexpr LPARAM key_lparam(unsigned char typed, bool control, bool up, bool shift = false, bool alt = false,
                            bool repeat = false, bool second = false) {
    return static_cast<LPARAM>(1u | (static_cast<uint32_t>(typed) << 16) | (control ? KEY_CONTROL_HELD : 0u) |
                               (shift ? KEY_SHIFT_HELD : 0u) | (alt ? KEY_ALT_HELD : 0u) |
                               (repeat ? KEY_WAS_DOWN : 0u) | (up ? KEY_UP_BIT : 0u) | (second ? KEY_SECOND : 0u));
}
// One slot per physical key: the key code, and 256 more for the second key of a pair.
constexpr int PHYSICAL_KEY_LIMIT = 512;
constexpr int physical_key(WPARAM wp, LPARAM lp) {
    return static_cast<int>(wp & 0xFF) | ((static_cast<uint32_t>(lp) & KEY_SECOND) ? 0x100 : 0);
}

// Mouse message parameters. lParam: the pointer's client position, x in the low and y in
// the high 16 bits, each signed (outside the client area while a button is held, or as
// the pointer leaves). wParam: the MK_ state below; WM_MOUSEWHEEL carries it in the low
// word and the wheel's turn in the high word, signed, WHEEL_DELTA per notch, positive away
// from the user.
enum : unsigned { MK_LBUTTON = 0x0001, MK_RBUTTON = 0x0002, MK_SHIFT = 0x0004, MK_CONTROL = 0x0008,
                  MK_MBUTTON = 0x0010, MK_ALT = 0x0080 /* this layer's: Alt held */ };
constexpr int WHEEL_DELTA = 120;
constexpr WPARAM wheel_wparam(unsigned mk, int delta) {
    return static_cast<WPARAM>((mk & 0xFFFF) | ((static_cast<uint32_t>(delta) & 0xFFFF) << 16));
}
constexpr int GET_X_LPARAM(LPARAM lp) { return static_cast<int16_t>(static_cast<uint32_t>(lp) & 0xFFFF); }
constexpr int GET_Y_LPARAM(LPARAM lp) { return static_cast<int16_t>((static_cast<uint32_t>(lp) >> 16) & 0xFFFF); }
constexpr int GET_WHEEL_DELTA_WPARAM(WPARAM wp) { return static_cast<int16_t>((wp >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(unsigned lo, unsigned hi) { return static_cast<LPARAM>((lo & 0xFFFF) | ((hi & 0xFFFF) << 16)); }
constexpr unsigned LOWORD(uintptr_t v) { return static_cast<unsigned>(v & 0xFFFF); }
constexpr unsigned HIWORD(uintptr_t v) { return static_cast<unsigned>((v >> 16) & 0xFFFF); }

struct MSG {
    HWND hwnd;
    unsigned message;
    WPARAM wParam;
    LPARAM lParam;
    uint64_t time;  // layer clock, ms
};

// Window styles.
constexpr uint32_t WS_OVERLAPPED = 0x00000000, WS_CAPTION = 0x00C00000, WS_SYSMENU = 0x00080000,
                   WS_THICKFRAME = 0x00040000, WS_MINIMIZEBOX = 0x00020000, WS_MAXIMIZEBOX = 0x00010000,
                   WS_OVERLAPPEDWINDOW = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                                         WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr uint32_t CS_VREDRAW = 0x0001, CS_HREDRAW = 0x0002;
// Frame metrics: what a frame of the given style takes from the window's outer size.
constexpr int BORDER_WIDTH = 3, CAPTION_HEIGHT = 22, MENU_BAR_HEIGHT = 19;

enum { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5 };
enum { SM_CXSCREEN = 0, SM_CYSCREEN = 1 };
enum { PM_NOREMOVE = 0, PM_REMOVE = 1 };

struct WNDCLASSA {
    uint32_t style = 0;
    WNDPROC lpfnWndProc = nullptr;
    HINSTANCE hInstance = nullptr;
    COLORREF background = RGB(255, 255, 255);  // the class background brush's colour
    const char* lpszMenuName = nullptr;
    const char* lpszClassName = nullptr;
};

bool RegisterClassA(const WNDCLASSA* wc);
HWND CreateWindowA(const char* class_name, const char* title, uint32_t style, int x, int y, int width,
                   int height, HWND parent, HMENU menu, HINSTANCE instance);
// Destroying a window frees everything it holds: its image, its menus, the backend's
// record, and (once no window procedure is running) the window's own record. A handle kept
// afterwards is only compared or passed back, where the calls take it as no window.
bool DestroyWindow(HWND hwnd);
bool IsWindow(HWND hwnd);
bool ShowWindow(HWND hwnd, int cmd);  // result: whether it was visible before
bool IsWindowVisible(HWND hwnd);
bool GetClientRect(HWND hwnd, Rect* rect);
// The whole client area becomes invalid (this layer keeps no smaller region); with erase
// set, the next BeginPaint first has it wiped to the class background.
bool InvalidateRect(HWND hwnd, const Rect* rect, bool erase);

bool PostMessageA(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp);
LRESULT SendMessageA(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp);
bool PeekMessageA(MSG* msg, HWND filter, unsigned min, unsigned max, unsigned remove);
bool TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT DefWindowProcA(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp);
void PostQuitMessage(int exit_code);

uintptr_t SetTimer(HWND hwnd, uintptr_t id, unsigned period_ms, void* callback);
bool KillTimer(HWND hwnd, uintptr_t id);

int GetSystemMetrics(int which);

HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
struct PAINTSTRUCT { HDC hdc; Rect rcPaint; bool fErase; };
// Validates the window; if the invalid area is marked for erasing it sends WM_ERASEBKGND
// (wParam: the paint DC) first, which default processing answers by filling the area with
// the class background. fErase tells the handler the erase is still to do (the message
// returned 0).
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
bool EndPaint(HWND hwnd, const PAINTSTRUCT* ps);

// Menus.
enum : unsigned { MF_STRING = 0x0000, MF_ENABLED = 0x0000, MF_UNCHECKED = 0x0000, MF_GRAYED = 0x0001,
                  MF_DISABLED = 0x0002, MF_CHECKED = 0x0008, MF_POPUP = 0x0010, MF_SEPARATOR = 0x0800,
                  MF_BYCOMMAND = 0x0000 };
HMENU CreateMenu();
HMENU CreatePopupMenu();
bool AppendMenuA(HMENU menu, unsigned flags, uintptr_t id_or_popup, const char* text);
bool SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
bool DrawMenuBar(HWND hwnd);
// Sets or clears the mark of the entry with the given identifier (searching popups too);
// returns the previous state (MF_CHECKED or MF_UNCHECKED), or -1 if there is no such entry.
long CheckMenuItem(HMENU menu, unsigned id, unsigned flags);

// What backends and tests may read of a menu.
struct MenuItem {
    unsigned flags;   // MF_ flags as appended, with MF_CHECKED kept live
    uintptr_t id;     // 0 for separators; the popup for MF_POPUP
    std::string text;
    HMENU popup;      // for MF_POPUP entries
};
struct Menu {
    bool popup = false;
    std::vector<MenuItem> items;
    uint64_t generation = 0;  // bumped by every change
};

// The one walk of a menu tree: visits the entries of menu and of its popups depth first,
// in order, until found(entry) is true; returns that entry (and the menu holding it in
// *owner), or null.
template <typename Found>
MenuItem* find_menu_item(HMENU menu, const Found& found, HMENU* owner = nullptr) {
    if (!menu) return nullptr;
    for (MenuItem& it : menu->items) {
        if (found(it)) {
            if (owner) *owner = menu;
            return &it;
        }
        if (it.flags & MF_POPUP)
            if (MenuItem* inner = find_menu_item(it.popup, found, owner)) return inner;
    }
    return nullptr;
}

// Moveable memory.
using HGLOBAL = void*;
enum : unsigned { GMEM_FIXED = 0x0000, GMEM_MOVEABLE = 0x0002 };
HGLOBAL GlobalAlloc(unsigned flags, size_t bytes);
void* GlobalLock(HGLOBAL block);
bool GlobalUnlock(HGLOBAL block);
HGLOBAL GlobalFree(HGLOBAL block);  // null on success, as on the reference system
int live_global_blocks();

// The layer's own services, beyond the reference system calls.
// True when a peek now could find a message (queued, quit, paint or due timer).
bool message_available();
// Blocks until a message may be available: input from the backend, a due timer, or
// nothing else to wait for (then it returns at once). Never used on a busy path. Every
// window image changed since the backend last heard is passed on (window_changed) before
// it blocks. With timers_wake false no timer ends the wait (the caller has no use for a
// tick now, and an idle program should not wake for one), and the periods that passed
// meanwhile bring no timer message.
void wait_for_message(bool timers_wake = true);
uint64_t now_ms();
// The user gave a sizable window (WS_THICKFRAME) a new size; a backend reports the client
// size it now shows. The frame follows, the client image takes the size (the class
// background), the window gets WM_SIZE and is repainted. False, and nothing changes, for a
// window of fixed size.
bool user_resized(HWND hwnd, int client_width, int client_height);

// What backends and tests may read of a window.
struct Window {
    std::string class_name, title;
    uint32_t style = 0;
    int x = 0, y = 0, width = 0, height = 0;  // outer frame
    bool visible = false, destroyed = false, needs_paint = false, needs_erase = false, painting = false;
    WNDPROC proc = nullptr;
    HMENU menu = nullptr;
    COLORREF background = RGB(255, 255, 255);
    Bitmap client;      // the client area's image: what the window shows
    void* native = nullptr;  // the backend's own record
};
// Client size of a frame of the given style and outer size.
Rect client_rect_for(uint32_t style, bool has_menu, int width, int height);
const std::vector<HWND>& all_windows();
HWND find_window(const char* title);

// Starts from nothing: destroys every window and timer, empties the queue, unregisters
// the classes, forgets the backend. For tests, between cases.
void reset_window_system();

}  // namespace px
