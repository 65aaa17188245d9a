// Windows, canvas and the event wait on the headless backend's virtual clock.
#include <cstdio>
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <unistd.h>
#endif
#include "support/harness.h"

using namespace plotx;
using namespace plotx_test;
namespace hl = px::headless;

using WindowsAndCanvas = LibraryTest;
using EventWait = LibraryTest;

TEST_F(WindowsAndCanvas, GraphicsWindowHasFixedFrameAndOddClientOrigin) {
    begin();
    EXPECT_EQ(graphics()->title, "PLOTX Graphics");
    EXPECT_EQ(graphics()->width, 601);
    EXPECT_EQ(graphics()->height, 540);
    EXPECT_EQ(graphics()->client.width, 595);
    EXPECT_EQ(graphics()->client.height, 493);
    // 595 x 493 puts the origin at the lower half-pixel.
    EXPECT_EQ(g.windows.origin_x, 297);
    EXPECT_EQ(g.windows.origin_y, 246);
    EXPECT_TRUE(px::IsWindowVisible(graphics()));
}

TEST_F(WindowsAndCanvas, TextWindowSpansBottomThirdOfScreen) {
    hl::set_screen_size(1280, 800);
    begin();
    EXPECT_EQ(text()->title, "PLOTX Text");
    EXPECT_EQ(text()->x, 0);
    EXPECT_EQ(text()->y, 2 * 800 / 3 + 1);
    EXPECT_EQ(text()->width, 1280);
    EXPECT_EQ(text()->height, 800 / 3);
    EXPECT_TRUE(px::IsWindowVisible(text()));
}

TEST_F(WindowsAndCanvas, BeginWhileOpenChangesNothingAndReopeningLeavesNoStaleWindow) {
    begin();
    px::HWND first = graphics(), first_text = text();
    int dummy = 0;
    EXPECT_EQ(PLOTX_begin(nullptr, &dummy, "", 1), 1);
    EXPECT_EQ(graphics(), first);
    EXPECT_EQ(text(), first_text);
    EXPECT_EQ(PLOTX_end(), 1);
    EXPECT_EQ(PLOTX_end(), 0);
    // Opened again after the end: new windows; the old ones are gone, and asked no quit.
    begin();
    EXPECT_TRUE(px::IsWindow(graphics()));
    EXPECT_TRUE(px::IsWindow(text()));
    EXPECT_FALSE(px::IsWindow(first));
    EXPECT_FALSE(px::IsWindow(first_text));
    click_canvas(1, 1, 10);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
}

TEST_F(WindowsAndCanvas, PresentationCopiesOnlyWhenDirty) {
    begin();
    // Paint the canvas red behind the library's back, mark it dirty, pump once.
    px::Bitmap* canvas = px::dc_surface(g.windows.canvas_dc);
    std::fill(canvas->pixels.begin(), canvas->pixels.end(), 0xFF0000u);
    g.windows.canvas_dirty = 1;
    pump_one_message();
    EXPECT_EQ(g.windows.canvas_dirty, 0);
    EXPECT_EQ(shown_pixel(10, 10), 0xFF0000u);
    // Not dirty: a change to the image is not shown.
    std::fill(canvas->pixels.begin(), canvas->pixels.end(), 0x00FF00u);
    pump_one_message();
    EXPECT_EQ(shown_pixel(10, 10), 0xFF0000u);
    g.windows.canvas_dirty = 1;
    pump_one_message();
    EXPECT_EQ(shown_pixel(10, 10), 0x00FF00u);
}

TEST_F(WindowsAndCanvas, EndReleasesAndReportsClosedBeforeBegin) {
    EXPECT_EQ(PLOTX_end(), 0);
    begin();
    EXPECT_EQ(PLOTX_end(), 1);
}

TEST_F(EventWait, ControlOperationsBeforeBeginReturnZero) {
    EXPECT_EQ(PLOTX_set_animation(RUN_ANIMATE), 0);
    EXPECT_EQ(g.events.animating, 0);
    EXPECT_EQ(PLOTX_set_logging(0), 0);
    EXPECT_EQ(g.drawing.logging_on, 1);
    int x = 7, y = 7;
    char k = 7;
    EXPECT_EQ(PLOTX_wait_event(&x, &y, &k), PLOTX_QUIT);
    EXPECT_EQ(x, 0);
}

