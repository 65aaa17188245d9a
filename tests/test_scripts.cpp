// Event scripts: what a recording writes to PLOTX.SCR, how a script plays back in full or
// one event at a time, the lines the reader refuses, recording and playback refusing each
// other, and headless replays started from the environment. Each test runs in its own
// temporary directory, since the script's name is relative.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "demo.h"
#include "support/harness.h"

using namespace plotx;
using namespace plotx_test;
namespace fs = std::filesystem;
namespace hl = px::headless;

namespace {

const char* const EXAMPLE = "PLOTX_PERIODIC(3);\nPLOTX_MOUSE(10, 20);\nPLOTX_KBD(97);\nPLOTX_PERIODIC(2);\n";

class Scripts : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        std::string pattern = (fs::temp_directory_path() / "plotx-scripts-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        home_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        LibraryTest::TearDown();  // closes the script stream while still in the directory
        unsetenv("PLOTX_PLAYBACK");
        unsetenv("PLOTX_SEED");
        fs::current_path(home_);
        fs::remove_all(dir_);
    }

    // Opens the library and lets its first messages (the paints) pass, so that the next
    // command scheduled is the next message a wait takes.
    void open() {
        begin();
        while (px::message_available()) pump_one_message();
    }
    void write_script(const std::string& text) { std::ofstream(SCRIPT_FILE, std::ios::binary) << text; }
    std::string script() const {
        std::ifstream in(SCRIPT_FILE, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void command(unsigned id, uint64_t at = hl::NOW) { ASSERT_TRUE(hl::choose_menu(graphics(), id, at)); }
    bool marked(unsigned id) const {
        for (const px::MenuItem& item : g.run_menu->items)
            if (item.id == id && !(item.flags & px::MF_SEPARATOR)) return (item.flags & px::MF_CHECKED) != 0;
        ADD_FAILURE() << "no entry " << id;
        return false;
    }
    // How many log lines read `line`. The line feed is not compared: a repaint of the text
    // window may have taken it off the stored copy.
    static int log_count(std::string line) {
        auto chomp = [](std::string s) {
            if (!s.empty() && s.back() == '\n') s.pop_back();
            return s;
        };
        int n = 0;
        for (const std::string& l : ring_lines()) n += chomp(l) == chomp(line);
        return n;
    }

    fs::path dir_, home_;
};

using Recording = Scripts;
using Playback = Scripts;
using PlayOne = Scripts;
using UnrecognisedLines = Scripts;
using Refusals = Scripts;
using EnvironmentReplay = Scripts;
using DemoReplay = Scripts;

// --- Recording ---------------------------------------------------------------------------

TEST_F(Recording, ExampleSessionWritesItsFourLines) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    hl::control_key(graphics(), 'r');
    int x, y;
    char key;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_TRUE(g.recording);
    EXPECT_TRUE(marked(CMD_RECORD));
    click_canvas(10, 20, 350);
    EXPECT_EQ(wait(&x, &y), PLOTX_MOUSE);
    // Lines reach the file as they are written, not when the stream closes.
    EXPECT_EQ(script(), "PLOTX_PERIODIC(3);\nPLOTX_MOUSE(10, 20);\n");
    hl::type_char(graphics(), 'a', 360);
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    hl::control_key(graphics(), 'r', 550);
    click_canvas(0, 0, 560);
    EXPECT_EQ(wait(), PLOTX_MOUSE);  // delivered after the stop: not recorded
    EXPECT_FALSE(g.recording);
    EXPECT_FALSE(marked(CMD_RECORD));
    EXPECT_EQ(g.script_stream, nullptr);
    EXPECT_EQ(script(), EXAMPLE);
}

TEST_F(Recording, QuitWritesNoLineButEndsThePendingRun) {
    begin();
    command(CMD_RECORD);
    hl::control_key(graphics(), 'q', 50);
    EXPECT_EQ(wait(), PLOTX_QUIT);
    // The quit was the first event: the file exists, and is empty.
    ASSERT_TRUE(fs::exists(SCRIPT_FILE));
    EXPECT_EQ(script(), "");

    reset_library_for_tests();
    hl::install();
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    command(CMD_RECORD);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    hl::control_key(graphics(), 'q', 250);
    EXPECT_EQ(wait(), PLOTX_QUIT);
    EXPECT_EQ(script(), "PLOTX_PERIODIC(2);\n");
}

TEST_F(Recording, StoppingWritesThePendingRunAndTheNextRecordingCountsFromZero) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    command(CMD_RECORD);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(wait(), PLOTX_PERIODIC);
    command(CMD_RECORD, 450);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);  // at 500, after the stop
    EXPECT_EQ(script(), "PLOTX_PERIODIC(4);\n");
    EXPECT_EQ(g.pending_periodic, 0);

    command(CMD_RECORD, 550);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);  // at 600: the first of the new recording
    click_canvas(-3, 4, 650);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(script(), "PLOTX_PERIODIC(1);\nPLOTX_MOUSE(-3, 4);\n");
}

