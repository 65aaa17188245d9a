// Captures: the GIF a run makes holds what the window showed, frame by frame, with delays on
// the library's clock, the same bytes on every platform, and a full disk cuts it back to its
// last complete frame. Frames are read back with ImageMagick, an independent decoder; where
// it is missing (Wine, Node) those cases skip and the byte-identity case still runs.
#ifdef _WIN32
#include "host/files/files.h"
#else
#include <signal.h>
#include <sys/resource.h>
#endif
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "demo.h"
#include "host/gif/gif_writer.h"
#include "support/harness.h"
#include "support/png_reader.h"
#include "support/scratch_dir.h"

using namespace plotx;
using namespace plotx_test;

namespace {

uint64_t fnv(const void* data, size_t n, uint64_t h = 1469598103934665603ull) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

// The shown image as ImageMagick writes a frame: rows of R, G, B bytes.
std::vector<unsigned char> rgb_of(const px::Bitmap& b) {
    std::vector<unsigned char> out;
    out.reserve(static_cast<size_t>(b.width) * static_cast<size_t>(b.height) * 3);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) {
            const uint32_t v = b.at(x, y);
            out.push_back(static_cast<unsigned char>(v >> 16));
            out.push_back(static_cast<unsigned char>(v >> 8));
            out.push_back(static_cast<unsigned char>(v));
        }
    return out;
}

bool have_imagemagick() {
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
    return false;
#else
    return std::system("convert -version >/dev/null 2>&1 && identify -version >/dev/null 2>&1") == 0;
#endif
}

std::string run_output(const std::string& command) {
    std::string out;
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
    if (std::FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        pclose(p);
    }
#else
    (void)command;
#endif
    return out;
}

// Every frame drawn over the ones before, as ImageMagick composes them, and their delays.
struct Decoded {
    std::vector<std::vector<unsigned char>> frames;
    std::vector<int> delays;
};
Decoded decode(const std::string& gif, int width, int height) {
    Decoded d;
    const std::string rgb = run_output("convert '" + gif + "' -coalesce rgb:- 2>/dev/null");
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    for (size_t at = 0; at + size <= rgb.size(); at += size)
        d.frames.emplace_back(rgb.begin() + static_cast<std::ptrdiff_t>(at),
                              rgb.begin() + static_cast<std::ptrdiff_t>(at + size));
    const std::string delays = run_output("identify -format '%T\\n' '" + gif + "' 2>/dev/null");
    for (size_t at = 0; at < delays.size();) {
        size_t end = delays.find('\n', at);
        if (end == std::string::npos) end = delays.size();
        if (end > at) d.delays.push_back(std::atoi(delays.substr(at, end - at).c_str()));
        at = end + 1;
    }
    return d;
}

class Capture : public LibraryTest {
protected:
    ScratchDirectory scratch;
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_TRUE(scratch.enter("plotx-capture"));
    }
    void TearDown() override {
        unsetenv("PLOTX_GIF");
        unsetenv("PLOTX_PLAYBACK");
        unsetenv("PLOTX_SEED");
        unsetenv("PLOTX_SNAPSHOT");
        LibraryTest::TearDown();
        scratch.leave();
    }
};

// --- The shipped demo session, replayed headless with PLOTX_GIF ----------------------------

// What the window showed, presentation by presentation: the time on the capture's clock
// (each played tick counts one period) and the picture.
struct Shown {
    uint64_t cs;
    uint64_t hash;
};
std::vector<Shown>* shown_log = nullptr;
uint64_t played_ticks = 0;
void note_presentation() {
    const std::vector<unsigned char> rgb = rgb_of(g.windows.graphics_window->client);
    shown_log->push_back(Shown{(px::headless::now() + played_ticks * TIMER_PERIOD_MS + 5) / 10, fnv(rgb.data(), rgb.size())});
}

// Runs the demo on the crush session as `PLOTX_PLAYBACK=1 PLOTX_SEED=1 PLOTX_GIF=... plotx-demo`
// does; returns the session's length in hundredths.
uint64_t replay_crush(const char* gif, std::vector<Shown>* shown) {
    reset_library_for_tests();
    px::headless::install();
    std::string script = file_bytes(std::string(PLOTX_SOURCE_DIR) + "/demo/sessions/crush.scr");
    std::FILE* f = std::fopen(SCRIPT_FILE, "wb");
    std::fwrite(script.data(), 1, script.size(), f);
    std::fclose(f);
    setenv("PLOTX_PLAYBACK", "1", 1);
    setenv("PLOTX_SEED", "1", 1);
    setenv("PLOTX_GIF", gif, 1);
    std::vector<Shown> ignored;
    shown_log = shown ? shown : &ignored;
    played_ticks = 0;
    test_hook.presented = note_presentation;
    DemoState s;
    demo_start(s, nullptr, nullptr, "", 1);
    while (!s.quit_seen)
        if (demo_step(s) == PLOTX_PERIODIC) ++played_ticks;
    demo_finish();
    test_hook.presented = nullptr;
    return played_ticks * TIMER_PERIOD_MS / 10;
}

