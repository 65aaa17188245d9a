// Event scripts: what a recording writes to PLOTX.SCR, how a script plays back in full or
// one event at a time, the lines the reader refuses, recording and playback refusing each
// other, and replays started from the environment. Each test runs in its own temporary
// directory, since the script's name is relative.
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#endif

#include <algorithm>
#include <cstring>
#include <functional>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "demo.h"
#include "host/files/files.h"
#include "support/harness.h"
#include "support/scratch_dir.h"
#ifndef _WIN32
#include "support/child_process.h"
#endif
#include "support/script_session.h"
#ifdef _WIN32
#include "support/win32_files.h"
#endif

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
        ASSERT_TRUE(scratch_.enter("plotx-scripts"));
    }
    void TearDown() override {
        LibraryTest::TearDown();  // closes the script stream while still in the directory
        unsetenv("PLOTX_PLAYBACK");
        unsetenv("PLOTX_SEED");
        scratch_.leave();
    }
    void reopen() {
        reset_library_for_tests();
        hl::install();
        begin();
    }

    static void write_script(const std::string& text) { std::ofstream(SCRIPT_FILE, std::ios::binary) << text; }
    static std::string script() { return file_bytes(SCRIPT_FILE); }
    void command(unsigned id, uint64_t at = hl::NOW) { ASSERT_TRUE(hl::choose_menu(graphics(), id, at)); }
    bool marked(unsigned id) const {
        for (const px::MenuItem& item : g.run_menu.menu->items)
            if (item.id == id) return (item.flags & px::MF_CHECKED) != 0;
        return false;
    }
    // The next n events, as "P", "M(x,y)", "K<code>" or "Q".
    std::string events(int n) {
        std::string out;
        for (int i = 0; i < n; ++i) {
            int x, y;
            char k;
            int kind = wait(&x, &y, &k);
            out += out.empty() ? "" : " ";
            if (kind == PLOTX_MOUSE) out += "M(" + std::to_string(x) + "," + std::to_string(y) + ")";
            else if (kind == PLOTX_KBD) out += "K" + std::to_string(static_cast<unsigned char>(k));
            else out += kind == PLOTX_PERIODIC ? "P" : "Q";
        }
        return out;
    }
    // Log lines reading `line`; the line feed is not compared, since a repaint of the text
    // window may have taken it off the stored copy.
    static int logged(std::string line) {
        auto chomp = [](std::string s) {
            if (!s.empty() && s.back() == '\n') s.pop_back();
            return s;
        };
        int n = 0;
        for (const std::string& l : ring_lines()) n += chomp(l) == chomp(line);
        return n;
    }

    ScratchDirectory scratch_;
};

using Recording = Scripts;
using Playback = Scripts;
using UnrecognisedLines = Scripts;
using Refusals = Scripts;
using RecordingAfterPlayback = Scripts;
using UnwritableRecording = Scripts;
using IrregularScriptFile = Scripts;
using ScriptStreamPairs = Scripts;
using EnvironmentReplay = Scripts;
using DemoReplay = Scripts;
using ClosedStandardError = Scripts;
using LockedRecording = Scripts;

// --- Recording ---------------------------------------------------------------------------

TEST_F(Recording, ExampleSessionWritesItsFourLinesEachAsItHappens) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    hl::control_key(graphics(), 'r');
    click_canvas(10, 20, 350);
    hl::type_char(graphics(), 'a', 360);
    EXPECT_EQ(events(4), "P P P M(10,20)");
    EXPECT_TRUE(marked(CMD_RECORD));
    EXPECT_EQ(script(), "PLOTX_PERIODIC(3);\nPLOTX_MOUSE(10, 20);\n");  // flushed line by line
    EXPECT_EQ(events(3), "K97 P P");
    hl::control_key(graphics(), 'r', 550);
    click_canvas(0, 0, 560);
    EXPECT_EQ(events(1), "M(0,0)");  // after the stop: not recorded
    EXPECT_FALSE(marked(CMD_RECORD));
    EXPECT_EQ(script(), EXAMPLE);
}

TEST_F(Recording, QuitWritesNoLine) {
    begin();
    command(CMD_RECORD);
    hl::control_key(graphics(), 'q', 50);
    EXPECT_EQ(events(1), "Q");
    EXPECT_TRUE(fs::exists(SCRIPT_FILE));
    EXPECT_EQ(script(), "");
}

