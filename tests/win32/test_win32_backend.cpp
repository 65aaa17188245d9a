// test_win32_backend.cpp - the Windows backend's windows as Windows itself reports them, in
// process under Wine: the text window's pixels as its lines come, scroll and meet a new size,
// the real Run menu's marks and greyed lines after each command, and a recording chosen from
// the real menu. Every wait is a bounded poll of the message queues.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "backends/win32/win32.h"
#include "state.h"
#include "support/harness.h"
#include "support/scratch_dir.h"
#include "window/backend.h"
// After the layer's headers: Windows' macros would rename the layer's constants.
#include <windows.h>

namespace {

using Clock = std::chrono::steady_clock;

::HWND native(px::HWND h) { return reinterpret_cast<::HWND>(px::win32::native_handle(h)); }
::HWND graphics() { return native(plotx::g.windows.graphics_window); }

class Win32Backend : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch_.enter("plotx-win32"));
        plotx::reset_library_for_tests();
        ASSERT_EQ(PLOTX_begin(nullptr, nullptr, "", 1), 1);
        ASSERT_TRUE(px::win32::active()) << "the Windows backend did not start";
        ASSERT_EQ(px::backend().display_scale(), 1) << "PLOTX_SCALE=1 is expected";
    }
    void TearDown() override {
        PLOTX_end();
        plotx::reset_library_for_tests();
        scratch_.leave();
    }

    // Hands on every pending message, Windows' and the layer's, until done() holds or five
    // seconds pass; between rounds it blocks in the backend's wait for input.
    template <class Done>
    static bool pump_until(Done done) {
        const auto end = Clock::now() + std::chrono::seconds(5);
        for (;;) {
            px::backend().poll();
            while (px::message_available()) plotx::pump_one_message();
            plotx::pump_one_message();  // presents the canvas
            if (done()) return true;
            if (Clock::now() > end) return false;
            px::backend().wait_until(px::backend().now_ms() + 20);
        }
    }

    // Every message posted so far has been handled: Windows' queue and the layer's are empty.
    static bool settled() {
        return pump_until([] { return HIWORD(GetQueueStatus(QS_ALLPOSTMESSAGE)) == 0 && !px::message_available(); });
    }

    plotx_test::ScratchDirectory scratch_;
};

// The window's client area as Windows has it, 0x00RRGGBB, read back through its DC.
std::vector<uint32_t> shown(::HWND w, int* width, int* height) {
    RECT r{};
    GetClientRect(w, &r);
    *width = r.right;
    *height = r.bottom;
    std::vector<uint32_t> out(static_cast<size_t>(r.right) * static_cast<size_t>(r.bottom));
    if (out.empty()) return out;
    HDC dc = GetDC(w);
    HDC mem = CreateCompatibleDC(dc);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), r.right, -r.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, r.right, r.bottom, dc, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < out.size(); ++i) out[i] = p[i] & 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(w, dc);
    return out;
}

// Whether Windows shows exactly the layer window's client image, row ring unrolled.
bool shows_its_image(px::HWND h) {
    int width = 0, height = 0;
    const std::vector<uint32_t> screen = shown(native(h), &width, &height);
    const px::Bitmap& image = h->client;
    if (width != image.width || height != image.height) return false;
    for (int y = 0; y < height; ++y)
        if (!std::equal(image.row(y), image.row(y) + width, screen.begin() + static_cast<long>(y) * width)) return false;
    return true;
}

// Where the screen and the image part, for a failure's message.
std::string differences(px::HWND h) {
    int width = 0, height = 0;
    const std::vector<uint32_t> screen = shown(native(h), &width, &height);
    const px::Bitmap& image = h->client;
    std::string out = "screen " + std::to_string(width) + "x" + std::to_string(height) + ", image " +
                      std::to_string(image.width) + "x" + std::to_string(image.height);
    int n = 0;
    for (int y = 0; y < std::min(height, image.height) && n < 5; ++y)
        for (int x = 0; x < std::min(width, image.width) && n < 5; ++x)
            if (image.at(x, y) != screen[static_cast<size_t>(y) * width + x]) {
                char b[80];
                std::snprintf(b, sizeof b, "; (%d,%d) %06x on screen, %06x in the image", x, y,
                              screen[static_cast<size_t>(y) * width + x], image.at(x, y));
                out += b;
                ++n;
            }
    return out;
}

