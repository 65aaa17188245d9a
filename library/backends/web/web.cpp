// web.cpp - the web backend: every layer window becomes a panel on the page (a canvas
// showing its client image at 1:1 and, when it has one, a menu bar built from its px::Menu);
// the page's pointer, keyboard, menu and close input become posted messages; a sizable
// window's panel resized by the visitor is resized here as a window manager's would be (the
// page shows each client pixel as s x s device pixels and posts client pixels). Waiting
// suspends the program (the toolchain's asynchronous-call support) until input arrives or a
// page timer fires, so a halted program leaves the tab idle. The log's lines and a summary of
// the shapes on the canvas go to the page as text for screen readers. The page side is
// page/plotx-web.js.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "window/backend.h"

namespace px {
namespace {

// The page's screen: wide enough for a readable log line, and tall enough that the text
// window's client area (a third of the screen less its frame) holds 25 log lines of 13 pixels.
constexpr int SCREEN_WIDTH = 806, SCREEN_HEIGHT = 1059;

// clang-format off
EM_JS(void, page_window_created, (int id, const char* title, int has_menu, int sizable), {
    Module.plotx.windowCreated(id, UTF8ToString(title), has_menu !== 0, sizable !== 0);
});
EM_JS(void, page_log_line, (int id, const char* text), { Module.plotx.logLine(id, UTF8ToString(text)); });
EM_JS(void, page_describe, (int id, const char* text), { Module.plotx.describe(id, UTF8ToString(text)); });
EM_JS(void, page_window_shown, (int id, int shown), { Module.plotx.windowShown(id, shown !== 0); });
EM_JS(void, page_window_destroyed, (int id), { Module.plotx.windowDestroyed(id); });
EM_JS(void, page_present, (int id, const uint8_t* rgba, int width, int height), {
    Module.plotx.present(id, HEAPU8.subarray(rgba, rgba + width * height * 4), width, height);
});
// The layer's message numbers and flags, handed over once so that the page never retypes them.
EM_JS(void, page_constants, (const char* json), { Module.plotx.setConstants(JSON.parse(UTF8ToString(json))); });
EM_JS(void, page_menu, (int id, const char* description), {
    Module.plotx.setMenu(id, UTF8ToString(description));
});
// Takes the oldest input the page queued: window, message, wParam, lParam into out[0..3].
EM_JS(int, page_take_input, (int32_t* out), {
    const q = Module.plotx.queue;
    if (q.length === 0) return 0;
    const e = q.shift();
    for (let i = 0; i < 4; ++i) HEAP32[(out >> 2) + i] = e[i];
    return 1;
});
// Suspends the program until the page queues input or ms pass (ms < 0: no time limit, and
// the page sets no timer; 0: one turn of the page's event loop, taken through a message
// channel, since nested zero timers are clamped to several milliseconds each).
EM_ASYNC_JS(void, page_wait, (double ms), {
    const p = Module.plotx;
    if (p.queue.length > 0) return;
    await new Promise(resolve => {
        let timer = null;
        p.idle = ms < 0;
        p.wake = () => { if (timer !== null) clearTimeout(timer); p.wake = null; p.idle = false; resolve(); };
        if (ms > 0) {
            timer = setTimeout(p.wake, Math.ceil(ms));
        } else if (ms === 0) {
            if (!p.turns) {
                p.turns = new MessageChannel();
                p.turn = 0;
                p.turns.port1.onmessage = e => { if (e.data === p.turn && p.wake) p.wake(); };
            }
            p.turns.port2.postMessage(++p.turn);
        }
    });
});
// clang-format on

// What the page posts and reads: the input messages, their parameters' bits, and the menu
// flags it draws, as a JSON object of names.
std::string constants_json() {
    static const struct {
        const char* name;
        uint32_t value;
    } table[] = {
        {"WM_CLOSE", WM_CLOSE}, {"WM_SIZE", WM_SIZE}, {"WM_KILLFOCUS", WM_KILLFOCUS}, {"WM_KEYDOWN", WM_KEYDOWN},
        {"WM_KEYUP", WM_KEYUP}, {"WM_SYSKEYDOWN", WM_SYSKEYDOWN}, {"WM_SYSKEYUP", WM_SYSKEYUP},
        {"WM_COMMAND", WM_COMMAND}, {"WM_MOUSEMOVE", WM_MOUSEMOVE}, {"WM_MOUSEWHEEL", WM_MOUSEWHEEL},
        {"WM_LBUTTONDOWN", WM_LBUTTONDOWN}, {"WM_LBUTTONUP", WM_LBUTTONUP},
        {"WM_MBUTTONDOWN", WM_MBUTTONDOWN}, {"WM_MBUTTONUP", WM_MBUTTONUP},
        {"WM_RBUTTONDOWN", WM_RBUTTONDOWN}, {"WM_RBUTTONUP", WM_RBUTTONUP},
        {"MK_LBUTTON", MK_LBUTTON}, {"MK_RBUTTON", MK_RBUTTON}, {"MK_SHIFT", MK_SHIFT},
        {"MK_CONTROL", MK_CONTROL}, {"MK_MBUTTON", MK_MBUTTON}, {"MK_ALT", MK_ALT},
        {"WHEEL_DELTA", WHEEL_DELTA}, {"KEY_CONTROL_HELD", KEY_CONTROL_HELD},
        {"KEY_SHIFT_HELD", KEY_SHIFT_HELD}, {"KEY_ALT_HELD", KEY_ALT_HELD}, {"KEY_WAS_DOWN", KEY_WAS_DOWN},
        {"KEY_SECOND", KEY_SECOND},
        {"KEY_UP_BIT", KEY_UP_BIT}, {"MF_GRAYED", MF_GRAYED}, {"MF_DISABLED", MF_DISABLED},
        {"MF_CHECKED", MF_CHECKED}, {"VK_NO_CODE", VK_NO_CODE},
    };
    std::string out = "{";
    for (const auto& c : table) {
        if (out.size() > 1) out += ",";
        out += std::string("\"") + c.name + "\":" + std::to_string(c.value);
    }
    return out + "}";
}

int id_of(HWND hwnd) { return static_cast<int>(reinterpret_cast<uintptr_t>(hwnd)); }

// The shapes drawn for the picture last shown (since the one before it was shown, or since the
// canvas was cleared), counted by colour and shape in the order they first came, with the
// texts drawn; put in words for the canvas's text alternative. A program that redraws its
// scene each frame is described whole; one that draws only what moved, by what moved.
class CanvasWords {
public:
    static constexpr int ITEMISED = 50;  // more shapes than this are summed up by shape
    static constexpr size_t TEXTS = 6;   // texts quoted at most

