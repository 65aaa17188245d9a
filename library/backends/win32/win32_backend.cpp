// win32_backend.cpp - the win32 backend's layer half: each layer window gets a real window of its
// client size at its place, its px::Menu becomes the real menu bar, and what the real
// windows report is posted as the layer's input. Waiting blocks in Windows' message
// wait until input or the next timer is due.
//
// Checklist (backend.h):
//   [x] now_ms           the performance counter, in ms
//   [x] screen_size      Windows' own metrics
//   [x] poll             pumps the real message queue; never blocks
//   [x] wait_until       MsgWaitForMultipleObjectsEx until input or the deadline
//   [x] window_created / window_shown / window_changed / window_destroyed
//   [x] user resizing    WM_SIZE of a sizable window tells the layer (user_resized)
//   [x] menu_changed     rebuilds the menu bar, or updates marks and states in place
//   [x] capabilities     no replay from the environment (a user gives input)
//   [x] input            the whole contract: three buttons with capture, motion and leaving,
//                        the wheel, keys and system keys with modifiers and auto-repeat
#include "backends/win32/win32.h"

#include <algorithm>

#include "window/backend.h"
#include "backends/win32/win32_native.h"

namespace px {
namespace {

HWND layer_window(void* owner) { return static_cast<HWND>(owner); }
win32::NativeWindow* native_of(HWND h) { return h ? static_cast<win32::NativeWindow*>(h->native) : nullptr; }

void on_message(void* owner, unsigned msg, uintptr_t wp, intptr_t lp) {
    post_input(layer_window(owner), msg, wp, lp);
}

void on_key(void* owner, unsigned msg, unsigned vk, unsigned char typed, bool control, bool shift, bool alt,
            bool repeat, bool second) {
    const bool up = msg == WM_KEYUP || msg == WM_SYSKEYUP;
    post_input(layer_window(owner), msg, vk, key_lparam(typed, control, up, shift, alt, repeat, second));
}

void on_exposed(void* owner) { InvalidateRect(layer_window(owner), nullptr, true); }

// Only sizable windows take it; the layer repaints the window at its new size.
void on_resized(void* owner, int client_width, int client_height) {
    user_resized(layer_window(owner), client_width, client_height);
}

bool on_image(void* owner, win32::ImageView* out) {
    HWND h = layer_window(owner);
    const Bitmap& b = h->client;
    out->pixels = b.pixels.empty() ? nullptr : b.pixels.data();
    out->width = b.width;
    out->height = b.height;
    out->row_offset = b.row_offset;
    out->background = to_pixel(h->background);
    return out->pixels != nullptr;
}

std::vector<win32::MenuEntry> entries_of(HMENU m) {
    std::vector<win32::MenuEntry> out;
    for (const MenuItem& it : m->items) {
        win32::MenuEntry e;
        e.flags = it.flags;
        e.id = (it.flags & MF_POPUP) ? 0 : it.id;
        e.text = it.text;
        if ((it.flags & MF_POPUP) && it.popup) e.popup = entries_of(it.popup);
        out.push_back(std::move(e));
    }
    return out;
}

class Win32Backend;
Win32Backend* g_backend = nullptr;

class Win32Backend final : public Backend {
public:
    Win32Backend() { g_backend = this; }
    // Real windows still open at the end go with the process.
    ~Win32Backend() override {
        if (g_backend == this) g_backend = nullptr;
    }
    const char* name() const override { return "desktop"; }
    int display_scale() const override { return win32::scale(); }
    uint64_t now_ms() override { return win32::now_ms(); }
    void screen_size(int* w, int* h) override { win32::screen_size(w, h); }
    void poll() override { win32::pump(); }
    void wait_until(uint64_t deadline) override {
        if (deadline == NO_DEADLINE) {
            win32::wait(-1);
            return;
        }
        const uint64_t now = win32::now_ms();
        win32::wait(deadline > now ? static_cast<int64_t>(deadline - now) : 0);
    }

    void window_created(HWND h) override {
        const Rect c = client_rect_for(h->style, h->menu != nullptr, h->width, h->height);
        h->native = win32::create(h, h->title, (h->style & WS_THICKFRAME) != 0, h->x, h->y, c.right, c.bottom);
        if (h->menu) menu_changed(h);
    }
    void window_shown(HWND h, bool show) override {
        win32::show(native_of(h), show);
        if (show) win32::present(native_of(h));
    }
    void window_changed(HWND h) override { win32::present(native_of(h)); }
    void window_destroyed(HWND h) override {
        win32::destroy(native_of(h));
        h->native = nullptr;
    }
    void menu_changed(HWND h) override {
        win32::NativeWindow* n = native_of(h);
        if (!n) return;
        const Rect c = client_rect_for(h->style, h->menu != nullptr, h->width, h->height);
        if (h->menu) {
            std::vector<win32::MenuEntry> bar = entries_of(h->menu);
            win32::set_menu(n, &bar, c.right, c.bottom);
        } else {
            win32::set_menu(n, nullptr, c.right, c.bottom);
        }
    }
};

}  // namespace

namespace win32 {

bool active() { return g_backend && &backend() == g_backend; }

uintptr_t native_handle(HWND hwnd) { return active() ? handle(native_of(hwnd)) : 0; }

}  // namespace win32

std::unique_ptr<Backend> make_win32_backend() {
    win32::Callbacks cb{on_message, on_key, on_exposed, on_image, on_resized};
    if (!win32::start(cb)) return nullptr;
    auto b = std::make_unique<Win32Backend>();
    win32::set_scale(display_scale_for(0, win32::screen_dpi()));
    return b;
}

}  // namespace px