TEST_F(EventWait, ClickArrivesInCanvasCoordinates) {
    begin();
    hl::click(graphics(), g.windows.origin_x + 10, g.windows.origin_y - 20);
    int x, y;
    EXPECT_EQ(wait(&x, &y), PLOTX_MOUSE);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
}

TEST_F(EventWait, TypedCharacterArrivesAsKeyboardEvent) {
    begin();
    hl::type_char(graphics(), 'a');
    char key = 0;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, 'a');
}

TEST_F(EventWait, AnimationGivesOnePeriodicEventPerTick) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    std::vector<uint64_t> times;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(wait(), PLOTX_PERIODIC);
        times.push_back(hl::now());
    }
    // Ticks fall at 100, 200, ... on the virtual clock; never two for one tick.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(times[i], 100u * (i + 1)) << i;
}

TEST_F(EventWait, TicksThatCameBeforeArmingAreDiscarded) {
    begin();
    while (px::message_available()) pump_one_message();  // the first paints
    PLOTX_set_animation(RUN_ANIMATE);
    hl::advance(350);  // three ticks' worth of time passes without a wait
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    // The due timer yields one message, which the arming discards; delivery is at 400.
    EXPECT_EQ(hl::now(), 400u);
}

TEST_F(EventWait, HaltedAnimationReturnsOnlyOnInput) {
    begin();
    click_canvas(1, 2, 1000);
    int x, y;
    EXPECT_EQ(wait(&x, &y), PLOTX_MOUSE);
    EXPECT_EQ(hl::now(), 1000u);
    EXPECT_EQ(x, 1);
}

// A halted program answers a click by drawing, then waits: what it drew and what it
// logged must reach the display before that wait blocks, not with the next tick.
TEST_F(EventWait, WhatAPassDrewIsShownBeforeTheWaitBlocks) {
    begin();
    click_canvas(1, 2, 1050);  // between ticks: no timer message wakes the wait early
    click_canvas(3, 4, 1250);
    ASSERT_EQ(wait(), PLOTX_MOUSE);
    PLOTX_draw_rectangle(RED, -10, 10, 10, -10, 1);
    PLOTX_log("answered\n");
    ASSERT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(hl::now(), 1250u);
    EXPECT_EQ(hl::blocks_with_unshown_images(), 0);
}

TEST_F(EventWait, OneFrameGivesExactlyOnePeriodicEvent) {
    begin();
    PLOTX_set_animation(RUN_ONE_FRAME);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(hl::now(), 100u);
    click_canvas(0, 0, 2000);
    EXPECT_EQ(wait(), PLOTX_MOUSE);  // nothing periodic in between
    EXPECT_EQ(hl::now(), 2000u);
}

TEST_F(EventWait, HaltStillDeliversArmedEvent) {
    begin();
    PLOTX_set_animation(RUN_ONE_FRAME);
    PLOTX_set_animation(RUN_HALT);
    click_canvas(0, 0, 500);
    EXPECT_EQ(wait(), PLOTX_MOUSE);  // halt cleared the request before it was armed
}

TEST_F(EventWait, ClickReplacesArmedPeriodicAndNextWaitRearms) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);  // t = 100
    click_canvas(5, 5, 150);            // arrives while the next one is armed
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(hl::now(), 150u);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(hl::now(), 200u);
}

TEST_F(EventWait, RequestQuitReportsQuitOnceAnEventIsAssembled) {
    begin();
    EXPECT_EQ(PLOTX_set_animation(RUN_REQUEST_QUIT), 1);
    click_canvas(3, 4, 700);
    int x, y;
    EXPECT_EQ(wait(&x, &y), PLOTX_QUIT);
    EXPECT_EQ(hl::now(), 700u);  // not before the click
    EXPECT_EQ(x, 3);
    PLOTX_set_animation(RUN_ANIMATE);
    EXPECT_EQ(wait(), PLOTX_QUIT);
}