    void clear() {
        groups_.clear();
        texts_.clear();
        total_ = 0;
    }
    void add(const std::string& shape, const std::string& colour, const char* text) {
        ++total_;
        if (shape == "text") {
            if (text && *text && texts_.size() < TEXTS) texts_.emplace_back(text);
            return;
        }
        for (Group& gr : groups_)
            if (gr.shape == shape && gr.colour == colour) {
                ++gr.count;
                return;
            }
        groups_.push_back({shape, colour, 1});
    }
    std::string words() const {
        if (total_ == 0) return "nothing drawn";
        std::vector<std::string> parts;
        if (total_ <= ITEMISED) {
            for (const Group& gr : groups_)
                parts.push_back(gr.count == 1 ? article(gr.colour) + " " + gr.colour + " " + gr.shape
                                              : std::to_string(gr.count) + " " + gr.colour + " " + gr.shape + "s");
        } else {
            // Shapes by kind, most first, then the three commonest colours.
            std::vector<std::pair<std::string, long>> kinds, colours;
            for (const Group& gr : groups_) {
                bump(kinds, gr.shape, gr.count);
                bump(colours, gr.colour, gr.count);
            }
            for (const auto& k : kinds) parts.push_back(count_of(k.second, k.first));
            std::string most;
            for (size_t i = 0; i < colours.size() && i < 3; ++i)
                most += (i == 0 ? "" : i + 1 == std::min<size_t>(colours.size(), 3) ? " and " : ", ") + colours[i].first;
            if (!most.empty()) parts.push_back("mostly " + most);
        }
        for (const std::string& t : texts_) parts.push_back("text \"" + t + "\"");
        std::string out = count_of(total_, "shape") + ":";
        for (size_t i = 0; i < parts.size(); ++i) out += (i ? ", " : " ") + parts[i];
        return out;
    }

private:
    struct Group {
        std::string shape, colour;
        long count;
    };
    static std::string article(const std::string& w) {
        return std::string("aeiou").find(w[0]) != std::string::npos ? "an" : "a";
    }
    static std::string count_of(long n, const std::string& what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    }
    static void bump(std::vector<std::pair<std::string, long>>& v, const std::string& key, long n) {
        auto it = v.begin();
        for (; it != v.end() && it->first != key; ++it) {}
        if (it == v.end()) v.emplace_back(key, n);
        else it->second += n;
        // Kept most first; ties keep their first-seen order.
        for (size_t i = v.size() - 1; i > 0 && v[i].second > v[i - 1].second; --i) std::swap(v[i], v[i - 1]);
    }
    std::vector<Group> groups_;
    std::vector<std::string> texts_;
    long total_ = 0;
};

// Menu text for the page: one entry a line, "kind<TAB>id<TAB>flags<TAB>label", where kind is
// P (a popup whose entries follow, up to a line "E"), S (separator) or I (item); the label
// keeps its & mnemonic and its tab before the shortcut text.
void describe_menu(HMENU menu, std::string& out) {
    for (const MenuItem& it : menu->items) {
        if (it.flags & MF_POPUP) {
            out += "P\t0\t" + std::to_string(it.flags) + "\t" + it.text + "\n";
            if (it.popup) describe_menu(it.popup, out);
            out += "E\n";
        } else if (it.flags & MF_SEPARATOR) {
            out += "S\n";
        } else {
            std::string label = it.text;
            for (char& c : label)
                if (c == '\n') c = ' ';
            out += "I\t" + std::to_string(it.id) + "\t" + std::to_string(it.flags) + "\t" + label + "\n";
        }
    }
}

class Web;
Web* live = nullptr;  // the backend in use, for the images still to show at exit

class Web final : public Backend {
public:
    Web() {
        page_constants(constants_json().c_str());
        // A program that draws and ends without ever waiting still shows what it drew.
        if (!live) std::atexit([] { if (live) live->show_changed(); });
        live = this;
    }
    ~Web() override {
        if (live == this) live = nullptr;
    }
    const char* name() const override { return "web"; }
    uint64_t now_ms() override { return static_cast<uint64_t>(emscripten_get_now()); }
    void screen_size(int* w, int* h) override {
        *w = SCREEN_WIDTH;
        *h = SCREEN_HEIGHT;
    }

