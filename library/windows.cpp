// windows.cpp - opening and closing the library: the window classes, the graphics and
// text windows, the off-screen canvas and its presentation, and the canvas origin.
// Also the one definition of the library's state record and of the test hook.
#include <cstdio>
#include <cstdlib>
#include "window/backend.h"
#include "state.h"

using namespace px;

namespace plotx {

LibraryState g;
TestHook test_hook;

namespace {

// Copies the canvas into the graphics window's image (through the window DC the library
// keeps); the canvas is then shown as drawn.
void blit_canvas() {
    if (g.windows.window_dc && g.windows.canvas_dc)
        BitBlt(g.windows.window_dc, 0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, g.windows.canvas_dc, 0, 0, SRCCOPY);
    g.windows.canvas_dirty = false;
    if (test_hook.presented) test_hook.presented();
    capture_presented();
}

// A display that goes away ends the process: a recording keeps its last lines and a
// capture its last frame.
void keep_files_when_display_lost() {
    end_scripts();
    end_capture();
}

}  // namespace

void present_canvas() {
    if (g.windows.canvas_dirty && g.windows.window_dc && g.windows.canvas_dc) blit_canvas();
}

void mark_canvas_dirty() { g.windows.canvas_dirty = true; }

void update_origin(HWND hwnd) {
    Rect r;
    if (!GetClientRect(hwnd, &r)) return;
    g.windows.origin_x = r.left + (r.right - r.left) / 2;
    g.windows.origin_y = r.top + (r.bottom - r.top) / 2;
    g.windows.client_width = r.right - r.left;
    g.windows.client_height = r.bottom - r.top;
}

void repaint_graphics_window(HWND hwnd) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    // The image goes to the window DC the library keeps, not to the paint DC.
    blit_canvas();
    EndPaint(hwnd, &ps);
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
    if (g.windows.library_open) return 1;
    // Opened again after PLOTX_end: the old windows go, so none is left on screen whose
    // closing would quit the new session. Forgotten first, their destruction asks no quit.
    px::HWND old_graphics = g.windows.graphics_window, old_text = g.windows.text_window;
    g.windows.graphics_window = g.windows.text_window = nullptr;
    if (old_text) DestroyWindow(old_text);
    if (old_graphics) DestroyWindow(old_graphics);
    // Whatever previous instance the caller names, the classes must exist: registering one
    // that already does changes nothing.
    (void)prev_instance;
    register_class("DrawWndClass", graphics_window_proc, instance);
    register_class("TextWndClass", text_window_proc, instance);
    int w = GetSystemMetrics(SM_CXSCREEN);
    int h = GetSystemMetrics(SM_CYSCREEN);
    open_events();
    open_input();
    open_json_log();
    // A program that opens the library again gets a new canvas; the old one is let go.
    if (g.windows.window_dc) ReleaseDC(g.windows.graphics_window, g.windows.window_dc);
    if (g.windows.canvas_dc) DeleteDC(g.windows.canvas_dc);
    if (g.windows.canvas_bitmap) DeleteObject(g.windows.canvas_bitmap);
    g.windows.window_dc = nullptr;
    g.windows.canvas_dc = nullptr;
    g.windows.canvas_bitmap = nullptr;
    g.windows.graphics_window = CreateWindowA("DrawWndClass", "PLOTX Graphics", WS_CAPTION | WS_SYSMENU, 0, 0,
                                              CANVAS_WIDTH, CANVAS_HEIGHT, nullptr, nullptr, instance);
    g.windows.text_window = CreateWindowA("TextWndClass", "PLOTX Text", WS_OVERLAPPEDWINDOW, 0, (2 * h) / 3 + 1, w,
                                          h / 3, nullptr, nullptr, instance);
    if (!g.windows.graphics_window || !g.windows.text_window) {
        // Nothing opened is left half open: the library stays closed and says so.
        if (g.windows.text_window) DestroyWindow(g.windows.text_window);
        px::HWND graphics = g.windows.graphics_window;
        g.windows.graphics_window = g.windows.text_window = nullptr;
        if (graphics) DestroyWindow(graphics);
        return 0;
    }
    g.windows.window_dc = GetDC(g.windows.graphics_window);
    g.windows.canvas_bitmap = CreateCompatibleBitmap(g.windows.window_dc, CANVAS_WIDTH, CANVAS_HEIGHT);
    g.windows.canvas_dc = CreateCompatibleDC(g.windows.window_dc);
    SelectObject(g.windows.canvas_dc, g.windows.canvas_bitmap);
    ShowWindow(g.windows.text_window, show_mode);
    ShowWindow(g.windows.graphics_window, show_mode);
    SetTimer(g.windows.graphics_window, TIMER_ID, g.input.tick_ms, nullptr);
    g.windows.library_open = true;
    px::backend().session_started();
    // A display that goes away ends the process; a recording and a capture keep what they have.
    px::set_display_lost_hook(keep_files_when_display_lost);
    start_playback_from_environment();
    start_capture_from_environment();
    return 1;
}

extern "C" int PLOTX_end(void) {
    if (!g.windows.library_open) return 0;
    const char* snapshot = std::getenv("PLOTX_SNAPSHOT");
    int result = 1;
    // The log may never be seen in a headless run, so a failed snapshot also says so here,
    // and in the result a script can test.
    if (snapshot && *snapshot) {
        std::string reason = save_canvas(snapshot);
        if (!reason.empty()) {
            std::string line = std::string("plotx: could not save the canvas to ") + snapshot +
                               " (PLOTX_SNAPSHOT): " + reason + "\n";
            write_standard_error(line.data(), line.size());
            result = 0;
        }
    }
    if (!end_capture()) result = 0;
    ReleaseDC(g.windows.graphics_window, g.windows.window_dc);
    g.windows.window_dc = nullptr;
    end_scripts();
    g.windows.library_open = false;
    px::backend().session_ended();
    return result;
}

namespace plotx {

void reset_library_for_tests() {
    close_script();
    if (g.capture.stream) std::fclose(g.capture.stream);
    free_log_ring();
    if (g.windows.canvas_dc) DeleteDC(g.windows.canvas_dc);
    if (g.windows.canvas_bitmap) DeleteObject(g.windows.canvas_bitmap);
    if (g.windows.window_dc) ReleaseDC(g.windows.graphics_window, g.windows.window_dc);
    g = LibraryState{};
    test_hook = TestHook{};
    reset_window_system();
}

}  // namespace plotx
