// win32_native.cpp - the win32 backend's half that calls Windows: one window class for every layer window,
// the real menu bar, keys and clicks turned into the layer's terms, the message pump, the
// blocking message wait, and presentation as one copy of the client image per frame.
// Paint requests are answered from the image the layer last drew, so windows repaint even
// while a menu or a move holds the thread in Windows' modal loop.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "backends/win32/win32_native.h"

namespace px {
namespace win32 {

struct NativeWindow {
    HWND hwnd = nullptr;
    bool tracking_leave = false;  // TrackMouseEvent asked for WM_MOUSELEAVE
    void* owner = nullptr;
    DWORD style = 0;
    HMENU menu = nullptr;
    std::vector<MenuEntry> shown_menu;  // what menu holds, to tell mark changes from rebuilds
    bool has_menu = false;
};

namespace {

const wchar_t* const CLASS_NAME = L"PLOTXWindow";
Callbacks g_cb{};
int g_scale = 1;
bool g_started = false;
LARGE_INTEGER g_frequency{}, g_start{};

NativeWindow* window_of(HWND hwnd) { return reinterpret_cast<NativeWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

std::wstring wide(const std::string& s) {
    // The layer's texts are in the western code page, as its text calls are.
    int n = MultiByteToWideChar(1252, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    if (n > 0) MultiByteToWideChar(1252, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

// Copies the image to the device context in one call when its rows are in order, else in
// the ring's two bands; whatever the image does not cover gets the background.
void blit(NativeWindow* w, HDC dc) {
    RECT client;
    GetClientRect(w->hwnd, &client);
    ImageView im;
    if (!g_cb.image || !g_cb.image(w->owner, &im) || !im.pixels) im = ImageView{};
    const int cw = client.right, ch = client.bottom, s = g_scale;
    // Whole blocks only; a larger window shows the background beyond them.
    const int width = std::min(cw / s, im.width), height = std::min(ch / s, im.height);
    if (width > 0 && height > 0) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = im.width;
        bi.bmiHeader.biHeight = -im.height;  // top row first
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;        // 0x00RRGGBB is Windows' BGRX byte order
        bi.bmiHeader.biCompression = BI_RGB;
        const int first = std::min(height, im.height - im.row_offset);
        // With a negative height, scan line 0 is the top: the band starting at physical
        // row row_offset is drawn by giving the rows from there on.
        if (s == 1) {
            bi.bmiHeader.biHeight = -(im.height - im.row_offset);
            SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(width), static_cast<DWORD>(first), 0, 0, 0,
                              static_cast<UINT>(im.height - im.row_offset),
                              im.pixels + static_cast<size_t>(im.row_offset) * im.width, &bi, DIB_RGB_COLORS);
            if (first < height) {
                bi.bmiHeader.biHeight = -(height - first);
                SetDIBitsToDevice(dc, 0, first, static_cast<DWORD>(width), static_cast<DWORD>(height - first), 0, 0,
                                  0, static_cast<UINT>(height - first), im.pixels, &bi, DIB_RGB_COLORS);
            }
        } else {
            // Each band as a DIB of just its rows, so the source starts at its row 0 (the
            // source origin of a top-down DIB is easy to get wrong); COLORONCOLOR repeats
            // pixels rather than blending them.
            SetStretchBltMode(dc, COLORONCOLOR);
            bi.bmiHeader.biHeight = -first;
            StretchDIBits(dc, 0, 0, width * s, first * s, 0, 0, width, first,
                          im.pixels + static_cast<size_t>(im.row_offset) * im.width, &bi, DIB_RGB_COLORS, SRCCOPY);
            if (first < height) {
                bi.bmiHeader.biHeight = -(height - first);
                StretchDIBits(dc, 0, first * s, width * s, (height - first) * s, 0, 0, width, height - first,
                              im.pixels, &bi, DIB_RGB_COLORS, SRCCOPY);
            }
        }
    }
    const int shown_w = std::max(width, 0) * s, shown_h = std::max(height, 0) * s;
    if (shown_w < cw || shown_h < ch) {
        const uint32_t bg = im.background;
        HBRUSH brush = CreateSolidBrush(RGB((bg >> 16) & 255, (bg >> 8) & 255, bg & 255));
        RECT right{shown_w, 0, cw, ch}, below{0, shown_h, shown_w, ch};
        FillRect(dc, &right, brush);
        FillRect(dc, &below, brush);
        DeleteObject(brush);
    }
}

// The byte a key types, from the character message TranslateMessage has just queued for
// it: in the western code page, 0 when it has none there. With Control held, a letter
// types itself (the layer makes the control code).
unsigned char typed_byte(HWND hwnd, unsigned vk, bool control) {
    MSG m;
    unsigned char byte = 0;
    if (PeekMessageW(&m, hwnd, WM_CHAR, WM_CHAR, PM_REMOVE)) {
        wchar_t ch = static_cast<wchar_t>(m.wParam);
        char out = 0;
        BOOL lost = FALSE;
        if (!control && WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, &ch, 1, &out, 1, nullptr, &lost) == 1 && !lost)
            byte = static_cast<unsigned char>(out);
    }
    if (control && vk >= 'A' && vk <= 'Z') {
        bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0, caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
        byte = static_cast<unsigned char>(shift != caps ? vk : vk - 'A' + 'a');
    }
    return byte;
}

bool held(int vk) { return (GetKeyState(vk) & 0x8000) != 0; }

// Windows's MK_ bits of a mouse message, with the layer's Alt bit added.
constexpr WPARAM MK_ALT_HELD = 0x0080;
WPARAM mouse_state(WPARAM wp) {
    return (wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_SHIFT | MK_CONTROL)) | (held(VK_MENU) ? MK_ALT_HELD : 0);
}

// A window position as client pixels: anywhere in a block is its pixel, rounding down
// also left of and above the window (-1, -2, ...).
int to_client(int v) { return v >= 0 ? v / g_scale : -((-v + g_scale - 1) / g_scale); }

LPARAM client_lparam(int x, int y) {
    return MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(to_client(x))), static_cast<WORD>(static_cast<SHORT>(to_client(y))));
}

// A mouse message's own position, in the window's pixels.
LPARAM client_lparam(LPARAM lp) { return client_lparam(static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))); }

