// The richer wait on the headless backend's virtual clock: what it delivers with and without
// input flags, coalesced motion, the tick, held keys, the key table, and recordings of the
// new kinds played back.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>

#include "support/harness.h"
#include "support/scratch_dir.h"

// The two examples of the richer wait, compiled in so that a test can drive them.
namespace steer_example {
#define main steer_main
#include "../examples/steer.c"
#undef main
}  // namespace steer_example
namespace sketch_example {
#define main sketch_main
#include "../examples/sketch.c"
#undef main
}  // namespace sketch_example

using namespace plotx;
using namespace plotx_test;
namespace fs = std::filesystem;
namespace hl = px::headless;

namespace {

constexpr int ALL = PLOTX_INPUT_BUTTONS | PLOTX_INPUT_MOTION | PLOTX_INPUT_WHEEL | PLOTX_INPUT_KEYS;

class Input : public LibraryTest {
protected:
    // Client position of a canvas point.
    int cx(int x) const { return g.windows.origin_x + x; }
    int cy(int y) const { return g.windows.origin_y - y; }

    // An event as compact text: M<button>(x,y) press, U<button>(x,y) release, V(x,y)
    // motion, W<steps>, D<key> / R<key> key down / up, K<byte> typed, P, Q, the others
    // followed by (x,y) unless the pointer is at (0,0); then "+<mods>" when modifiers were
    // held.
    static std::string text(const PLOTX_Event& e) {
        std::string xy = "(" + std::to_string(e.x) + "," + std::to_string(e.y) + ")";
        std::string s;
        switch (e.kind) {
            case PLOTX_MOUSE: s = "M" + std::to_string(e.button) + xy; break;
            case PLOTX_MOUSE_UP: s = "U" + std::to_string(e.button) + xy; break;
            case PLOTX_MOUSE_MOVE: s = "V" + xy; break;
            case PLOTX_WHEEL: s = "W" + std::to_string(e.button); break;
            case PLOTX_KEY_DOWN: s = "D" + std::to_string(e.key); break;
            case PLOTX_KEY_UP: s = "R" + std::to_string(e.key); break;
            case PLOTX_KBD: s = "K" + std::to_string(e.key); break;
            case PLOTX_PERIODIC: s = "P"; break;
            default: s = "Q"; break;
        }
        bool mouse = e.kind == PLOTX_MOUSE || e.kind == PLOTX_MOUSE_UP || e.kind == PLOTX_MOUSE_MOVE;
        if (!mouse && (e.x || e.y)) s += xy;
        if (e.mods) s += "+" + std::to_string(e.mods);
        return s;
    }
    std::string events(int n) {
        std::string out;
        for (int i = 0; i < n; ++i) {
            PLOTX_Event e;
            int kind = PLOTX_wait(&e);
            EXPECT_EQ(kind, e.kind);
            out += (out.empty() ? "" : " ") + text(e);
        }
        return out;
    }

    // A session of every kind of input, from t = 10 to 300.
    void schedule_session() {
        px::HWND w = graphics();
        hl::move(w, cx(5), cy(5), 10);
        hl::press(w, 3, cx(6), cy(7), 20);
        hl::release(w, 3, cx(6), cy(7), 30);
        hl::key_down(w, px::VK_SHIFT, 0, 40);
        hl::press(w, 1, cx(-8), cy(9), 50);
        hl::move(w, cx(-9), cy(9), 60);
        hl::release(w, 1, cx(-9), cy(9), 70);
        hl::key_up(w, px::VK_SHIFT, 80);
        hl::wheel(w, cx(1), cy(1), -2, 90);
        hl::key_down(w, px::VK_LEFT, 0, 100);
        hl::key_down(w, px::VK_LEFT, 0, 110);
        hl::key_up(w, px::VK_LEFT, 120);
        hl::type_char(w, 'z', 130);
        hl::move(w, cx(40), cy(-30), 140);
        hl::type_char(w, 'q', 300);
    }
};

using FlagsZero = Input;
using Delivery = Input;
using Motion = Input;
using Tick = Input;
using HeldKeys = Input;
using KeyTable = Input;

}  // namespace

// --- With no flags, PLOTX_wait is PLOTX_wait_event with more fields ---------------------

