// window_system.cpp - windows, the message queue, timers, window DCs, paint, menus and
// moveable memory, on top of whichever backend runs (backend.h; chosen in backend_table.cpp).
//
// Sections: Windows; Messages; Timers; Metrics, DCs and paint; Menus; Moveable memory;
// Waiting, lookup, reset; The backend in use.
#include "window/window_system.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>

#include "window/backend.h"

namespace px {

namespace {

struct ClassRecord {
    WNDCLASSA wc;
    std::string name, menu_name;
};

struct Timer {
    HWND hwnd;
    uintptr_t id;
    unsigned period;
    uint64_t due;
};

struct Block {
    std::vector<char> data;
    int locks = 0;
};

constexpr size_t KEPT_DESTROYED_WINDOWS = 8;

struct State {
    std::map<std::string, ClassRecord> classes;
    std::vector<std::unique_ptr<Window>> windows;
    std::deque<std::unique_ptr<Window>> recently_destroyed;
    std::vector<HWND> window_list;
    std::vector<std::unique_ptr<Menu>> menus;
    std::deque<MSG> queue;
    std::vector<Timer> timers;
    std::map<Window*, uint64_t> shown_generation;
    // Window procedures running: a window destroyed inside one keeps its record until the
    // outermost returns, since the frames below may still read it.
    int calls_in_progress = 0;
    bool quit_posted = false;
    int quit_code = 0;
    int live_blocks = 0;
    std::unique_ptr<Backend> backend;
};

State& S() {
    static State s;
    return s;
}

bool menu_contains(HMENU root, HMENU target);

// A handle is looked up before it is read: a destroyed window's record is freed, and the
// library or a program may still hold the handle.
bool known(HWND hwnd) {
    if (!hwnd) return false;
    for (const std::unique_ptr<Window>& w : S().windows)
        if (w.get() == hwnd) return true;
    return false;
}

bool alive(HWND hwnd) { return known(hwnd) && !hwnd->destroyed; }

bool menu_known(HMENU menu) {
    if (!menu) return false;
    for (const std::unique_ptr<Menu>& m : S().menus)
        if (m.get() == menu) return true;
    return false;
}

// Moves the records of destroyed windows out once no window procedure is running. The
// last few are kept, emptied, before they are freed: a handle just let go is then not
// taken for a new window at the same address.
void free_destroyed_windows() {
    State& s = S();
    if (s.calls_in_progress > 0) return;
    for (auto it = s.windows.begin(); it != s.windows.end();) {
        if (!(*it)->destroyed) {
            ++it;
            continue;
        }
        Window* w = it->get();
        w->title.clear();
        w->title.shrink_to_fit();
        w->class_name.clear();
        w->class_name.shrink_to_fit();
        s.recently_destroyed.push_back(std::move(*it));
        it = s.windows.erase(it);
        if (s.recently_destroyed.size() > KEPT_DESTROYED_WINDOWS) s.recently_destroyed.pop_front();
    }
}

// A destroyed window's menu bar and its popups go with it, unless another window shows them.
void free_menus_of(HWND hwnd) {
    State& s = S();
    std::vector<HMENU> tree;
    if (menu_known(hwnd->menu)) tree.push_back(hwnd->menu);
    for (size_t i = 0; i < tree.size(); ++i)
        for (const MenuItem& it : tree[i]->items)
            if ((it.flags & MF_POPUP) && menu_known(it.popup) &&
                std::find(tree.begin(), tree.end(), it.popup) == tree.end())
                tree.push_back(it.popup);
    hwnd->menu = nullptr;
    for (HWND w : s.window_list)
        if (w != hwnd && alive(w))
            tree.erase(std::remove_if(tree.begin(), tree.end(), [&](HMENU m) { return menu_contains(w->menu, m); }),
                       tree.end());
    s.menus.erase(std::remove_if(s.menus.begin(), s.menus.end(),
                                 [&](const std::unique_ptr<Menu>& m) {
                                     return std::find(tree.begin(), tree.end(), m.get()) != tree.end();
                                 }),
                  s.menus.end());
}

// Runs a window procedure; records of windows it destroys are freed when the outermost
// call returns.
LRESULT call_proc(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp) {
    State& s = S();
    ++s.calls_in_progress;
    LRESULT r = hwnd->proc(hwnd, msg, wp, lp);
    --s.calls_in_progress;
    free_destroyed_windows();
    return r;
}

// Tells the backend about windows whose image changed since it last heard.
void sync_display() {
    State& s = S();
    if (!s.backend) return;
    for (HWND w : s.window_list) {
        if (!alive(w)) continue;
        uint64_t& seen = s.shown_generation[w];
        if (seen != w->client.generation) {
            seen = w->client.generation;
            s.backend->window_changed(w);
        }
    }
}

void update_client_size(HWND w, bool notify) {
    Rect r = client_rect_for(w->style, w->menu != nullptr, w->width, w->height);
    int cw = r.right - r.left, ch = r.bottom - r.top;
    if (cw == w->client.width && ch == w->client.height) return;
    w->client.resize(cw, ch, to_pixel(w->background));
    w->needs_paint = w->visible;
    w->needs_erase = w->visible;
    if (notify) SendMessageA(w, WM_SIZE, 0, MAKELPARAM(static_cast<unsigned>(cw), static_cast<unsigned>(ch)));
}

bool menu_contains(HMENU root, HMENU target) {
    return root && (root == target || find_menu_item(root, [&](const MenuItem& it) {
                        return (it.flags & MF_POPUP) && it.popup == target;
                    }));
}

void menu_touched(HMENU m) {
    ++m->generation;
    for (HWND w : S().window_list)
        if (alive(w) && menu_contains(w->menu, m)) backend().menu_changed(w);
}

}  // namespace

Rect client_rect_for(uint32_t style, bool has_menu, int width, int height) {
    int top = 0, side = 0;
    if (style & (WS_CAPTION | WS_THICKFRAME)) side = BORDER_WIDTH;
    if ((style & WS_CAPTION) == WS_CAPTION) top += CAPTION_HEIGHT;
    if (has_menu) top += MENU_BAR_HEIGHT;
    int cw = std::max(0, width - 2 * side);
    int ch = std::max(0, height - top - 2 * side);
    return Rect{0, 0, cw, ch};
}

// --- Windows --------------------------------------------------------------------------

bool user_resized(HWND hwnd, int client_width, int client_height) {
    if (!alive(hwnd) || !(hwnd->style & WS_THICKFRAME) || client_width < 0 || client_height < 0) return false;
    // The frame's insets are what client_rect_for takes off a frame of this style.
    Rect inner = client_rect_for(hwnd->style, hwnd->menu != nullptr, 10000, 10000);
    hwnd->width = client_width + (10000 - inner.right);
    hwnd->height = client_height + (10000 - inner.bottom);
    update_client_size(hwnd, true);
    return true;
}

bool RegisterClassA(const WNDCLASSA* wc) {
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc) return false;
    State& s = S();
    if (s.classes.count(wc->lpszClassName)) return false;  // already registered, as on the reference system
    ClassRecord rec{*wc, wc->lpszClassName, wc->lpszMenuName ? wc->lpszMenuName : ""};
    s.classes[rec.name] = rec;
    return true;
}