TEST_F(Recording, RecordTwiceWithNothingBetweenLeavesTheFileAlone) {
    write_script("an earlier script\n");
    begin();
    command(CMD_RECORD, 10);
    command(CMD_RECORD, 20);
    click_canvas(1, 1, 30);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_FALSE(g.recording);
    EXPECT_EQ(script(), "an earlier script\n");
}

TEST_F(Recording, EndOfProgramWithoutQuitKeepsThePendingRun) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    command(CMD_RECORD);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(PLOTX_end(), 1);
    EXPECT_EQ(script(), "PLOTX_PERIODIC(3);\n");
}

TEST_F(Recording, KeyAbove127SurvivesARoundTrip) {
    begin();
    command(CMD_RECORD);
    hl::type_char(graphics(), static_cast<char>(200), 10);
    char key = 0;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    command(CMD_RECORD, 20);
    click_canvas(0, 0, 30);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(script(), "PLOTX_KBD(-56);\n");

    command(CMD_PLAYBACK, 40);
    key = 0;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(static_cast<unsigned char>(key), 200);
}

TEST_F(Recording, FailedOpenIsLoggedForEveryEventAndRecordingStaysOn) {
    fs::create_directory(SCRIPT_FILE);  // cannot be opened as a file
    begin();
    command(CMD_RECORD);
    click_canvas(1, 2, 10);
    click_canvas(3, 4, 20);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_TRUE(g.recording);
    EXPECT_EQ(log_count("Cannot open script file PLOTX.SCR for writing\n"), 2);
}

TEST_F(Recording, FailedWriteIsLoggedOncePerRecording) {
    fs::create_symlink("/dev/full", SCRIPT_FILE);
    begin();
    command(CMD_RECORD);
    for (int i = 0; i < 3; ++i) click_canvas(i, i, 10 * (i + 1));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(log_count("Cannot write to script file PLOTX.SCR: the recording is incomplete\n"), 1);
}

TEST_F(Recording, StreamLeftOpenByAFinishedPlaybackIsClosedFirst) {
    write_script("PLOTX_KBD(49);\n");
    begin();
    command(CMD_PLAYBACK);
    EXPECT_EQ(wait(), PLOTX_KBD);
    click_canvas(5, 6, 10);
    EXPECT_EQ(wait(), PLOTX_MOUSE);  // end of file: live input again, stream still open
    ASSERT_NE(g.script_stream, nullptr);
    command(CMD_RECORD, 20);
    click_canvas(7, 8, 30);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    command(CMD_RECORD, 40);
    click_canvas(0, 0, 50);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(script(), "PLOTX_MOUSE(7, 8);\n");
}