TEST_F(Recording, PendingRunIsWrittenAtStopAndAtEndAndNextRecordingCountsFromZero) {
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    command(CMD_RECORD);
    command(CMD_RECORD, 450);
    EXPECT_EQ(events(5), "P P P P P");  // the fifth, at 500, came after the stop
    EXPECT_EQ(script(), "PLOTX_PERIODIC(4);\n");
    command(CMD_RECORD, 550);
    EXPECT_EQ(events(2), "P P");
    EXPECT_EQ(PLOTX_end(), 1);  // no quit event: the run is written all the same
    EXPECT_EQ(script(), "PLOTX_PERIODIC(2);\n");
}

TEST_F(Recording, RecordTwiceWithNothingBetweenLeavesTheFileAlone) {
    write_script("an earlier script\n");
    begin();
    command(CMD_RECORD, 10);
    command(CMD_RECORD, 20);
    click_canvas(1, 1, 30);
    EXPECT_EQ(events(1), "M(1,1)");
    EXPECT_EQ(script(), "an earlier script\n");
}

TEST_F(Recording, KeyAbove127SurvivesARoundTrip) {
    begin();
    command(CMD_RECORD);
    hl::type_char(graphics(), static_cast<char>(200), 10);
    command(CMD_RECORD, 20);
    click_canvas(0, 0, 30);
    EXPECT_EQ(events(2), "K200 M(0,0)");
    EXPECT_EQ(script(), "PLOTX_KBD(-56);\n");
    command(CMD_PLAYBACK, 40);
    EXPECT_EQ(events(1), "K200");
}

TEST_F(Recording, NothingLeftByAPlaybackReachesTheRecording) {
    // The stream a Play One left open for reading, and the ticks it left pending, are
    // dropped when a recording starts.
    write_script("PLOTX_PERIODIC(5);\n");
    begin();
    command(CMD_PLAY_ONE);
    EXPECT_EQ(events(1), "P");
    ASSERT_EQ(g.scripts.pending_periodic, 4);
    ASSERT_NE(g.scripts.stream, nullptr);
    command(CMD_RECORD, 20);
    click_canvas(2, 2, 30);
    command(CMD_RECORD, 40);
    click_canvas(0, 0, 50);
    EXPECT_EQ(events(2), "M(2,2) M(0,0)");
    EXPECT_EQ(script(), "PLOTX_MOUSE(2, 2);\n");
}

// --- A recording started after a playback -------------------------------------------------

// The stream a playback leaves open for reading is closed, never written, when a recording
// starts; the recording then holds exactly what was delivered after Record, whether it ends
// in a click, in Record switched off, or in PLOTX_end with its ticks still pending.
TEST_F(RecordingAfterPlayback, HoldsExactlyTheEventsAfterRecordHowEverItEnds) {
    enum Ending { CLICK, RECORD_OFF, END };
    for (unsigned first : {CMD_PLAYBACK, CMD_PLAY_ONE}) {
        for (Ending ending : {CLICK, RECORD_OFF, END}) {
            SCOPED_TRACE(std::to_string(first) + " then ending " + std::to_string(ending));
            reset_library_for_tests();  // the last recording lets go of its file (Windows keeps writers out)
            write_script("PLOTX_KBD(49);\nPLOTX_PERIODIC(2);\n");
            reopen();
            command(first);
            EXPECT_EQ(events(first == CMD_PLAYBACK ? 3 : 1), first == CMD_PLAYBACK ? "K49 P P" : "K49");
            command(CMD_RECORD, 10);  // after the read that finds the end of the file
            command(CMD_ANIMATE, 10);
            if (ending == RECORD_OFF) command(CMD_RECORD, 350);
            if (ending != END) click_canvas(5, -100, 360);
            EXPECT_EQ(events(3), "P P P");
            if (ending == END) {
                EXPECT_EQ(PLOTX_end(), 1);
                EXPECT_EQ(script(), "PLOTX_PERIODIC(3);\n");
                continue;
            }
            EXPECT_EQ(events(1), "M(5,-100)");
            EXPECT_EQ(script(), ending == CLICK ? "PLOTX_PERIODIC(3);\nPLOTX_MOUSE(5, -100);\n" : "PLOTX_PERIODIC(3);\n");
            EXPECT_EQ(marked(CMD_RECORD), ending == CLICK);
        }
    }
}

// --- A recording that cannot be written ----------------------------------------------------