// Rows of the image holding some pixel other than the background.
int inked_rows(const px::Bitmap& image) {
    int rows = 0;
    for (int y = 0; y < image.height; ++y)
        rows += std::any_of(image.row(y), image.row(y) + image.width, [&](uint32_t p) { return p != image.at(0, 0); });
    return rows;
}

// --- The text window on the screen ---------------------------------------------------------

// Lines logged appear on the screen; more lines than fit scroll the image (its row ring
// turns) and the screen follows; a size given through Windows reaches the layer's image.
TEST_F(Win32Backend, TextWindowShowsItsLinesScrolledAndAtANewSize) {
    px::HWND text = plotx::g.windows.text_window;
    const int blank_rows = inked_rows(text->client);
    PLOTX_log("a first line for the text window\n");
    EXPECT_TRUE(pump_until([&] { return inked_rows(text->client) > blank_rows && shows_its_image(text); }))
        << "the logged line is not on the screen";

    const int offset = text->client.row_offset;
    for (int i = 1; i <= 60; ++i) PLOTX_log("line %d of sixty: the quick brown fox\n", i);
    EXPECT_TRUE(pump_until([&] { return shows_its_image(text); })) << "the scrolled image is not on the screen";
    EXPECT_NE(text->client.row_offset, offset) << "sixty lines should have scrolled the image";
    EXPECT_TRUE(plotx_test::log_has("line 60 of sixty"));

    RECT frame{};
    GetWindowRect(native(text), &frame);
    SetWindowPos(native(text), nullptr, 0, 0, frame.right - frame.left - 200, frame.bottom - frame.top - 60,
                 SWP_NOMOVE | SWP_NOZORDER);
    RECT client{};
    GetClientRect(native(text), &client);
    EXPECT_TRUE(pump_until([&] { return text->client.width == client.right && text->client.height == client.bottom; }))
        << "the image is " << text->client.width << "x" << text->client.height << ", the window " << client.right << "x"
        << client.bottom;
    PLOTX_log("a line after the new size\n");
    EXPECT_TRUE(pump_until([&] { return shows_its_image(text); })) << "the resized image is not on the screen: "
                                                                    << differences(text);
}

// --- The real Run menu -------------------------------------------------------------------

struct MenuLine {
    unsigned id;
    const char* name;
};
const MenuLine RUN_MENU[] = {{plotx::CMD_ANIMATE, "Animate"},  {plotx::CMD_HALT, "Halt"},
                             {plotx::CMD_ADVANCE_FRAME, "Advance"}, {plotx::CMD_LOGGING, "Logging"},
                             {plotx::CMD_RECORD, "Record"},    {plotx::CMD_PLAYBACK, "Playback"},
                             {plotx::CMD_PLAY_ONE, "Play One"}, {plotx::CMD_QUIT, "Quit"}};

// The marks and greyed entries of the real menu: "Name" checked, "-Name" greyed.
std::string real_states() {
    HMENU run = GetSubMenu(GetMenu(graphics()), 0);
    std::string out;
    for (const MenuLine& line : RUN_MENU) {
        const UINT state = GetMenuState(run, line.id, MF_BYCOMMAND);
        if (state == static_cast<UINT>(-1)) return "no entry " + std::string(line.name);
        if (state & MF_CHECKED) out += std::string(out.empty() ? "" : " ") + line.name;
        if (state & MF_GRAYED) out += std::string(out.empty() ? "" : " ") + "-" + line.name;
    }
    // The information lines at the end are greyed, always.
    const int count = GetMenuItemCount(run);
    int greyed = 0;
    for (int i = 0; i < count; ++i) {
        const UINT state = GetMenuState(run, static_cast<UINT>(i), MF_BYPOSITION);
        greyed += !(state & MF_SEPARATOR) && (state & MF_GRAYED);
    }
    return out + " greyed=" + std::to_string(greyed);
}

