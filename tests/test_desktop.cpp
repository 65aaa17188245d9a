// test_desktop.cpp - the desktop backend end to end: each test starts its own Xvfb on a
// free display, runs the probe program on it, drives it with xdotool (pointer, keys, menu
// picks), sends the title bar's close request and reads the screen with xwd. Every wait is
// a bounded poll; a test that cannot start Xvfb fails. Plain input (buttons, wheel, keys,
// typed bytes, focus loss, the close request) is the input scenario's, tests/input/.
#include <gtest/gtest.h>

#ifdef PLOTX_DESKTOP_PROBE

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/png_reader.h"
#include "support/scratch_dir.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Environment of a child: ours with some variables replaced.
std::vector<std::string> child_env(const std::vector<std::string>& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string s = *e;
        bool replaced = false;
        for (const std::string& o : overrides)
            if (s.compare(0, o.find('=') + 1, o, 0, o.find('=') + 1) == 0) replaced = true;
        if (!replaced) env.push_back(s);
    }
    env.insert(env.end(), overrides.begin(), overrides.end());
    return env;
}

std::vector<char*> c_strings(std::vector<std::string>& v) {
    std::vector<char*> out;
    for (std::string& s : v) out.push_back(&s[0]);
    out.push_back(nullptr);
    return out;
}

// Starts a program; its standard output goes to out_fd (or /dev/null when -1).
pid_t spawn(std::vector<std::string> argv, const std::vector<std::string>& env_overrides, int out_fd,
            bool quiet_stderr) {
    std::vector<std::string> env = child_env(env_overrides);
    std::vector<char*> a = c_strings(argv), e = c_strings(env);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (out_fd >= 0) posix_spawn_file_actions_adddup2(&fa, out_fd, 1);
    else posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    if (quiet_stderr) posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, a[0], &fa, nullptr, a.data(), e.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Waits for a child to end within the time given; its exit status, or -1.
int reap(pid_t pid, int timeout_ms) {
    auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0 || Clock::now() > end) return -1;
        poll(nullptr, 0, 10);
    }
}

void stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (reap(pid, 3000) < 0) {
        kill(pid, SIGKILL);
        reap(pid, 3000);
    }
    pid = -1;
}

// Lines from a pipe, read with a deadline.
class LineReader {
public:
    explicit LineReader(int fd = -1) : fd_(fd) {}
    // The next line, or false when none came in time (or the writer closed the pipe).
    bool next(std::string* line, int timeout_ms) {
        auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            size_t nl = buf_.find('\n');
            if (nl != std::string::npos) {
                *line = buf_.substr(0, nl);
                buf_.erase(0, nl + 1);
                seen_.push_back(*line);
                return true;
            }
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            if (left <= 0 || fd_ < 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, left) <= 0) continue;
            char chunk[4096];
            ssize_t n = read(fd_, chunk, sizeof chunk);
            if (n <= 0) return false;
            buf_.append(chunk, static_cast<size_t>(n));
        }
    }
    const std::vector<std::string>& seen() const { return seen_; }
    int fd() const { return fd_; }

private:
    int fd_;
    std::string buf_;
    std::vector<std::string> seen_;
};

// Output of a short tool run (xdotool, xwd), bounded in time.
std::string run_tool(std::vector<std::string> argv, const std::string& display, int* status = nullptr) {
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0) return "";
    pid_t pid = spawn(argv, {"DISPLAY=" + display}, p[1], true);
    close(p[1]);
    std::string out;
    if (pid > 0) {
        auto end = Clock::now() + std::chrono::seconds(20);
        for (;;) {
            pollfd pf{p[0], POLLIN, 0};
            if (poll(&pf, 1, 100) > 0) {
                char chunk[65536];
                ssize_t n = read(p[0], chunk, sizeof chunk);
                if (n <= 0) break;
                out.append(chunk, static_cast<size_t>(n));
            }
            if (Clock::now() > end) break;
        }
        int st = reap(pid, 5000);
        if (st < 0) {
            kill(pid, SIGKILL);
            reap(pid, 1000);
        }
        if (status) *status = st;
    }
    close(p[0]);
    return out;
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// A screen image as xwd writes it: 32-bit pixels only (what a 24-bit Xvfb gives).
struct Screenshot {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

uint32_t be32(const std::string& s, size_t at) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(s[at])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

bool parse_xwd(const std::string& d, Screenshot* shot) {
    if (d.size() < 100) return false;
    uint32_t header = be32(d, 0), width = be32(d, 16), height = be32(d, 20), byte_order = be32(d, 28),
             bpp = be32(d, 44), bpl = be32(d, 48), ncolors = be32(d, 76);
    if (bpp != 32 || width == 0 || height == 0) return false;
    size_t start = header + static_cast<size_t>(ncolors) * 12;
    if (d.size() < start + static_cast<size_t>(bpl) * height) return false;
    shot->width = static_cast<int>(width);
    shot->height = static_cast<int>(height);
    shot->pixels.resize(static_cast<size_t>(width) * height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            const unsigned char* p = reinterpret_cast<const unsigned char*>(d.data() + start + y * bpl + x * 4);
            shot->pixels[static_cast<size_t>(y) * width + x] =
                byte_order == 0 ? (p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24)
                                : (static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
        }
    return true;
}

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        start_xvfb();
        if (HasFatalFailure()) return;
        start_probe();
    }

