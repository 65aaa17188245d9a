// The text log: the ring of the last 25 lines, one window line per call, repainting from
// the ring, the bound on a line, echoing to standard error; and the colour check.
#include <cstring>
#include <string>
#include "support/harness.h"

using namespace plotx;
using namespace plotx_test;
namespace hl = px::headless;

using TextLog = LibraryTest;
using Palette = LibraryTest;

namespace {

int line_height() {
    px::Bitmap scratch(8, 8);
    px::HDC dc = px::create_surface_dc(&scratch);
    px::SelectObject(dc, px::GetStockObject(px::ANSI_FIXED_FONT));
    px::TextMetrics tm;
    px::GetTextMetricsA(dc, &tm);
    px::DeleteDC(dc);
    return tm.tmHeight + tm.tmExternalLeading;
}

// What one log line looks like on its own: the strip as draw_log_line leaves it.
std::vector<uint32_t> reference_strip(const std::string& text, int width, int h) {
    px::Bitmap strip(width, h, 0xFFFFFFu);
    px::HDC dc = px::create_surface_dc(&strip);
    px::SelectObject(dc, px::GetStockObject(px::ANSI_FIXED_FONT));
    px::TextOutA(dc, 5, 0, text.data(), static_cast<int>(text.size()));
    px::DeleteDC(dc);
    return strip.linear();
}

std::vector<uint32_t> window_strip(const px::Bitmap& client, int top, int h) {
    std::vector<uint32_t> out;
    for (int y = top; y < top + h; ++y) out.insert(out.end(), client.row(y), client.row(y) + client.width);
    return out;
}

bool has_ink(const std::vector<uint32_t>& strip) {
    for (uint32_t p : strip)
        if (p != 0xFFFFFFu) return true;
    return false;
}

// The window's columns except the last, which the platform's null-pen fill leaves alone.
void blank_last_column(std::vector<uint32_t>& strip, int width) {
    for (size_t i = static_cast<size_t>(width) - 1; i < strip.size(); i += static_cast<size_t>(width)) strip[i] = 0;
}

}  // namespace

TEST_F(TextLog, TwentySixthLineFreesTheFirstBlock) {
    begin();
    for (int i = 1; i <= 25; ++i) PLOTX_log("line %d\n", i);
    EXPECT_EQ(g.text_log.ring.head, 0);
    EXPECT_EQ(g.text_log.ring.tail, 0);
    EXPECT_EQ(px::live_global_blocks(), 25);
    PLOTX_log("line %d\n", 26);
    EXPECT_EQ(g.text_log.ring.head, 1);
    EXPECT_EQ(g.text_log.ring.tail, 1);
    EXPECT_EQ(px::live_global_blocks(), 25);  // no block leaked
    std::vector<std::string> lines = ring_lines();
    ASSERT_EQ(lines.size(), 25u);
    EXPECT_EQ(lines.front(), "line 2\n");
    EXPECT_EQ(lines.back(), "line 26\n");
}

TEST_F(TextLog, RepaintReplaysTheRingOldestFirst) {
    hl::set_screen_size(1024, 1500);  // tall enough to show all 25 lines
    begin();
    for (int i = 1; i <= 30; ++i) PLOTX_log("log line number %d\n", i);
    // Cover the window: its image is lost.
    px::Bitmap& client = text()->client;
    std::fill(client.pixels.begin(), client.pixels.end(), 0x123456u);
    hl::expose(text());
    while (px::message_available()) pump_one_message();

    int h = line_height();
    int bottom = client.height;
    for (int k = 0; k < 25; ++k) {
        int n = 30 - k;  // line 30 at the bottom, 29 above it, ... 6 at the top
        std::vector<uint32_t> want = reference_strip("log line number " + std::to_string(n), client.width, h);
        std::vector<uint32_t> got = window_strip(client, bottom - (k + 1) * h, h);
        ASSERT_TRUE(has_ink(want));
        blank_last_column(want, client.width);
        blank_last_column(got, client.width);
        EXPECT_EQ(got, want) << "line " << n;
    }
}