LPARAM client_position(HWND hwnd, POINT p) {
    ScreenToClient(hwnd, &p);
    return client_lparam(p.x, p.y);
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    NativeWindow* w = window_of(hwnd);
    if (!w) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            blit(w, dc);
            EndPaint(hwnd, &ps);
            // The layer repaints too, as its windows do when uncovered.
            if (g_cb.exposed) g_cb.exposed(w->owner);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;  // the paint covers every pixel
        case WM_SIZE:
            if (wp != SIZE_MINIMIZED && g_cb.resized) g_cb.resized(w->owner, LOWORD(lp) / g_scale, HIWORD(lp) / g_scale);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            // Held buttons keep the pointer: releases and drags outside still arrive.
            SetFocus(hwnd);
            SetCapture(hwnd);
            g_cb.message(w->owner, msg, mouse_state(wp), client_lparam(lp));
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP:
            if (!(wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) ReleaseCapture();
            g_cb.message(w->owner, msg, mouse_state(wp), client_lparam(lp));
            return 0;
        case WM_MOUSEMOVE:
            if (!w->tracking_leave) {
                TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, hwnd, 0};
                w->tracking_leave = TrackMouseEvent(&t) != FALSE;
            }
            g_cb.message(w->owner, msg, mouse_state(wp), client_lparam(lp));
            return 0;
        case WM_MOUSELEAVE: {
            // One position outside the client area as the pointer leaves it.
            w->tracking_leave = false;
            POINT p;
            GetCursorPos(&p);
            WPARAM state = (held(VK_LBUTTON) ? MK_LBUTTON : 0) | (held(VK_RBUTTON) ? MK_RBUTTON : 0) |
                           (held(VK_MBUTTON) ? MK_MBUTTON : 0) | (held(VK_SHIFT) ? MK_SHIFT : 0) |
                           (held(VK_CONTROL) ? MK_CONTROL : 0);
            g_cb.message(w->owner, WM_MOUSEMOVE, mouse_state(state), client_position(hwnd, p));
            return 0;
        }
        case WM_MOUSEWHEEL: {
            // Windows gives the pointer in screen coordinates here.
            POINT p{static_cast<SHORT>(LOWORD(lp)), static_cast<SHORT>(HIWORD(lp))};
            g_cb.message(w->owner, msg, (mouse_state(LOWORD(wp)) & 0xFFFF) | (wp & 0xFFFF0000u), client_position(hwnd, p));
            return 0;
        }
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP: {
            const bool up = msg == WM_KEYUP || msg == WM_SYSKEYUP, sys = msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP;
            const unsigned vk = static_cast<unsigned>(wp);
            // Either Shift, Control or Alt key goes by its generic code.
            const bool control = held(VK_CONTROL) || (vk == VK_CONTROL && !up);
            const bool shift = held(VK_SHIFT), alt = held(VK_MENU) || (vk == VK_MENU && !up);
            const bool repeat = !up && (lp & (1L << 30)) != 0;
            const unsigned char typed = up || sys ? 0 : typed_byte(hwnd, vk, control);
            // The right-hand keys of a pair: Shift by its scan code, Control, Alt and the
            // keypad's Enter by the extended-key bit.
            const unsigned scan = static_cast<unsigned>((lp >> 16) & 0xFF);
            const bool extended = (lp & (1L << 24)) != 0;
            const bool second = (vk == VK_SHIFT && scan == 0x36) ||
                                (extended && (vk == VK_CONTROL || vk == VK_MENU || vk == VK_RETURN));
            g_cb.key(w->owner, msg, vk, typed, control, shift, alt, repeat, second);
            // System keys still reach the menu bar (Alt, F10, mnemonics) and Alt+F4.
            if (sys) break;
            return 0;
        }
        case WM_CHAR:
            return 0;  // characters travel with their key-down
        case WM_KILLFOCUS:
            g_cb.message(w->owner, msg, 0, 0);
            return 0;
        case WM_CLOSE:
            g_cb.message(w->owner, msg, 0, 0);  // the layer decides; nothing closes here
            return 0;
        case WM_COMMAND:
            if (HIWORD(wp) == 0 && lp == 0) {  // a menu pick
                g_cb.message(w->owner, msg, LOWORD(wp), 0);
                return 0;
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HMENU build_menu(const std::vector<MenuEntry>& entries, bool bar) {
    HMENU m = bar ? CreateMenu() : CreatePopupMenu();
    for (const MenuEntry& e : entries) {
        if (e.flags & MF_SEPARATOR) {
            AppendMenuW(m, MF_SEPARATOR, 0, nullptr);
        } else if (e.flags & MF_POPUP) {
            AppendMenuW(m, (e.flags & ~MF_POPUP) | MF_POPUP, reinterpret_cast<UINT_PTR>(build_menu(e.popup, false)),
                        wide(e.text).c_str());
        } else {
            AppendMenuW(m, e.flags, e.id, wide(e.text).c_str());
        }
    }
    return m;
}

bool same_shape(const std::vector<MenuEntry>& a, const std::vector<MenuEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const unsigned kind = MF_POPUP | MF_SEPARATOR;
        if ((a[i].flags & kind) != (b[i].flags & kind) || a[i].id != b[i].id || a[i].text != b[i].text ||
            !same_shape(a[i].popup, b[i].popup))
            return false;
    }
    return true;
}

void update_states(HMENU m, const std::vector<MenuEntry>& entries) {
    for (size_t i = 0; i < entries.size(); ++i) {
        const MenuEntry& e = entries[i];
        const UINT pos = static_cast<UINT>(i);
        if (e.flags & MF_SEPARATOR) continue;
        EnableMenuItem(m, pos, MF_BYPOSITION | (e.flags & (MF_GRAYED | MF_DISABLED)));
        if (e.flags & MF_POPUP) {
            update_states(GetSubMenu(m, static_cast<int>(i)), e.popup);
            continue;
        }
        CheckMenuItem(m, pos, MF_BYPOSITION | (e.flags & MF_CHECKED));
    }
}

void fit_frame(NativeWindow* w, int client_width, int client_height) {
    client_width *= g_scale;
    client_height *= g_scale;
    RECT r{0, 0, client_width, client_height};
    AdjustWindowRectEx(&r, w->style, w->menu != nullptr, 0);
    SetWindowPos(w->hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A bar too narrow for its entries wraps onto more lines: grow by what it took.
    RECT got;
    GetClientRect(w->hwnd, &got);
    if (got.bottom != client_height && w->menu)
        SetWindowPos(w->hwnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + client_height - got.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Declares the process DPI-aware before its first window, so Windows gives it real pixels
// and never stretches it: per monitor where the system has it, else system-wide.
void declare_dpi_aware() {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32) return;
    using SetContext = BOOL(WINAPI*)(HANDLE);
    using SetAware = BOOL(WINAPI*)();
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, by value: older headers lack the name.
    if (auto set_context = reinterpret_cast<SetContext>(
            reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext"))))
        if (set_context(reinterpret_cast<HANDLE>(static_cast<intptr_t>(-4)))) return;
    if (auto set_aware = reinterpret_cast<SetAware>(reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware"))))
        set_aware();
}

}  // namespace

int screen_dpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

void set_scale(int scale) { g_scale = scale < 1 ? 1 : scale; }

int scale() { return g_scale; }

bool start(const Callbacks& callbacks) {
    g_cb = callbacks;
    if (g_started) return true;
    declare_dpi_aware();
    QueryPerformanceFrequency(&g_frequency);
    QueryPerformanceCounter(&g_start);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = window_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    wc.lpszClassName = CLASS_NAME;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    // A window Windows can actually create tells whether there is a desktop at all.
    HWND probe = CreateWindowExW(0, CLASS_NAME, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    if (!probe) return false;
    DestroyWindow(probe);
    g_started = true;
    return true;
}

NativeWindow* create(void* owner, const std::string& title, bool resizable, int x, int y, int client_width,
                     int client_height) {
    auto w = std::make_unique<NativeWindow>();
    w->owner = owner;
    w->style = resizable ? WS_OVERLAPPEDWINDOW : (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    RECT r{0, 0, client_width * g_scale, client_height * g_scale};
    AdjustWindowRectEx(&r, w->style, FALSE, 0);
    w->hwnd = CreateWindowExW(0, CLASS_NAME, wide(title).c_str(), w->style, x * g_scale, y * g_scale,
                              r.right - r.left, r.bottom - r.top,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!w->hwnd) return nullptr;
    SetWindowLongPtrW(w->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w.get()));
    return w.release();
}

void destroy(NativeWindow* w) {
    if (!w) return;
    SetWindowLongPtrW(w->hwnd, GWLP_USERDATA, 0);  // nothing reaches the layer from here on
    DestroyWindow(w->hwnd);                        // destroys the menu bar with it
    delete w;
}

void show(NativeWindow* w, bool visible) {
    if (!w) return;
    ShowWindow(w->hwnd, visible ? SW_SHOW : SW_HIDE);
    if (visible) {
        SetForegroundWindow(w->hwnd);
        SetFocus(w->hwnd);
    }
}

void set_menu(NativeWindow* w, const std::vector<MenuEntry>* bar, int client_width, int client_height) {
    if (!w) return;
    if (bar && w->menu && same_shape(*bar, w->shown_menu)) {
        update_states(w->menu, *bar);
        w->shown_menu = *bar;
        DrawMenuBar(w->hwnd);
        return;
    }
    HMENU old = w->menu;
    w->menu = bar ? build_menu(*bar, true) : nullptr;
    w->shown_menu = bar ? *bar : std::vector<MenuEntry>{};
    SetMenu(w->hwnd, w->menu);
    if (old) DestroyMenu(old);
    fit_frame(w, client_width, client_height);
    DrawMenuBar(w->hwnd);
}

void present(NativeWindow* w) {
    if (!w || !IsWindowVisible(w->hwnd)) return;
    HDC dc = GetDC(w->hwnd);
    blit(w, dc);
    ReleaseDC(w->hwnd, dc);
    GdiFlush();
}

void pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) continue;  // the layer has its own quit
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

void wait(int64_t timeout_ms) {
    DWORD t = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(std::min<int64_t>(timeout_ms, 0x7FFFFFFF));
    // MWMO_INPUTAVAILABLE: messages already in the queue but seen by an earlier peek count too.
    MsgWaitForMultipleObjectsEx(0, nullptr, t, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    pump();
}

uint64_t now_ms() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const int64_t d = now.QuadPart - g_start.QuadPart, f = g_frequency.QuadPart;
    return static_cast<uint64_t>(d / f * 1000 + d % f * 1000 / f);
}

void screen_size(int* width, int* height) {
    // The layer places and sizes windows in client pixels, scale times smaller.
    *width = GetSystemMetrics(SM_CXSCREEN) / g_scale;
    *height = GetSystemMetrics(SM_CYSCREEN) / g_scale;
}

uintptr_t handle(NativeWindow* w) { return w ? reinterpret_cast<uintptr_t>(w->hwnd) : 0; }

void client_size(NativeWindow* w, int* width, int* height) {
    RECT r{0, 0, 0, 0};
    if (w) GetClientRect(w->hwnd, &r);
    *width = r.right / g_scale;
    *height = r.bottom / g_scale;
}

}  // namespace win32
}  // namespace px