    void TearDown() override {
        stop(probe_);
        if (probe_out_ >= 0) close(probe_out_);
        stop(xvfb_);
    }

    void start_xvfb() {
        int p[2];
        ASSERT_EQ(pipe(p), 0);
        fcntl(p[0], F_SETFD, FD_CLOEXEC);
        // -displayfd: Xvfb picks a free display number and writes it once it accepts clients.
        // -noreset: a test that ends one probe and starts the next would otherwise find the
        // server resetting after its last client left, and the second probe could not connect.
        std::vector<std::string> argv{"Xvfb", "-displayfd", std::to_string(p[1]), "-screen", "0", "1280x1024x24",
                                      "-nolisten", "tcp", "-noreset"};
        argv.insert(argv.end(), xvfb_args_.begin(), xvfb_args_.end());
        xvfb_ = spawn(argv, {}, -1, true);
        close(p[1]);
        LineReader r(p[0]);
        std::string number;
        bool got = xvfb_ > 0 && r.next(&number, 15000);
        close(p[0]);
        ASSERT_TRUE(got && !number.empty()) << "could not start Xvfb (is the xvfb package installed?)";
        display_ = ":" + number;
    }

    void start_probe(const std::string& mode = "", std::vector<std::string> env = {}) {
        int p[2];
        ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
        std::vector<std::string> argv{PLOTX_DESKTOP_PROBE};
        if (!mode.empty()) argv.push_back(mode);
        env.insert(env.end(), {"DISPLAY=" + display_, "PLOTX_BACKEND=desktop"});
        probe_ = spawn(argv, env, p[1], false);
        close(p[1]);
        probe_out_ = p[0];
        out_ = LineReader(probe_out_);
        ASSERT_GT(probe_, 0);
        std::string line = expect("ready");
        ASSERT_EQ(std::sscanf(line.c_str(), "ready %d %d %d %d", &client_w_, &client_h_, &origin_x_, &origin_y_), 4)
            << line;
        graphics_ = find_window("PLOTX Graphics");
        ASSERT_FALSE(graphics_.empty());
        Geometry g = geometry(graphics_);
        win_x_ = g.x;
        win_y_ = g.y;
        client_top_ = g.height - client_h_;
    }

    // Reads probe lines until one starts with prefix; fails the test when none comes.
    std::string expect(const std::string& prefix, int timeout_ms = 10000) {
        auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        std::string line;
        for (;;) {
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            if (left <= 0 || !out_.next(&line, left)) break;
            if (line.compare(0, prefix.size(), prefix) == 0) return line;
        }
        ADD_FAILURE() << "no line starting with \"" << prefix << "\" from the probe";
        return "";
    }

    // The lines the probe prints while `ms` pass on its own clock, spent waiting between
    // keys: a tick that should not come has had its time, however loaded the machine.
    std::vector<std::string> lines_over_probe_time(int ms) {
        std::vector<std::string> seen;
        long long start = -1, now = -1;
        auto end = Clock::now() + std::chrono::seconds(10);
        do {
            keys({"n"});
            std::string line;
            while (out_.next(&line, 5000) && line.compare(0, 4, "now ") != 0) seen.push_back(line);
            if (line.compare(0, 4, "now ") != 0) break;
            now = std::atoll(line.c_str() + 4);
            if (start < 0) start = now;
        } while (now - start < ms && Clock::now() < end);
        EXPECT_GE(now - start, ms) << "the probe's clock did not move on";
        return seen;
    }