TEST_F(Recording, TicksLeftPendingByPlaybackAreNotRecorded) {
    write_script("PLOTX_PERIODIC(5);\n");
    begin();
    command(CMD_PLAY_ONE);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(g.pending_periodic, 4);
    command(CMD_RECORD, 20);
    click_canvas(2, 2, 30);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    command(CMD_RECORD, 40);
    click_canvas(0, 0, 50);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(script(), "PLOTX_MOUSE(2, 2);\n");
}

// --- Playback ----------------------------------------------------------------------------

TEST_F(Playback, ExampleDeliversOneEventPerWaitThenEndsAtEndOfFile) {
    write_script(EXAMPLE);
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    command(CMD_PLAYBACK);
    int x = 0, y = 0;
    char key = 0;
    std::vector<int> kinds;
    for (int i = 0; i < 3; ++i) kinds.push_back(wait());
    EXPECT_TRUE(marked(CMD_PLAYBACK));
    EXPECT_FALSE(g.animating);  // playback halts the animation
    kinds.push_back(wait(&x, &y));
    kinds.push_back(wait(nullptr, nullptr, &key));
    for (int i = 0; i < 2; ++i) kinds.push_back(wait());
    EXPECT_EQ(kinds, (std::vector<int>{PLOTX_PERIODIC, PLOTX_PERIODIC, PLOTX_PERIODIC, PLOTX_MOUSE, PLOTX_KBD,
                                       PLOTX_PERIODIC, PLOTX_PERIODIC}));
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    EXPECT_EQ(key, 'a');
    EXPECT_EQ(hl::now(), 0u);  // script events do not wait for the timer
    EXPECT_TRUE(g.playing_back);

    click_canvas(-1, -2, 5000);
    EXPECT_EQ(wait(&x, &y), PLOTX_MOUSE);  // the same wait goes on with live input
    EXPECT_EQ(hl::now(), 5000u);
    EXPECT_EQ(x, -1);
    EXPECT_FALSE(g.playing_back);
    EXPECT_FALSE(marked(CMD_PLAYBACK));
    EXPECT_EQ(log_count("EOF encountered in script file PLOTX.SCR\n"), 1);
}

TEST_F(Playback, NegativeCoordinatesAndAZeroCount) {
    write_script("PLOTX_MOUSE(-15, -240);\nPLOTX_PERIODIC(0);\nPLOTX_KBD(66);\n");
    begin();
    command(CMD_PLAYBACK);
    int x = 0, y = 0;
    char key = 0;
    EXPECT_EQ(wait(&x, &y), PLOTX_MOUSE);
    EXPECT_EQ(x, -15);
    EXPECT_EQ(y, -240);
    EXPECT_EQ(wait(), PLOTX_PERIODIC);
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);  // count 0 was exactly one event
    EXPECT_EQ(key, 'B');
}

TEST_F(Playback, EmptyLinesAndCarriageReturnsAreSkipped) {
    write_script("\nPLOTX_KBD(49);\r\n\r\n\n\nPLOTX_MOUSE(3, -4);\r\n");
    begin();
    command(CMD_PLAYBACK);
    int x, y;
    char key;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, '1');
    EXPECT_EQ(wait(&x, &y), PLOTX_MOUSE);
    EXPECT_EQ(y, -4);
    click_canvas(0, 0, 100);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(log_count("EOF encountered in script file PLOTX.SCR\n"), 1);
}

TEST_F(Playback, LastLineWithoutLineFeedIsPlayed) {
    write_script("PLOTX_KBD(49);\nPLOTX_KBD(50);");
    begin();
    command(CMD_PLAYBACK);
    char key;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, '2');
    EXPECT_TRUE(g.playing_back);
}

TEST_F(Playback, LineLongerThan511IsReadInPieces) {
    std::string first = "PLOTX_KBD(52);";
    first.resize(511, ' ');
    write_script(first + "PLOTX_KBD(53);\n");
    begin();
    command(CMD_PLAYBACK);
    char key;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, '4');
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, '5');
}