TEST_F(FlagsZero, DeliversWhatTheOriginalWaitDeliversWithPointerModsAndTime) {
    begin();
    schedule_session();
    std::string original;
    for (int i = 0; i < 3; ++i) {
        int x, y;
        char k;
        int kind = wait(&x, &y, &k);
        original += (original.empty() ? "" : " ") + std::to_string(kind) + ":" + std::to_string(x) + "," +
                    std::to_string(y) + "," + std::to_string(k);
    }
    EXPECT_EQ(original, "1:-8,9,0 2:0,0,122 2:0,0,113");

    reset_library_for_tests();
    hl::install();
    begin();
    schedule_session();
    PLOTX_Event e;
    EXPECT_EQ(PLOTX_wait(&e), PLOTX_MOUSE);
    EXPECT_EQ(text(e), "M1(-8,9)+1");  // Shift was down
    EXPECT_EQ(e.time_ms, 50);
    EXPECT_EQ(PLOTX_wait(&e), PLOTX_KBD);
    // A typed key reports where the pointer is: the wheel turn at (1, 1) moved it last.
    EXPECT_EQ(text(e), "K122(1,1)");
    EXPECT_EQ(e.time_ms, 130);
    EXPECT_EQ(PLOTX_wait(&e), PLOTX_KBD);
    EXPECT_EQ(text(e), "K113(40,-30)");
    EXPECT_EQ(PLOTX_wait(nullptr), PLOTX_QUIT);  // a null event is allowed
}

TEST_F(FlagsZero, PeriodicEventsKeepTheirRulesAndTellTheTime) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    hl::move(graphics(), cx(3), cy(4), 150);
    PLOTX_Event e;
    EXPECT_EQ(PLOTX_wait(&e), PLOTX_PERIODIC);
    EXPECT_EQ(e.time_ms, 100);
    EXPECT_EQ(PLOTX_wait(&e), PLOTX_PERIODIC);
    EXPECT_EQ(text(e), "P(3,4)");
    EXPECT_EQ(e.time_ms, 200);
    PLOTX_set_animation(RUN_HALT);
    hl::press(graphics(), 2, cx(0), cy(0), 250);  // not delivered without the flag
    click_canvas(1, 1, 400);
    EXPECT_EQ(events(1), "M1(1,1)");
}

// --- Each flag adds its kinds ----------------------------------------------------------

TEST_F(Delivery, EveryKindArrivesOncePerWaitWhenEnabled) {
    begin();
    EXPECT_EQ(PLOTX_set_input(ALL), 1);
    schedule_session();
    EXPECT_EQ(events(8), "V(5,5) M3(6,7) U3(6,7) D278(6,7)+1 M1(-8,9)+1 V(-9,9)+1 U1(-9,9)+1 R278(-9,9)");
    // Key down, its auto-repeat, its up; then the typed key's down, character and up.
    EXPECT_EQ(events(8), "W-2(1,1) D256(1,1) D256(1,1) R256(1,1) D90(1,1) K122(1,1) R90(1,1) V(40,-30)");
}

TEST_F(Delivery, FlagsAreCheckedAtEachWait) {
    EXPECT_EQ(PLOTX_set_input(ALL), 0);  // before PLOTX_begin
    begin();
    PLOTX_set_input(PLOTX_INPUT_WHEEL | 64);
    EXPECT_EQ(g.input.flags, PLOTX_INPUT_WHEEL);  // unknown bits ignored
    hl::press(graphics(), 3, cx(0), cy(0), 10);
    hl::wheel(graphics(), cx(0), cy(0), 1, 20);
    EXPECT_EQ(events(1), "W1");
    PLOTX_set_input(PLOTX_INPUT_BUTTONS);
    hl::release(graphics(), 3, cx(0), cy(0), 30);
    EXPECT_EQ(events(1), "U3(0,0)");
}

TEST_F(Delivery, WheelPartsAddUpToWholeSteps) {
    begin();
    PLOTX_set_input(PLOTX_INPUT_WHEEL);
    for (int i = 0; i < 5; ++i) hl::wheel_delta(graphics(), cx(0), cy(0), 40, 10 * (i + 1));
    hl::wheel_delta(graphics(), cx(0), cy(0), -40, 60);  // a turn back drops the rest
    hl::wheel_delta(graphics(), cx(0), cy(0), -200, 70);
    EXPECT_EQ(events(2), "W1 W-2");
    EXPECT_EQ(hl::now(), 70u);
}