TEST_F(EventWait, ModesThreeAndFourChangeNothing) {
    begin();
    for (int mode : {3, 4, 99, -1}) {
        EXPECT_EQ(PLOTX_set_animation(mode), 1);
        EXPECT_EQ(g.events.animating, 0);
        EXPECT_EQ(g.events.single_step, 0);
        EXPECT_EQ(g.events.quit_requested, 0);
    }
}

TEST_F(EventWait, ClosingGraphicsWindowEndsWaitWithQuitAndLaterWaitsToo) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    hl::close(graphics(), 250);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(wait(), PLOTX_QUIT);
    EXPECT_FALSE(px::IsWindow(graphics()));
    // The window and its timer are gone; a further wait must not hang.
    EXPECT_EQ(wait(), PLOTX_QUIT);
}

TEST_F(EventWait, ControlLetterRunsCommandInsteadOfTyping) {
    begin();
    hl::control_key(graphics(), 'a', 100);
    click_canvas(0, 0, 1000);
    // Control+A starts the animation: a periodic event comes before the click.
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(g.events.animating, 1);
}

// The wait blocks instead of polling; blocking must not change what arrives when. The
// same input, once with the clock jumping to the next thing due and once moving a
// millisecond at a time as under polling, gives the same events at the same times.
TEST_F(EventWait, BlockingDeliversEverythingAtTheTickPollingWould) {
    struct Seen { int kind, x, y; char key; uint64_t at; };
    auto run = [this](uint64_t step) {
        reset_library_for_tests();
        hl::install();
        hl::set_poll_step(step);
        begin();
        PLOTX_set_animation(RUN_ANIMATE);
        click_canvas(5, 6, 130);
        hl::type_char(graphics(), 'k', 130);   // same instant as the click
        hl::control_key(graphics(), 'h', 420);  // halt: the armed event still comes
        click_canvas(-7, 8, 777);
        hl::control_key(graphics(), 'f', 900);  // one frame
        hl::control_key(graphics(), 'a', 1250);
        hl::close(graphics(), 1555);
        std::vector<Seen> seen;
        for (int i = 0; i < 40; ++i) {
            Seen s{};
            s.kind = wait(&s.x, &s.y, &s.key);
            s.at = hl::now();
            seen.push_back(s);
            if (s.kind == PLOTX_QUIT) break;
        }
        return seen;
    };
    std::vector<Seen> blocking = run(0), polling = run(1);
    ASSERT_EQ(blocking.size(), polling.size());
    ASSERT_GT(blocking.size(), 10u);
    EXPECT_EQ(blocking.back().kind, PLOTX_QUIT);
    for (size_t i = 0; i < blocking.size(); ++i) {
        EXPECT_EQ(blocking[i].kind, polling[i].kind) << i;
        EXPECT_EQ(blocking[i].at, polling[i].at) << i;
        EXPECT_EQ(blocking[i].x, polling[i].x) << i;
        EXPECT_EQ(blocking[i].y, polling[i].y) << i;
        EXPECT_EQ(blocking[i].key, polling[i].key) << i;
    }
}

// --- Opening again ----------------------------------------------------------------------

using Reopening = LibraryTest;