TEST_F(Playback, NoScriptLogsOnceClearsTheMarkAndGoesOnLive) {
    begin();
    command(CMD_PLAYBACK);
    click_canvas(8, 9, 300);
    int x;
    EXPECT_EQ(wait(&x), PLOTX_MOUSE);
    EXPECT_EQ(x, 8);
    EXPECT_FALSE(g.playing_back);
    EXPECT_FALSE(marked(CMD_PLAYBACK));
    EXPECT_EQ(log_count("Cannot open script file PLOTX.SCR for reading\n"), 1);
}

TEST_F(Playback, TogglingOffClosesAndTogglingOnStartsFromTheFirstLine) {
    write_script("PLOTX_KBD(49);\nPLOTX_KBD(50);\n");
    open();
    command(CMD_PLAYBACK);
    char key;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    command(CMD_PLAYBACK);  // the next message: taken before the reader runs again
    command(CMD_PLAYBACK, 20);
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, '1');
    EXPECT_EQ(hl::now(), 20u);
}

// --- Play One ----------------------------------------------------------------------------

TEST_F(PlayOne, EachCommandStepsOneEventWithTheAnimationHalted) {
    write_script("PLOTX_PERIODIC(2);\nPLOTX_MOUSE(1, 2);\nPLOTX_KBD(120);\nPLOTX_KBD(121);\n");
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    command(CMD_PLAY_ONE);
    command(CMD_PLAY_ONE, 1000);
    command(CMD_PLAY_ONE, 2000);
    std::vector<int> kinds;
    std::vector<uint64_t> times;
    for (int i = 0; i < 3; ++i) {
        kinds.push_back(wait());
        times.push_back(hl::now());
        EXPECT_FALSE(g.animating);
        EXPECT_FALSE(g.playing_back);
    }
    // No animation tick comes between the commands: each event arrives with its command.
    EXPECT_EQ(kinds, (std::vector<int>{PLOTX_PERIODIC, PLOTX_PERIODIC, PLOTX_MOUSE}));
    EXPECT_EQ(times, (std::vector<uint64_t>{0, 1000, 2000}));

    // Playback goes on where Play One stopped.
    command(CMD_PLAYBACK, 3000);
    char key;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, 'x');
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, 'y');
}

// --- Lines outside the format ------------------------------------------------------------

TEST_F(UnrecognisedLines, StopPlaybackSilentlyAndNeverReadPastTheLine) {
    const std::vector<std::string> bad = {
        "       ",                         // seven blanks: not empty, no kind letter
        "PLOTX",                           // shorter than seven characters
        "PLOTX_",                          // index 6 is the line feed
        "PLOTX_KBD();",                    // no key
        "PLOTX_MOUSE(5);",                 // only one coordinate
        "PLOTX_MOUSE(-, 5);",              // a sign without digits
        "PLOTX_PERIODIC();",               // no count
        "PLOTX_MOUSE(123456789012, 1);",   // twelve characters
        "PLOTX_KBD(-12345678901);",        // twelve with the sign
        std::string("PLOTX_\0KBD(5);", 14),  // a NUL byte is an ordinary character
        "PLOTX_QUIT();",
    };
    for (const std::string& line : bad) {
        SCOPED_TRACE(line);
        reset_library_for_tests();
        hl::install();
        write_script("PLOTX_KBD(49);\n" + line + "\nPLOTX_KBD(50);\n");
        begin();
        command(CMD_PLAYBACK);
        EXPECT_EQ(wait(), PLOTX_KBD);
        click_canvas(1, 1, 100);
        EXPECT_EQ(wait(), PLOTX_MOUSE);
        EXPECT_FALSE(g.playing_back);
        EXPECT_FALSE(marked(CMD_PLAYBACK));
        EXPECT_TRUE(ring_lines().empty());
    }
}