TEST_F(Delivery, ControlLettersRunTheMenuAndAreNotKeys) {
    begin();
    PLOTX_set_input(PLOTX_INPUT_KEYS);
    hl::control_key(graphics(), 'a', 10);  // Animate
    EXPECT_EQ(events(3), "D279+2 R279 P");
    EXPECT_EQ(g.events.animating, 1);
    PLOTX_set_animation(RUN_HALT);
    hl::key_down(graphics(), px::VK_CONTROL, 0, 200);
    hl::key_down(graphics(), 'Z', 'z', 200);  // no shortcut: a key like any other
    hl::click(graphics(), cx(0), cy(0), 300);
    // The character Control+Z types is not delivered.
    EXPECT_EQ(events(3), "D279+2 D90+2 M1(0,0)+2");
}

// --- Motion ------------------------------------------------------------------------------

TEST_F(Motion, AProgramThatFallsBehindGetsTheLatestPositionOnly) {
    begin();
    PLOTX_set_input(PLOTX_INPUT_MOTION | PLOTX_INPUT_BUTTONS);
    for (int i = 0; i < 50; ++i) hl::move(graphics(), cx(i), cy(0), 10);
    hl::press(graphics(), 1, cx(60), cy(0), 10);
    for (int i = 0; i < 50; ++i) hl::move(graphics(), cx(100 + i), cy(0), 10);
    hl::advance(10);  // everything arrives before the program waits
    EXPECT_EQ(events(3), "V(49,0) M1(60,0) V(149,0)");
    click_canvas(0, 0, 20);
    EXPECT_EQ(events(1), "M1(0,0)");  // nothing else was queued
}

TEST_F(Motion, MovesOutsideTheCanvasMoveThePointerButAreNotDelivered) {
    begin();
    PLOTX_set_input(PLOTX_INPUT_MOTION | PLOTX_INPUT_BUTTONS);
    int x = 0, y = 0;
    EXPECT_EQ(PLOTX_mouse_position(&x, &y), 1);  // (0, 0) lies on the canvas
    hl::press(graphics(), 1, cx(0), cy(0), 10);
    hl::move(graphics(), -5, 30, 20);  // dragged off the left edge
    hl::release(graphics(), 1, -5, 30, 30);
    EXPECT_EQ(events(2), "M1(0,0) U1(-302,216)");  // the release still comes
    EXPECT_EQ(PLOTX_mouse_position(&x, &y), 0);
    EXPECT_EQ(x, -302);
    EXPECT_EQ(y, 216);
    hl::move(graphics(), cx(7), cy(8), 40);
    EXPECT_EQ(events(1), "V(7,8)");
    EXPECT_EQ(PLOTX_mouse_position(nullptr, nullptr), 1);
}

// --- The tick --------------------------------------------------------------------------

TEST_F(Tick, PeriodFollowsSetTickWithinItsBounds) {
    EXPECT_EQ(PLOTX_set_tick(30), 0);  // before PLOTX_begin
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    EXPECT_EQ(PLOTX_set_tick(30), 1);
    PLOTX_Event e;
    for (int i = 1; i <= 3; ++i) {
        PLOTX_wait(&e);
        EXPECT_EQ(e.time_ms, 30 * i);
    }
    PLOTX_set_tick(5);
    EXPECT_EQ(ring_lines().back(), "Tick of 5 ms not possible, using 10 ms\n");
    PLOTX_wait(&e);
    EXPECT_EQ(e.time_ms, 100);
    PLOTX_set_tick(5000);
    EXPECT_EQ(ring_lines().back(), "Tick of 5000 ms not possible, using 1000 ms\n");
    PLOTX_wait(&e);
    EXPECT_EQ(e.time_ms, 1100);
    EXPECT_EQ(PLOTX_end(), 1);
    begin();  // a new session starts at the default again
    PLOTX_set_animation(RUN_ANIMATE);
    uint64_t start = hl::now();
    PLOTX_wait(&e);
    EXPECT_EQ(hl::now() - start, 100u);
}

