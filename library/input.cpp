// input.cpp - what the richer wait adds to the event machinery: the key codes and their
// table, the pointer, modifiers and held keys, the input flags and the tick, and the
// script lines of the new kinds. The wait itself, and the rules it shares with
// PLOTX_wait_event, stay in event_wait.cpp.
#include <algorithm>
#include <climits>
#include <cstring>
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

bool wants(int flag) { return (g.input.wait_flags & flag) != 0; }

void deliver(int kind, int button, int key_code) {
    g.events.slot = kind;
    g.events.record.button = button;
    g.events.record.key_code = key_code;
}

// --- Script lines --------------------------------------------------------------------

// The new line forms. Their kind word's first letter (the line's seventh character) is
// none of K, M and P, so a reader that knows only the original three forms treats them as
// unrecognised rather than as one of its own.
enum LineForm { LINE_AT, LINE_DOWN_BUTTON, LINE_UP_BUTTON, LINE_CURSOR, LINE_WHEEL, LINE_DOWN_KEY, LINE_UP_KEY };
struct LineFormat {
    LineForm form;
    const char* word;  // after "PLOTX_", up to and including the parenthesis
    int fields;
};
constexpr LineFormat LINE_FORMATS[] = {
    {LINE_AT, "AT(", 3},
    {LINE_DOWN_BUTTON, "DOWN_BUTTON(", 4},
    {LINE_UP_BUTTON, "UP_BUTTON(", 4},
    {LINE_CURSOR, "CURSOR(", 3},
    {LINE_WHEEL, "WHEEL(", 4},
    {LINE_DOWN_KEY, "DOWN_KEY(", 2},
    {LINE_UP_KEY, "UP_KEY(", 2},
};
constexpr int PREFIX_LENGTH = 6;  // "PLOTX_"
constexpr int MAX_NUMBER_DIGITS = 10;