    std::string xdo(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        int status = -1;
        std::string out = run_tool(args, display_, &status);
        EXPECT_EQ(status, 0) << "xdotool " << args[1] << " failed";
        return out;
    }

    std::string find_window(const std::string& title) {
        auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end) {
            std::string id = run_tool({"xdotool", "search", "--name", "^" + title + "$"}, display_);
            if (!id.empty()) return id.substr(0, id.find('\n'));
            poll(nullptr, 0, 50);
        }
        ADD_FAILURE() << "no window named " << title;
        return "";
    }

    Geometry geometry(const std::string& window) {
        Geometry g;
        std::istringstream in(xdo({"getwindowgeometry", "--shell", window}));
        std::string kv;
        while (in >> kv) {
            int v = std::atoi(kv.c_str() + kv.find('=') + 1);
            if (kv.rfind("X=", 0) == 0) g.x = v;
            if (kv.rfind("Y=", 0) == 0) g.y = v;
            if (kv.rfind("WIDTH=", 0) == 0) g.width = v;
            if (kv.rfind("HEIGHT=", 0) == 0) g.height = v;
        }
        return g;
    }

    // Screen position of a canvas point.
    int screen_x(int cx) const { return win_x_ + origin_x_ + cx; }
    int screen_y(int cy) const { return win_y_ + client_top_ + origin_y_ - cy; }

    void click_canvas(int cx, int cy) {
        xdo({"mousemove", std::to_string(screen_x(cx)), std::to_string(screen_y(cy)), "click", "1"});
    }
    // With no window manager keys go to the window under the pointer.
    void keys(const std::vector<std::string>& names) {
        std::vector<std::string> args{"mousemove", std::to_string(screen_x(0)), std::to_string(screen_y(0)), "key"};
        args.insert(args.end(), names.begin(), names.end());
        xdo(args);
    }
    // Picks a Run menu entry by its row, with the mouse: the bar's title, then the row.
    // True when the menu then closed (a grayed entry leaves it open).
    bool choose_run_entry(int row) {
        xdo({"mousemove", std::to_string(win_x_ + 20), std::to_string(win_y_ + client_top_ / 2), "click", "1"});
        Geometry g = wait_for_popup();
        EXPECT_GT(g.height, 0) << "the Run menu did not open";
        if (g.height <= 0) return false;
        // Twelve entries of equal height inside a 3-pixel frame; separators are lines.
        int item_h = (g.height - 6) / 12;
        xdo({"mousemove", std::to_string(g.x + g.width / 2), std::to_string(g.y + 3 + item_h * row + item_h / 2),
             "click", "1"});
        // The pick is done once the menu has gone.
        auto end = Clock::now() + std::chrono::seconds(row >= 8 ? 1 : 10);
        while (popup_geometry().height > 0)
            if (Clock::now() > end) return false;
            else poll(nullptr, 0, 20);
        return true;
    }
    // The pulled-down menu: a mapped override-redirect window taller than the bar's title.
    Geometry popup_geometry() {
        Geometry found;
        Display* d = XOpenDisplay(display_.c_str());
        if (!d) return found;
        Window root = DefaultRootWindow(d), parent = 0, *children = nullptr;
        unsigned n = 0;
        if (XQueryTree(d, root, &root, &parent, &children, &n)) {
            for (unsigned i = 0; i < n; ++i) {
                XWindowAttributes a;
                if (!XGetWindowAttributes(d, children[i], &a)) continue;
                if (a.map_state == IsViewable && a.override_redirect && a.height > 100)
                    found = Geometry{a.x, a.y, a.width, a.height};
            }
            if (children) XFree(children);
        }
        XCloseDisplay(d);
        return found;
    }
    Geometry wait_for_popup() {
        auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end) {
            Geometry g = popup_geometry();
            if (g.height > 0) return g;
            poll(nullptr, 0, 20);
        }
        return Geometry{};
    }

    // The title bar's close button: WM_DELETE_WINDOW, as a window manager sends it.
    void request_close(const std::string& window) {
        Display* d = XOpenDisplay(display_.c_str());
        ASSERT_NE(d, nullptr);
        XEvent ev{};
        ev.xclient.type = ClientMessage;
        ev.xclient.window = std::strtoul(window.c_str(), nullptr, 10);
        ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, ev.xclient.window, False, NoEventMask, &ev);
        XSync(d, False);
        XCloseDisplay(d);
    }

    Screenshot screenshot() {
        Screenshot s;
        std::string data = run_tool({"xwd", "-root", "-silent"}, display_);
        EXPECT_TRUE(parse_xwd(data, &s)) << "xwd gave " << data.size() << " bytes";
        return s;
    }

    // True once the screen at the window's place shows an image with this sum (the probe's
    // text_checksum over the given columns and rows); polls for up to five seconds.
    bool screen_shows(const Geometry& t, int columns, int rows, uint32_t sum) {
        auto end = Clock::now() + std::chrono::seconds(5);
        do {
            Screenshot s = screenshot();
            uint32_t shown = 0, i = 0;
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < columns; ++x) shown += s.at(t.x + x, t.y + y) * (++i);
            if (shown == sum) return true;
        } while (Clock::now() < end);
        return false;
    }

    // The probe's known blocks, at their canvas points on the screen.
    void expect_canvas_on_screen();

    int probe_exit_status(int timeout_ms) {
        int st = reap(probe_, timeout_ms);
        if (st >= 0) probe_ = -1;
        return st;
    }

    std::vector<std::string> xvfb_args_;  // more arguments for Xvfb
    pid_t xvfb_ = -1, probe_ = -1;
    int probe_out_ = -1;
    LineReader out_;
    std::string display_, graphics_;
    int client_w_ = 0, client_h_ = 0, origin_x_ = 0, origin_y_ = 0;
    int win_x_ = 0, win_y_ = 0, client_top_ = 0;
};