// Each command chosen as Windows delivers a menu pick: the real menu then shows what the
// Run menu rules say. Only Logging, Record and Playback carry marks; only the four
// information lines are greyed.
TEST_F(Win32Backend, TheRealMenuShowsTheMarksAfterEachCommand) {
    FILE* script = std::fopen(plotx::SCRIPT_FILE, "wb");
    ASSERT_NE(script, nullptr);
    std::fputs("PLOTX_KBD(49);\nPLOTX_KBD(50);\n", script);
    std::fclose(script);
    struct Step {
        unsigned command;  // 0: none, the state at start
        const char* shows;
    };
    const Step steps[] = {
        {0, "Logging greyed=4"},
        {plotx::CMD_LOGGING, " greyed=4"},
        {plotx::CMD_LOGGING, "Logging greyed=4"},
        {plotx::CMD_ANIMATE, "Logging greyed=4"},
        {plotx::CMD_HALT, "Logging greyed=4"},
        {plotx::CMD_ADVANCE_FRAME, "Logging greyed=4"},
        {plotx::CMD_PLAYBACK, "Logging Playback greyed=4"},
        {plotx::CMD_RECORD, "Logging Playback greyed=4"},  // refused while playing back
        {plotx::CMD_PLAYBACK, "Logging greyed=4"},
        {plotx::CMD_RECORD, "Logging Record greyed=4"},
        {plotx::CMD_PLAYBACK, "Logging Record greyed=4"},  // refused while recording
        {plotx::CMD_PLAY_ONE, "Logging Record greyed=4"},  // refused while recording
        {plotx::CMD_RECORD, "Logging greyed=4"},
        {plotx::CMD_PLAY_ONE, "Logging greyed=4"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE("after command " + std::to_string(step.command));
        if (step.command) {
            ASSERT_TRUE(PostMessageA(graphics(), WM_COMMAND, step.command, 0));
        }
        ASSERT_TRUE(settled());
        EXPECT_EQ(real_states(), step.shows);
    }
}

// --- Recording from the real menu ----------------------------------------------------------

// Record chosen from the menu, two clicks and a key, Record again: the file holds exactly
// that input, and the click after the second Record is not in it.
TEST_F(Win32Backend, RecordChosenFromTheMenuHoldsExactlyTheInput) {
    const int ox = plotx::g.windows.origin_x, oy = plotx::g.windows.origin_y;
    auto click = [&](int x, int y) {
        PostMessageA(graphics(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(ox + x, oy - y));
        PostMessageA(graphics(), WM_LBUTTONUP, 0, MAKELPARAM(ox + x, oy - y));
    };
    // The next event the program gets, as "M(x,y)", "K<code>" or "P".
    auto next = [] {
        int x = 0, y = 0;
        char key = 0;
        const int kind = PLOTX_wait_event(&x, &y, &key);
        if (kind == PLOTX_MOUSE) return "M(" + std::to_string(x) + "," + std::to_string(y) + ")";
        if (kind == PLOTX_KBD) return "K" + std::to_string(static_cast<unsigned char>(key));
        return std::string(kind == PLOTX_PERIODIC ? "P" : "Q");
    };
    PostMessageA(graphics(), WM_COMMAND, plotx::CMD_RECORD, 0);
    click(10, 20);
    PostMessageA(graphics(), WM_KEYDOWN, 'Z', 0x002C0001);
    PostMessageA(graphics(), WM_CHAR, 'z', 0x002C0001);
    PostMessageA(graphics(), WM_KEYUP, 'Z', 0xC02C0001);
    click(-30, -40);
    PostMessageA(graphics(), WM_COMMAND, plotx::CMD_RECORD, 0);
    click(1, 1);
    std::string seen;
    for (int i = 0; i < 4; ++i) seen += (i ? " " : "") + next();
    EXPECT_EQ(seen, "M(10,20) K122 M(-30,-40) M(1,1)");
    EXPECT_EQ(plotx_test::file_bytes(plotx::SCRIPT_FILE), "PLOTX_MOUSE(10, 20);\nPLOTX_KBD(122);\nPLOTX_MOUSE(-30, -40);\n");
    EXPECT_EQ(real_states(), "Logging greyed=4");
}

}  // namespace

// Runs where the Windows test run gives Wine an X server; 77 (skipped) elsewhere.
int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY")) {
        std::printf("SKIP: no X server (tools/build-windows.sh --test provides one)\n");
        return 77;
    }
    _putenv_s("PLOTX_SCALE", "1");
    _putenv_s("PLOTX_BACKEND", "desktop");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
