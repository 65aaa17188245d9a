// windows.cpp - opening and closing the library: the window classes, the graphics and
// text windows, the off-screen canvas and its presentation, and the canvas origin.
// Also the one definition of the library's state record.
#include <cstdio>
#include <cstdlib>
#include "state.h"

using namespace px;

namespace plotx {

LibraryState g;

void present_canvas() {
    if (!g.canvas_dirty || !g.window_dc || !g.canvas_dc) return;
    BitBlt(g.window_dc, 0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, g.canvas_dc, 0, 0, SRCCOPY);
    g.canvas_dirty = 0;
}

void update_origin(HWND hwnd) {
    Rect r;
    if (!GetClientRect(hwnd, &r)) return;
    g.origin_x = r.left + (r.right - r.left) / 2;
    g.origin_y = r.top + (r.bottom - r.top) / 2;
}

void repaint_graphics_window(HWND hwnd) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    // The image goes to the window DC the library keeps, not to the paint DC.
    if (g.window_dc && g.canvas_dc)
        BitBlt(g.window_dc, 0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, g.canvas_dc, 0, 0, SRCCOPY);
    EndPaint(hwnd, &ps);
    g.canvas_dirty = 0;
}

static void register_class(const char* name, WNDPROC proc, HINSTANCE instance) {
    WNDCLASSA wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.background = palette_rgb[BACKGROUND_COLOR];
    wc.lpszMenuName = "generic";  // names no resource; the Run menu is built in code
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

}  // namespace plotx

using namespace plotx;

extern "C" int PLOTX_begin(void* instance, void* prev_instance, const char*, int show_mode) {
    // Open already: a second call changes nothing.
    if (g.library_open) return 1;
    // Opened again after PLOTX_end: the old windows go, so none is left on screen whose
    // closing would quit the new session. Forgotten first, their destruction asks no quit.
    px::HWND old_graphics = g.graphics_window, old_text = g.text_window;
    g.graphics_window = g.text_window = nullptr;
    if (old_text) DestroyWindow(old_text);
    if (old_graphics) DestroyWindow(old_graphics);
    if (!prev_instance) {
        register_class("DrawWndClass", graphics_window_proc, instance);
        register_class("TextWndClass", text_window_proc, instance);
    }
    int w = GetSystemMetrics(SM_CXSCREEN);
    int h = GetSystemMetrics(SM_CYSCREEN);
    g.animating = 0;
    g.single_step = 0;
    g.quit_taken = 0;
    g.input.flags = 0;
    g.input.tick_ms = DEFAULT_TICK_MS;
    g.input.begin_ms = now_ms();
    // A program that opens the library again gets a new canvas; the old one is let go.
    if (g.window_dc) ReleaseDC(g.graphics_window, g.window_dc);
    if (g.canvas_dc) DeleteDC(g.canvas_dc);
    if (g.canvas_bitmap) DeleteObject(g.canvas_bitmap);
    g.window_dc = nullptr;
    g.canvas_dc = nullptr;
    g.canvas_bitmap = nullptr;
    g.graphics_window = CreateWindowA("DrawWndClass", "PLOTX Graphics", WS_CAPTION | WS_SYSMENU, 0, 0,
                                      CANVAS_WIDTH, CANVAS_HEIGHT, nullptr, nullptr, instance);
    g.text_window = CreateWindowA("TextWndClass", "PLOTX Text", WS_OVERLAPPEDWINDOW, 0, (2 * h) / 3 + 1, w, h / 3,
                                  nullptr, nullptr, instance);
    g.instance = instance;
    g.window_dc = GetDC(g.graphics_window);
    g.canvas_bitmap = CreateCompatibleBitmap(g.window_dc, CANVAS_WIDTH, CANVAS_HEIGHT);
    g.canvas_dc = CreateCompatibleDC(g.window_dc);
    SelectObject(g.canvas_dc, g.canvas_bitmap);
    ShowWindow(g.text_window, show_mode);
    ShowWindow(g.graphics_window, show_mode);
    SetTimer(g.graphics_window, TIMER_ID, g.input.tick_ms, nullptr);
    g.library_open = 1;
    start_playback_from_environment();
    return 1;
}

extern "C" int PLOTX_end(void) {
    if (!g.library_open) return 0;
    const char* snapshot = std::getenv("PLOTX_SNAPSHOT");
    int result = 1;
    // The log may never be seen in a headless run, so a failed snapshot also says so here,
    // and in the result a script can test.
    if (snapshot && *snapshot) {
        std::string reason = save_canvas(snapshot);
        if (!reason.empty()) {
            std::fprintf(stderr, "plotx: could not save the canvas to %s (PLOTX_SNAPSHOT): %s\n", snapshot,
                         reason.c_str());
            result = 0;
        }
    }
    ReleaseDC(g.graphics_window, g.window_dc);
    g.window_dc = nullptr;
    end_scripts();
    g.library_open = 0;
    return result;
}

namespace plotx {

void reset_library_for_tests() {
    close_script();
    for (px::HGLOBAL& b : g.log_ring.blocks) {
        if (b) GlobalFree(b);
        b = nullptr;
    }
    if (g.canvas_dc) DeleteDC(g.canvas_dc);
    if (g.canvas_bitmap) DeleteObject(g.canvas_bitmap);
    if (g.window_dc) ReleaseDC(g.graphics_window, g.window_dc);
    g = LibraryState{};
    reset_window_system();
}

}  // namespace plotx