TEST_F(UnrecognisedLines, LongestNumbersStillRead) {
    write_script("PLOTX_MOUSE(-2147483648, 99999999999);\nPLOTX_KBD(-1);\n");
    begin();
    command(CMD_PLAYBACK);
    int x, y;
    char key;
    EXPECT_EQ(wait(&x, &y), PLOTX_MOUSE);
    EXPECT_EQ(x, INT32_MIN);
    EXPECT_EQ(y, INT32_MAX);  // beyond int: clamped
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(static_cast<unsigned char>(key), 255);
}

TEST_F(UnrecognisedLines, PlaybackResumesAfterTheLine) {
    write_script("PLOTX_KBD(49);\nPLOTX_X\nPLOTX_KBD(50);\n");
    begin();
    command(CMD_PLAYBACK);
    EXPECT_EQ(wait(), PLOTX_KBD);
    command(CMD_PLAYBACK, 100);  // stopped by the line; this starts it again on the open stream
    char key;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, '2');
}

// --- Recording and playback refuse each other ---------------------------------------------

TEST_F(Refusals, RecordIsRefusedWhilePlayingBack) {
    write_script("PLOTX_KBD(49);\nPLOTX_KBD(50);\nPLOTX_KBD(51);\n");
    open();
    command(CMD_PLAYBACK);
    EXPECT_EQ(wait(), PLOTX_KBD);
    command(CMD_RECORD);
    char key;
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, '2');
    EXPECT_FALSE(g.recording);
    EXPECT_FALSE(marked(CMD_RECORD));
    EXPECT_EQ(log_count("Cannot record script file PLOTX.SCR while it is being played back\n"), 1);
    EXPECT_EQ(wait(nullptr, nullptr, &key), PLOTX_KBD);
    EXPECT_EQ(key, '3');
    EXPECT_EQ(script(), "PLOTX_KBD(49);\nPLOTX_KBD(50);\nPLOTX_KBD(51);\n");
}

TEST_F(Refusals, RecordIsRefusedWhilePlayOneIsPending) {
    begin();
    // A Play One taken and not yet read: only possible between two commands of one pass.
    g.play_one = 1;
    run_command(CMD_RECORD);
    EXPECT_FALSE(g.recording);
    EXPECT_FALSE(marked(CMD_RECORD));
    EXPECT_EQ(log_count("Cannot record script file PLOTX.SCR while it is being played back\n"), 1);
}

TEST_F(Refusals, PlaybackAndPlayOneAreRefusedWhileRecording) {
    write_script("PLOTX_KBD(49);\n");
    begin();
    command(CMD_RECORD);
    click_canvas(1, 1, 10);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    command(CMD_PLAYBACK, 20);
    command(CMD_PLAY_ONE, 30);
    click_canvas(2, 2, 40);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_FALSE(g.playing_back);
    EXPECT_FALSE(marked(CMD_PLAYBACK));
    EXPECT_EQ(log_count("Cannot play back script file PLOTX.SCR while it is being recorded\n"), 2);
    command(CMD_RECORD, 50);
    click_canvas(0, 0, 60);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(script(), "PLOTX_MOUSE(1, 1);\nPLOTX_MOUSE(2, 2);\n");
}

// --- Headless replays started from the environment ----------------------------------------

TEST_F(EnvironmentReplay, ScriptPlaysFromBeginAndEndsInQuit) {
    write_script("PLOTX_KBD(49);\nPLOTX_MOUSE(4, 5);\n");
    setenv("PLOTX_PLAYBACK", "1", 1);
    begin();
    EXPECT_TRUE(marked(CMD_PLAYBACK));
    PLOTX_set_animation(RUN_ANIMATE);  // as an application does right after opening
    EXPECT_EQ(wait(), PLOTX_KBD);
    EXPECT_EQ(wait(), PLOTX_MOUSE);
    EXPECT_EQ(wait(), PLOTX_QUIT);
    EXPECT_EQ(hl::now(), 0u);
    EXPECT_EQ(log_count("EOF encountered in script file PLOTX.SCR\n"), 1);
}