    void poll() override {
        // A program that never waits (a long playback, a busy loop polling for input) still
        // gives the page a turn every frame, so it paints and takes input.
        const uint64_t now = now_ms();
        if (now - last_turn_ >= FRAME_MS) {
            last_turn_ = now;
            show_changed();
            page_wait(0);
        }
        int32_t in[4];
        while (page_take_input(in)) {
            HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(static_cast<uint32_t>(in[0])));
            if (!IsWindow(hwnd)) continue;
            if (static_cast<unsigned>(in[1]) == WM_SIZE)  // the visitor resized the panel: lParam its client size
                user_resized(hwnd, in[3] & 0xFFFF, (in[3] >> 16) & 0xFFFF);
            else
                post_input(hwnd, static_cast<unsigned>(in[1]), static_cast<WPARAM>(static_cast<uint32_t>(in[2])),
                           static_cast<LPARAM>(in[3]));
        }
    }

    void wait_until(uint64_t deadline) override {
        double ms = -1;
        if (deadline != NO_DEADLINE) {
            uint64_t now = now_ms();
            ms = deadline > now ? static_cast<double>(deadline - now) : 0;
        }
        show_changed();
        page_wait(ms);
        last_turn_ = now_ms();
    }

    void window_created(HWND hwnd) override {
        page_window_created(id_of(hwnd), hwnd->title.c_str(), hwnd->menu ? 1 : 0, hwnd->style & WS_THICKFRAME ? 1 : 0);
        menu_changed(hwnd);
    }
    void window_shown(HWND hwnd, bool shown) override {
        page_window_shown(id_of(hwnd), shown ? 1 : 0);
        if (shown) window_changed(hwnd);
    }
    // The page shows nothing until the program gives it a turn, so an image goes to its
    // canvas then, once, however often it changed since: a program presenting after every
    // event of a long playback would otherwise copy every frame for nobody to see.
    void window_changed(HWND hwnd) override {
        if (std::find(changed_.begin(), changed_.end(), hwnd) == changed_.end()) changed_.push_back(hwnd);
        if (hwnd == described_) next_frame_ = true;  // the next shape starts the next picture
    }
    void window_destroyed(HWND hwnd) override {
        changed_.erase(std::remove(changed_.begin(), changed_.end(), hwnd), changed_.end());
        menus_changed_.erase(std::remove(menus_changed_.begin(), menus_changed_.end(), hwnd), menus_changed_.end());
        if (hwnd == described_) described_ = nullptr;
        page_window_destroyed(id_of(hwnd));
    }
    // A menu goes to the page's bar at the program's next turn too: the bar is rebuilt whole,
    // and a program's start changes several marks one by one.
    void menu_changed(HWND hwnd) override {
        if (std::find(menus_changed_.begin(), menus_changed_.end(), hwnd) == menus_changed_.end())
            menus_changed_.push_back(hwnd);
    }
    void send_menu(HWND hwnd) {
        std::string text;
        if (HMENU m = GetMenu(hwnd)) describe_menu(m, text);
        page_menu(id_of(hwnd), text.c_str());
    }