// A file size limit for the life of the object: writes past it fail as on a full disk
// (on Windows, which has no such limit, the files layer's own for tests).
class FileSizeLimit {
public:
#ifdef _WIN32
    explicit FileSizeLimit(long long bytes) { px::sys::set_test_file_size_limit(bytes); }
    ~FileSizeLimit() { px::sys::set_test_file_size_limit(-1); }
#else
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

private:
    rlimit old_;
#endif
};

// What a full disk is called: running past a file size limit, or a full volume on Windows.
#ifdef _WIN32
const char* const FULL_DISK = "No space left on device";
#else
const char* const FULL_DISK = "File too large";
#endif

#ifdef _WIN32
// Windows' ways to refuse a writer: the read-only attribute, another program holding the
// file without sharing it, a folder of that name.
TEST_F(UnwritableRecording, FileThatCannotBeOpenedEndsTheRecordingWithOneLine) {
    struct Case {
        std::string name;
        std::function<void*()> make;  // what the case holds open, or nullptr
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"a folder of that name",
         [] {
             fs::create_directory(SCRIPT_FILE);
             return nullptr;
         },
         "Is a directory"},
        {"a read-only file",
         [] {
             write_script("kept\n");
             EXPECT_TRUE(set_read_only(SCRIPT_FILE, true));
             return nullptr;
         },
         "Permission denied"},
        {"a file another program holds",
         [] {
             write_script("kept\n");
             void* held = hold_without_sharing(SCRIPT_FILE);
             EXPECT_NE(held, nullptr);
             return held;
         },
         px::sys::FILE_IN_USE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* held = c.make();
        reopen();
        command(CMD_RECORD);
        for (int i = 0; i < 3; ++i) click_canvas(i, i, 10 * (i + 1));
        EXPECT_EQ(events(3), "M(0,0) M(1,1) M(2,2)");
        EXPECT_EQ(ring_lines(),
                  std::vector<std::string>{"Cannot open script file PLOTX.SCR for writing: " + c.reason + "\n"});
        EXPECT_FALSE(marked(CMD_RECORD));
        EXPECT_FALSE(px::sys::script_locked(SCRIPT_FILE)) << "no recording holds it";
        let_go(held);
        if (fs::is_regular_file(SCRIPT_FILE)) {
            EXPECT_EQ(script(), "kept\n");
            set_read_only(SCRIPT_FILE, false);
        }
        fs::remove_all(SCRIPT_FILE);
    }
}

TEST_F(UnwritableRecording, AReadOnlyFolderEndsTheRecordingWithOneLine) {
    GTEST_SKIP() << "Windows lets files be made in a folder whatever its read-only attribute";
}
#else

TEST_F(UnwritableRecording, FileThatCannotBeOpenedEndsTheRecordingWithOneLine) {
    struct Case {
        std::string name;
        std::function<void()> make;
        const char* reason;
        bool needs_user;
    };
    const std::vector<Case> cases = {
        {"a folder of that name", [] { fs::create_directory(SCRIPT_FILE); }, "Is a directory", false},
        {"a read-only file",
         [] {
             write_script("kept\n");
             fs::permissions(SCRIPT_FILE, fs::perms::owner_read);
         },
         "Permission denied", true},
        {"a read-only folder", [] { fs::permissions(".", fs::perms::owner_read | fs::perms::owner_exec); },
         "Permission denied", true},
    };
    // Root writes regardless of permissions: those cases are recorded by an unprivileged user,
    // who owns the folder and its files as a user running a program would.
    const passwd* user = unprivileged_user();
    std::string skipped;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needs_user && !user) {
            skipped += " " + c.name + ";";
            continue;
        }
        c.make();
        auto record = [&] {
            reopen();
            command(CMD_RECORD);
            for (int i = 0; i < 5; ++i) click_canvas(i, i, 10 * (i + 1));
            EXPECT_EQ(events(5), "M(0,0) M(1,1) M(2,2) M(3,3) M(4,4)");
            EXPECT_EQ(ring_lines(), std::vector<std::string>{"Cannot open script file PLOTX.SCR for writing: " +
                                                             std::string(c.reason) + "\n"});
            EXPECT_FALSE(marked(CMD_RECORD));
            EXPECT_FALSE(g.scripts.recording);
            return HasFailure() ? 1 : 0;
        };
        if (c.needs_user) {
            for (const char* name : {".", SCRIPT_FILE}) {
                if (fs::exists(name)) {
                    ASSERT_EQ(chown(name, user->pw_uid, user->pw_gid), 0) << name;
                }
            }
            EXPECT_EQ(run_unprivileged(record), 0) << "the recording as " << user->pw_name << " failed (output above)";
        } else {
            record();
        }
        fs::permissions(".", fs::perms::owner_all);
        if (fs::is_regular_file(SCRIPT_FILE)) {
            EXPECT_EQ(script(), "kept\n");
            fs::permissions(SCRIPT_FILE, fs::perms::owner_all);
        }
        fs::remove_all(SCRIPT_FILE);
    }
    if (!skipped.empty()) GTEST_SKIP() << "no unprivileged user to record as for" << skipped;
}