HWND CreateWindowA(const char* class_name, const char* title, uint32_t style, int x, int y, int width,
                   int height, HWND, HMENU menu, HINSTANCE) {
    State& s = S();
    auto it = class_name ? s.classes.find(class_name) : s.classes.end();
    if (it == s.classes.end()) return nullptr;
    auto w = std::make_unique<Window>();
    w->class_name = class_name;
    w->title = title ? title : "";
    w->style = style;
    w->x = x; w->y = y; w->width = width; w->height = height;
    w->proc = it->second.wc.lpfnWndProc;
    w->background = it->second.wc.background;
    w->client.pixels = PixelVector(PixelAllocator<uint32_t>(backend().pixel_store()));
    w->menu = menu;
    HWND h = w.get();
    s.windows.push_back(std::move(w));
    s.window_list.push_back(h);
    backend().window_created(h);
    if (SendMessageA(h, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(h);
        return nullptr;
    }
    update_client_size(h, false);
    SendMessageA(h, WM_SIZE, 0, MAKELPARAM(static_cast<unsigned>(h->client.width), static_cast<unsigned>(h->client.height)));
    return h;
}

bool DestroyWindow(HWND hwnd) {
    if (!alive(hwnd)) return false;
    State& s = S();
    ++s.calls_in_progress;
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    --s.calls_in_progress;
    if (hwnd->destroyed) return true;  // its WM_DESTROY handler destroyed it again
    hwnd->destroyed = true;
    hwnd->visible = false;
    s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                   s.timers.end());
    s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(), [&](const MSG& m) { return m.hwnd == hwnd; }),
                  s.queue.end());
    s.shown_generation.erase(hwnd);
    s.window_list.erase(std::remove(s.window_list.begin(), s.window_list.end(), hwnd), s.window_list.end());
    backend().window_destroyed(hwnd);
    free_menus_of(hwnd);
    // The image goes now (on the desktop it is a shared segment the server has attached);
    // the record itself once no window procedure can still be reading it.
    hwnd->client = Bitmap();
    free_destroyed_windows();
    return true;
}

