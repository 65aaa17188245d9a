// event_wait.cpp - the blocking event wait, its message pump, the graphics window's
// message handling and the animation control. The pass order (one message, then the
// script, then arming a periodic event) is kept exactly; a pass that can change nothing
// blocks in the window layer until a message can arrive instead of spinning.
#include "state.h"

using namespace px;

namespace plotx {

enum { PUMP_NOTHING = 0, PUMP_DISPATCHED = 1, PUMP_QUIT = 2 };

// The wait goes on while no event is in the slot, or an armed periodic event's tick has
// not come yet.
static bool still_waiting() {
    return g.events.slot == EVENT_NONE || (g.events.slot == PLOTX_PERIODIC && !g.events.timer_tick);
}

void deliver_mouse(int x, int y, int button) {
    g.events.slot = PLOTX_MOUSE;
    g.events.record.mouse_x = x;
    g.events.record.mouse_y = y;
    g.events.record.button = button;
    g.events.record.key_code = 0;
}

void deliver_key(char key) {
    g.events.slot = PLOTX_KBD;
    g.events.record.key = key;
}

void deliver_periodic() { g.events.slot = PLOTX_PERIODIC; }

void deliver_input_event(int kind, int button, int key_code) {
    g.events.slot = kind;
    g.events.record.button = button;
    g.events.record.key_code = key_code;
}

void switch_animation(bool on) { g.events.animating = on; }

void request_one_frame() { g.events.single_step = true; }

void stop_animation() {
    g.events.animating = false;
    g.events.single_step = false;
}

void forget_control_key() { g.events.ctrl_down = 0; }

// The bit of g.events.ctrl_down a Control key message is about.
static unsigned control_bit(LPARAM lp) { return (static_cast<uint32_t>(lp) & KEY_SECOND) ? 2u : 1u; }

void open_events() {
    stop_animation();
    forget_control_key();
    g.events.quit_taken = false;
    g.events.delivered = 0;
    g.events.ticks = 0;
}

int pump_one_message() {
    MSG msg;
    int result = PUMP_NOTHING;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        note_message_time(msg.time);
        if (msg.message == WM_QUIT) {
            g.events.slot = PLOTX_QUIT;
            g.events.quit_taken = true;
            return PUMP_QUIT;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        result = PUMP_DISPATCHED;
    }
    present_canvas();
    return result;
}

LRESULT graphics_window_proc(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            build_run_menu(hwnd);
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd, TIMER_ID);
            // Only the library's current window: one a reopening let go asks no quit.
            if (hwnd == g.windows.graphics_window) PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            update_origin(hwnd);
            return 0;
        case WM_PAINT:
            repaint_graphics_window(hwnd);
            return 0;
        case WM_LBUTTONDOWN:
            deliver_mouse(GET_X_LPARAM(lp) - g.windows.origin_x, g.windows.origin_y - GET_Y_LPARAM(lp), 1);
            handle_input_message(msg, wp, lp);
            return 0;
        case WM_LBUTTONUP: case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_RBUTTONDOWN:
        case WM_RBUTTONUP: case WM_MOUSEMOVE: case WM_MOUSEWHEEL:
            handle_input_message(msg, wp, lp);
            return 0;
        case WM_CHAR:
            if (!g.events.ctrl_down) deliver_key(static_cast<char>(wp & 0xFF));
            return 0;
        case WM_KEYDOWN: {
            bool shortcut = false;
            if (wp == VK_CONTROL) g.events.ctrl_down |= control_bit(lp);
            else if (g.events.ctrl_down) shortcut = handle_shortcut_key(static_cast<unsigned>(wp));
            handle_key_message(msg, wp, lp, shortcut);
            return 0;
        }
        case WM_KEYUP:
            // A shortcut stays a shortcut until the last Control key is up.
            if (wp == VK_CONTROL) g.events.ctrl_down &= ~control_bit(lp);
            handle_key_message(msg, wp, lp, false);
            return 0;
        case WM_SYSKEYDOWN: case WM_SYSKEYUP:
            // Alt and keys pressed with it: keys for PLOTX_wait, never typed characters.
            handle_key_message(msg, wp, lp, false);
            return 0;
        case WM_KILLFOCUS:
            // A Control key released in another program's window never reaches us;
            // forgetting it here keeps typed characters from being swallowed afterwards.
            forget_control_key();
            release_held_keys(hwnd);
            return 0;
        case WM_TIMER:
            g.events.timer_tick = true;
            return 0;
        case WM_COMMAND:
            run_command(static_cast<int>(wp));
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

}  // namespace plotx

using namespace plotx;

namespace plotx {

int wait_for_event(int flags, bool describing, bool* played) {
    begin_input_wait(flags, describing);
    *played = false;
    g.events.slot = EVENT_NONE;
    g.events.record = EventRecord{};
    if (!g.windows.graphics_window || g.events.quit_taken) {
        // Not open, or the quit message has already been taken: nothing can arrive.
        g.events.slot = PLOTX_QUIT;
    }
    while (still_waiting()) {
        int pumped = pump_one_message();
        if (pumped == PUMP_QUIT) break;
        bool changed = pumped == PUMP_DISPATCHED;
        if (script_playing() && !*played) {  // a played event replaces an armed tick; a held one stays
            if (play_script_event()) {
                *played = true;
                // A paced tick is held, as an animation's is, until the timer fires.
                if (g.events.slot != PLOTX_PERIODIC || !playback_paced()) break;
                g.events.timer_tick = false;
            } else {
                changed = true;
            }
        }
        if ((g.events.single_step || g.events.animating) && g.events.slot == EVENT_NONE) {
            // Armed: delivered at the timer's next tick.
            g.events.timer_tick = false;
            deliver_periodic();
            g.events.single_step = false;
            changed = true;
        }
        bool done = !still_waiting();
        // Nothing this pass did can change the next one until a message arrives. The tick
        // matters only to an armed periodic event: a halted program sleeps until input.
#ifndef PLOTX_BUSY_POLL
        if (!changed && !done) wait_for_message(g.events.slot == PLOTX_PERIODIC);
#else
        (void)changed;
        (void)done;
#endif
    }
    record_delivered_event(g.events.slot, describing);
    capture_event_delivered(g.events.slot, *played);
    end_input_wait();
    const int kind = g.events.quit_requested ? PLOTX_QUIT : g.events.slot;
    ++g.events.delivered;
    if (kind == PLOTX_PERIODIC) ++g.events.ticks;
    return kind;
}

}  // namespace plotx

extern "C" int PLOTX_wait_event(int* mouse_x, int* mouse_y, char* key) {
    bool played;
    int kind = wait_for_event(0, false, &played);
    if (mouse_x) *mouse_x = g.events.record.mouse_x;
    if (mouse_y) *mouse_y = g.events.record.mouse_y;
    if (key) *key = g.events.record.key;
    return kind;
}

extern "C" int PLOTX_wait(PLOTX_Event* event) {
    bool played;
    int kind = wait_for_event(g.input.flags, true, &played);
    capture_event(event, kind, played);
    return kind;
}

extern "C" int PLOTX_set_animation(int mode) {
    if (!g.windows.graphics_window) return 0;
    switch (mode) {
        case RUN_HALT: stop_animation(); break;
        case RUN_ONE_FRAME: request_one_frame(); break;
        case RUN_ANIMATE: switch_animation(true); break;
        case RUN_REQUEST_QUIT: g.events.quit_requested = true; break;
        default: break;
    }
    return 1;
}