TEST_F(Capture, ReplayGivesAFrameForEachPictureShownWithItsTime) {
    if (!have_imagemagick()) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
    std::vector<Shown> shown;
    setenv("PLOTX_SNAPSHOT", "last.png", 1);
    const uint64_t length = replay_crush("crush.gif", &shown);
    ASSERT_EQ(length, 670u);  // 67 ticks
    // The frames the rules make of the presentations: a picture equal to the one before
    // lengthens it; one replaced within its hundredth is dropped.
    std::vector<Shown> expected;
    for (const Shown& s : shown) {
        if (!expected.empty() && expected.back().hash == s.hash) continue;
        if (!expected.empty() && expected.back().cs == s.cs) expected.back() = s;
        else expected.push_back(s);
    }
    const Decoded d = decode("crush.gif", VISIBLE_WIDTH, VISIBLE_HEIGHT);
    ASSERT_EQ(d.frames.size(), expected.size());
    ASSERT_EQ(d.delays.size(), expected.size());
    int total = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(fnv(d.frames[i].data(), d.frames[i].size()), expected[i].hash) << "frame " << i;
        const uint64_t until = i + 1 < expected.size() ? expected[i + 1].cs : length;
        EXPECT_EQ(static_cast<uint64_t>(d.delays[i]), until - expected[i].cs) << "frame " << i;
        total += d.delays[i];
    }
    EXPECT_EQ(total, 670);
    const Png last = read_png("last.png");
    ASSERT_TRUE(last.ok);
    EXPECT_EQ(last.rgb, d.frames.back());
}

// --- The same bytes: two runs, and every platform -----------------------------------------

// Shapes only (text is drawn with each platform's own fonts), moving for 25 ticks, and one
// frame painted directly with more colours than a table holds.
std::string text_free_run() {
    reset_library_for_tests();
    px::headless::install();
    PLOTX_begin(nullptr, nullptr, "", 1);
    PLOTX_set_logging(0);
    PLOTX_start_capture("shapes.gif");
    PLOTX_set_animation(RUN_ANIMATE);
    int x = 0, y = 0;
    char key = 0;
    for (int tick = 0; tick < 25; ++tick) {
        PLOTX_wait_event(&x, &y, &key);
        PLOTX_clear_canvas();
        PLOTX_draw_rectangle(SEA_GREEN, -300, -60, 300, -250, 0);
        PLOTX_draw_circle(YELLOW, -250 + tick * 20, 150, 30);
        PLOTX_draw_triangle(RED, -100, -tick * 4, 60, 40, -40, 130 - tick, tick % 2);
        PLOTX_draw_line(NAVY_BLUE, -297, 246, tick * 10, -100, 3);
        if (tick == 20) {
            px::Bitmap* c = px::dc_surface(g.windows.canvas_dc);
            for (int py = 100; py < 300; ++py)
                for (int px_ = 100; px_ < 400; ++px_) c->row(py)[px_] = static_cast<uint32_t>(px_ * 97 + py * 13) & 0xFFFFFF;
        }
    }
    PLOTX_end();
    return file_bytes("shapes.gif");
}

TEST_F(Capture, SameRunGivesTheSameBytesOnEveryPlatform) {
    const std::string first = text_free_run();
    ASSERT_GT(first.size(), 1000u);
    EXPECT_EQ(text_free_run(), first);
    // The bytes this run gives on Linux; the suite checks them again under Wine and Node.
    EXPECT_EQ(fnv(first.data(), first.size()), 5509258771110828068ull) << first.size() << " bytes";
    EXPECT_TRUE(log_has("colours beyond 256 in a frame were replaced"));
}

TEST_F(Capture, TwoReplaysGiveTheSameFile) {
    replay_crush("a.gif", nullptr);
    replay_crush("b.gif", nullptr);
    const std::string a = file_bytes("a.gif");
    ASSERT_GT(a.size(), 10000u);
    EXPECT_EQ(file_bytes("b.gif"), a);
}

// --- The encoder against an independent decoder --------------------------------------------