bool IsWindow(HWND hwnd) { return alive(hwnd); }

bool ShowWindow(HWND hwnd, int cmd) {
    if (!alive(hwnd)) return false;
    bool was = hwnd->visible;
    bool show = cmd != SW_HIDE;
    hwnd->visible = show;
    // A window that appears is painted from its class background, as after an expose.
    if (show && !was) hwnd->needs_paint = hwnd->needs_erase = true;
    if (show != was) backend().window_shown(hwnd, show);
    return was;
}

bool IsWindowVisible(HWND hwnd) { return alive(hwnd) && hwnd->visible; }

bool GetClientRect(HWND hwnd, Rect* rect) {
    if (!alive(hwnd) || !rect) return false;
    *rect = Rect{0, 0, hwnd->client.width, hwnd->client.height};
    return true;
}

bool InvalidateRect(HWND hwnd, const Rect*, bool erase) {
    if (!alive(hwnd)) return false;
    hwnd->needs_paint = true;
    if (erase) hwnd->needs_erase = true;
    return true;
}

// --- Messages -------------------------------------------------------------------------

bool PostMessageA(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp) {
    if (hwnd && !alive(hwnd)) return false;
    S().queue.push_back(MSG{hwnd, msg, wp, lp, now_ms()});
    return true;
}

void post_input(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp) {
    // Motion is coalesced as the reference system does: a move that finds the previous move still
    // queued, with nothing after it, takes its place, so a program that falls behind
    // reads the latest position rather than a backlog.
    std::deque<MSG>& q = S().queue;
    if (msg == WM_MOUSEMOVE && !q.empty() && q.back().message == WM_MOUSEMOVE && q.back().hwnd == hwnd &&
        alive(hwnd)) {
        q.back() = MSG{hwnd, msg, wp, lp, now_ms()};
        return;
    }
    PostMessageA(hwnd, msg, wp, lp);
}

LRESULT SendMessageA(HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp) {
    if (!known(hwnd) || !hwnd->proc || (hwnd->destroyed && msg != WM_DESTROY)) return 0;
    return call_proc(hwnd, msg, wp, lp);
}

bool message_available() {
    State& s = S();
    backend().poll();
    if (!s.queue.empty() || s.quit_posted) return true;
    for (HWND w : s.window_list)
        if (alive(w) && w->visible && w->needs_paint) return true;
    uint64_t now = now_ms();
    for (const Timer& t : s.timers)
        if (t.due <= now) return true;
    return false;
}

bool PeekMessageA(MSG* out, HWND filter, unsigned, unsigned, unsigned remove) {
    State& s = S();
    backend().poll();
    sync_display();
    // Posted and input messages, in arrival order.
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (filter && it->hwnd != filter) continue;
        *out = *it;
        if (remove & PM_REMOVE) s.queue.erase(it);
        return true;
    }
    // Then quit.
    if (s.quit_posted && !filter) {
        *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quit_code), 0, now_ms()};
        if (remove & PM_REMOVE) s.quit_posted = false;
        return true;
    }
    // Then paint: generated while a window needs it, never queued.
    for (HWND w : s.window_list) {
        if (alive(w) && w->visible && w->needs_paint && (!filter || filter == w)) {
            *out = MSG{w, WM_PAINT, 0, 0, now_ms()};
            return true;
        }
    }
    // Then timers: one message per due timer, however many periods have passed.
    uint64_t now = now_ms();
    for (Timer& t : s.timers) {
        if (t.due > now || (filter && filter != t.hwnd)) continue;
        *out = MSG{t.hwnd, WM_TIMER, t.id, 0, now};
        if (remove & PM_REMOVE) {
            while (t.due <= now) t.due += t.period;
        }
        return true;
    }
    return false;
}