#endif

TEST_F(UnwritableRecording, DiskFullMidwayCutsBackToTheLastCompleteLineAndEnds) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "Node's file system takes no file size limit (setrlimit)";
#endif
    const std::string two = "PLOTX_PERIODIC(2);\nPLOTX_MOUSE(1, 1);\n";  // 38 bytes
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    command(CMD_RECORD);
    click_canvas(1, 1, 250);
    click_canvas(2, 2, 260);
    {
        FileSizeLimit limit(two.size() + 5);  // the next line fits only in part
        EXPECT_EQ(events(4), "P P M(1,1) M(2,2)");
    }
    EXPECT_EQ(script(), two);
    EXPECT_FALSE(marked(CMD_RECORD));
    EXPECT_EQ(ring_lines(), std::vector<std::string>{"Cannot write to script file PLOTX.SCR: " + std::string(FULL_DISK) +
                                                     "; recording stopped at its last complete line\n"});
    // Space has come back: nothing is glued to the cut file, and it plays to its end.
    click_canvas(3, 3, 270);
    EXPECT_EQ(events(1), "M(3,3)");
    EXPECT_EQ(script(), two);
    command(CMD_PLAYBACK, 280);
    EXPECT_EQ(events(3), "P P M(1,1)");
}

// --- A script file that is not a regular file ------------------------------------------------