TEST_F(EnvironmentReplay, MissingOrBrokenScriptAlsoEndsInQuit) {
    setenv("PLOTX_PLAYBACK", "1", 1);
    begin();
    EXPECT_EQ(wait(), PLOTX_QUIT);
    EXPECT_EQ(log_count("Cannot open script file PLOTX.SCR for reading\n"), 1);

    reset_library_for_tests();
    hl::install();
    write_script("PLOTX_KBD(49);\nnonsense\n");
    begin();
    EXPECT_EQ(wait(), PLOTX_KBD);
    EXPECT_EQ(wait(), PLOTX_QUIT);
}

TEST_F(EnvironmentReplay, OnlyTheValueOneStartsIt) {
    write_script("PLOTX_KBD(49);\n");
    setenv("PLOTX_PLAYBACK", "0", 1);
    begin();
    EXPECT_FALSE(g.playing_back);
}

// --- The demo replays what it recorded ----------------------------------------------------

struct Delivered {
    int kind, x, y;
    char key;
    bool operator==(const Delivered& o) const { return kind == o.kind && x == o.x && y == o.y && key == o.key; }
};

std::ostream& operator<<(std::ostream& os, const Delivered& d) {
    return os << "{" << d.kind << ", " << d.x << ", " << d.y << ", " << int(d.key) << "}";
}

// What the events did to the demo, compared after recording and after replay.
std::vector<int> outcome(const DemoState& s) {
    std::vector<int> v = {s.sun_x, s.sun_y, s.traffic_running, s.traffic_speed, s.traffic_direction, s.car_color,
                          s.vehicle_count, s.creature_x, s.creature_y, s.target_x, s.target_y, s.creature_pose,
                          s.creature_facing};
    for (int i = 0; i < s.vehicle_count; ++i) {
        v.push_back(s.vehicle_x[i]);
        v.push_back(s.vehicle_state[i]);
    }
    return v;
}

TEST_F(DemoReplay, PlaybackDeliversTheRecordedEventsInOrder) {
    setenv("PLOTX_SEED", "4242", 1);
    DemoState s;
    demo_start(s, nullptr, nullptr, "", 1);
    hl::control_key(graphics(), 'r');
    click_canvas(120, -180, 450);                             // a target on the ground
    click_canvas((PANEL_LEFT + PANEL_RIGHT) / 2, PANEL_TOP - 3 * BUTTON_HEIGHT / 2, 900);  // a panel button
    hl::type_char(graphics(), 'z', 1250);
    click_canvas(-200, -120, 1800);
    hl::control_key(graphics(), 'r', 2550);
    std::vector<Delivered> recorded;
    std::vector<int> after_recording;
    while (hl::now() < 2550) {
        int kind = demo_step(s);
        if (!g.recording) break;
        recorded.push_back({kind, s.mouse_x, s.mouse_y, s.key});
        after_recording = outcome(s);
    }
    auto count = [&](int kind) {
        return std::count_if(recorded.begin(), recorded.end(), [&](const Delivered& d) { return d.kind == kind; });
    };
    ASSERT_EQ(count(PLOTX_MOUSE), 3);
    ASSERT_EQ(count(PLOTX_KBD), 1);
    ASSERT_GT(count(PLOTX_PERIODIC), 20);
    demo_finish();

    reset_library_for_tests();
    hl::install();
    demo_start(s, nullptr, nullptr, "", 1);
    command(CMD_PLAYBACK);
    std::vector<Delivered> replayed;
    std::vector<int> after_replay;
    for (int i = 0; i < 1000; ++i) {
        int kind = demo_step(s);
        if (!g.playing_back) break;
        replayed.push_back({kind, s.mouse_x, s.mouse_y, s.key});
        after_replay = outcome(s);
    }
    EXPECT_EQ(replayed, recorded);
    EXPECT_EQ(after_replay, after_recording);
    demo_finish();
}

}  // namespace