bool TranslateMessage(const MSG* msg) {
    if (!msg || msg->message != WM_KEYDOWN) return false;
    uint32_t lp = static_cast<uint32_t>(msg->lParam);
    unsigned char typed = static_cast<unsigned char>((lp >> 16) & 0xFF);
    if (typed == 0) return false;
    bool control = (lp >> 24) & 1;
    unsigned ch = typed;
    if (control) {
        // With Control held a letter types its control code; other keys type nothing.
        if (!std::isalpha(typed)) return false;
        ch = static_cast<unsigned>(std::toupper(typed) - 'A' + 1);
    }
    // The character message is taken by the next peek, ahead of later input.
    S().queue.push_front(MSG{msg->hwnd, WM_CHAR, ch, static_cast<LPARAM>(lp & 0xFFFF), now_ms()});
    return true;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !alive(msg->hwnd)) return 0;
    LRESULT r = call_proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    sync_display();
    return r;
}

LRESULT DefWindowProcA(HWND hwnd, unsigned msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_CLOSE: DestroyWindow(hwnd); return 0;
        case WM_PAINT: if (alive(hwnd)) hwnd->needs_paint = hwnd->needs_erase = false; return 0;
        case WM_ERASEBKGND: {
            // The class brush over the whole client area, whatever the DC has selected.
            Bitmap* surface = dc_surface(reinterpret_cast<HDC>(wp));
            if (!alive(hwnd) || !surface) return 0;
            uint32_t fill = to_pixel(hwnd->background);
            std::fill(surface->pixels.begin(), surface->pixels.end(), fill);
            surface->row_offset = 0;
            ++surface->generation;
            return 1;
        }
        default: return 0;
    }
}

void PostQuitMessage(int exit_code) {
    S().quit_posted = true;
    S().quit_code = exit_code;
}

// --- Timers ---------------------------------------------------------------------------

uintptr_t SetTimer(HWND hwnd, uintptr_t id, unsigned period_ms, void*) {
    if (!alive(hwnd) || id == 0) return 0;
    State& s = S();
    if (period_ms == 0) period_ms = 1;
    uint64_t due = now_ms() + period_ms;
    for (Timer& t : s.timers)
        if (t.hwnd == hwnd && t.id == id) { t.period = period_ms; t.due = due; return id; }
    s.timers.push_back(Timer{hwnd, id, period_ms, due});
    return id;
}

bool KillTimer(HWND hwnd, uintptr_t id) {
    State& s = S();
    auto it = std::find_if(s.timers.begin(), s.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == s.timers.end()) return false;
    s.timers.erase(it);
    return true;
}

// --- Metrics, DCs and paint -----------------------------------------------------------

int GetSystemMetrics(int which) {
    int w = 0, h = 0;
    backend().screen_size(&w, &h);
    return which == SM_CXSCREEN ? w : which == SM_CYSCREEN ? h : 0;
}

HDC GetDC(HWND hwnd) { return alive(hwnd) ? create_surface_dc(&hwnd->client) : nullptr; }

int ReleaseDC(HWND, HDC dc) {
    if (!dc) return 0;
    DeleteDC(dc);
    return 1;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    if (!alive(hwnd)) return nullptr;
    hwnd->needs_paint = false;
    HDC dc = create_surface_dc(&hwnd->client);
    bool erase = hwnd->needs_erase;
    hwnd->needs_erase = false;
    if (erase && SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0)) erase = false;
    if (ps) *ps = PAINTSTRUCT{dc, Rect{0, 0, hwnd->client.width, hwnd->client.height}, erase};
    return dc;
}

bool EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (ps && ps->hdc) DeleteDC(ps->hdc);
    // A paint answers an expose: what the window holds goes to the display even if the
    // handler changed nothing.
    if (alive(hwnd)) ++hwnd->client.generation;
    return true;
}

// --- Menus ----------------------------------------------------------------------------

HMENU CreateMenu() {
    S().menus.push_back(std::make_unique<Menu>());
    return S().menus.back().get();
}

HMENU CreatePopupMenu() {
    HMENU m = CreateMenu();
    m->popup = true;
    return m;
}

bool AppendMenuA(HMENU menu, unsigned flags, uintptr_t id_or_popup, const char* text) {
    if (!menu_known(menu)) return false;
    MenuItem item{flags, (flags & MF_POPUP) ? 0 : id_or_popup, text && !(flags & MF_SEPARATOR) ? text : "",
                  (flags & MF_POPUP) ? reinterpret_cast<HMENU>(id_or_popup) : nullptr};
    menu->items.push_back(item);
    menu_touched(menu);
    return true;
}