int count_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& l : lines) n += l.compare(0, prefix.size(), prefix) == 0;
    return n;
}

TEST_F(DesktopTest, WindowsHaveTheLayersSizesAndPlaces) {
    EXPECT_EQ(client_w_, 595);
    EXPECT_EQ(client_h_, 493);
    Geometry g = geometry(graphics_);
    EXPECT_EQ(g.width, 595);
    EXPECT_GT(client_top_, 10) << "the menu bar sits above the client area";
    EXPECT_EQ(win_x_, 0) << "the graphics window is at the top left";
    EXPECT_EQ(win_y_, 0);
    Geometry t = geometry(find_window("PLOTX Text"));
    EXPECT_GE(t.y, 1024 * 2 / 3 - 1) << "the text window takes the bottom third";
    EXPECT_GT(t.width, 1200);
}

TEST_F(DesktopTest, ControlShortcutsRunEachCommandOncePerKeyDown) {
    // Logging toggles once per Control+L: twice brings it back.
    keys({"ctrl+l"});
    click_canvas(0, 0);
    EXPECT_EQ(expect("MOUSE"), "MOUSE 0 0 0 logging=1 animating=0");
    keys({"ctrl+l", "ctrl+l", "ctrl+l"});
    click_canvas(0, 0);
    EXPECT_EQ(expect("MOUSE"), "MOUSE 0 0 0 logging=0 animating=0");

    // Animate: ticks follow, and the letter is no character event.
    keys({"ctrl+a"});
    EXPECT_EQ(expect("PERIODIC"), "PERIODIC 0 0 0 logging=0 animating=1");
    expect("PERIODIC");
    // Halt: after the tick already armed, none.
    keys({"ctrl+h"});
    click_canvas(5, 5);
    std::string line = expect("MOUSE");
    EXPECT_EQ(line, "MOUSE 5 5 0 logging=0 animating=0");
    EXPECT_EQ(count_prefix(lines_over_probe_time(400), "PERIODIC"), 0);
    // Advance one frame: exactly one tick.
    keys({"ctrl+f"});
    EXPECT_EQ(expect("PERIODIC"), "PERIODIC 0 0 0 logging=0 animating=0");
    EXPECT_EQ(count_prefix(lines_over_probe_time(400), "PERIODIC"), 0);
    EXPECT_EQ(count_prefix(out_.seen(), "KBD") - count_prefix(out_.seen(), "KBD 0 0 110 "), 0)
        << "a shortcut letter leaked as a character";

    keys({"ctrl+q"});
    expect("QUIT");
    EXPECT_EQ(probe_exit_status(10000), 0);
}