// Reads "n, n, ...);" with exactly `count` numbers from line[pos]; values beyond int clamp.
bool read_fields(const char* line, int n, int pos, int count, int* values) {
    for (int i = 0; i < count; ++i) {
        while (pos < n && line[pos] == ' ') ++pos;
        bool negative = pos < n && line[pos] == '-';
        if (negative) ++pos;
        long long v = 0;
        int digits = 0;
        // A run longer than any int is refused below; it is not accumulated past that.
        for (; pos < n && line[pos] >= '0' && line[pos] <= '9'; ++pos, ++digits)
            if (digits < MAX_NUMBER_DIGITS) v = v * 10 + (line[pos] - '0');
        if (digits == 0 || digits > MAX_NUMBER_DIGITS) return false;
        if (negative) v = -v;
        values[i] = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
        while (pos < n && line[pos] == ' ') ++pos;
        char want = i + 1 < count ? ',' : ')';
        if (pos >= n || line[pos] != want) return false;
        ++pos;
    }
    return pos < n && line[pos] == ';';
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

// The platform key code that gives a key code (the first in the table where two do).
static unsigned vk_of_key_code(int key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return static_cast<unsigned>(key);
    if (key >= PLOTX_KEY_F1 && key <= PLOTX_KEY_F12) return VK_F1 + static_cast<unsigned>(key - PLOTX_KEY_F1);
    for (const KeyPair& p : KEY_TABLE)
        if (p.key == key) return p.vk;
    return 0;
}

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
            if (wants(PLOTX_INPUT_BUTTONS)) {
                deliver(PLOTX_MOUSE, msg == WM_MBUTTONDOWN ? 2 : 3, 0);
                g.events.record.mouse_x = in.pointer.x;
                g.events.record.mouse_y = in.pointer.y;
            }
            break;
        case WM_LBUTTONUP:
        case WM_MBUTTONUP:
        case WM_RBUTTONUP:
            note_pointer(lp, mods_of_mouse(wp));
            if (wants(PLOTX_INPUT_BUTTONS))
                deliver(PLOTX_MOUSE_UP, msg == WM_LBUTTONUP ? 1 : msg == WM_MBUTTONUP ? 2 : 3, 0);
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
            if (moved && wants(PLOTX_INPUT_MOTION) && cx >= 0 && cy >= 0 && cx < r.right && cy < r.bottom)
                deliver(PLOTX_MOUSE_MOVE, 0, 0);
            break;
        }
        case WM_MOUSEWHEEL: {
            note_pointer(lp, mods_of_mouse(wp & 0xFFFF));
            if (!wants(PLOTX_INPUT_WHEEL)) {
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
            if (steps != 0) deliver(PLOTX_WHEEL, steps, 0);
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
    bool unrecorded = !down && code == PLOTX_KEY_CONTROL && in.control_ran_shortcut;
    if (!down && code == PLOTX_KEY_CONTROL) in.control_ran_shortcut = false;
    int kind = down ? PLOTX_KEY_DOWN : PLOTX_KEY_UP;
    if (wants(PLOTX_INPUT_KEYS)) {
        deliver(kind, 0, code);
        in.unrecorded_up = unrecorded;
    } else if (g.scripts.recording && in.rich_wait && !unrecorded) {
        // Not an event here, but PLOTX_key_held tells of it: the recording keeps it, so a
        // replay holds the same keys at the same events.
        if (g.scripts.pending_periodic > 0) {
            write_script_event(PLOTX_PERIODIC, g.events.record);
            g.scripts.pending_periodic = 0;
        }
        if (!(g.scripts.stream && g.scripts.writing)) in.pointer_written = false;  // a new recording
        EventRecord key_record;
        key_record.key_code = code;
        write_script_event(kind, key_record);
        in.written.mods = in.pointer.mods;
    }
}

bool hold_back_line(int kind, const EventRecord& record, const char* line, int n) {
    InputState& in = g.input;
    if (kind == PLOTX_KEY_UP && record.key_code == PLOTX_KEY_CONTROL && in.unrecorded_up) {
        in.unrecorded_up = false;
        return true;
    }
    if (kind != PLOTX_KEY_DOWN || record.key_code != PLOTX_KEY_CONTROL || n <= 0 ||
        n >= static_cast<int>(sizeof in.held_back_line))
        return false;
    std::memcpy(in.held_back_line, line, static_cast<size_t>(n));
    in.held_back_length = n;
    return true;
}

int take_held_back_line(char* line, size_t size) {
    int n = g.input.held_back_length;
    if (n <= 0 || static_cast<size_t>(n) > size) return 0;
    std::memcpy(line, g.input.held_back_line, static_cast<size_t>(n));
    g.input.held_back_length = 0;
    return n;
}

void forget_held_back_line() { g.input.held_back_length = 0; }

void open_input() {
    // Nothing of an earlier session is held or swallowed, and the pointer starts afresh.
    g.input = InputState{};
    g.input.begin_ms = now_ms();
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

void played_old_form(int kind) {
    // A played press moves the pointer to where it was, as a live one does. The original
    // mouse line leaves the button unset: it is the left one.
    if (kind == PLOTX_MOUSE && g.events.record.button == 0) {
        g.input.pointer.x = g.events.record.mouse_x;
        g.input.pointer.y = g.events.record.mouse_y;
        g.events.record.button = 1;
    }
}

// --- Script lines --------------------------------------------------------------------

void write_pointer_line_if_needed(int kind) {
    const PointerState& now = g.input.pointer;
    PointerState& w = g.input.written;
    // What the event's own line establishes, of the position and the modifiers.
    bool line_has_position =
        kind == PLOTX_MOUSE || kind == PLOTX_MOUSE_UP || kind == PLOTX_MOUSE_MOVE || kind == PLOTX_WHEEL;
    bool line_has_mods = kind != PLOTX_MOUSE && kind != PLOTX_KBD && kind != PLOTX_PERIODIC;
    if (kind == PLOTX_MOUSE && g.events.record.button > 1) line_has_mods = true;
    // A recording opens with where the pointer is, whatever the replay starts from.
    if (!(g.scripts.stream && g.scripts.writing)) g.input.pointer_written = false;
    bool first_line = !g.input.pointer_written;
    bool need =
        first_line || (!line_has_position && (now.x != w.x || now.y != w.y)) || (!line_has_mods && now.mods != w.mods);
    if (need && kind != PLOTX_QUIT) {
        if (g.scripts.pending_periodic > 0) {
            write_script_event(PLOTX_PERIODIC, g.events.record);
            g.scripts.pending_periodic = 0;
        }
        write_script_event(SCRIPT_POINTER, g.events.record);
        g.input.pointer_written = true;
    }
    if (kind != PLOTX_QUIT) w = now;
}

int format_input_line(char* line, size_t size, int kind, const EventRecord& r) {
    const PointerState& p = g.input.pointer;
    switch (kind) {
        case SCRIPT_POINTER: return std::snprintf(line, size, "PLOTX_AT(%d, %d, %d);\n", p.x, p.y, p.mods);
        case SCRIPT_OTHER_PRESS:
            return std::snprintf(line, size, "PLOTX_DOWN_BUTTON(%d, %d, %d, %d);\n", p.x, p.y, r.button, p.mods);
        case PLOTX_MOUSE_UP:
            return std::snprintf(line, size, "PLOTX_UP_BUTTON(%d, %d, %d, %d);\n", p.x, p.y, r.button, p.mods);
        case PLOTX_MOUSE_MOVE: return std::snprintf(line, size, "PLOTX_CURSOR(%d, %d, %d);\n", p.x, p.y, p.mods);
        case PLOTX_WHEEL:
            return std::snprintf(line, size, "PLOTX_WHEEL(%d, %d, %d, %d);\n", p.x, p.y, r.button, p.mods);
        case PLOTX_KEY_DOWN: return std::snprintf(line, size, "PLOTX_DOWN_KEY(%d, %d);\n", r.key_code, p.mods);
        case PLOTX_KEY_UP: return std::snprintf(line, size, "PLOTX_UP_KEY(%d, %d);\n", r.key_code, p.mods);
        default: return 0;
    }
}

int parse_input_line(const char* line, int n) {
    if (n <= PREFIX_LENGTH || std::strncmp(line, "PLOTX_", PREFIX_LENGTH) != 0) return 0;
    for (const LineFormat& f : LINE_FORMATS) {
        int len = static_cast<int>(std::strlen(f.word));
        if (n < PREFIX_LENGTH + len || std::strncmp(line + PREFIX_LENGTH, f.word, static_cast<size_t>(len)) != 0)
            continue;
        int v[4] = {0, 0, 0, 0};
        if (!read_fields(line, n, PREFIX_LENGTH + len, f.fields, v)) return 0;
        InputState& in = g.input;
        bool keys = f.form == LINE_DOWN_KEY || f.form == LINE_UP_KEY;
        if (keys) {
            if (v[0] <= 0 || v[0] >= KEY_CODE_LIMIT) return 0;
            in.pointer.mods = v[1] & (PLOTX_MOD_SHIFT | PLOTX_MOD_CTRL | PLOTX_MOD_ALT);
            in.held[v[0]] = f.form == LINE_DOWN_KEY;
            if (!wants(PLOTX_INPUT_KEYS)) return 2;
            deliver(f.form == LINE_DOWN_KEY ? PLOTX_KEY_DOWN : PLOTX_KEY_UP, 0, v[0]);
            return 1;
        }
        bool button_line = f.form == LINE_DOWN_BUTTON || f.form == LINE_UP_BUTTON;
        if (button_line && (v[2] < 1 || v[2] > 3)) return 0;
        in.pointer.x = v[0];
        in.pointer.y = v[1];
        in.pointer.mods = v[f.fields - 1] & (PLOTX_MOD_SHIFT | PLOTX_MOD_CTRL | PLOTX_MOD_ALT);
        switch (f.form) {
            case LINE_DOWN_BUTTON:
                if (!wants(PLOTX_INPUT_BUTTONS)) return 2;
                deliver(PLOTX_MOUSE, v[2], 0);
                g.events.record.mouse_x = v[0];
                g.events.record.mouse_y = v[1];
                return 1;
            case LINE_UP_BUTTON:
                if (!wants(PLOTX_INPUT_BUTTONS)) return 2;
                deliver(PLOTX_MOUSE_UP, v[2], 0);
                return 1;
            case LINE_CURSOR:
                if (!wants(PLOTX_INPUT_MOTION)) return 2;
                deliver(PLOTX_MOUSE_MOVE, 0, 0);
                return 1;
            case LINE_WHEEL:
                if (!wants(PLOTX_INPUT_WHEEL) || v[2] == 0) return 2;
                deliver(PLOTX_WHEEL, v[2], 0);
                return 1;
            default: return 2;  // the pointer line: state only
        }
    }
    return 0;
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
    int cx = p.x + g.windows.origin_x, cy = g.windows.origin_y - p.y;
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