// --- Held keys -------------------------------------------------------------------------

TEST_F(HeldKeys, FollowDownsAndUpsAndAreReleasedWhenTheKeyboardGoes) {
    begin();
    PLOTX_set_input(PLOTX_INPUT_KEYS);
    hl::key_down(graphics(), px::VK_UP, 0, 10);
    hl::key_down(graphics(), 'W', 'w', 10);
    EXPECT_EQ(events(1), "D258");
    EXPECT_EQ(PLOTX_key_held(PLOTX_KEY_ARROW_UP), 1);
    EXPECT_EQ(PLOTX_key_held('W'), 0);  // its message is not taken yet
    EXPECT_EQ(events(2), "D87 K119");
    EXPECT_EQ(PLOTX_key_held('W'), 1);
    hl::release_elsewhere(px::VK_UP);
    hl::focus_lost(graphics(), 20);
    EXPECT_EQ(events(2), "R87 R258");
    EXPECT_EQ(PLOTX_key_held('W') + PLOTX_key_held(PLOTX_KEY_ARROW_UP), 0);
    EXPECT_EQ(PLOTX_key_held(-1) + PLOTX_key_held(100000), 0);
}

// Two keys with one key code (the two Shift keys, the two Control keys) are two keys: the
// modifier is held, for the program and for the shortcuts, until the last of them is up.
TEST_F(HeldKeys, AModifierGoesUpWithTheLastOfItsKeys) {
    const unsigned RIGHT = hl::SECOND_KEY;
    begin();
    PLOTX_set_input(PLOTX_INPUT_KEYS);
    hl::key_down(graphics(), px::VK_SHIFT, 0, 10);
    hl::key_down(graphics(), px::VK_SHIFT | RIGHT, 0, 10);
    hl::key_up(graphics(), px::VK_SHIFT, 10);
    hl::key_down(graphics(), 'A', 'A', 20);
    EXPECT_EQ(events(3), "D278+1 D278+1 D65+1");
    EXPECT_EQ(PLOTX_key_held(PLOTX_KEY_SHIFT), 1);
    hl::key_up(graphics(), px::VK_SHIFT | RIGHT, 30);
    hl::key_up(graphics(), 'A', 30);
    EXPECT_EQ(events(3), "K65+1 R278 R65");
    EXPECT_EQ(PLOTX_key_held(PLOTX_KEY_SHIFT), 0);
    // Both Control keys down, one let go: Control+A is still the Animate shortcut.
    hl::key_down(graphics(), px::VK_CONTROL, 0, 40);
    hl::key_down(graphics(), px::VK_CONTROL | RIGHT, 0, 40);
    hl::key_up(graphics(), px::VK_CONTROL | RIGHT, 40);
    hl::key_down(graphics(), 'A', 'a', 40);
    hl::key_up(graphics(), 'A', 40);
    hl::key_up(graphics(), px::VK_CONTROL, 40);
    hl::click(graphics(), cx(0), cy(0), 50);
    EXPECT_EQ(events(4), "D279+2 D279+2 R279 M1(0,0)");
    EXPECT_EQ(g.events.animating, 1);
}

// --- The key table ----------------------------------------------------------------------