// A repaint starts from the class background, so however often the window is uncovered,
// hidden and shown, it looks as the lines drawn one by one left it: no stacked copies.
TEST_F(TextLog, RepaintsNeverStackCopiesOfTheLog) {
    begin();
    for (int i = 1; i <= 3; ++i) PLOTX_log("three lines, this is %d\n", i);
    std::vector<uint32_t> drawn = text()->client.linear();
    auto settle = [] { while (px::message_available()) pump_one_message(); };
    settle();  // the first paint
    EXPECT_EQ(text()->client.linear(), drawn) << "first paint";
    for (int round = 1; round <= 3; ++round) {
        hl::expose(text());
        settle();
        EXPECT_EQ(text()->client.linear(), drawn) << "expose " << round;
    }
    show_text_window(0);
    settle();
    show_text_window(1);
    settle();
    EXPECT_EQ(text()->client.linear(), drawn) << "hidden and shown";
}

// A user may resize the text window (not the graphics window): the log is replayed at the
// bottom of the new client area, the rest is background.
TEST_F(TextLog, AResizedTextWindowKeepsTheLogAtTheBottom) {
    begin();
    for (int i = 1; i <= 30; ++i) PLOTX_log("log line number %d\n", i);
    EXPECT_FALSE(px::user_resized(graphics(), 300, 200));
    EXPECT_EQ(graphics()->client.width, 595);
    int h = line_height();
    for (int height : {3 * h + 7, 40 * h}) {
        ASSERT_TRUE(px::user_resized(text(), 700, height));
        while (px::message_available()) pump_one_message();
        const px::Bitmap& client = text()->client;
        ASSERT_EQ(client.width, 700);
        ASSERT_EQ(client.height, height);
        int shown = std::min(height / h, 25);
        for (int k = 0; k < shown; ++k) {
            std::vector<uint32_t> want = reference_strip("log line number " + std::to_string(30 - k), 700, h);
            std::vector<uint32_t> got = window_strip(client, height - (k + 1) * h, h);
            blank_last_column(want, 700);
            blank_last_column(got, 700);
            EXPECT_EQ(got, want) << "height " << height << ", line " << 30 - k;
        }
        // Above the 25 lines the ring holds, nothing (a short window shows part of the next).
        if (shown == 25) {
            EXPECT_FALSE(has_ink(window_strip(client, 0, height - shown * h)));
        }
    }
}

TEST_F(TextLog, EachCallIsOneLineWhateverLineFeedsItHolds) {
    begin();
    int h = line_height();
    px::Bitmap& client = text()->client;
    PLOTX_log("first");
    PLOTX_log("two\nparts\n\n");  // keeps the inner feed and one of the last two
    PLOTX_log("%s", "");          // an empty line still takes a line
    std::vector<std::string> lines = ring_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "two\nparts\n\n");
    std::vector<uint32_t> bottom = window_strip(client, client.height - h, h);
    EXPECT_FALSE(has_ink(bottom));
    std::vector<uint32_t> want = reference_strip("two\nparts\n", client.width, h);
    std::vector<uint32_t> got = window_strip(client, client.height - 2 * h, h);
    blank_last_column(want, client.width);
    blank_last_column(got, client.width);
    EXPECT_EQ(got, want);
    // A line without its feed looks like one with it.
    std::vector<uint32_t> first = reference_strip("first", client.width, h);
    std::vector<uint32_t> shown = window_strip(client, client.height - 3 * h, h);
    blank_last_column(first, client.width);
    blank_last_column(shown, client.width);
    EXPECT_EQ(shown, first);
}

TEST_F(TextLog, ReturnsTheFormattingCountAndBoundsTheLine) {
    begin();
    EXPECT_EQ(PLOTX_log("Radius of %d\n", -5), 13);
    std::string long_text(2000, 'x');
    EXPECT_EQ(PLOTX_log("%s\n", long_text.c_str()), 2001);
    std::string stored = ring_lines().back();
    EXPECT_EQ(stored.size(), 1023u);
    EXPECT_EQ(stored, std::string(1023, 'x'));
}

