// input.cpp - the input PLOTX_wait describes: the key codes and their table, the pointer,
// modifiers and held keys (by physical key, from input messages and from played script lines
// alike), the input flags and the tick. The wait itself, and the rules it shares with
// PLOTX_wait_event, stay in event_wait.cpp; script lines are scripts.cpp's.
#include <algorithm>
#include <climits>
#include <utility>
#include <vector>
#include "state.h"

using namespace px;

namespace plotx {

namespace {

constexpr int ALL_INPUT = PLOTX_INPUT_BUTTONS | PLOTX_INPUT_MOTION | PLOTX_INPUT_WHEEL | PLOTX_INPUT_KEYS;

// Platform key codes with a key code of their own; letters and digits are the same in
// both and need no entry.
struct KeyPair {
    int key;
    unsigned vk;
};
constexpr KeyPair KEY_TABLE[] = {
    {PLOTX_KEY_BACKSPACE, VK_BACK},
    {PLOTX_KEY_TAB, VK_TAB},
    {PLOTX_KEY_ENTER, VK_RETURN},
    {PLOTX_KEY_ESCAPE, VK_ESCAPE},
    {PLOTX_KEY_SPACE, VK_SPACE},
    {PLOTX_KEY_LEFT, VK_LEFT},
    {PLOTX_KEY_RIGHT, VK_RIGHT},
    {PLOTX_KEY_ARROW_UP, VK_UP},
    {PLOTX_KEY_ARROW_DOWN, VK_DOWN},
    {PLOTX_KEY_HOME, VK_HOME},
    {PLOTX_KEY_END, VK_END},
    {PLOTX_KEY_PAGE_UP, VK_PRIOR},
    {PLOTX_KEY_PAGE_DOWN, VK_NEXT},
    {PLOTX_KEY_INSERT, VK_INSERT},
    {PLOTX_KEY_DELETE, VK_DELETE},
    {PLOTX_KEY_SHIFT, VK_SHIFT},
    {PLOTX_KEY_CONTROL, VK_CONTROL},
    {PLOTX_KEY_ALT, VK_MENU},
    {'*', VK_MULTIPLY},
    {'+', VK_ADD},
    {'-', VK_SUBTRACT},
    {'.', VK_DECIMAL},
    {'/', VK_DIVIDE},
    {';', VK_OEM_1},
    {'=', VK_OEM_PLUS},
    {',', VK_OEM_COMMA},
    {'-', VK_OEM_MINUS},
    {'.', VK_OEM_PERIOD},
    {'/', VK_OEM_2},
    {'`', VK_OEM_3},
    {'[', VK_OEM_4},
    {'\\', VK_OEM_5},
    {']', VK_OEM_6},
    {'\'', VK_OEM_7},
};

int mods_of_key(LPARAM lp) {
    uint32_t bits = static_cast<uint32_t>(lp);
    return ((bits & KEY_SHIFT_HELD) ? PLOTX_MOD_SHIFT : 0) | ((bits & KEY_CONTROL_HELD) ? PLOTX_MOD_CTRL : 0) |
           ((bits & KEY_ALT_HELD) ? PLOTX_MOD_ALT : 0);
}

int mods_of_mouse(WPARAM wp) {
    return ((wp & MK_SHIFT) ? PLOTX_MOD_SHIFT : 0) | ((wp & MK_CONTROL) ? PLOTX_MOD_CTRL : 0) |
           ((wp & MK_ALT) ? PLOTX_MOD_ALT : 0);
}

// The pointer's client position from a mouse message, kept in canvas coordinates.
void note_pointer(LPARAM lp, int mods) {
    g.input.pointer.x = GET_X_LPARAM(lp) - g.windows.origin_x;
    g.input.pointer.y = g.windows.origin_y - GET_Y_LPARAM(lp);
    g.input.pointer.mods = mods;
}

}  // namespace

int key_code_of(unsigned vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return static_cast<int>(vk);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return static_cast<int>('0' + (vk - VK_NUMPAD0));
    if (vk >= VK_F1 && vk <= VK_F12) return PLOTX_KEY_F1 + static_cast<int>(vk - VK_F1);
    for (const KeyPair& p : KEY_TABLE)
        if (p.vk == vk) return p.key;
    return 0;
}

// The platform key code that gives a key code (the first in the table where two do), 0
// when no key gives it.
static unsigned vk_of_key_code(int key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return static_cast<unsigned>(key);
    if (key >= PLOTX_KEY_F1 && key <= PLOTX_KEY_F12) return VK_F1 + static_cast<unsigned>(key - PLOTX_KEY_F1);
    for (const KeyPair& p : KEY_TABLE)
        if (p.key == key) return p.vk;
    return 0;
}

bool is_key_code(int code) { return code > 0 && code < KEY_CODE_LIMIT && vk_of_key_code(code) != 0; }

void handle_input_message(unsigned msg, WPARAM wp, LPARAM lp) {
    // While a script plays, its lines are the input: live input changes nothing the
    // program can see.
    if (g.scripts.playing_back) return;
    InputState& in = g.input;
    switch (msg) {
        case WM_LBUTTONDOWN:
            // The press itself is delivered by the window procedure, as PLOTX_wait_event has it.
            note_pointer(lp, mods_of_mouse(wp));
            break;
        case WM_MBUTTONDOWN:
        case WM_RBUTTONDOWN:
            note_pointer(lp, mods_of_mouse(wp));
            if (wait_delivers(PLOTX_INPUT_BUTTONS))
                deliver_mouse(in.pointer.x, in.pointer.y, msg == WM_MBUTTONDOWN ? 2 : 3);
            break;
        case WM_LBUTTONUP:
        case WM_MBUTTONUP:
        case WM_RBUTTONUP:
            note_pointer(lp, mods_of_mouse(wp));
            if (wait_delivers(PLOTX_INPUT_BUTTONS))
                deliver_input_event(PLOTX_MOUSE_UP, msg == WM_LBUTTONUP ? 1 : msg == WM_MBUTTONUP ? 2 : 3, 0);
            break;
        case WM_MOUSEMOVE: {
            // Window systems report the pointer again where it already was (entering, after
            // a click): only a change of position is motion.
            PointerState before = in.pointer;
            note_pointer(lp, mods_of_mouse(wp));
            bool moved = before.x != in.pointer.x || before.y != in.pointer.y;
            int cx = GET_X_LPARAM(lp), cy = GET_Y_LPARAM(lp);
            Rect r{};
            GetClientRect(g.windows.graphics_window, &r);
            if (moved && wait_delivers(PLOTX_INPUT_MOTION) && cx >= 0 && cy >= 0 && cx < r.right && cy < r.bottom)
                deliver_input_event(PLOTX_MOUSE_MOVE, 0, 0);
            break;
        }
        case WM_MOUSEWHEEL: {
            note_pointer(lp, mods_of_mouse(wp & 0xFFFF));
            if (!wait_delivers(PLOTX_INPUT_WHEEL)) {
                in.wheel_rest = 0;
                break;
            }
            // Fine-grained wheels send parts of a notch: whole steps are delivered, the
            // rest waits for the next turn in the same direction.
            int delta = GET_WHEEL_DELTA_WPARAM(wp);
            if ((delta > 0) != (in.wheel_rest > 0)) in.wheel_rest = 0;
            in.wheel_rest += delta;
            int steps = in.wheel_rest / WHEEL_DELTA;
            in.wheel_rest -= steps * WHEEL_DELTA;
            if (steps != 0) deliver_input_event(PLOTX_WHEEL, steps, 0);
            break;
        }
        default: break;
    }
}

// Key downs and ups, after the window procedure has run any Control shortcut.
void handle_key_message(unsigned msg, WPARAM wp, LPARAM lp, bool shortcut) {
    if (g.scripts.playing_back) return;
    InputState& in = g.input;
    int code = key_code_of(static_cast<unsigned>(wp));
    bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
    int key = physical_key(wp, lp);
    bool was_down = in.key_down[key];
    // An up of a key neither down nor held is no event: a second focus loss before the
    // first one's ups were taken released it already.
    if (!down && !was_down && (code == 0 || !in.held[code])) return;
    in.key_down[key] = down;
    if (code != 0 && down != was_down) in.keys_down[code] += down ? 1 : -1;
    // Two keys of one code (the two Shift keys): releasing one leaves the other held.
    bool still_held = !down && code != 0 && in.keys_down[code] > 0;
    int mods = mods_of_key(lp);
    // A modifier key counts itself from its first down to its last up, whatever the
    // backend saw.
    int own = code == PLOTX_KEY_SHIFT     ? PLOTX_MOD_SHIFT
              : code == PLOTX_KEY_CONTROL ? PLOTX_MOD_CTRL
              : code == PLOTX_KEY_ALT     ? PLOTX_MOD_ALT
                                          : 0;
    in.pointer.mods = down || still_held ? mods | own : mods & ~own;
    if (code == 0) return;
    bool was_swallowed = in.swallowed[key];
    in.held[code] = down || still_held;
    in.swallowed[key] = down && shortcut;
    if (shortcut) {
        in.control_ran_shortcut = true;
        return;
    }
    if (!down && (was_swallowed || still_held)) return;
    // The last Control key up after a shortcut: the program gets it, the recording does not.
    const bool unrecorded = !down && code == PLOTX_KEY_CONTROL && in.control_ran_shortcut;
    if (!down && code == PLOTX_KEY_CONTROL) in.control_ran_shortcut = false;
    if (wait_delivers(PLOTX_INPUT_KEYS)) {
        deliver_input_event(down ? PLOTX_KEY_DOWN : PLOTX_KEY_UP, 0, code);
        in.unrecorded_up = unrecorded;
    } else if (in.describing_wait && !unrecorded) {
        record_undelivered_key(down, code);
    }
}

bool take_unrecorded_key_up() {
    const bool unrecorded = g.input.unrecorded_up;
    g.input.unrecorded_up = false;
    return unrecorded;
}

void open_input() {
    // Nothing of an earlier session is held or swallowed, and the pointer starts afresh.
    g.input = InputState{};
    g.input.begin_ms = now_ms();
}

void begin_input_wait(int flags, bool describing) {
    g.input.wait_flags = flags;
    g.input.describing_wait = describing;
}

void end_input_wait() { begin_input_wait(0, false); }

void note_message_time(uint64_t time) { g.input.message_time = time; }

bool wait_delivers(int flag) { return (g.input.wait_flags & flag) != 0; }

void set_pointer(int x, int y) {
    g.input.pointer.x = clamp_coordinate(x);
    g.input.pointer.y = clamp_coordinate(y);
}

void set_modifiers(int mods) { g.input.pointer.mods = mods; }

void set_key_held(int code, bool down) {
    if (code > 0 && code < KEY_CODE_LIMIT) g.input.held[code] = down;
}

void release_held_keys(HWND hwnd) {
    // The ups will never come from the keyboard: they are posted here, so each is delivered
    // and recorded like a real one, one per wait.
    // In key code order, each key code's physical keys after one another.
    std::vector<std::pair<int, int>> down;  // key code, physical key
    for (int key = 0; key < PHYSICAL_KEY_LIMIT; ++key) {
        if (!g.input.key_down[key]) continue;
        int code = key_code_of(static_cast<unsigned>(key & 0xFF));
        if (code != 0) down.emplace_back(code, key);
        else g.input.key_down[key] = false;
    }
    std::sort(down.begin(), down.end());
    for (const auto& d : down) {
        unsigned vk = static_cast<unsigned>(d.second & 0xFF);
        PostMessageA(hwnd, vk == VK_MENU ? WM_SYSKEYUP : WM_KEYUP, vk,
                     key_lparam(0, false, true, false, false, false, (d.second & 0x100) != 0));
    }
    // Keys a played line left held have no physical key down: one up each.
    for (int code = 1; code < KEY_CODE_LIMIT; ++code) {
        if (!g.input.held[code] || g.input.keys_down[code] > 0) continue;
        unsigned vk = vk_of_key_code(code);
        if (vk) PostMessageA(hwnd, code == PLOTX_KEY_ALT ? WM_SYSKEYUP : WM_KEYUP, vk, key_lparam(0, false, true));
        else g.input.held[code] = false;
    }
}

void capture_event(PLOTX_Event* event, int kind, bool played) {
    if (!event) return;
    event->kind = kind;
    event->x = g.input.pointer.x;
    event->y = g.input.pointer.y;
    event->mods = g.input.pointer.mods;
    event->button = kind == PLOTX_MOUSE || kind == PLOTX_MOUSE_UP || kind == PLOTX_WHEEL ? g.events.record.button : 0;
    event->key = kind == PLOTX_KBD                                ? static_cast<unsigned char>(g.events.record.key)
                 : kind == PLOTX_KEY_DOWN || kind == PLOTX_KEY_UP ? g.events.record.key_code
                                                                  : 0;
    // Before PLOTX_begin no clock has been chosen, and none is started for this.
    if (!g.windows.graphics_window) {
        event->time_ms = 0;
        return;
    }
    uint64_t at = played || kind == PLOTX_QUIT ? now_ms() : g.input.message_time;
    uint64_t since = at > g.input.begin_ms ? at - g.input.begin_ms : 0;
    event->time_ms = since > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(since);
}

}  // namespace plotx