// A FIFO would block the open until a peer came, and a reader leaving would kill the next
// write with SIGPIPE: it is refused at once, whether or not a reader is there.
TEST_F(IrregularScriptFile, FifoIsRefusedWithoutBlockingOrSigpipe) {
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no FIFOs and no SIGPIPE";
#else
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "Node's file system has no FIFOs";
#endif
    ASSERT_EQ(mkfifo(SCRIPT_FILE, 0600), 0);
    begin();
    command(CMD_RECORD);
    click_canvas(1, 1, 10);
    EXPECT_EQ(events(1), "M(1,1)");
    EXPECT_FALSE(marked(CMD_RECORD));

    int reader = open(SCRIPT_FILE, O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    command(CMD_RECORD, 20);
    click_canvas(2, 2, 30);
    EXPECT_EQ(events(1), "M(2,2)");
    close(reader);  // the reader leaves; the next event must not raise SIGPIPE
    click_canvas(3, 3, 40);
    EXPECT_EQ(events(1), "M(3,3)");

    command(CMD_PLAYBACK, 50);
    click_canvas(4, 4, 60);
    EXPECT_EQ(events(1), "M(4,4)");
    EXPECT_EQ(ring_lines(), (std::vector<std::string>{"Cannot open script file PLOTX.SCR for writing: Not a regular file\n",
                                                      "Cannot open script file PLOTX.SCR for writing: Not a regular file\n",
                                                      "Cannot open script file PLOTX.SCR for reading: Not a regular file\n"}));
#endif
}

// With the log echoed to a standard error nobody reads, the echo stops and the program
// goes on to its end: the snapshot is written.
TEST_F(ClosedStandardError, TheEchoStopsAndTheProgramReachesItsEnd) {
#if defined(_WIN32)
    GTEST_SKIP() << "no fork on Windows to run the program in";
#else
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "no processes to fork under Node";
#endif
    int status = in_child([] {
        int p[2];
        if (pipe(p) != 0) return 3;
        close(p[0]);
        dup2(p[1], 2);
        setenv("PLOTX_LOG_ECHO", "1", 1);
        setenv("PLOTX_SNAPSHOT", "end.png", 1);
        PLOTX_begin(nullptr, nullptr, "", 1);
        for (int i = 0; i < 3; ++i) PLOTX_log("a line nobody reads");
        return PLOTX_end() == 1 ? 0 : 4;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(fs::exists("end.png"));
#endif
}

// The quit signals the library took over go back to what they did, so a program that goes
// on after PLOTX_end is interrupted as before; a handler it installed meanwhile stays.
TEST_F(ClosedStandardError, QuitSignalsGoBackToWhatTheyWere) {
#if defined(_WIN32)
    GTEST_SKIP() << "the library takes over no quit signals on Windows, so none go back";
#else
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "no processes to fork under Node";
#endif
    EXPECT_EQ(in_child([] {
                  signal(SIGINT, SIG_DFL);
                  if (px::sys::catch_quit_signals() < 0) return 3;
                  px::sys::release_quit_signals();
                  raise(SIGINT);
                  return 0;
              }),
              128 + SIGINT);
    EXPECT_EQ(in_child([] {
                  signal(SIGTERM, SIG_DFL);
                  px::sys::catch_quit_signals();
                  signal(SIGTERM, [](int) { _exit(7); });
                  px::sys::release_quit_signals();
                  raise(SIGTERM);
                  return 0;
              }),
              7);
#endif
}


// --- Two recordings into one file ------------------------------------------------------

// The second writer is refused before it can empty the file, in this process or another;
// a Record there says why once and stays off.
TEST_F(LockedRecording, ASecondWriterIsRefusedAndRecordStaysOff) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "Node's file system has no locks";
#endif
    std::string reason;
    std::FILE* first = px::sys::open_script(SCRIPT_FILE, true, &reason);
    ASSERT_NE(first, nullptr) << reason;
    ASSERT_TRUE(px::sys::write_text(first, "PLOTX_KBD(97);\n", 15, &reason));
    EXPECT_EQ(px::sys::open_script(SCRIPT_FILE, true, &reason), nullptr);
    EXPECT_EQ(reason, px::sys::SCRIPT_LOCKED);
    EXPECT_TRUE(px::sys::script_locked(SCRIPT_FILE));
    begin();
    command(CMD_RECORD);
    click_canvas(1, 1, 10);
    EXPECT_EQ(events(1), "M(1,1)");
    EXPECT_FALSE(marked(CMD_RECORD));
    EXPECT_EQ(logged("Cannot record script file PLOTX.SCR: another recording is writing it\n"), 1);
    EXPECT_EQ(script(), "PLOTX_KBD(97);\n");
    std::fclose(first);
    EXPECT_FALSE(px::sys::script_locked(SCRIPT_FILE));
    command(CMD_RECORD, 20);
    click_canvas(2, 2, 30);
    EXPECT_EQ(events(1), "M(2,2)");
    EXPECT_EQ(script(), "PLOTX_MOUSE(2, 2);\n");
}

// --- The keys of a shortcut ----------------------------------------------------------------

// Control+R switched recording on and off under PLOTX_wait: the recording holds neither
// half of either Control key, so a replay never ends with Control held.
TEST_F(Recording, TheControlKeyOfAShortcutIsLeftOut) {
    for (int flags : {0, PLOTX_INPUT_KEYS}) {
        reopen();
        PLOTX_set_input(flags);
        hl::control_key(graphics(), 'r', 10);
        hl::click(graphics(), g.windows.origin_x + 5, g.windows.origin_y - 6, 20);
        hl::control_key(graphics(), 'a', 30);
        hl::type_char(graphics(), 'z', 40);
        hl::control_key(graphics(), 'r', 50);
        hl::click(graphics(), g.windows.origin_x, g.windows.origin_y, 60);
        PLOTX_Event e;
        do PLOTX_wait(&e);
        while (!(e.kind == PLOTX_MOUSE && e.x == 0));
        EXPECT_EQ(script().find("279"), std::string::npos) << flags << "\n" << script();
        EXPECT_NE(script().find("PLOTX_MOUSE(5, 6);"), std::string::npos) << flags;
        EXPECT_NE(script().find("PLOTX_KBD(122);"), std::string::npos) << flags;
    }
}

// --- Every order of two script operations --------------------------------------------------

// Each ordered pair of the operations that write, close or switch the script stream, from
// a fresh start and from within a recording, followed by ticks, Record and ticks again so
// that a stream left in a wrong state shows: no order crashes, and every recording that
// ends holds exactly the events delivered while it was on.
TEST_F(ScriptStreamPairs, NoOrderOfTwoOperationsCrashesOrLosesARecording) {
    for (bool recording : {false, true}) {
        for (int a = 0; a < SCRIPT_OP_COUNT; ++a) {
            for (int b = 0; b < SCRIPT_OP_COUNT; ++b) {
                std::string trace = std::string(recording ? "while recording: " : "") + script_op_name(a) +
                                    ", then " + script_op_name(b);
                SCOPED_TRACE(trace);
                ScriptSession session;
                session.open();
                std::vector<int> ops;
                if (recording) ops = {OP_RECORD, OP_TICKS};
                ops.insert(ops.end(), {a, b, OP_TICKS, OP_RECORD, OP_TICKS});
                std::string error;
                for (size_t i = 0; i < ops.size() && error.empty(); ++i) error = session.run(ops[i]);
                if (error.empty()) error = session.finish();
                EXPECT_EQ(error, "");
            }
        }
    }
}

// --- Playback ----------------------------------------------------------------------------

TEST_F(Playback, ExampleDeliversOneEventPerWaitThenEndsAtEndOfFile) {
    write_script(EXAMPLE);
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    command(CMD_PLAYBACK);
    EXPECT_EQ(events(7), "P P P M(10,20) K97 P P");
    EXPECT_EQ(hl::now(), 0u);  // script events do not wait for the timer
    EXPECT_TRUE(marked(CMD_PLAYBACK));
    EXPECT_FALSE(g.events.animating);
    click_canvas(-1, -2, 5000);
    EXPECT_EQ(events(1), "M(-1,-2)");  // the same wait goes on with live input
    EXPECT_FALSE(marked(CMD_PLAYBACK));
    EXPECT_EQ(logged("EOF encountered in script file PLOTX.SCR\n"), 1);
}

TEST_F(Playback, LinesAsAnyWriterMightLeaveThem) {
    // Negative coordinates, a zero count, the widest numbers, CRLF line ends, empty lines,
    // and a last line without a line feed.
    write_script("PLOTX_MOUSE(-15, -240);\r\n\r\n\nPLOTX_PERIODIC(0);\nPLOTX_MOUSE(-2147483648, 99999999999);\n"
                 "PLOTX_KBD(-1);\nPLOTX_KBD(66);");
    begin();
    command(CMD_PLAYBACK);
    EXPECT_EQ(events(5), "M(-15,-240) P M(-2147483648,2147483647) K255 K66");
    EXPECT_TRUE(g.scripts.playing_back);
}

TEST_F(Playback, LineLongerThan511IsReadInPieces) {
    std::string first = "PLOTX_KBD(52);";
    first.resize(511, ' ');
    write_script(first + "PLOTX_KBD(53);\n");
    begin();
    command(CMD_PLAYBACK);
    EXPECT_EQ(events(2), "K52 K53");
}

TEST_F(Playback, NoScriptLogsOnceAndGoesOnLive) {
    begin();
    command(CMD_PLAYBACK);
    click_canvas(8, 9, 300);
    EXPECT_EQ(events(1), "M(8,9)");
    EXPECT_FALSE(marked(CMD_PLAYBACK));
    EXPECT_EQ(logged("Cannot open script file PLOTX.SCR for reading: No such file or directory\n"), 1);
}

TEST_F(Playback, PlayOneStepsWithAnimationHaltedAndPlaybackGoesOnFromThere) {
    write_script("PLOTX_PERIODIC(2);\nPLOTX_MOUSE(1, 2);\nPLOTX_KBD(120);\nPLOTX_KBD(121);\n");
    begin();
    PLOTX_set_animation(RUN_ANIMATE);
    std::vector<uint64_t> times;
    for (uint64_t at : {0, 1000, 2000}) {
        command(CMD_PLAY_ONE, at);
        events(1);
        times.push_back(hl::now());
        EXPECT_FALSE(g.events.animating);
    }
    EXPECT_EQ(times, (std::vector<uint64_t>{0, 1000, 2000}));  // no animation tick in between
    command(CMD_PLAYBACK, 3000);
    EXPECT_EQ(events(2), "K120 K121");
}

// --- Lines outside the format ------------------------------------------------------------

TEST_F(UnrecognisedLines, StopPlaybackSilentlyAndNeverReadPastTheLine) {
    const std::vector<std::string> bad = {
        "       ",                              // seven blanks: not empty, no kind letter
        "PLOTX",                                // shorter than seven characters
        "PLOTX_KBD();",                         // no key
        "PLOTX_MOUSE(5);",                      // only one coordinate
        "PLOTX_MOUSE(-, 5);",                   // a sign without digits
        "PLOTX_PERIODIC();",                    // no count
        "PLOTX_MOUSE(123456789012, 1);",        // twelve characters
        "PLOTX_KBD(-12345678901);",             // twelve with the sign
        std::string("PLOTX_\0KBD(5);", 14),     // a NUL byte is an ordinary character
    };
    for (const std::string& line : bad) {
        SCOPED_TRACE(line);
        write_script("PLOTX_KBD(49);\n" + line + "\nPLOTX_KBD(50);\n");
        reopen();
        command(CMD_PLAYBACK);
        click_canvas(1, 1, 100);
        EXPECT_EQ(events(2), "K49 M(1,1)");
        EXPECT_FALSE(marked(CMD_PLAYBACK));
        EXPECT_TRUE(ring_lines().empty());
    }
}

// --- Recording and playback refuse each other ---------------------------------------------

TEST_F(Refusals, RecordWhilePlayingBack) {
    write_script("PLOTX_KBD(49);\nPLOTX_KBD(50);\nPLOTX_KBD(51);\n");
    begin();
    while (px::message_available()) pump_one_message();  // the first paints
    command(CMD_PLAYBACK);
    command(CMD_RECORD);
    EXPECT_EQ(events(3), "K49 K50 K51");
    EXPECT_FALSE(marked(CMD_RECORD));
    EXPECT_EQ(script(), "PLOTX_KBD(49);\nPLOTX_KBD(50);\nPLOTX_KBD(51);\n");
    // A Play One taken and not yet read (two commands in one pass) refuses it too.
    g.scripts.play_one = 1;
    run_command(CMD_RECORD);
    EXPECT_FALSE(g.scripts.recording);
    EXPECT_EQ(logged("Cannot record script file PLOTX.SCR while it is being played back\n"), 2);
}

TEST_F(Refusals, PlaybackAndPlayOneWhileRecording) {
    write_script("PLOTX_KBD(49);\n");
    begin();
    command(CMD_RECORD);
    click_canvas(1, 1, 10);
    command(CMD_PLAYBACK, 20);
    command(CMD_PLAY_ONE, 30);
    click_canvas(2, 2, 40);
    command(CMD_RECORD, 50);
    click_canvas(0, 0, 60);
    EXPECT_EQ(events(3), "M(1,1) M(2,2) M(0,0)");
    EXPECT_FALSE(marked(CMD_PLAYBACK));
    EXPECT_EQ(logged("Cannot play back script file PLOTX.SCR while it is being recorded\n"), 2);
    EXPECT_EQ(script(), "PLOTX_MOUSE(1, 1);\nPLOTX_MOUSE(2, 2);\n");
}

// --- Headless replays started from the environment ----------------------------------------

TEST_F(EnvironmentReplay, ScriptPlaysFromBeginAndEndsInQuit) {
    write_script("PLOTX_KBD(49);\nPLOTX_MOUSE(4, 5);\n");
    setenv("PLOTX_PLAYBACK", "1", 1);
    begin();
    PLOTX_set_animation(RUN_ANIMATE);  // as an application does right after opening
    EXPECT_EQ(events(3), "K49 M(4,5) Q");
    EXPECT_EQ(hl::now(), 0u);
}

// A replay to be watched (a page opened as a link to a recorded run) plays its ticks at the
// timer's pace, as they were recorded, and leaves the program to its user at the end.
TEST_F(EnvironmentReplay, WatchedReplayKeepsTheTimersPaceAndHandsOver) {
    hl::set_environment_playback(px::Backend::EnvironmentPlayback::THEN_USER);
    write_script("PLOTX_MOUSE(4, 5);\nPLOTX_PERIODIC(3);\n");
    setenv("PLOTX_PLAYBACK", "1", 1);
    begin();
    EXPECT_TRUE(marked(CMD_PLAYBACK));
    EXPECT_EQ(events(2), "M(4,5) P");
    const uint64_t first = hl::now();
    EXPECT_GT(first, 0u);
    EXPECT_EQ(events(2), "P P");
    EXPECT_EQ(hl::now(), first + 2 * g.input.tick_ms);
    click_canvas(1, 2, hl::now() + 10);
    EXPECT_EQ(events(1), "M(1,2)");  // the user's, after the script: no quit
    EXPECT_FALSE(marked(CMD_PLAYBACK));
}

// The replay tells its user on standard error how it ended; the log keeps its silence at
// a line it cannot read.
TEST_F(EnvironmentReplay, EveryEndIsReportedOnStandardError) {
#ifdef __EMSCRIPTEN__
    GTEST_SKIP() << "standard error cannot be captured under Node";
#endif
    struct Case {
        const char* script;  // nullptr: no script file
        const char* events;
        const char* report;
    };
    const Case cases[] = {
        {"PLOTX_KBD(49);\nPLOTX_PERIODIC(2);\n", "K49 P P Q", "plotx: replay of PLOTX.SCR ended at the end of the file after 3 events\n"},
        {"PLOTX_KBD(49);\n\nno\"ns\tense\r\nPLOTX_KBD(50);\n", "K49 Q",
         "plotx: replay of PLOTX.SCR stopped at line 3, which it cannot read, after 1 events: \"no\\x22ns\\x09ense\"\n"},
        {nullptr, "Q", "plotx: replay of PLOTX.SCR failed: cannot open it: No such file or directory\n"},
    };
    setenv("PLOTX_PLAYBACK", "1", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.events);
        reset_library_for_tests();  // the last replay lets go of the file: Windows removes no open file
        hl::install();
        ASSERT_FALSE(fs::exists(SCRIPT_FILE) && !fs::remove(SCRIPT_FILE));
        if (c.script) write_script(c.script);
        testing::internal::CaptureStderr();
        reopen();
        std::string seen = events(static_cast<int>(std::count(c.events, c.events + std::strlen(c.events), ' ')) + 1);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(seen, c.events);
        EXPECT_EQ(err, c.report);
        EXPECT_EQ(logged("EOF encountered in script file PLOTX.SCR\n"), c.script == cases[0].script);
        EXPECT_EQ(ring_lines().size(), c.script == cases[1].script ? 0u : 1u);
    }
}

// --- The demo replays what it recorded ----------------------------------------------------

// Every event the demo received, and what its state was after the last.
struct Session {
    std::vector<std::string> events;
    std::vector<int> outcome;
};

void note(Session& session, int kind, const DemoState& s) {
    session.events.push_back(std::to_string(kind) + ":" + std::to_string(s.mouse_x) + "," +
                             std::to_string(s.mouse_y) + "," + std::to_string(s.key));
    session.outcome = {s.sun_x, s.sun_y, s.traffic_running, s.traffic_speed, s.traffic_direction, s.car_color,
                       s.vehicle_count, s.creature_x, s.creature_y, s.target_x, s.target_y, s.creature_pose};
    for (int i = 0; i < s.vehicle_count; ++i) session.outcome.push_back(s.vehicle_x[i] * 4 + s.vehicle_state[i]);
}

TEST_F(DemoReplay, PlaybackDeliversTheRecordedEventsInOrder) {
    setenv("PLOTX_SEED", "4242", 1);
    DemoState s;
    demo_start(s, nullptr, nullptr, "", 1);
    hl::control_key(graphics(), 'r');
    click_canvas(120, -180, 450);  // a target on the ground
    click_canvas((PANEL_LEFT + PANEL_RIGHT) / 2, PANEL_TOP - 3 * BUTTON_HEIGHT / 2, 900);  // a panel button
    hl::type_char(graphics(), 'z', 1250);
    click_canvas(-200, -120, 1800);
    hl::control_key(graphics(), 'r', 2550);
    Session recorded, replayed;
    for (int kind = demo_step(s); g.scripts.recording; kind = demo_step(s)) note(recorded, kind, s);
    ASSERT_GT(recorded.events.size(), 25u);
    ASSERT_EQ(std::count_if(recorded.events.begin(), recorded.events.end(),
                            [](const std::string& e) { return e.rfind("1:", 0) == 0; }), 3);
    demo_finish();

    reset_library_for_tests();
    hl::install();
    demo_start(s, nullptr, nullptr, "", 1);
    command(CMD_PLAYBACK);
    for (int kind = demo_step(s); g.scripts.playing_back; kind = demo_step(s)) note(replayed, kind, s);
    EXPECT_EQ(replayed.events, recorded.events);
    EXPECT_EQ(replayed.outcome, recorded.outcome);
    demo_finish();
}

}  // namespace