class GifEncoding : public ::testing::Test {
protected:
    ScratchDirectory scratch;
    void SetUp() override {
        if (!have_imagemagick()) GTEST_SKIP() << "ImageMagick (convert, identify) is not installed";
        ASSERT_TRUE(scratch.enter("plotx-gif"));
    }
    void TearDown() override { scratch.leave(); }
    static constexpr int W = 131, H = 77;
    static px::gif::Picture picture(const std::vector<uint32_t>& p, int ring = 0) {
        return px::gif::Picture{p.data(), W, H, W, ring};
    }
    static std::vector<unsigned char> rgb(const std::vector<uint32_t>& p) {
        std::vector<unsigned char> out;
        for (uint32_t v : p) {
            out.push_back(static_cast<unsigned char>(v >> 16));
            out.push_back(static_cast<unsigned char>(v >> 8));
            out.push_back(static_cast<unsigned char>(v));
        }
        return out;
    }
    static void save(std::vector<uint8_t>& bytes) {
        px::gif::Animation::end(&bytes);
        std::FILE* f = std::fopen("t.gif", "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
};

TEST_F(GifEncoding, EveryColourCountUpToAFullTableIsExact) {
    unsigned seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    for (int colours : {1, 2, 3, 4, 5, 16, 17, 100, 255, 256}) {
        SCOPED_TRACE(colours);
        std::vector<uint32_t> table(static_cast<size_t>(colours));
        for (uint32_t& c : table) c = next() & 0xFFFFFF;
        std::vector<uint32_t> a(W * H), b;
        for (uint32_t& p : a) p = table[next() % static_cast<unsigned>(colours)];
        // Long runs too, so the coder fills its 4096 codes and clears.
        for (int i = 0; i < W * 20; ++i) a[static_cast<size_t>(i)] = table[0];
        std::vector<uint8_t> bytes;
        px::gif::Animation anim;
        anim.begin(W, H, &bytes);
        anim.show(picture(a), 0, &bytes);
        b = a;
        for (int y = 10; y < 40; ++y)
            for (int x = 20; x < 90; x += 1 + static_cast<int>(next() % 3)) b[static_cast<size_t>(y * W + x)] = table[next() % static_cast<unsigned>(colours)];
        anim.show(picture(b), 7, &bytes);
        anim.finish(20, &bytes);
        save(bytes);
        const Decoded d = decode("t.gif", W, H);
        ASSERT_EQ(d.frames.size(), a == b ? 1u : 2u);
        EXPECT_EQ(d.frames[0], rgb(a));
        EXPECT_EQ(d.frames.back(), rgb(b));
        EXPECT_EQ(d.delays.front(), a == b ? 20 : 7);
        EXPECT_EQ(anim.replaced_colours(), 0);
    }
}

TEST_F(GifEncoding, BeyondATableTheMostFrequentStayExactAndTheRestTakeTheNearest) {
    std::vector<uint32_t> a(W * H);
    for (size_t i = 0; i < a.size(); ++i) a[i] = i < a.size() / 2 ? 0x102030 : static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFF;
    std::vector<uint8_t> bytes;
    px::gif::Animation anim;
    anim.begin(W, H, &bytes);
    anim.show(picture(a), 0, &bytes);
    anim.finish(1, &bytes);
    save(bytes);
    const Decoded d = decode("t.gif", W, H);
    ASSERT_EQ(d.frames.size(), 1u);
    const std::vector<unsigned char> want = rgb(a);
    EXPECT_TRUE(std::equal(want.begin(), want.begin() + static_cast<std::ptrdiff_t>(a.size() / 2 * 3), d.frames[0].begin()));
    EXPECT_GT(anim.replaced_colours(), 0);
}

TEST_F(GifEncoding, FramesFollowTheRulesOfTime) {
    std::vector<uint32_t> a(W * H, 0x0000FF), b = a, c = a;
    b[500] = 0xFF0000;
    c[9000] = 0x00FF00;
    std::vector<uint8_t> bytes;
    px::gif::Animation anim;
    anim.begin(W, H, &bytes);
    anim.show(picture(a), 0, &bytes);
    EXPECT_FALSE(anim.show(picture(a), 5, &bytes));  // the same picture only lengthens
    anim.show(picture(b), 10, &bytes);
    anim.show(picture(c), 10, &bytes);               // b was never seen: dropped
    anim.show(picture(a), 70000 + 10, &bytes);       // c lasts longer than one delay holds
    // A picture stored from its middle row on, as a scrolled surface keeps it.
    std::vector<uint32_t> ring(W * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) ring[static_cast<size_t>(((y + 30) % H) * W + x)] = static_cast<uint32_t>(y * 3);
    anim.show(picture(ring, 30), 70020, &bytes);
    anim.finish(70020, &bytes);
    save(bytes);
    const Decoded d = decode("t.gif", W, H);
    std::vector<uint32_t> linear_ring(W * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) linear_ring[static_cast<size_t>(y * W + x)] = static_cast<uint32_t>(y * 3);
    ASSERT_EQ(d.frames.size(), 5u);  // a, c, c continued, a, the ring picture
    EXPECT_EQ(d.delays, (std::vector<int>{10, 65535, 70000 - 65535, 10, 0}));
    EXPECT_EQ(d.frames[1], rgb(c));
    EXPECT_EQ(d.frames[2], rgb(c));
    EXPECT_EQ(d.frames[3], rgb(a));
    EXPECT_EQ(d.frames[4], rgb(linear_ring));
    EXPECT_EQ(anim.frames(), 4);
}

// --- What a capture refuses, and a full disk ------------------------------------------------

TEST_F(Capture, RefusalsReturnZeroWithOneLogLine) {
    EXPECT_EQ(PLOTX_start_capture("early.gif"), 0);
    EXPECT_TRUE(log_has("Cannot capture to early.gif: the library is not open"));
    begin();
    EXPECT_EQ(PLOTX_stop_capture(), 0);
    EXPECT_TRUE(log_has("Cannot stop capturing: no capture in progress"));
    EXPECT_EQ(PLOTX_start_capture(""), 0);
    ASSERT_EQ(PLOTX_start_capture("one.gif"), 1);
    EXPECT_EQ(PLOTX_start_capture("two.gif"), 0);
    EXPECT_TRUE(log_has("Cannot capture to two.gif: already capturing to one.gif"));
    EXPECT_EQ(PLOTX_stop_capture(), 1);
    EXPECT_TRUE(log_has("Captured 1 frames, 0.00 s, in one.gif"));
}

TEST_F(Capture, AnEnvironmentCaptureThatCannotStartMakesEndReturnZero) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "standard error cannot be captured under Node";
#endif
    std::FILE* f = std::fopen("taken", "w");  // a folder is wanted where a file is
    std::fclose(f);
    setenv("PLOTX_GIF", "taken/run.gif", 1);
    testing::internal::CaptureStderr();
    begin();
    EXPECT_EQ(PLOTX_end(), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("plotx: could not capture to taken/run.gif (PLOTX_GIF): "),
              std::string::npos);
}

// A full disk: a file size limit, or the files layer's for tests on Windows, which has none.
TEST_F(Capture, AFullDiskCutsTheFileBackToItsLastCompleteFrame) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "Node's file system has no file size limit";
#endif
    begin();
    PLOTX_set_logging(0);
    ASSERT_EQ(PLOTX_start_capture("full.gif"), 1);
    PLOTX_set_animation(RUN_ANIMATE);
    auto frame = [this](int i) {
        wait();
        PLOTX_draw_circle(i % 24, -200 + i * 17, (i * 37) % 200 - 100, 25);
    };
    for (int i = 0; i < 8; ++i) frame(i);
    const long frames_before = g.capture.frames;
    ASSERT_GT(frames_before, 3);
#ifdef _WIN32
    px::sys::set_test_file_size_limit(g.capture.length + 200);  // room for part of a frame
    for (int i = 8; i < 20 && g.capture.stream; ++i) frame(i);
    px::sys::set_test_file_size_limit(-1);
    const std::string full_disk = "No space left on device";
#else
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit full = old;
    full.rlim_cur = static_cast<rlim_t>(g.capture.length + 200);  // room for part of a frame
    struct sigaction ignore{}, old_xfsz{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old_xfsz);
    setrlimit(RLIMIT_FSIZE, &full);
    for (int i = 8; i < 20 && g.capture.stream; ++i) frame(i);
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &old_xfsz, nullptr);
    const std::string full_disk = "File too large";
#endif
    EXPECT_EQ(g.capture.stream, nullptr);
    EXPECT_TRUE(log_has("Cannot write to capture file full.gif: " + full_disk +
                        "; the capture stopped at its last complete frame"));
    const std::string bytes = file_bytes("full.gif");
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), 0x3B);
    EXPECT_EQ(static_cast<long>(bytes.size()), g.capture.length + 1);
    EXPECT_EQ(PLOTX_stop_capture(), 0);
    if (have_imagemagick()) {
        EXPECT_EQ(decode("full.gif", VISIBLE_WIDTH, VISIBLE_HEIGHT).frames.size(), static_cast<size_t>(g.capture.frames));
    }
}

}  // namespace