TEST_F(DesktopTest, MenuEntriesChosenWithTheMousePostTheirCommandOnce) {
    EXPECT_TRUE(choose_run_entry(3));  // Logging
    click_canvas(1, 1);
    EXPECT_EQ(expect("MOUSE"), "MOUSE 1 1 0 logging=1 animating=0");
    EXPECT_TRUE(choose_run_entry(3));  // and off again
    click_canvas(1, 1);
    EXPECT_EQ(expect("MOUSE"), "MOUSE 1 1 0 logging=0 animating=0");
    // A grayed information line cannot be chosen: the menu stays open, nothing is posted.
    EXPECT_FALSE(choose_run_entry(9));
    keys({"Escape"});
    click_canvas(2, 2);
    EXPECT_EQ(expect("MOUSE"), "MOUSE 2 2 0 logging=0 animating=0");
    EXPECT_TRUE(choose_run_entry(0));  // Animate
    EXPECT_EQ(expect("PERIODIC"), "PERIODIC 0 0 0 logging=0 animating=1");
    EXPECT_TRUE(choose_run_entry(7));  // Quit
    expect("QUIT");
    EXPECT_EQ(probe_exit_status(10000), 0);
    EXPECT_EQ(count_prefix(out_.seen(), "KBD"), 0) << "Escape closing the menu is no character";
}

TEST_F(DesktopTest, KeysTypedInTheTextWindowReachTheGraphicsWindow) {
    Geometry t = geometry(find_window("PLOTX Text"));
    xdo({"mousemove", std::to_string(t.x + t.width / 2), std::to_string(t.y + t.height / 2), "key", "k"});
    EXPECT_EQ(expect("KBD"), "KBD 0 0 107 logging=0 animating=0");
    xdo({"key", "ctrl+a"});
    EXPECT_EQ(expect("PERIODIC"), "PERIODIC 0 0 0 logging=0 animating=1");
}

TEST_F(DesktopTest, TheTextWindowShowsItsScrolledImage) {
    keys({"t"});
    std::string line = expect("text");
    int columns = 0, rows = 0, offset = 0;
    unsigned sum = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "text %d %d %d %u", &columns, &rows, &offset, &sum), 4) << line;
    EXPECT_NE(offset, 0) << "the image's rows should have wrapped";
    Geometry t = geometry(find_window("PLOTX Text"));
    ASSERT_EQ(t.height, rows);
    // The lines were drawn outside a wait; the next wait shows them.
    click_canvas(0, 0);
    expect("MOUSE");
    EXPECT_TRUE(screen_shows(t, columns, rows, sum)) << "the screen differs from the text window's image";
}

// At start each window's image goes to the server once, after its first expose, and by
// shared memory where the server offers it (Xvfb does).
TEST_F(DesktopTest, EachWindowIsUploadedOnceAtStart) {
    // A key can arrive before the first expose has been drawn (a loaded machine): ask until
    // both windows have gone up, then once more to see that nothing else followed.
    std::string line;
    auto end = Clock::now() + std::chrono::seconds(5);
    do {
        keys({"u"});
        line = expect("uploads");
    } while ((line.rfind("uploads 0 ", 0) == 0 || line.rfind("uploads 1 ", 0) == 0) && Clock::now() < end);
    EXPECT_EQ(line, "uploads 2 shared=1");
    keys({"u"});
    EXPECT_EQ(expect("uploads"), "uploads 2 shared=1");
}

// The text window is sizable: its client image follows the new size and the screen shows
// it; the graphics window keeps its size.
TEST_F(DesktopTest, TheTextWindowFollowsANewSize) {
    std::string text = find_window("PLOTX Text");
    xdo({"windowsize", text, "700", "250"});
    int columns = 0, rows = 0, offset = 0;
    unsigned sum = 0;
    auto end = Clock::now() + std::chrono::seconds(5);
    do {  // the new size arrives as an event; ask until the image has it
        keys({"t"});
        std::string line = expect("text");
        ASSERT_EQ(std::sscanf(line.c_str(), "text %d %d %d %u", &columns, &rows, &offset, &sum), 4) << line;
    } while (rows != 250 && Clock::now() < end);
    ASSERT_EQ(rows, 250);
    click_canvas(0, 0);
    expect("MOUSE");
    EXPECT_TRUE(screen_shows(geometry(text), columns, rows, sum)) << "the screen differs from the text window's image";
    EXPECT_EQ(geometry(graphics_).width, 595);
}

