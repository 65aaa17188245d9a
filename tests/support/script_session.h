// script_session.h - a user working the script commands, shared by the state-machine test
// and the fuzz target: each operation is a command or an event on the headless backend,
// and after each one the recording must hold exactly what the user saw recorded.
// Runs in the current directory, which the caller makes private. Header-only: the fuzz
// target has no test framework.
#pragma once
// The full disk is a file size limit: the files layer's for tests on Windows and in the
// browser, which have none to set.
#if defined(_WIN32) || defined(__EMSCRIPTEN__)
#define PLOTX_TEST_SIZE_LIMIT 1
#include "host/files/files.h"
#else
#include <signal.h>
#include <sys/resource.h>
#endif

#include <fstream>
#include <sstream>
#include <string>

#include "backends/headless/headless.h"
#include "state.h"

namespace plotx_test {

// The ways to write, close or switch the script stream. The three commands are only
// queued: the next operation's waits carry them out, so ticks may come between Record and
// the first line. The two playbacks rewrite the script first, unless a recording may own
// the file.
enum ScriptOp {
    OP_RECORD,                // Record Script (on or off), queued
    OP_PLAYBACK,              // Playback Script (on or off), queued
    OP_PLAY_ONE,              // Play One Script, queued
    OP_TO_END_OF_FILE,        // a playback that runs to the end of the file
    OP_TO_UNRECOGNISED_LINE,  // a playback that stops at a line it cannot read
    OP_END,                   // PLOTX_end; the next operation opens the library again
    OP_FAILED_WRITE,          // the disk is full while an event is delivered
    OP_TICKS,                 // animation ticks, then a click
    SCRIPT_OP_COUNT
};

inline const char* script_op_name(int op) {
    static const char* const names[] = {"Record",     "Playback", "Play One",     "end of file",
                                        "unrecognised line", "PLOTX_end", "failed write", "ticks"};
    return op >= 0 && op < SCRIPT_OP_COUNT ? names[op] : "?";
}

class ScriptSession {
public:
    // Opens the library on a fresh headless backend.
    void open() {
        plotx::reset_library_for_tests();
        px::headless::install();
        px::headless::set_idle_limit(0);
        PLOTX_begin(nullptr, nullptr, "", 1);
        std::remove(plotx::SCRIPT_FILE);
    }

    // Carries out one operation; returns what went wrong, or "".
    std::string run(int op) {
        using namespace plotx;
        std::string error;
        if (ended_ && op != OP_END) {
            PLOTX_begin(nullptr, nullptr, "", 1);
            ended_ = false;
        }
        uint64_t at = px::headless::now() + 10;
        uint64_t click_at = at + 1;
        bool failing = false;
        switch (op) {
            case OP_RECORD:
            case OP_PLAYBACK:
            case OP_PLAY_ONE:
                // One command waits at a time: two carried out in one wait would hide from
                // the marks that a recording ended and another began.
                if (px::headless::pending_input() > 0) error = deliver(at, false);
                command(op == OP_RECORD ? CMD_RECORD : op == OP_PLAYBACK ? CMD_PLAYBACK : CMD_PLAY_ONE,
                        px::headless::now() + 10);
                return error;
            case OP_TO_END_OF_FILE:
            case OP_TO_UNRECOGNISED_LINE:
                if (!marked(CMD_RECORD) && px::headless::pending_input() == 0)
                    write_file(op == OP_TO_END_OF_FILE ? "PLOTX_KBD(49);\nPLOTX_PERIODIC(2);\n"
                                                       : "PLOTX_KBD(50);\nnonsense\nPLOTX_KBD(51);\n");
                if (!marked(CMD_PLAYBACK)) command(CMD_PLAYBACK, at);
                break;
            case OP_END:
                if (PLOTX_end() != (ended_ ? 0 : 1)) error = ended_ ? "PLOTX_end twice succeeded" : "PLOTX_end failed";
                ended_ = true;
                return error.empty() ? observe() : error;
            case OP_FAILED_WRITE: failing = true; break;
            case OP_TICKS:
                command(CMD_ANIMATE, at);
                click_at = at + 250;
                break;
            default: return "no such operation";
        }
        return deliver(click_at, failing);
    }