bool SetMenu(HWND hwnd, HMENU menu) {
    if (!alive(hwnd) || (menu && !menu_known(menu))) return false;
    hwnd->menu = menu;
    // During creation the size is settled once WM_CREATE returns; later it changes now.
    if (hwnd->client.width || hwnd->client.height) update_client_size(hwnd, true);
    backend().menu_changed(hwnd);
    return true;
}

HMENU GetMenu(HWND hwnd) { return alive(hwnd) ? hwnd->menu : nullptr; }

bool DrawMenuBar(HWND hwnd) {
    if (!alive(hwnd)) return false;
    backend().menu_changed(hwnd);
    return true;
}

long CheckMenuItem(HMENU menu, unsigned id, unsigned flags) {
    if (!menu_known(menu)) return -1;
    HMENU owner = nullptr;
    MenuItem* it = find_menu_item(menu, [&](const MenuItem& e) {
        return !(e.flags & (MF_POPUP | MF_SEPARATOR)) && e.id == id;
    }, &owner);
    if (!it) return -1;
    long was = (it->flags & MF_CHECKED) ? MF_CHECKED : MF_UNCHECKED;
    if (flags & MF_CHECKED) it->flags |= MF_CHECKED;
    else it->flags &= ~static_cast<unsigned>(MF_CHECKED);
    menu_touched(owner);
    return was;
}

// --- Moveable memory ------------------------------------------------------------------

HGLOBAL GlobalAlloc(unsigned, size_t bytes) {
    Block* b = new Block;
    b->data.resize(bytes ? bytes : 1);
    ++S().live_blocks;
    return b;
}

void* GlobalLock(HGLOBAL block) {
    if (!block) return nullptr;
    Block* b = static_cast<Block*>(block);
    ++b->locks;
    return b->data.data();
}

bool GlobalUnlock(HGLOBAL block) {
    if (!block) return false;
    Block* b = static_cast<Block*>(block);
    if (b->locks > 0) --b->locks;
    return b->locks > 0;
}

HGLOBAL GlobalFree(HGLOBAL block) {
    if (!block) return nullptr;
    delete static_cast<Block*>(block);
    --S().live_blocks;
    return nullptr;
}

int live_global_blocks() { return S().live_blocks; }

// --- Waiting, lookup, reset -----------------------------------------------------------

void wait_for_message(bool timers_wake) {
    if (message_available()) return;
    // What changed since the last dispatch (the canvas presented after it, a log line) is
    // handed to the backend now: a presentation must be on its way before the wait blocks,
    // not wait for the next message to wake it.
    sync_display();
    uint64_t deadline = NO_DEADLINE;
    if (timers_wake)
        for (const Timer& t : S().timers) deadline = std::min(deadline, t.due);
    backend().wait_until(deadline);
    if (timers_wake) return;
    // Periods that ended while nobody wanted their ticks are passed over, as a caller
    // peeking all along would have taken and ignored them; one due this instant still comes.
    const uint64_t now = now_ms();
    for (Timer& t : S().timers)
        while (t.due < now) t.due += t.period;
}

uint64_t now_ms() { return backend().now_ms(); }

const std::vector<HWND>& all_windows() { return S().window_list; }

HWND find_window(const char* title) {
    for (HWND w : S().window_list)
        if (alive(w) && title && w->title == title) return w;
    return nullptr;
}

void reset_window_system() {
    State& s = S();
    for (HWND w : s.window_list)
        if (alive(w)) {
            w->destroyed = true;
            if (s.backend) s.backend->window_destroyed(w);
        }
    s.classes.clear();
    s.calls_in_progress = 0;
    s.window_list.clear();
    s.windows.clear();
    s.recently_destroyed.clear();
    s.menus.clear();
    s.queue.clear();
    s.timers.clear();
    s.shown_generation.clear();
    s.quit_posted = false;
    s.quit_code = 0;
}

// --- The backend in use ---------------------------------------------------------------

Backend& backend() {
    State& s = S();
    if (s.backend) return *s.backend;
    s.backend = choose_backend();
    return *s.backend;
}

void set_backend(std::unique_ptr<Backend> b) {
    S().backend = std::move(b);
    S().shown_generation.clear();
}

}  // namespace px