TEST_F(Reopening, ManySessionsKeepMemoryFlatAndLeaveOnlyTheLastWindows) {
    hl::set_screen_size(320, 240);
    auto cycle = [] {
        ASSERT_EQ(PLOTX_begin(nullptr, nullptr, "", 1), 1);
        PLOTX_log("a line");
        ASSERT_EQ(PLOTX_end(), 1);
    };
    for (int i = 0; i < 20; ++i) cycle();
#if defined(__SANITIZE_ADDRESS__)
#define PLOTX_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLOTX_TEST_ASAN 1
#endif
#endif
    // Resident memory tells of leaks only where freed memory is given back for reuse: under
    // AddressSanitizer it sits in quarantine, and LeakSanitizer checks for leaks at exit.
#if defined(__linux__) && !defined(__EMSCRIPTEN__) && !defined(PLOTX_TEST_ASAN)
    auto resident_mb = [] {
        long pages = 0, resident = 0;
        std::FILE* f = std::fopen("/proc/self/statm", "r");
        if (f && std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        if (f) std::fclose(f);
        return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
    };
    double before = resident_mb();
    for (int i = 0; i < 1000; ++i) cycle();
    EXPECT_LT(resident_mb() - before, 2.0);
#endif
    EXPECT_EQ(px::all_windows().size(), 2u);
}

TEST_F(Reopening, NothingHeldOrPointedAtSurvivesIntoTheNextSession) {
    begin();
    PLOTX_set_input(PLOTX_INPUT_KEYS | PLOTX_INPUT_MOTION);
    hl::key_down(graphics(), 'W', 'w', 10);
    hl::move(graphics(), g.windows.origin_x + 40, g.windows.origin_y - 30, 10);
    PLOTX_Event e;
    PLOTX_wait(&e);
    PLOTX_wait(&e);
    ASSERT_EQ(PLOTX_key_held('W'), 1);
    PLOTX_end();
    begin();
    int x = -1, y = -1;
    PLOTX_mouse_position(&x, &y);
    EXPECT_EQ(PLOTX_key_held('W'), 0);
    EXPECT_EQ(x + y, 0);
}

TEST_F(Reopening, ClassesAreRegisteredWhateverThePreviousInstanceAndNoWindowMeansZero) {
    int previous = 1;
    ASSERT_EQ(PLOTX_begin(nullptr, &previous, "", 1), 1);
    EXPECT_TRUE(px::IsWindow(graphics()));
    EXPECT_TRUE(px::IsWindow(text()));
    PLOTX_end();
    // A class whose windows refuse to be created: the library opens nothing and says so.
    reset_library_for_tests();
    hl::install();
    px::WNDCLASSA refusing;
    refusing.lpfnWndProc = [](px::HWND, unsigned msg, px::WPARAM, px::LPARAM) -> px::LRESULT {
        return msg == px::WM_CREATE ? -1 : 0;
    };
    refusing.lpszClassName = "DrawWndClass";
    ASSERT_TRUE(px::RegisterClassA(&refusing));
    EXPECT_EQ(PLOTX_begin(nullptr, nullptr, "", 1), 0);
    EXPECT_EQ(graphics(), nullptr);
    EXPECT_EQ(PLOTX_end(), 0);
    EXPECT_EQ(PLOTX_set_animation(RUN_ANIMATE), 0);
}

TEST_F(EventWait, APressLeftOfOrAboveTheClientAreaGivesNegativeClientCoordinates) {
    begin();
    hl::click(graphics(), -5, -7, 10);
    int x = 0, y = 0;
    ASSERT_EQ(wait(&x, &y), PLOTX_MOUSE);
    EXPECT_EQ(x, -5 - g.windows.origin_x);
    EXPECT_EQ(y, g.windows.origin_y + 7);
}

// A headless run never hangs: a wait that nothing can ever answer ends in a quit, an
// animated run's after ten minutes of virtual time without input, and one line says so.
using HeadlessEnd = LibraryTest;

TEST_F(HeadlessEnd, AnimatedRunQuitsAfter6000TicksWithoutInput) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    click_canvas(0, 0, 250);  // input restarts the ten minutes
    int ticks = 0, kind;
    while ((kind = wait()) != PLOTX_QUIT) {
        if (kind == PLOTX_PERIODIC) ++ticks;
        ASSERT_LT(ticks, 7000);
    }
    EXPECT_EQ(ticks, 2 + 6000);
    EXPECT_EQ(hl::now(), 250u + 600000u - 50u);  // the last tick's time; the next is past the limit
}

TEST_F(HeadlessEnd, HaltedWaitWithNothingToComeQuitsWithOneLine) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "standard error cannot be captured under Node";
#endif
    begin();
    while (px::message_available()) pump_one_message();
    const uint64_t start = hl::now();
    testing::internal::CaptureStderr();
    EXPECT_EQ(wait(), PLOTX_QUIT);
    EXPECT_LE(hl::now(), start + 600000u);
    PLOTX_set_animation(RUN_ANIMATE);
    EXPECT_EQ(wait(), PLOTX_QUIT);  // and stays ended
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "plotx: headless run has no more input; quitting\n");
}