TEST_F(KeyTable, PlatformCodesTranslateToTheNamedKeys) {
    struct Pair {
        unsigned vk;
        int key;
    };
    const Pair pairs[] = {
        {'A', 'A'},
        {'Z', 'Z'},
        {'0', '0'},
        {'9', '9'},
        {px::VK_NUMPAD0, '0'},
        {px::VK_NUMPAD9, '9'},
        {px::VK_SPACE, 32},
        {px::VK_RETURN, 13},
        {px::VK_ESCAPE, 27},
        {px::VK_BACK, 8},
        {px::VK_TAB, 9},
        {px::VK_LEFT, PLOTX_KEY_LEFT},
        {px::VK_RIGHT, PLOTX_KEY_RIGHT},
        {px::VK_UP, PLOTX_KEY_ARROW_UP},
        {px::VK_DOWN, PLOTX_KEY_ARROW_DOWN},
        {px::VK_HOME, PLOTX_KEY_HOME},
        {px::VK_END, PLOTX_KEY_END},
        {px::VK_PRIOR, PLOTX_KEY_PAGE_UP},
        {px::VK_NEXT, PLOTX_KEY_PAGE_DOWN},
        {px::VK_INSERT, PLOTX_KEY_INSERT},
        {px::VK_DELETE, PLOTX_KEY_DELETE},
        {px::VK_F1, PLOTX_KEY_F1},
        {px::VK_F12, PLOTX_KEY_F12},
        {px::VK_SHIFT, PLOTX_KEY_SHIFT},
        {px::VK_CONTROL, PLOTX_KEY_CONTROL},
        {px::VK_MENU, PLOTX_KEY_ALT},
        {px::VK_OEM_MINUS, '-'},
        {px::VK_SUBTRACT, '-'},
        {px::VK_OEM_4, '['},
        {px::VK_OEM_7, '\''},
        {0x13, 0} /* Pause */,
        {0x14, 0} /* Caps Lock */,
        {0x7C, 0} /* F13 */,
        {0x5B, 0} /* the system key */,
    };
    for (const Pair& p : pairs) EXPECT_EQ(key_code_of(p.vk), p.key) << "platform code " << p.vk;
    EXPECT_EQ(PLOTX_KEY_F1 + 11, PLOTX_KEY_F12);
}

// --- Recording and playback of the new kinds -------------------------------------------

namespace {

class InputScripts : public Input {
protected:
    void SetUp() override {
        Input::SetUp();
        ASSERT_TRUE(scratch_.enter("plotx-input"));
    }
    void TearDown() override {
        Input::TearDown();
        scratch_.leave();
    }
    static std::string script() { return file_bytes(SCRIPT_FILE); }
    // Records the session with `flags` and the animation on; returns what was delivered.
    std::string record(int flags, int n) {
        begin();
        PLOTX_set_input(flags);
        PLOTX_set_animation(RUN_ANIMATE);
        EXPECT_TRUE(hl::choose_menu(graphics(), CMD_RECORD));
        schedule_session();
        std::string live = events(n);
        EXPECT_TRUE(hl::choose_menu(graphics(), CMD_RECORD));
        PLOTX_wait(nullptr);
        return live;
    }
    std::string play(int flags, int n) {
        reset_library_for_tests();
        hl::install();
        begin();
        PLOTX_set_input(flags);
        EXPECT_TRUE(hl::choose_menu(graphics(), CMD_PLAYBACK));
        return events(n);
    }
    ScratchDirectory scratch_;
};

using InputRecording = InputScripts;
using ScriptCoordinates = InputScripts;
using ScriptKeyCodes = InputScripts;

}  // namespace

TEST_F(InputRecording, PlaybackDeliversWhatWasRecordedWithEveryFlag) {
    std::string live = record(ALL, 22);
    std::string played = play(ALL, 22);
    EXPECT_EQ(played, live);
    EXPECT_TRUE(g.scripts.playing_back);  // every line was delivered; the end is still to be read
    // Every new line's kind letter is none the original reader knows.
    std::istringstream lines(script());
    std::string line;
    int new_forms = 0;
    while (std::getline(lines, line)) {
        ASSERT_GT(line.size(), 6u);
        bool original = line.rfind("PLOTX_MOUSE(", 0) == 0 || line.rfind("PLOTX_KBD(", 0) == 0 ||
                        line.rfind("PLOTX_PERIODIC(", 0) == 0;
        if (!original) {
            ++new_forms;
            EXPECT_EQ(std::string("KMP").find(line[6]), std::string::npos) << line;
        }
    }
    EXPECT_GT(new_forms, 10);
}

TEST_F(InputRecording, LinesOfKindsNotEnabledAreSkippedButMoveThePointer) {
    record(ALL, 22);
    // The original kinds only, each where the pointer was.
    EXPECT_EQ(play(0, 6), "M1(-8,9)+1 K122(1,1) P(40,-30) K113(40,-30) P(40,-30) P(40,-30)");
}