    EnvironmentPlayback environment_playback() const override { return EnvironmentPlayback::THEN_USER; }
    void log_line(HWND window, const char* text) override { page_log_line(id_of(window), text); }
    void canvas_drew(HWND window, const char* shape, const char* colour, const char* text) override {
        described_ = window;
        if (next_frame_) words_.clear();  // the first shape of the next picture
        next_frame_ = false;
        words_.add(shape, colour, text);
        words_changed_ = true;
    }
    void canvas_cleared(HWND window) override {
        described_ = window;
        words_.clear();
        next_frame_ = false;
        words_changed_ = true;
    }

    void show_changed() {
        for (HWND hwnd : menus_changed_)
            if (IsWindow(hwnd)) send_menu(hwnd);
        menus_changed_.clear();
        for (HWND hwnd : changed_) {
            const Bitmap& b = hwnd->client;
            if (!IsWindowVisible(hwnd) || b.width <= 0 || b.height <= 0) continue;
            rgba_.resize(static_cast<size_t>(b.width) * b.height * 4);
            b.copy_bytes(0, 0, b.width, b.height, 4, rgba_.data());  // the page's canvas takes R G B A
            page_present(id_of(hwnd), rgba_.data(), b.width, b.height);
            if (hwnd == described_ && words_changed_) {
                // Sent when it reads differently; the page updates the canvas's label at most once a second.
                words_changed_ = false;
                std::string now = words_.words();
                if (now != words_sent_) page_describe(id_of(hwnd), now.c_str());
                words_sent_ = std::move(now);
            }
        }
        changed_.clear();
    }

private:
    static constexpr uint64_t FRAME_MS = 16;
    HWND described_ = nullptr;  // the window showing the canvas the words are about
    CanvasWords words_;
    bool words_changed_ = false;
    bool next_frame_ = false;  // the picture was shown: the next shape starts the next one
    std::string words_sent_;
    std::vector<HWND> changed_;        // windows whose image the page has yet to show
    std::vector<HWND> menus_changed_;  // ... and whose menu
    uint64_t last_turn_ = 0;
    std::vector<uint8_t> rgba_;
};

}  // namespace

std::unique_ptr<Backend> make_web_backend() { return std::make_unique<Web>(); }

}  // namespace px
