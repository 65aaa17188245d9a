// headless.cpp - the in-memory backend: virtual clock, scheduled input, no display. The
// windows' images stay in the layer's Window records, where tests read them.
//
// Checklist (the Backend interface):
//   [x] now_ms, screen_size       the virtual clock; a settable screen size
//   [x] poll, wait_until          scheduled input; the clock jumps to what comes next,
//                                 and a run with nothing left to come gets a quit
//   [x] window and menu calls     nothing to show: the layer's records are the display
//   [x] environment_playback  PLOTX_PLAYBACK=1 replays the script, then quits
#include "backends/headless/headless.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <utility>

namespace px {
namespace headless {

namespace {

struct Input {
    HWND hwnd;
    unsigned msg;
    WPARAM wp;
    LPARAM lp;
};

HWND first_window() {
    for (HWND w : all_windows())
        if (IsWindow(w)) return w;
    return nullptr;
}

class Headless final : public Backend {
public:
    Headless(int w, int h) : width_(w), height_(h) {}
    const char* name() const override { return "headless"; }
    uint64_t now_ms() override { return now_; }
    void screen_size(int* w, int* h) override { *w = width_; *h = height_; }
    EnvironmentPlayback environment_playback() const override { return environment_playback_; }
    EnvironmentPlayback environment_playback_ = EnvironmentPlayback::THEN_QUIT;

    void poll() override {
        while (!inputs_.empty() && inputs_.begin()->first.first <= now_) {
            Input in = inputs_.begin()->second;
            inputs_.erase(inputs_.begin());
            last_input_ = now_;
            HWND target = in.hwnd ? in.hwnd : first_window();
            if (IsWindow(target)) post_input(target, in.msg, in.wp, in.lp);
        }
    }

    void window_changed(HWND h) override { told_[h] = h->client.generation; }
    void window_destroyed(HWND h) override { told_.erase(h); }

    void wait_until(uint64_t deadline) override {
        for (HWND w : all_windows()) {
            auto it = told_.find(w);
            if (IsWindow(w) && (it == told_.end() || it->second != w->client.generation)) {
                ++unshown_blocks_;
                break;
            }
        }
        uint64_t next = inputs_.empty() ? NO_DEADLINE : inputs_.begin()->first.first;
        uint64_t target = next < deadline ? next : deadline;
        bool idle_too_long = idle_limit_ && inputs_.empty() && target != NO_DEADLINE &&
                             target > last_input_ + idle_limit_;
        if (target == NO_DEADLINE || idle_too_long) {
            // Nothing can ever arrive: end the program rather than hang.
            if (!quit_sent_) {
                std::fprintf(stderr, "plotx: headless run has no more input; quitting\n");
                quit_sent_ = true;
            }
            PostQuitMessage(0);
            return;
        }
        if (poll_step_ && target > now_ + poll_step_) target = now_ + poll_step_;
        if (target > now_) now_ = target;
    }

    void schedule(uint64_t at, HWND hwnd, unsigned msg, WPARAM wp, LPARAM lp) {
        if (at < now_) at = now_;
        inputs_.emplace(std::make_pair(at, seq_++), Input{hwnd, msg, wp, lp});
    }

    int width_, height_;
    uint64_t now_ = 0, last_input_ = 0, idle_limit_ = 600000, seq_ = 0, poll_step_ = 0;
    bool quit_sent_ = false;
    unsigned control_ = 0, shift_ = 0, alt_ = 0;  // modifier keys down: bit 0 the first, bit 1 the second
    unsigned buttons_ = 0;  // MK_ bits of the buttons held
    bool down_[PHYSICAL_KEY_LIMIT] = {};  // keys down, by physical key
    int unshown_blocks_ = 0;
    std::map<HWND, uint64_t> told_;  // the image generation each window was last shown at