// With no window manager the keyboard follows the pointer: leaving both windows loses it
// (the input scenario's focus loss moves the keyboard with the pointer still).
TEST_F(DesktopTest, LosingTheFocusForgetsAHeldControlKey) {
    xdo({"mousemove", std::to_string(screen_x(0)), std::to_string(screen_y(0))});
    xdo({"keydown", "ctrl"});
    xdo({"mousemove", "1000", "300"});
    xdo({"keyup", "ctrl"});
    keys({"x"});
    EXPECT_EQ(expect("KBD"), "KBD 0 0 120 logging=0 animating=0");
}

// Ending by a signal or by a lost display: the recording keeps the ticks after the last
// click. Each test runs the recording probe in its own directory.
class DesktopEnding : public DesktopTest {
protected:
    void SetUp() override {
        char dir[] = "/tmp/plotx-ending-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        char here[4096];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        home_ = here;
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        start_xvfb();
    }
    void TearDown() override {
        DesktopTest::TearDown();
        if (!home_.empty() && chdir(home_.c_str()) != 0) ADD_FAILURE() << "cannot go back to " << home_;
        std::remove((dir_ + "/PLOTX.SCR").c_str());
        rmdir(dir_.c_str());
    }
    // The recording probe gets a click at (10, 20), then at least three ticks.
    void record_click_and_ticks(const std::string& mode, const std::vector<std::string>& env = {}) {
        start_probe(mode, env);
        if (HasFatalFailure()) return;
        click_canvas(10, 20);
        expect("MOUSE 10 20");
        for (int i = 0; i < 3; ++i) expect("PERIODIC");
    }
    static std::string script() {
        std::ifstream in("PLOTX.SCR", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The ticks after the click are there: ticks, the click, then a run of three or more.
    static bool ends_with_the_ticks(const std::string& s) {
        std::smatch m;
        return std::regex_match(s, m, std::regex("(PLOTX_PERIODIC\\(\\d+\\);\n)?PLOTX_MOUSE\\(10, 20\\);\n"
                                                 "PLOTX_PERIODIC\\((\\d+)\\);\n")) &&
               std::stoi(m[2]) >= 3;
    }
    std::string dir_, home_;
};

TEST_F(DesktopEnding, SigintAndSigtermQuitThroughTheProgramsEnd) {
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(sig));
        record_click_and_ticks("record");
        kill(probe_, sig);
        expect("QUIT");
        EXPECT_EQ(probe_exit_status(10000), 0);
        EXPECT_TRUE(ends_with_the_ticks(script())) << script();
        close(probe_out_);
        probe_out_ = -1;
    }
}

TEST_F(DesktopEnding, SignalsAreLeftAloneWhenAskedOrHandledByTheApplication) {
    record_click_and_ticks("record", {"PLOTX_NO_SIGNAL_HANDLERS=1"});
    kill(probe_, SIGTERM);
    EXPECT_EQ(probe_exit_status(10000), 128 + SIGTERM);
    EXPECT_EQ(script().find("PLOTX_PERIODIC", script().find("PLOTX_MOUSE")), std::string::npos) << script();
    close(probe_out_);
    probe_out_ = -1;

    record_click_and_ticks("record-own");
    kill(probe_, SIGTERM);
    expect("own handler ran");
    EXPECT_EQ(probe_exit_status(10000), 0);
}

TEST_F(DesktopEnding, ALostDisplayCompletesTheRecordingBeforeTheProcessEnds) {
    record_click_and_ticks("record");
    stop(xvfb_);
    EXPECT_EQ(probe_exit_status(10000), 1);
    EXPECT_TRUE(ends_with_the_ticks(script())) << script();
}