using namespace plotx;

extern "C" int PLOTX_set_input(int flags) {
    if (!g.windows.graphics_window) return 0;
    g.input.flags = flags & ALL_INPUT;
    return 1;
}

extern "C" int PLOTX_mouse_position(int* x, int* y) {
    const PointerState& p = g.input.pointer;
    if (x) *x = p.x;
    if (y) *y = p.y;
    if (!g.windows.graphics_window) return 0;
    // Over the canvas is over the client area that shows it.
    Rect r{};
    GetClientRect(g.windows.graphics_window, &r);
    long long cx = static_cast<long long>(p.x) + g.windows.origin_x,
              cy = static_cast<long long>(g.windows.origin_y) - p.y;
    return cx >= 0 && cy >= 0 && cx < r.right && cy < r.bottom ? 1 : 0;
}

extern "C" int PLOTX_key_held(int key) { return key > 0 && key < KEY_CODE_LIMIT && g.input.held[key] ? 1 : 0; }

extern "C" int PLOTX_set_tick(int ms) {
    if (!g.windows.graphics_window) return 0;
    int period = ms;
    if (ms < static_cast<int>(MIN_TICK_MS) || ms > static_cast<int>(MAX_TICK_MS)) {
        period = ms < static_cast<int>(MIN_TICK_MS) ? static_cast<int>(MIN_TICK_MS) : static_cast<int>(MAX_TICK_MS);
        PLOTX_log("Tick of %d ms not possible, using %d ms\n", ms, period);
    }
    g.input.tick_ms = static_cast<unsigned>(period);
    SetTimer(g.windows.graphics_window, TIMER_ID, g.input.tick_ms, nullptr);
    return 1;
}
