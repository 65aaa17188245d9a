// fltk_input.cpp - the desktop backend's input: FLTK pointer, keyboard and focus events on a
// window's view become the layer's messages, as backend.h's input contract lists them. Key
// identifiers go through one table to the reference system's key codes; typed bytes follow the
// platform's ANSI code page.
//
// Checklist:
//   [x] key codes        every key the reference system names, by table; others VK_NO_CODE
//   [x] typed bytes      one byte per key-down (Latin-1 from UTF-8), letters under Control
//   [x] modifiers        Control, Shift and Alt in each key message's lParam, MK_ bits in
//                        each mouse message's wParam
//   [x] auto-repeat      a key-down of a key already down carries the repeat bit
//   [x] system keys      Alt and its combinations as WM_SYSKEY..., still left to the menu bar
//   [x] buttons          press and release of the three buttons at client coordinates
//   [x] motion, wheel    WM_MOUSEMOVE (also dragged outside, and once on leaving), WM_MOUSEWHEEL
//   [x] focus loss       WM_KILLFOCUS, also when the pointer takes the keyboard away
#include <FL/x.H>
#include <X11/Xlib.h>

#include <set>

#include "backends/fltk/fltk_internal.h"

namespace px {
namespace fltk {
namespace {

struct KeyEntry {
    int fltk_key;
    unsigned vk;
};

// Keys outside the ranges key_code() handles itself (letters, digits, space, function
// keys, keypad digits).
const KeyEntry KEY_TABLE[] = {
    {FL_BackSpace, VK_BACK},        {FL_Tab, VK_TAB},
    {FL_Enter, VK_RETURN},          {FL_KP_Enter, VK_RETURN},
    {FL_Escape, VK_ESCAPE},         {FL_Shift_L, VK_SHIFT},
    {FL_Shift_R, VK_SHIFT},         {FL_Control_L, VK_CONTROL},
    {FL_Control_R, VK_CONTROL},     {FL_Alt_L, VK_MENU},
    {FL_Alt_R, VK_MENU},            {FL_Pause, VK_PAUSE},
    {FL_Caps_Lock, VK_CAPITAL},     {FL_Page_Up, VK_PRIOR},
    {FL_Page_Down, VK_NEXT},        {FL_End, VK_END},
    {FL_Home, VK_HOME},             {FL_Left, VK_LEFT},
    {FL_Up, VK_UP},                 {FL_Right, VK_RIGHT},
    {FL_Down, VK_DOWN},             {FL_Print, VK_SNAPSHOT},
    {FL_Insert, VK_INSERT},         {FL_Delete, VK_DELETE},
    {FL_KP + '*', VK_MULTIPLY},     {FL_KP + '+', VK_ADD},
    {FL_KP + ',', VK_SEPARATOR},    {FL_KP + '-', VK_SUBTRACT},
    {FL_KP + '.', VK_DECIMAL},      {FL_KP + '/', VK_DIVIDE},
    {FL_Num_Lock, VK_NUMLOCK},      {FL_Scroll_Lock, VK_SCROLL},
    {';', VK_OEM_1},                {'=', VK_OEM_PLUS},
    {',', VK_OEM_COMMA},            {'-', VK_OEM_MINUS},
    {'.', VK_OEM_PERIOD},           {'/', VK_OEM_2},
    {'`', VK_OEM_3},                {'[', VK_OEM_4},
    {'\\', VK_OEM_5},               {']', VK_OEM_6},
    {'\'', VK_OEM_7},
};

// The reference system's key code for an FLTK key.
unsigned key_code(int k) {
    if (k >= 'a' && k <= 'z') return static_cast<unsigned>(k - 'a' + 'A');
    if ((k >= '0' && k <= '9') || k == ' ') return static_cast<unsigned>(k);
    if (k >= FL_F + 1 && k <= FL_F + 24) return VK_F1 + static_cast<unsigned>(k - FL_F - 1);
    if (k >= FL_KP + '0' && k <= FL_KP + '9') return VK_NUMPAD0 + static_cast<unsigned>(k - FL_KP - '0');
    for (const KeyEntry& e : KEY_TABLE)
        if (e.fltk_key == k) return e.vk;
    return VK_NO_CODE;
}

// Keys that type nothing on the reference system, whatever X makes of them.
bool types_nothing(unsigned vk) {
    return vk == VK_DELETE || (vk >= VK_PRIOR && vk <= VK_DOWN) || (vk >= VK_F1 && vk <= VK_F24);
}

// The byte the key types, as the layer's TranslateMessage expects it: with Control held
// a letter gives the letter itself (the layer makes the control code), other keys nothing.
unsigned char typed_byte(int k, int state, bool control, unsigned vk) {
    if (control) {
        if (k < 'a' || k > 'z') return 0;
        bool upper = ((state & FL_SHIFT) != 0) != ((state & FL_CAPS_LOCK) != 0);
        return static_cast<unsigned char>(upper ? k - 'a' + 'A' : k);
    }
    if (types_nothing(vk)) return 0;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(Fl::event_text());
    int n = Fl::event_length();
    if (n == 1) return t[0];
    // Two-byte UTF-8 up to U+00FF: the Latin-1 byte the reference system's ANSI code page gives.
    if (n == 2 && (t[0] == 0xC2 || t[0] == 0xC3) && (t[1] & 0xC0) == 0x80)
        return static_cast<unsigned char>(((t[0] & 0x03) << 6) | (t[1] & 0x3F));
    return 0;
}

// True when the pointer has just left the window while the keyboard follows the pointer
// (no window manager sets the focus): the window has then lost the keyboard, although X
// reports no focus change for it.
bool pointer_left_focus(const Fl_Window* win) {
    int ex = Fl::event_x(), ey = Fl::event_y();
    if (!win || (ex >= 0 && ey >= 0 && ex < win->w() && ey < win->h())) return false;
    ::Window focus = None;
    int revert = 0;
    XGetInputFocus(fl_display, &focus, &revert);
    return focus == PointerRoot;
}

// Keys down, by FLTK's key (one per physical key: two keys sharing a reference-system key code, or
// having none, are apart here), so that X's auto-repeat (a key-down with no key-up
// between, FLTK asks X for that) is marked as a repeat.
std::set<int> g_down;

// The second key of a pair with one reference-system key code.
bool second_key(int k) { return k == FL_Shift_R || k == FL_Control_R || k == FL_Alt_R || k == FL_KP_Enter; }

// The MK_ bits of the modifiers and of the buttons held after this event.
unsigned mouse_state(int event) {
    int state = Fl::event_state();
    unsigned mk = ((state & FL_SHIFT) ? MK_SHIFT : 0u) | ((state & FL_CTRL) ? MK_CONTROL : 0u) |
                  ((state & FL_ALT) ? MK_ALT : 0u) | ((state & FL_BUTTON1) ? MK_LBUTTON : 0u) |
                  ((state & FL_BUTTON2) ? MK_MBUTTON : 0u) | ((state & FL_BUTTON3) ? MK_RBUTTON : 0u);
    if (event == FL_PUSH || event == FL_RELEASE) {
        // X reports the buttons from before the event.
        int b = Fl::event_button();
        unsigned bit = b == FL_LEFT_MOUSE ? MK_LBUTTON : b == FL_MIDDLE_MOUSE ? MK_MBUTTON : MK_RBUTTON;
        mk = event == FL_PUSH ? mk | bit : mk & ~bit;
    }
    return mk;
}

// A view position (pixels of the screen from the view's top left) as client pixels: a
// position anywhere in a scale x scale block is that block's pixel, also left of and above
// the view, where division rounds down to -1, -2, ...
int to_client(int v) {
    int s = scale();
    return v >= 0 ? v / s : -((-v + s - 1) / s);
}

LPARAM client_position(int x, int y) {
    return MAKELPARAM(static_cast<unsigned>(to_client(x)), static_cast<unsigned>(to_client(y)));
}

}  // namespace

int ClientView::key(bool up) {
    HWND hwnd = native_->hwnd;
    int k = Fl::event_key();
    int state = Fl::event_state();
    bool control_key = k == FL_Control_L || k == FL_Control_R;
    // X reports the modifier state from before the event, so a Control key going down
    // does not yet count itself.
    bool control = (state & FL_CTRL) != 0 || (control_key && !up);
    bool shift = (state & FL_SHIFT) != 0, alt = (state & FL_ALT) != 0;
    unsigned vk = key_code(k);
    bool repeat = !up && g_down.count(k) != 0;
    if (up) g_down.erase(k);
    else g_down.insert(k);
    bool second = second_key(k);
    // Alt and its combinations are system keys on the reference system (menu mnemonics), not
    // key-down messages: they go as system keys, and the menu bar still gets them.
    if (!control_key && (k == FL_Alt_L || k == FL_Alt_R || k == FL_Meta_L || k == FL_Meta_R || (alt && !control))) {
        if (k != FL_Meta_L && k != FL_Meta_R)
            post_input(hwnd, up ? WM_SYSKEYUP : WM_SYSKEYDOWN, vk, key_lparam(0, control, up, shift, true, repeat, second));
        return 0;
    }
    unsigned char typed = up ? 0 : typed_byte(k, state, control, vk);
    post_input(hwnd, up ? WM_KEYUP : WM_KEYDOWN, vk, key_lparam(typed, control, up, shift, alt, repeat, second));
    return 1;
}

int ClientView::handle(int event) {
    HWND hwnd = native_->hwnd;
    if (!hwnd) return Fl_Widget::handle(event);
    switch (event) {
        case FL_PUSH:
        case FL_RELEASE: {
            if (event == FL_PUSH && Fl::focus() != this) take_focus();
            int b = Fl::event_button();
            if (b != FL_LEFT_MOUSE && b != FL_MIDDLE_MOUSE && b != FL_RIGHT_MOUSE) return 1;
            static const unsigned down[] = {WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN};
            static const unsigned up[] = {WM_LBUTTONUP, WM_MBUTTONUP, WM_RBUTTONUP};
            unsigned msg = (event == FL_PUSH ? down : up)[b - FL_LEFT_MOUSE];
            post_input(hwnd, msg, mouse_state(event), client_position(Fl::event_x() - x(), Fl::event_y() - y()));
            return 1;
        }
        case FL_ENTER: case FL_MOVE: case FL_DRAG:
            post_input(hwnd, WM_MOUSEMOVE, mouse_state(event),
                       client_position(Fl::event_x() - x(), Fl::event_y() - y()));
            return 1;
        case FL_LEAVE: {
            // Where the pointer left, outside the client area: the library then knows it is
            // off the canvas. A leave reported inside (another window came over it) is put
            // just left of the area.
            int cx = Fl::event_x() - x(), cy = Fl::event_y() - y();
            if (cx >= 0 && cy >= 0 && cx < w() && cy < h()) cx = -1;
            post_input(hwnd, WM_MOUSEMOVE, mouse_state(event), client_position(cx, cy));
            if (pointer_left_focus(window())) post_input(hwnd, WM_KILLFOCUS, 0, 0);
            return 1;
        }
        case FL_MOUSEWHEEL:
            // FLTK counts notches toward the user as positive; the reference system the other way.
            if (Fl::event_dy() != 0)
                post_input(hwnd, WM_MOUSEWHEEL, wheel_wparam(mouse_state(event), -Fl::event_dy() * WHEEL_DELTA),
                           client_position(Fl::event_x() - x(), Fl::event_y() - y()));
            return 1;
        case FL_FOCUS:
            return 1;
        case FL_UNFOCUS:
            // Keys released while another window has the keyboard never report their ups.
            g_down.clear();
            post_input(hwnd, WM_KILLFOCUS, 0, 0);
            return 1;
        // Every key is consumed here, so FLTK never offers it to the menu as a shortcut.
        case FL_KEYDOWN: return key(false);
        case FL_KEYUP: return key(true);
        default: return Fl_Widget::handle(event);
    }
}

}  // namespace fltk
}  // namespace px