// Sessions opened and closed one after another leave nothing behind: no shared-memory
// segment of an earlier session's windows, and not the quit signals, so a SIGINT after
// the last PLOTX_end ends the program as it would have without the library.
TEST_F(DesktopTest, SessionsLeaveNoSegmentsAndGiveTheSignalsBack) {
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    pid_t pid = spawn({PLOTX_DESKTOP_PROBE, "sessions", "40"}, {"DISPLAY=" + display_, "PLOTX_BACKEND=desktop"},
                      p[1], false);
    close(p[1]);
    ASSERT_GT(pid, 0);
    LineReader out(p[0]);
    std::string line;
    int segments = -1, shared = -1;
    EXPECT_TRUE(out.next(&line, 60000));
    EXPECT_EQ(std::sscanf(line.c_str(), "segments %d shared %d", &segments, &shared), 2) << line;
    if (shared == 1) {
        EXPECT_LE(segments, 2) << "the last session's two windows at most";
    }
    EXPECT_EQ(reap(pid, 10000), 128 + SIGINT);
    EXPECT_FALSE(out.next(&line, 100)) << line;
    close(p[0]);
}

TEST_F(DesktopTest, TheScreenShowsTheCanvasAtItsPoints) { expect_canvas_on_screen(); }

// A server without the shared-memory extension (as a remote display may be) gets the
// images by plain upload, and shows the same.
class DesktopWithoutSharedMemory : public DesktopTest {
protected:
    void SetUp() override {
        xvfb_args_ = {"-extension", "MIT-SHM"};
        DesktopTest::SetUp();
    }
};

TEST_F(DesktopWithoutSharedMemory, ImagesGoByPlainUpload) {
    expect_canvas_on_screen();
    keys({"u"});
    EXPECT_EQ(expect("uploads"), "uploads 2 shared=0");
}

void DesktopTest::expect_canvas_on_screen() {
    // Any event means the first frames have been presented.
    click_canvas(250, 200);
    expect("MOUSE");
    Screenshot s = screenshot();
    ASSERT_EQ(s.width, 1280);
    struct Spot { int x, y; uint32_t pixel; };
    const Spot spots[] = {{-100, 100, 0xFF0000}, {100, 100, 0x00FF00}, {-100, -100, 0x0000FF},
                          {100, -100, 0xFFFF00}, {0, 0, 0x000000},      {-119, 119, 0xFF0000},
                          {200, 0, 0xFFFFFF},    {-290, -240, 0xFFFFFF}};
    for (const Spot& p : spots)
        EXPECT_EQ(s.at(screen_x(p.x), screen_y(p.y)), p.pixel) << "at canvas (" << p.x << ", " << p.y << ")";
    // Just outside the red block's top-left corner the canvas is white again.
    EXPECT_EQ(s.at(screen_x(-121), screen_y(121)), 0xFFFFFFu);
}

// Scaled windows: each canvas pixel a block of s x s, the program still in canvas pixels.
// A screen larger than the scaled windows, so nothing of the graphics window is cut off or
// covered by the text window.
class DesktopScaled : public DesktopTest {
protected:
    void SetUp() override {
        xvfb_args_ = {"-screen", "0", "2600x2200x24"};
        ASSERT_TRUE(scratch_.enter("plotx-scaled"));
        start_xvfb();
    }
    void TearDown() override {
        DesktopTest::TearDown();
        scratch_.leave();
    }
    // Starts the probe and returns its graphics window's scale: the X window's width over
    // the client's; client_top_ becomes the menu bar's height.
    int start_scaled(std::vector<std::string> env) {
        start_probe("", env);
        if (HasFatalFailure()) return 0;
        Geometry g = geometry(graphics_);
        int s = g.width / client_w_;
        EXPECT_EQ(g.width, client_w_ * s);
        client_top_ = g.height - client_h_ * s;
        return s;
    }
    void end_probe() {
        request_close(graphics_);
        EXPECT_EQ(probe_exit_status(10000), 0);
        close(probe_out_);
        probe_out_ = -1;
    }
    // The window's own image, as xwd reads it.
    Screenshot window_image() {
        Screenshot s;
        std::string data = run_tool({"xwd", "-id", graphics_, "-silent"}, display_);
        EXPECT_TRUE(parse_xwd(data, &s)) << "xwd gave " << data.size() << " bytes";
        return s;
    }
    // Every pixel of each s x s block below the menu bar is the snapshot's pixel.
    void expect_blocks_of(const Screenshot& shot, const std::string& snapshot, int s) {
        plotx_test::Png png = plotx_test::read_png(snapshot);
        ASSERT_TRUE(png.ok) << png.error;
        ASSERT_EQ(png.width, static_cast<unsigned>(client_w_));
        ASSERT_EQ(png.height, static_cast<unsigned>(client_h_));
        ASSERT_EQ(shot.width, s * client_w_);
        ASSERT_EQ(shot.height, client_top_ + s * client_h_);
        int wrong = 0;
        for (int y = 0; y < client_h_; ++y)
            for (int x = 0; x < client_w_; ++x)
                for (int d = 0; d < s * s; ++d)
                    wrong += shot.at(s * x + d % s, client_top_ + s * y + d / s) !=
                             png.at(static_cast<unsigned>(x), static_cast<unsigned>(y));
        EXPECT_EQ(wrong, 0) << "screen pixels that differ from their canvas pixel at scale " << s;
    }
    plotx_test::ScratchDirectory scratch_;
};