// Both formatting calls keep the header's word on a null format and on a formatting error
// (a wide character the C locale cannot convert): 0, an empty line, nothing drawn.
TEST_F(TextLog, NullFormatAndFormattingErrorsReturnZero) {
    begin();
    // Through pointers, which carry no format checking: a null format is the case in hand.
    const char* none = nullptr;
    int (*log)(const char*, ...) = PLOTX_log;
    int (*draw)(int, int, int, int, const char*, ...) = PLOTX_draw_formatted_text;
    EXPECT_EQ(log(none), 0);
    EXPECT_EQ(ring_lines().back(), "");
    EXPECT_EQ(PLOTX_log("%ls", L"\x20AC"), 0);
    EXPECT_EQ(ring_lines().back(), "");
    EXPECT_EQ(PLOTX_draw_formatted_text(BLACK, 0, 0, 12, "%ls", L"\x20AC"), 0);
    EXPECT_EQ(draw(BLACK, 0, 0, 12, none), 0);
}

TEST_F(TextLog, BeforeBeginTheLineIsKeptAndNothingIsDrawn) {
    EXPECT_EQ(PLOTX_log("early %d\n", 1), 8);
    ASSERT_EQ(ring_lines().size(), 1u);
    EXPECT_EQ(ring_lines()[0], "early 1\n");
}

TEST_F(TextLog, ClosedTextWindowKeepsStoringLines) {
    begin();
    hl::close(text());
    while (px::message_available()) pump_one_message();
    EXPECT_FALSE(px::IsWindow(text()));
    EXPECT_TRUE(px::IsWindow(graphics()));  // closing the log does not end the program
    PLOTX_log("after close\n");
    EXPECT_EQ(ring_lines().back(), "after close\n");
}

TEST_F(TextLog, EchoWritesEveryLineToStandardError) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "standard error cannot be captured under Node (the page test reads the echo on the console)";
#endif
    begin();
    setenv("PLOTX_LOG_ECHO", "1", 1);
    testing::internal::CaptureStderr();
    PLOTX_log("echoed %d\n", 7);
    PLOTX_log("no feed");
    std::string err = testing::internal::GetCapturedStderr();
    unsetenv("PLOTX_LOG_ECHO");
    EXPECT_EQ(err, "echoed 7\nno feed\n");
    testing::internal::CaptureStderr();
    PLOTX_log("quiet\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Palette, ValidIndicesPassSilently) {
    begin();
    for (int i = 0; i < PALETTE_SIZE; ++i) EXPECT_EQ(check_color((i + 1) % PALETTE_SIZE), (i + 1) % PALETTE_SIZE);
    EXPECT_TRUE(ring_lines().empty());
}

TEST_F(Palette, InvalidIndicesBecomeRedWithALineEvenWhenLoggingIsOff) {
    begin();
    PLOTX_set_logging(0);
    EXPECT_EQ(check_color(24), RED);
    EXPECT_EQ(check_color(-1), RED);
    std::vector<std::string> lines = ring_lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Illegal color 24; using RED.\n");
    EXPECT_EQ(lines[1], "Illegal color -1; using RED.\n");
}

TEST_F(Palette, ValuesAreRedInTheLowByte) {
    EXPECT_EQ(palette_rgb[RED], 0x0000FFu);
    EXPECT_EQ(palette_rgb[BLUE], 0xFF0000u);
    EXPECT_EQ(palette_rgb[PURPLE], 0xCC0099u);
    EXPECT_EQ(palette_rgb[GRAY_50], 0x808080u);
    EXPECT_EQ(palette_rgb[GRAY_20], 0xCCCCCCu);
    EXPECT_STREQ(palette_names[GRAY_50], "50% gray");
    EXPECT_STREQ(palette_names[NAVY_BLUE], "navy blue");
}