    // Ends the session as a program ends: the queued commands are carried out, then
    // PLOTX_end, and the last recording is checked.
    std::string finish() {
        std::string error = run(OP_TICKS);
        return error.empty() ? run(OP_END) : error;
    }

private:
    // Waits until a click scheduled at `click_at` is delivered, observing each event; with
    // `failing`, no write can add to the file meanwhile.
    std::string deliver(uint64_t click_at, bool failing) {
        using namespace plotx;
        std::string error;
        int marker = ++markers_;
        px::headless::click(g.windows.graphics_window, g.windows.origin_x + marker, g.windows.origin_y + marker,
                            click_at);
#ifdef PLOTX_TEST_SIZE_LIMIT
        if (failing) {
            px::sys::set_test_file_size_limit(static_cast<long long>(file().size()));
            failed_ |= was_marked_;
        }
#else
        rlimit old{};
        struct sigaction old_xfsz{}, ignore{};
        if (failing) {
            // Nothing more fits: the next write into the recording fails. A fuzzer's own
            // handler for the signal that brings would end the run, so it is ignored here.
            ignore.sa_handler = SIG_IGN;
            sigaction(SIGXFSZ, &ignore, &old_xfsz);
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit full = old;
            full.rlim_cur = static_cast<rlim_t>(file().size());
            setrlimit(RLIMIT_FSIZE, &full);
            failed_ |= was_marked_;
        }
#endif
        const bool full_while_recording = failing && was_marked_;
        bool delivered = false;
        for (int i = 0; i < 64 && !delivered && error.empty(); ++i) {
            int x = 0, y = 0;
            char key = 0;
            // A playing script's event replaces a click taken in the same pass: another
            // click follows, so the wait never has nothing left to come.
            if (i > 0 && px::headless::pending_input() == 0)
                px::headless::click(g.windows.graphics_window, g.windows.origin_x + marker, g.windows.origin_y + marker,
                                    px::headless::now() + 1);
            int kind = PLOTX_wait_event(&x, &y, &key);
            delivered = kind == PLOTX_MOUSE && x == marker && y == -marker;
            error = observe(kind, x, y, key);
        }
#ifdef PLOTX_TEST_SIZE_LIMIT
        if (failing) px::sys::set_test_file_size_limit(-1);
#else
        if (failing) {
            setrlimit(RLIMIT_FSIZE, &old);
            sigaction(SIGXFSZ, &old_xfsz, nullptr);
        }
#endif
        PLOTX_set_animation(RUN_HALT);
        if (error.empty() && !delivered) error = "the click after the operation was never delivered";
        // The click's line could not be written: the recording must have ended.
        if (error.empty() && full_while_recording && marked(plotx::CMD_RECORD))
            error = "a write to the full disk left the recording on";
        return error;
    }

    static bool marked(unsigned id) {
        for (const px::MenuItem& item : plotx::g.run_menu.menu->items)
            if (item.id == id) return (item.flags & px::MF_CHECKED) != 0;
        return false;
    }
    static void command(unsigned id, uint64_t at) {
        px::headless::choose_menu(plotx::g.windows.graphics_window, id, at);
    }
    static std::string file() {
        std::stringstream ss;
        ss << std::ifstream(plotx::SCRIPT_FILE, std::ios::binary).rdbuf();
        return ss.str();
    }
    static void write_file(const std::string& text) { std::ofstream(plotx::SCRIPT_FILE, std::ios::binary) << text; }

    void flush_run() {
        if (pending_ > 0) transcript_ += "PLOTX_PERIODIC(" + std::to_string(pending_) + ");\n";
        pending_ = 0;
    }

    // After a wait (kind > 0) or after PLOTX_end: the event is in the recording exactly when
    // the Record mark is shown after it, and a recording that ends must hold what it got.
    std::string observe(int kind = 0, int x = 0, int y = 0, char key = 0) {
        using namespace plotx;
        bool now = marked(CMD_RECORD);
        if (now != g.scripts.recording) return "the Record mark does not show the recording";
        if (marked(CMD_PLAYBACK) != g.scripts.playing_back) return "the Playback mark does not show the playback";
        if (g.scripts.recording && (g.scripts.playing_back || g.scripts.play_one))
            return "recording and playing at once";
        if (g.scripts.stream && g.scripts.writing && !g.scripts.recording) return "a recording stream left open";
        if (now && !was_marked_) {
            transcript_.clear();
            pending_ = 0;
            recorded_ = false;
            failed_ = false;
            before_ = file();
        }
        if (now && kind == PLOTX_PERIODIC) {
            ++pending_;
            recorded_ = true;
        } else if (now && kind > 0) {
            flush_run();
            recorded_ = true;
            if (kind == PLOTX_MOUSE)
                transcript_ += "PLOTX_MOUSE(" + std::to_string(x) + ", " + std::to_string(y) + ");\n";
            else if (kind == PLOTX_KBD)
                transcript_ += "PLOTX_KBD(" + std::to_string(static_cast<int>(static_cast<signed char>(key))) + ");\n";
        }
        std::string error;
        if (was_marked_ && !now) {
            flush_run();
            std::string f = file();
            if (!recorded_) {
                if (f != before_) error = "a recording of nothing changed the file";
            } else if (failed_) {
                bool prefix = transcript_.compare(0, f.size(), f) == 0 && (f.empty() || f.back() == '\n');
                if (!prefix) error = "the file is not the complete lines recorded before the failure";
            } else if (f != transcript_) {
                error = "the file holds \"" + f + "\", not the recording \"" + transcript_ + "\"";
            }
        }
        was_marked_ = now;
        return error;
    }

    int markers_ = 0;
    bool ended_ = false;      // PLOTX_end was the last operation
    bool was_marked_ = false;
    bool recorded_ = false;   // the recording in progress got an event
    bool failed_ = false;     // a write may have failed during it
    int pending_ = 0;         // its periodic events not yet in a line
    std::string transcript_;  // its lines so far
    std::string before_;      // the file when it started
};

}  // namespace plotx_test