TEST_F(InputRecording, AWaitWithoutFlagsRecordsWhatTheProgramCanAskAbout) {
    // Keys for PLOTX_key_held, the pointer for the events' positions and PLOTX_mouse_position.
    std::string live = record(0, 4);
    EXPECT_EQ(live, "M1(-8,9)+1 P(1,1) K122(1,1) P(40,-30)");
    EXPECT_EQ(script(),
              "PLOTX_DOWN_KEY(278, 1);\nPLOTX_AT(-8, 9, 1);\nPLOTX_MOUSE(-8, 9);\nPLOTX_UP_KEY(278, 0);\n"
              "PLOTX_DOWN_KEY(256, 0);\nPLOTX_AT(1, 1, 0);\nPLOTX_PERIODIC(1);\nPLOTX_DOWN_KEY(256, 0);\n"
              "PLOTX_UP_KEY(256, 0);\nPLOTX_DOWN_KEY(90, 0);\nPLOTX_KBD(122);\nPLOTX_UP_KEY(90, 0);\n"
              "PLOTX_AT(40, -30, 0);\nPLOTX_PERIODIC(1);\n");
    EXPECT_EQ(play(0, 2), "M1(-8,9)+1 P(1,1)");
    EXPECT_EQ(PLOTX_key_held(PLOTX_KEY_LEFT), 1);  // down at the tick, as it was live
    EXPECT_EQ(events(2), "K122(1,1) P(40,-30)");
    EXPECT_EQ(PLOTX_key_held(PLOTX_KEY_LEFT), 0);
}

TEST_F(InputRecording, MalformedNewLinesStopPlaybackAsUnknownLinesDo) {
    begin();
    for (const char* bad : {"PLOTX_AT(1, 2);\n", "PLOTX_DOWN_BUTTON(1, 2, 4, 0);\n", "PLOTX_UP_KEY(0, 0);\n",
                            "PLOTX_CURSOR(1, 2, 0)\n", "PLOTX_WHEEL(1, 2, 99999999999, 0);\n", "PLOTX_UP(1);\n"}) {
        std::ofstream(SCRIPT_FILE, std::ios::binary) << "PLOTX_AT(5, 6, 0);\n" << bad << "PLOTX_KBD(97);\n";
        PLOTX_set_input(ALL);
        close_script();
        ASSERT_TRUE(hl::choose_menu(graphics(), CMD_PLAYBACK));
        click_canvas(0, 0, hl::now() + 10);
        EXPECT_EQ(events(1), "M1(0,0)") << bad;
        EXPECT_FALSE(g.scripts.playing_back) << bad;
    }
}

TEST_F(ScriptCoordinates, KeepThePointerWithinTheLimitWhateverTheScriptSays) {
    // Adding the origin to an unclamped pointer would overflow in PLOTX_mouse_position.
    std::ofstream(SCRIPT_FILE, std::ios::binary)
        << "PLOTX_AT(2147483647, -2147483648, 0);\nPLOTX_KBD(97);\nPLOTX_MOUSE(-2147483648, 2147483647);\n"
           "PLOTX_CURSOR(9999999999, -1000001, 0);\nPLOTX_WHEEL(-1000000, 1000000, 1, 0);\n";
    begin();
    PLOTX_set_input(ALL);
    ASSERT_TRUE(hl::choose_menu(graphics(), CMD_PLAYBACK));
    EXPECT_EQ(events(1), "K97(1000000,-1000000)");
    int x = 0, y = 0;
    EXPECT_EQ(PLOTX_mouse_position(&x, &y), 0);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(COORDINATE_LIMIT, -COORDINATE_LIMIT));
    EXPECT_EQ(events(3), "M1(-1000000,1000000) V(1000000,-1000000) W1(-1000000,1000000)");
    EXPECT_EQ(PLOTX_mouse_position(&x, &y), 0);
}

TEST_F(ScriptKeyCodes, ACodeNoKeyHasIsAnUnrecognisedLine) {
    begin();
    for (const char* bad : {"PLOTX_DOWN_KEY(511, 0);\n", "PLOTX_DOWN_KEY(97, 0);\n", "PLOTX_UP_KEY(281, 2);\n"}) {
        std::ofstream(SCRIPT_FILE, std::ios::binary) << "PLOTX_DOWN_KEY(65, 0);\n" << bad << "PLOTX_KBD(97);\n";
        PLOTX_set_input(ALL);
        close_script();
        ASSERT_TRUE(hl::choose_menu(graphics(), CMD_PLAYBACK));
        click_canvas(0, 0, hl::now() + 10);
        EXPECT_EQ(events(2), "D65 M1(0,0)") << bad;
        EXPECT_FALSE(g.scripts.playing_back) << bad;
        EXPECT_EQ(PLOTX_key_held(511) + PLOTX_key_held(97) + PLOTX_key_held(281), 0) << bad;
    }
}