TEST_F(DesktopScaled, BlocksShowTheSnapshotAndClicksMapBackToTheirPixel) {
    ASSERT_EQ(start_scaled({"PLOTX_SCALE=2", "PLOTX_SNAPSHOT=frame.png"}), 2);
    EXPECT_GE(client_top_, 2 * 20) << "the menu bar grows with the scale";
    // Each corner of the block of canvas pixel (10, 20) is that pixel.
    int bx = win_x_ + 2 * (origin_x_ + 10), by = win_y_ + client_top_ + 2 * (origin_y_ - 20);
    for (int d : {0, 1}) {
        xdo({"mousemove", std::to_string(bx + d), std::to_string(by + d), "click", "1"});
        EXPECT_EQ(expect("MOUSE"), "MOUSE 10 20 0 logging=0 animating=0");
    }
    Screenshot shot = window_image();
    end_probe();  // PLOTX_SNAPSHOT: the same frame as the library saves it at the end
    expect_blocks_of(shot, "frame.png", 2);
}

// A server without Render gets the blocks enlarged by the library, and shows the same.
class DesktopScaledWithoutRender : public DesktopScaled {
protected:
    void SetUp() override {
        xvfb_args_ = {"-screen", "0", "2600x2200x24", "-extension", "RENDER"};
        ASSERT_TRUE(scratch_.enter("plotx-scaled"));
        start_xvfb();
    }
};

TEST_F(DesktopScaledWithoutRender, BlocksShowTheSnapshot) {
    ASSERT_EQ(start_scaled({"PLOTX_SCALE=2", "PLOTX_SNAPSHOT=frame.png"}), 2);
    xdo({"mousemove", std::to_string(screen_x(0)), std::to_string(screen_y(0)), "click", "1"});
    expect("MOUSE");  // the first frames are on the screen
    Screenshot shot = window_image();
    end_probe();
    expect_blocks_of(shot, "frame.png", 2);
}

// Xft.dpi in the server's resource database, as desktop settings write it; PLOTX_SCALE
// overrides it either way.
TEST_F(DesktopScaled, FollowsXftDpiUnlessForced) {
    int status = -1;
    run_tool({"xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER", "Xft.dpi: 192"}, display_,
             &status);
    if (status != 0) GTEST_SKIP() << "xprop could not set the resource database (is x11-utils installed?)";
    EXPECT_EQ(start_scaled({}), 2);
    end_probe();
    EXPECT_EQ(start_scaled({"PLOTX_SCALE=1"}), 1);
    end_probe();
    EXPECT_EQ(start_scaled({"PLOTX_SCALE=3", "PLOTX_SNAPSHOT=frame.png"}), 3);
    int bx = win_x_ + 3 * (origin_x_ + 10) + 2, by = win_y_ + client_top_ + 3 * (origin_y_ - 20) + 2;
    xdo({"mousemove", std::to_string(bx), std::to_string(by), "click", "1"});
    EXPECT_EQ(expect("MOUSE"), "MOUSE 10 20 0 logging=0 animating=0");
    Screenshot shot = window_image();
    end_probe();
    expect_blocks_of(shot, "frame.png", 3);  // a third is not exact in the server's fixed point
}

}  // namespace

#else

TEST(DesktopTest, NeedsTheDesktopBackend) { GTEST_SKIP() << "built without the desktop backend (FLTK and X11)"; }

#endif