    unsigned mk() const {
        return buttons_ | (shift_ ? MK_SHIFT : 0u) | (control_ ? MK_CONTROL : 0u) | (alt_ ? MK_ALT : 0u);
    }
    std::map<std::pair<uint64_t, uint64_t>, Input> inputs_;
};

Headless* g_current = nullptr;

Headless& H() {
    if (!g_current || &backend() != g_current) install();
    return *g_current;
}

}  // namespace

void install(int screen_width, int screen_height) {
    auto b = make_headless_backend();
    set_screen_size(screen_width, screen_height);
    set_backend(std::move(b));
}

bool active() { return g_current && &backend() == g_current; }
void set_screen_size(int width, int height) {
    Headless& h = g_current ? *g_current : H();
    h.width_ = width;
    h.height_ = height;
}
uint64_t now() { return H().now_; }
void advance(uint64_t ms) { H().now_ += ms; }
void set_idle_limit(uint64_t ms) { H().idle_limit_ = ms; }
void set_poll_step(uint64_t ms) { H().poll_step_ = ms; }
void set_environment_playback(Backend::EnvironmentPlayback mode) { H().environment_playback_ = mode; }

void click(HWND hwnd, int x, int y, uint64_t at) {
    H().schedule(at, hwnd, WM_LBUTTONDOWN, MK_LBUTTON | H().mk(), MAKELPARAM(static_cast<unsigned>(x), static_cast<unsigned>(y)));
}

static unsigned button_bit(int button) { return button == 1 ? MK_LBUTTON : button == 2 ? MK_MBUTTON : MK_RBUTTON; }
static LPARAM at_client(int x, int y) { return MAKELPARAM(static_cast<unsigned>(x), static_cast<unsigned>(y)); }

void press(HWND hwnd, int button, int x, int y, uint64_t at) {
    Headless& h = H();
    h.buttons_ |= button_bit(button);
    unsigned msg = button == 1 ? WM_LBUTTONDOWN : button == 2 ? WM_MBUTTONDOWN : WM_RBUTTONDOWN;
    h.schedule(at, hwnd, msg, h.mk(), at_client(x, y));
}

void release(HWND hwnd, int button, int x, int y, uint64_t at) {
    Headless& h = H();
    h.buttons_ &= ~button_bit(button);
    unsigned msg = button == 1 ? WM_LBUTTONUP : button == 2 ? WM_MBUTTONUP : WM_RBUTTONUP;
    h.schedule(at, hwnd, msg, h.mk(), at_client(x, y));
}

void move(HWND hwnd, int x, int y, uint64_t at) { H().schedule(at, hwnd, WM_MOUSEMOVE, H().mk(), at_client(x, y)); }

void wheel_delta(HWND hwnd, int x, int y, int delta, uint64_t at) {
    H().schedule(at, hwnd, WM_MOUSEWHEEL, wheel_wparam(H().mk(), delta), at_client(x, y));
}

void wheel(HWND hwnd, int x, int y, int notches, uint64_t at) { wheel_delta(hwnd, x, y, notches * WHEEL_DELTA, at); }

static void set_modifier(Headless& h, unsigned vk, bool down) {
    unsigned* keys = (vk & 0xFF) == VK_CONTROL ? &h.control_
                     : (vk & 0xFF) == VK_SHIFT ? &h.shift_
                     : (vk & 0xFF) == VK_MENU  ? &h.alt_
                                               : nullptr;
    unsigned bit = (vk & SECOND_KEY) ? 2u : 1u;
    if (keys) *keys = down ? *keys | bit : *keys & ~bit;
}

void key_down(HWND hwnd, unsigned vk, unsigned char typed, uint64_t at) {
    Headless& h = H();
    set_modifier(h, vk, true);
    bool repeat = h.down_[vk & 0x1FF];
    h.down_[vk & 0x1FF] = true;
    h.schedule(at, hwnd, h.alt_ ? WM_SYSKEYDOWN : WM_KEYDOWN, vk & 0xFF,
               key_lparam(typed, h.control_, false, h.shift_, h.alt_, repeat, (vk & SECOND_KEY) != 0));
}

void key_up(HWND hwnd, unsigned vk, uint64_t at) {
    Headless& h = H();
    bool system = h.alt_;
    set_modifier(h, vk, false);
    h.down_[vk & 0x1FF] = false;
    h.schedule(at, hwnd, system ? WM_SYSKEYUP : WM_KEYUP, vk & 0xFF,
               key_lparam(0, h.control_, true, h.shift_, h.alt_, false, (vk & SECOND_KEY) != 0));
}

void release_elsewhere(unsigned vk) {
    set_modifier(H(), vk, false);
    H().down_[vk & 0x1FF] = false;
}

static unsigned key_code_for(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (std::isalpha(u)) return static_cast<unsigned>(std::toupper(u));
    if (std::isdigit(u) || u == ' ') return u;
    if (u == '\n' || u == '\r') return VK_RETURN;
    if (u == '\t') return VK_TAB;
    if (u == 8) return VK_BACK;
    return VK_OEM_1;  // one of the punctuation keys; the typed byte carries the character
}

void type_char(HWND hwnd, char c, uint64_t at) {
    unsigned vk = key_code_for(c);
    key_down(hwnd, vk, static_cast<unsigned char>(c), at);
    key_up(hwnd, vk, at);
}

void control_key(HWND hwnd, char letter, uint64_t at) {
    key_down(hwnd, VK_CONTROL, 0, at);
    type_char(hwnd, static_cast<char>(std::tolower(static_cast<unsigned char>(letter))), at);
    key_up(hwnd, VK_CONTROL, at);
}

void close(HWND hwnd, uint64_t at) { H().schedule(at, hwnd, WM_CLOSE, 0, 0); }
void focus_lost(HWND hwnd, uint64_t at) { H().schedule(at, hwnd, WM_KILLFOCUS, 0, 0); }

void expose(HWND hwnd, uint64_t) {
    // Covering and uncovering asks for a repaint; there is nothing to post.
    InvalidateRect(hwnd, nullptr, true);
}

static bool enabled_entry(HMENU m, unsigned id) {
    return find_menu_item(m, [&](const MenuItem& it) {
               return !(it.flags & (MF_POPUP | MF_SEPARATOR | MF_GRAYED | MF_DISABLED)) && it.id == id;
           }) != nullptr;
}

bool choose_menu(HWND hwnd, unsigned id, uint64_t at) {
    if (!IsWindow(hwnd) || !enabled_entry(GetMenu(hwnd), id)) return false;
    H().schedule(at, hwnd, WM_COMMAND, id, 0);
    return true;
}

int pending_input() { return static_cast<int>(H().inputs_.size()); }
int blocks_with_unshown_images() { return H().unshown_blocks_; }

}  // namespace headless

std::unique_ptr<Backend> make_headless_backend() {
    auto b = std::make_unique<headless::Headless>(1024, 768);
    headless::g_current = b.get();
    return b;
}

}  // namespace px
