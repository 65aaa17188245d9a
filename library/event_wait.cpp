// event_wait.cpp - the blocking event wait, its message pump, the graphics window's
// message handling and the animation control. The pass order (one message, then the
// script, then arming a periodic event) is kept exactly; a pass that can change nothing
// blocks in the window layer until a message can arrive instead of spinning.
#include "state.h"

using namespace px;

namespace plotx {

enum { PUMP_NOTHING = 0, PUMP_DISPATCHED = 1, PUMP_QUIT = 2 };

int pump_one_message() {
    MSG msg;
    int result = PUMP_NOTHING;
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            g.input.message_time = msg.time;
            g.event_slot = PLOTX_QUIT;
            g.quit_taken = 1;
            return PUMP_QUIT;
        }
        g.input.message_time = msg.time;
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
            if (hwnd == g.graphics_window) PostQuitMessage(0);
            return 0;
        case WM_SIZE:
            update_origin(hwnd);
            return 0;
        case WM_PAINT:
            repaint_graphics_window(hwnd);
            return 0;
        case WM_LBUTTONDOWN:
            g.event_slot = PLOTX_MOUSE;
            g.record.mouse_x = static_cast<int>(LOWORD(static_cast<uintptr_t>(lp))) - g.origin_x;
            g.record.mouse_y = g.origin_y - static_cast<int>(HIWORD(static_cast<uintptr_t>(lp)));
            g.record.button = 1;
            handle_input_message(msg, wp, lp);
            return 0;
        case WM_LBUTTONUP: case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_RBUTTONDOWN:
        case WM_RBUTTONUP: case WM_MOUSEMOVE: case WM_MOUSEWHEEL:
            handle_input_message(msg, wp, lp);
            return 0;
        case WM_CHAR:
            if (g.ctrl_down != 1) {
                g.event_slot = PLOTX_KBD;
                g.record.key = static_cast<char>(wp & 0xFF);
            }
            return 0;
        case WM_KEYDOWN: {
            bool shortcut = false;
            if (wp == VK_CONTROL) g.ctrl_down = 1;
            else if (g.ctrl_down) shortcut = handle_shortcut_key(static_cast<unsigned>(wp));
            handle_key_message(msg, wp, lp, shortcut);
            return 0;
        }
        case WM_KEYUP:
            if (wp == VK_CONTROL) g.ctrl_down = 0;
            handle_key_message(msg, wp, lp, false);
            return 0;
        case WM_SYSKEYDOWN: case WM_SYSKEYUP:
            // Alt and keys pressed with it: keys for PLOTX_wait, never typed characters.
            handle_key_message(msg, wp, lp, false);
            return 0;
        case WM_KILLFOCUS:
            // A Control key released in another program's window never reaches us;
            // forgetting it here keeps typed characters from being swallowed afterwards.
            g.ctrl_down = 0;
            release_held_keys(hwnd);
            return 0;
        case WM_TIMER:
            g.timer_tick = 1;
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

int wait_for_event(int flags, bool rich, bool* played) {
    g.input.wait_flags = flags;
    g.input.rich_wait = rich ? 1 : 0;
    *played = false;
    g.event_slot = EVENT_NONE;
    g.record = EventRecord{};
    if (!g.graphics_window || g.quit_taken) {
        // Not open, or the quit message has already been taken: nothing can arrive.
        g.event_slot = PLOTX_QUIT;
    }
    while (g.event_slot == EVENT_NONE || (g.event_slot == PLOTX_PERIODIC && g.timer_tick == 0)) {
        int pumped = pump_one_message();
        if (pumped == PUMP_QUIT) break;
        bool changed = pumped == PUMP_DISPATCHED;
        if (g.play_one || g.playing_back) {
            g.play_one = 0;
            if (read_script_event() == 1) {
                *played = true;
                played_old_form(g.event_slot);
                break;
            }
            g.play_one = 0;
            g.playing_back = 0;
            changed = true;
        }
        if ((g.single_step || g.animating) && g.event_slot == EVENT_NONE) {
            g.timer_tick = 0;
            g.event_slot = PLOTX_PERIODIC;
            g.single_step = 0;
            g.play_one = 0;
            changed = true;
        }
        bool done = !(g.event_slot == EVENT_NONE || (g.event_slot == PLOTX_PERIODIC && g.timer_tick == 0));
        // Nothing this pass did can change the next one until a message arrives.
#ifndef PLOTX_BUSY_POLL
        if (!changed && !done) wait_for_message();
#else
        (void)changed;
        (void)done;
#endif
    }
    if (g.recording) {
        if (rich) write_pointer_line_if_needed(g.event_slot);
        if (g.event_slot == PLOTX_PERIODIC) {
            ++g.pending_periodic;
        } else {
            if (g.pending_periodic > 0) {
                write_script_event(PLOTX_PERIODIC, g.record);
                g.pending_periodic = 0;
            }
            bool other_press = g.event_slot == PLOTX_MOUSE && g.record.button > 1;
            write_script_event(other_press ? SCRIPT_OTHER_PRESS : g.event_slot, g.record);
        }
    }
    g.input.wait_flags = 0;
    g.input.rich_wait = 0;
    return g.quit_requested ? PLOTX_QUIT : g.event_slot;
}

}  // namespace plotx

extern "C" int PLOTX_wait_event(int* mouse_x, int* mouse_y, char* key) {
    bool played;
    int kind = wait_for_event(0, false, &played);
    if (mouse_x) *mouse_x = g.record.mouse_x;
    if (mouse_y) *mouse_y = g.record.mouse_y;
    if (key) *key = g.record.key;
    return kind;
}

extern "C" int PLOTX_wait(PLOTX_Event* event) {
    bool played;
    int kind = wait_for_event(g.input.flags, true, &played);
    capture_event(event, kind, played);
    return kind;
}

extern "C" int PLOTX_set_animation(int mode) {
    if (!g.graphics_window) return 0;
    switch (mode) {
        case RUN_HALT: g.single_step = 0; g.animating = 0; break;
        case RUN_ONE_FRAME: g.single_step = 1; break;
        case RUN_ANIMATE: g.animating = 1; break;
        case RUN_REQUEST_QUIT: g.quit_requested = 1; break;
        default: break;
    }
    return 1;
}
