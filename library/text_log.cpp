// text_log.cpp - the text window: PLOTX_log, the ring of the last 25 lines kept in
// moveable memory blocks, drawing a line at the bottom of the window, repainting from the
// ring, and passing key presses on to the graphics window; the log's copies on standard
// error (PLOTX_LOG_ECHO) and as JSON Lines (PLOTX_LOG_JSON).
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "host/files/files.h"
#include "window/backend.h"
#include "state.h"

using namespace px;

namespace plotx {

void draw_log_line(char* text) {
    size_t n = std::strlen(text);
    // Only one trailing line feed goes; any other is drawn as an ordinary character.
    if (n > 0 && text[n - 1] == '\n') text[--n] = '\0';
    HDC dc = GetDC(g.windows.text_window);
    if (!dc) return;  // the window was closed: the line stays in the ring only
    SelectObject(dc, GetStockObject(ANSI_FIXED_FONT));
    TextMetrics tm;
    GetTextMetricsA(dc, &tm);
    int h = tm.tmHeight + tm.tmExternalLeading;
    // The surface keeps its rows in a ring, so this moves an offset, not the image.
    ScrollDC(dc, 0, -h);
    Rect r;
    GetClientRect(g.windows.text_window, &r);
    HBRUSH brush = CreateSolidBrush(GetBkColor(dc));
    HGDIOBJ old_brush = SelectObject(dc, brush);
    HGDIOBJ old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, r.left, r.bottom - h, r.right, r.bottom + 1);
    SelectObject(dc, old_pen);
    SelectObject(dc, old_brush);
    DeleteObject(brush);
    TextOutA(dc, r.left + 5, r.bottom - h, text, static_cast<int>(n));
    ReleaseDC(g.windows.text_window, dc);
}

LRESULT text_window_proc(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            TextLogRing& ring = g.text_log.ring;
            if (ring.head >= 0) {
                int i = ring.head;
                do {
                    char* text = static_cast<char*>(GlobalLock(ring.blocks[i]));
                    if (text) draw_log_line(text);
                    GlobalUnlock(ring.blocks[i]);
                    i = i == LOG_RING_SIZE - 1 ? 0 : i + 1;
                } while (i != ring.tail);
            }
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_KEYDOWN:
        case WM_KEYUP:
            PostMessageA(g.windows.graphics_window, msg, wp, lp);
            return 0;
        case WM_KILLFOCUS:
            forget_control_key();  // as in the graphics window: a release elsewhere is never seen
            return 0;
        default:
            return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

void write_standard_error(const char* text, size_t n) {
    static bool broken = false;
    std::string reason;
    if (!broken && n > 0) broken = !px::sys::write_text(stderr, text, n, &reason);
}

static bool echo_enabled() {
    const char* e = std::getenv("PLOTX_LOG_ECHO");
    return e && e[0] == '1';
}

int format_line(char (&buffer)[FORMAT_BUFFER_SIZE], const char* format, va_list args) {
    buffer[0] = '\0';
    if (!format) return 0;
    // A longer line is cut to what the buffer holds; the count still tells the full length.
    const int n = std::vsnprintf(buffer, FORMAT_BUFFER_SIZE, format, args);
    if (n >= 0) return n;
    buffer[0] = '\0';
    return 0;
}

void free_log_ring() {
    if (g.text_log.json) std::fclose(g.text_log.json);
    g.text_log.json = nullptr;
    for (HGLOBAL& b : g.text_log.ring.blocks) {
        if (b) GlobalFree(b);
        b = nullptr;
    }
}

void open_json_log() {
    TextLogState& log = g.text_log;
    if (log.json_tried) return;
    log.json_tried = true;
    const char* path = std::getenv("PLOTX_LOG_JSON");
    if (!path || !path[0]) return;
    log.json = std::fopen(path, "w");
    if (!log.json) std::fprintf(stderr, "plotx: cannot write the log to %s (PLOTX_LOG_JSON)\n", path);
}

// One JSON object per line: where in the run the line came (events returned so far, and how
// many were ticks) and its text. Bytes that are not printable ASCII are written as \u00XX,
// so the file is valid UTF-8 whatever the program logged. Each line is flushed: a program
// stopped or crashing keeps what it logged.
static void write_json_line(const char* text) {
    TextLogState& log = g.text_log;
    open_json_log();  // a line logged before PLOTX_begin
    if (!log.json) return;
    std::fprintf(log.json, "{\"event\":%lu,\"tick\":%lu,\"text\":\"", g.events.delivered, g.events.ticks);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (*p == '"' || *p == '\\') std::fprintf(log.json, "\\%c", *p);
        else if (*p < 0x20 || *p >= 0x7f) std::fprintf(log.json, "\\u%04x", *p);
        else std::fputc(*p, log.json);
    }
    std::fputs("\"}\n", log.json);
    std::fflush(log.json);
}

}  // namespace plotx

using namespace plotx;

extern "C" int PLOTX_log(const char* format, ...) {
    char buffer[FORMAT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    const int result = format_line(buffer, format, args);
    va_end(args);
    size_t n = std::strlen(buffer);
    TextLogRing& ring = g.text_log.ring;
    if (ring.head == ring.tail) {
        GlobalFree(ring.blocks[ring.head]);
        ring.blocks[ring.head] = nullptr;
        ring.head = ring.head == LOG_RING_SIZE - 1 ? 0 : ring.head + 1;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, n + 1);
    ring.blocks[ring.tail] = block;
    if (char* p = static_cast<char*>(GlobalLock(block))) {
        std::memcpy(p, buffer, n + 1);
        GlobalUnlock(block);
    }
    if (ring.head < 0) ring.head = ring.tail;
    ring.tail = ring.tail == LOG_RING_SIZE - 1 ? 0 : ring.tail + 1;
    if (echo_enabled()) {
        write_standard_error(buffer, n);
        if (n == 0 || buffer[n - 1] != '\n') write_standard_error("\n", 1);
    }
    {
        // The JSON record keeps the text without its one trailing line feed, as drawn.
        char* end = n > 0 && buffer[n - 1] == '\n' ? buffer + n - 1 : nullptr;
        if (end) *end = '\0';
        write_json_line(buffer);
        if (g.windows.text_window) px::backend().log_line(g.windows.text_window, buffer);
        if (end) *end = '\n';
    }
    if (g.windows.text_window) draw_log_line(buffer);
    return result;
}