// The examples record a session with PLOTX_wait (Record Script by its shortcut, Escape to
// end) and replay it headless as PLOTX_PLAYBACK=1 does: the canvas ends the same.
TEST_F(InputRecording, ExamplesReplayToTheCanvasTheirRecordingEnded) {
    px::HWND w = hl::FIRST_WINDOW;
    struct Example {
        const char* name;
        int (*run)();
        std::function<void()> session;
    };
    // Client coordinates of canvas points (the origin is fixed: 297, 246).
    auto at = [](int x, int y) { return std::make_pair(297 + x, 246 - y); };
    Example examples[] = {
        {"steer", steer_example::steer_main,
         [&] {
             hl::key_down(w, px::VK_RIGHT, 0, 100);
             hl::key_down(w, px::VK_UP, 0, 400);
             hl::key_up(w, px::VK_RIGHT, 700);
             hl::key_down(w, px::VK_SHIFT, 0, 800);
             hl::key_up(w, px::VK_UP, 1000);
             hl::key_up(w, px::VK_SHIFT, 1010);
             hl::key_down(w, px::VK_LEFT, 0, 1100);
             hl::key_up(w, px::VK_LEFT, 1250);
             hl::key_down(w, px::VK_ESCAPE, 27, 1500);
         }},
        {"sketch", sketch_example::sketch_main,
         [&] {
             auto p = at(-200, 100);
             hl::press(w, 1, p.first, p.second, 100);
             for (int i = 1; i <= 20; ++i) {
                 p = at(-200 + 15 * i, 100 - 6 * i + (i % 5) * 8);
                 hl::move(w, p.first, p.second, 100 + 10 * i);
             }
             hl::release(w, 1, p.first, p.second, 320);
             hl::wheel(w, p.first, p.second, 4, 330);
             p = at(-150, -80);
             hl::move(w, p.first, p.second, 340);
             hl::press(w, 1, p.first, p.second, 350);
             p = at(150, -60);
             hl::move(w, p.first, p.second, 360);
             hl::release(w, 1, p.first, p.second, 370);
             p = at(-60, 100);
             hl::press(w, 3, p.first, p.second, 400);
             for (int i = 1; i <= 10; ++i) {
                 p = at(-60 + 12 * i, 100 - 20 * i);
                 hl::move(w, p.first, p.second, 400 + 10 * i);
             }
             hl::release(w, 3, p.first, p.second, 520);
             hl::type_char(w, 27, 600);
         }},
    };
    for (const Example& ex : examples) {
        reset_library_for_tests();
        hl::install();
        hl::control_key(w, 'r', 1);
        ex.session();
        EXPECT_EQ(ex.run(), 0) << ex.name;
        const px::Bitmap* canvas = px::dc_surface(g.windows.canvas_dc);
        std::vector<uint32_t> recorded = canvas->linear();
        EXPECT_NE(script().find("PLOTX_"), std::string::npos) << ex.name;

        reset_library_for_tests();
        hl::install();
        setenv("PLOTX_PLAYBACK", "1", 1);
        EXPECT_EQ(ex.run(), 0) << ex.name;
        unsetenv("PLOTX_PLAYBACK");
        EXPECT_TRUE(px::dc_surface(g.windows.canvas_dc)->linear() == recorded)
            << ex.name << " replayed to another canvas";

        // The session's input is what made that canvas: without it the example ends elsewhere.
        reset_library_for_tests();
        hl::install();
        EXPECT_EQ(ex.run(), 0) << ex.name;
        EXPECT_FALSE(px::dc_surface(g.windows.canvas_dc)->linear() == recorded)
            << ex.name << " ends the same with no input";
        if (const char* keep = std::getenv("PLOTX_KEEP_SESSIONS"))
            fs::copy_file(SCRIPT_FILE, fs::path(keep) / (std::string(ex.name) + ".scr"),
                          fs::copy_options::overwrite_existing);
    }
}
