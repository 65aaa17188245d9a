// run_menu.cpp - the Run menu: its entries, the commands behind them, the Control-key
// shortcuts, the public logging switch and showing the text window. The script commands
// themselves are carried out in scripts.cpp.
#include "state.h"

using namespace px;

namespace plotx {

void build_run_menu(HWND hwnd) {
    HMENU bar = CreateMenu();
    g.run_menu.menu = CreatePopupMenu();
    HMENU m = g.run_menu.menu;
    AppendMenuA(m, MF_STRING, CMD_ANIMATE, "&Animate\tCtrl+A");
    AppendMenuA(m, MF_STRING, CMD_HALT, "&Halt animation\tCtrl+H");
    AppendMenuA(m, MF_STRING, CMD_ADVANCE_FRAME, "Advance one &frame\tCtrl+F");
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m, MF_STRING | MF_CHECKED, CMD_LOGGING, "&Logging\tCtrl+L");
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m, MF_STRING, CMD_RECORD, "&Record Script\tCtrl+R");
    AppendMenuA(m, MF_STRING, CMD_PLAYBACK, "&Playback Script\tCtrl+P");
    AppendMenuA(m, MF_STRING, CMD_PLAY_ONE, "Play &One Script\tCtrl+O");
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m, MF_STRING, CMD_QUIT, "&Quit\tCtrl+Q");
    AppendMenuA(m, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(m, MF_STRING | MF_GRAYED, CMD_INFO, "PLOTX graphics library, version 1.0");
    AppendMenuA(m, MF_STRING | MF_GRAYED, CMD_INFO, "MAC: plotx-mac@plotx.example");
    AppendMenuA(m, MF_STRING | MF_GRAYED, CMD_INFO, "WINDOWS: plotx-windows@plotx.example");
    AppendMenuA(m, MF_STRING | MF_GRAYED, CMD_INFO, "UPDATES: https://plotx.example/updates");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<uintptr_t>(g.run_menu.menu), "&Run");
    SetMenu(hwnd, bar);
    DrawMenuBar(hwnd);
}

void set_mark(int id, bool on) {
    CheckMenuItem(g.run_menu.menu, static_cast<unsigned>(id), MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void run_command(int id) {
    switch (id) {
        case CMD_ANIMATE: switch_animation(true); break;
        case CMD_HALT: switch_animation(false); break;
        case CMD_ADVANCE_FRAME:
            switch_animation(false);
            request_one_frame();
            break;
        case CMD_LOGGING:
            set_logging(!g.drawing.logging_on);
            set_mark(CMD_LOGGING, g.drawing.logging_on);
            break;
        case CMD_RECORD:
        case CMD_PLAYBACK:
        case CMD_PLAY_ONE: run_script_command(id); break;
        case CMD_QUIT: PostQuitMessage(0); break;
        default: break;
    }
}

bool handle_shortcut_key(unsigned key_code) {
    // Letter keys only: the lower-case codes belong to keypad and function keys, which
    // would otherwise run commands (Control+F2 would quit).
    int command;
    switch (key_code) {
        case 'A': command = CMD_ANIMATE; break;
        case 'H': command = CMD_HALT; break;
        case 'F': command = CMD_ADVANCE_FRAME; break;
        case 'L': command = CMD_LOGGING; break;
        case 'R': command = CMD_RECORD; break;
        case 'P': command = CMD_PLAYBACK; break;
        case 'O': command = CMD_PLAY_ONE; break;
        case 'Q': command = CMD_QUIT; break;
        default: return false;
    }
    // The Control key held for it is not the program's input: a recording never gets it.
    forget_held_back_line();
    run_command(command);
    return true;
}

int show_text_window(int show) { return ShowWindow(g.windows.text_window, show ? SW_SHOW : SW_HIDE) ? 1 : 0; }

}  // namespace plotx

using namespace plotx;

extern "C" int PLOTX_set_logging(int on) {
    if (!g.windows.graphics_window) return 0;
    set_logging(on != 0);
    set_mark(CMD_LOGGING, g.drawing.logging_on);
    if (g.drawing.logging_on) show_text_window(1);
    return 1;
}
