// scripts.cpp - event scripts: recording delivered events to "PLOTX.SCR" (which line each
// event records as), playing them back in full or one at a time (what each line does), the
// one stream both directions share, and the Record, Playback and Play One commands. The
// lines' text is script_lines.cpp's. A recording is never lost quietly: each line reaches the
// file as it is written, the first failure ends the recording at its last complete line
// and says why, and a script is never recorded over while it plays.
// Sections: lines and events (what a played line does, which line an event records as);
// the stream (modes, the writer, the reader); the operations the wait and the commands call.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "window/backend.h"
#include "host/files/files.h"
#include "script_lines.h"
#include "state.h"

using namespace px;

namespace plotx {

namespace {

constexpr int LINE_BUFFER = 512;  // one read takes at most 511 characters

// Playback could not go on. Stops it; a headless replay started from the environment
// ends the program here, so CI runs finish when their script does, and tells its user
// how it ended on standard error (`how` completes "plotx: replay of PLOTX.SCR ...").
int playback_failed(const std::string& how) {
    stop_playback();
    if (g.scripts.quit_at_script_end) {
        g.scripts.quit_at_script_end = false;
        std::string line = std::string("plotx: replay of ") + SCRIPT_FILE + " " + how + "\n";
        write_standard_error(line.data(), line.size());
        PostQuitMessage(0);
    }
    return 0;
}

// A line as the replay's report quotes it: without its line end, other control bytes and
// quotes escaped.
std::string quoted(const char* line, int n) {
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
    std::string out = "\"";
    for (int i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// One piece of a line: up to and including its line feed, at most 511 characters.
// Returns how many characters were read, 0 at the end of the file or on a read error.
// The count, not a terminator, bounds the piece, so a NUL byte in the file is just an
// unrecognised character.
int read_piece(std::FILE* stream, char* buffer) {
    int n = 0;
    while (n < LINE_BUFFER - 1) {
        int c = std::getc(stream);
        if (c == EOF) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = '\0';
    return n;
}

bool is_empty_line(const char* line, int n) {
    return (n == 1 && line[0] == '\n') || (n == 2 && line[0] == '\r' && line[1] == '\n');
}

// --- Lines and events --------------------------------------------------------------------

// What a played line does. Its event goes into the slot, and the pointer, modifiers and
// held keys it establishes are set, through the operations of the subsystems that own
// them. False when it delivers nothing to this wait (a kind the program has not enabled, a
// wheel line of no steps, the pointer line): the next line is read then.
bool play_line(const ScriptLine& line) {
    const int* v = line.values;
    auto pointer_at = [v](int mods) {
        set_pointer(v[0], v[1]);
        set_modifiers(mods);
    };
    switch (line.form) {
        case LINE_MOUSE:
            // A played press moves the pointer, as a live one does; this line is the left button's.
            deliver_mouse(v[0], v[1], 1);
            set_pointer(v[0], v[1]);
            return true;
        case LINE_KBD: deliver_key(static_cast<char>(static_cast<unsigned char>(v[0] & 0xFF))); return true;
        case LINE_PERIODIC:
            deliver_periodic();
            g.scripts.pending_periodic = v[0] > 1 ? v[0] - 1 : 0;  // counts 0 and 1 both deliver one event
            return true;
        case LINE_AT: pointer_at(v[2]); return false;
        case LINE_DOWN_BUTTON:
            pointer_at(v[3]);
            if (!wait_delivers(PLOTX_INPUT_BUTTONS)) return false;
            deliver_mouse(v[0], v[1], v[2]);
            return true;
        case LINE_UP_BUTTON:
            pointer_at(v[3]);
            if (!wait_delivers(PLOTX_INPUT_BUTTONS)) return false;
            deliver_input_event(PLOTX_MOUSE_UP, v[2], 0);
            return true;
        case LINE_CURSOR:
            pointer_at(v[2]);
            if (!wait_delivers(PLOTX_INPUT_MOTION)) return false;
            deliver_input_event(PLOTX_MOUSE_MOVE, 0, 0);
            return true;
        case LINE_WHEEL:
            pointer_at(v[3]);
            if (!wait_delivers(PLOTX_INPUT_WHEEL) || v[2] == 0) return false;
            deliver_input_event(PLOTX_WHEEL, v[2], 0);
            return true;
        case LINE_DOWN_KEY:
        case LINE_UP_KEY: {
            bool down = line.form == LINE_DOWN_KEY;
            set_modifiers(v[1]);
            set_key_held(v[0], down);
            if (!wait_delivers(PLOTX_INPUT_KEYS)) return false;
            deliver_input_event(down ? PLOTX_KEY_DOWN : PLOTX_KEY_UP, 0, v[0]);
            return true;
        }
        default: return false;
    }
}

// The line a delivered event records as; false for an event that has none (the quit)
// and for a tick, which is counted into a run (write_pending_periodic).
bool line_of_event(int kind, ScriptLine* line) {
    const EventRecord& r = g.events.record;
    const PointerState& p = g.input.pointer;
    switch (kind) {
        case PLOTX_MOUSE:
            // A left press keeps the classic line; the others say which button.
            if (r.button > 1) *line = {LINE_DOWN_BUTTON, {p.x, p.y, r.button, p.mods}};
            else *line = {LINE_MOUSE, {r.mouse_x, r.mouse_y}};
            return true;
        case PLOTX_KBD: *line = {LINE_KBD, {static_cast<int>(static_cast<signed char>(r.key))}}; return true;
        case PLOTX_MOUSE_UP: *line = {LINE_UP_BUTTON, {p.x, p.y, r.button, p.mods}}; return true;
        case PLOTX_MOUSE_MOVE: *line = {LINE_CURSOR, {p.x, p.y, p.mods}}; return true;
        case PLOTX_WHEEL: *line = {LINE_WHEEL, {p.x, p.y, r.button, p.mods}}; return true;
        case PLOTX_KEY_DOWN: *line = {LINE_DOWN_KEY, {r.key_code, p.mods}}; return true;
        case PLOTX_KEY_UP: *line = {LINE_UP_KEY, {r.key_code, p.mods}}; return true;
        default: return false;
    }
}

// --- The stream --------------------------------------------------------------------------

// Recording and playing at once would truncate the script being played: the second
// command asked for is refused.
void refuse_recording() { PLOTX_log("Cannot record script file %s while it is being played back\n", SCRIPT_FILE); }
void refuse_playback() { PLOTX_log("Cannot play back script file %s while it is being recorded\n", SCRIPT_FILE); }

void stop_recording() {
    g.scripts.recording = false;
    set_mark(CMD_RECORD, false);
}

// Recording ends without writing anything more: the writer calls this when the file
// cannot be opened or written.
void end_recording() {
    stop_recording();
    g.scripts.pending_periodic = 0;
}

void start_playback() {
    stop_animation();
    g.scripts.playing_back = true;
    set_mark(CMD_PLAYBACK, true);
}

// Closes the stream and nothing more: never writes, so the writer may call it.
void close_stream() {
    if (!g.scripts.stream) return;
    if (std::fclose(g.scripts.stream) != 0 && g.scripts.writing)
        PLOTX_log("Cannot close script file %s: the recording may be incomplete\n", SCRIPT_FILE);
    g.scripts.stream = nullptr;
    g.scripts.writing = false;
}

// Each line goes to the file whole as it is written, so a program that dies keeps what it
// recorded. A line that fails may have left a fragment, which the next line would be glued
// to: the file is cut back to its last complete line and the recording ends (false).
bool write_text_line(const char* line, int n) {
    std::string reason;
    if (sys::write_text(g.scripts.stream, line, static_cast<size_t>(n), &reason)) {
        g.scripts.length += n;
        return true;
    }
    std::string cut_reason;
    if (sys::cut_file(g.scripts.stream, g.scripts.length, &cut_reason))
        PLOTX_log("Cannot write to script file %s: %s; recording stopped at its last complete line\n", SCRIPT_FILE,
                  reason.c_str());
    else
        PLOTX_log("Cannot write to script file %s: %s; recording stopped, its last line may be cut short (%s)\n",
                  SCRIPT_FILE, reason.c_str(), cut_reason.c_str());
    end_recording();
    close_stream();
    return false;
}

// The Run menu shortcuts' keys are not the program's input: a Control key's down is held
// back until the next line (dropped if it turns out to be half of a shortcut), and the up of
// a Control key that ran one never reaches the file. True when the line is kept out for now.
bool hold_back(const ScriptLine& script_line, const char* line, int n) {
    const bool control = script_line.values[0] == PLOTX_KEY_CONTROL;
    if (script_line.form == LINE_UP_KEY && control && take_unrecorded_key_up()) return true;
    if (script_line.form != LINE_DOWN_KEY || !control || n <= 0 ||
        n >= static_cast<int>(sizeof g.scripts.held_back_line))
        return false;
    std::memcpy(g.scripts.held_back_line, line, static_cast<size_t>(n));
    g.scripts.held_back_length = n;
    return true;
}

// Writes a line to the recording, opening its file first if need be. The file is opened
// at the recording's first event whether or not that event has a line (a quit has none).
void write_line(const ScriptLine* script_line) {
    // A recording that a failure ended writes nothing more, even the event in hand.
    if (!g.scripts.recording) return;
    // A stream a finished playback left open for reading would swallow the recording. It
    // is only closed here: closing the script would write the pending run, through here.
    if (g.scripts.stream && !g.scripts.writing) close_stream();
    std::string reason;
    if (!g.scripts.stream) {
        g.scripts.stream = sys::open_script(SCRIPT_FILE, true, &reason);
        if (!g.scripts.stream) {
            PLOTX_log("Cannot open script file %s for writing: %s\n", SCRIPT_FILE, reason.c_str());
            end_recording();
            return;
        }
        g.scripts.writing = true;
        g.scripts.length = 0;
        forget_held_back_line();  // a Control down from before this recording
    }
    if (!script_line) return;
    char line[SCRIPT_LINE_SIZE];
    int n = format_script_line(*script_line, line, sizeof line);
    if (hold_back(*script_line, line, n)) return;
    if (g.scripts.held_back_length > 0) {
        char held[SCRIPT_LINE_SIZE];
        const int held_n = g.scripts.held_back_length;
        std::memcpy(held, g.scripts.held_back_line, static_cast<size_t>(held_n));
        g.scripts.held_back_length = 0;
        if (!write_text_line(held, held_n)) return;
    }
    write_text_line(line, n);
}

void write_event_line(int kind) {
    ScriptLine line{};
    write_line(line_of_event(kind, &line) ? &line : nullptr);
}

// Writes the run of periodic events a recording has counted as its one line. The only
// writer of that line: every other line first calls this.
void write_pending_periodic() {
    if (!g.scripts.recording || g.scripts.pending_periodic <= 0) return;
    ScriptLine line{LINE_PERIODIC, {g.scripts.pending_periodic}};
    write_line(&line);
    g.scripts.pending_periodic = 0;
}

// Under PLOTX_wait the pointer line comes before an event whose own line does not say
// where the pointer is, or which modifiers are held, when they changed since the last
// line; a recording opens with one, whatever the replay starts from.
void write_pointer_line_if_needed(int kind) {
    if (kind == PLOTX_QUIT) return;
    const PointerState& now = g.input.pointer;
    PointerState& last = g.scripts.recorded_pointer;
    bool line_has_position =
        kind == PLOTX_MOUSE || kind == PLOTX_MOUSE_UP || kind == PLOTX_MOUSE_MOVE || kind == PLOTX_WHEEL;
    bool line_has_mods = kind != PLOTX_MOUSE && kind != PLOTX_KBD && kind != PLOTX_PERIODIC;
    if (kind == PLOTX_MOUSE && g.events.record.button > 1) line_has_mods = true;
    bool need = !g.scripts.has_pointer_line || (!line_has_position && (now.x != last.x || now.y != last.y)) ||
                (!line_has_mods && now.mods != last.mods);
    if (need) {
        write_pending_periodic();
        ScriptLine line{LINE_AT, {now.x, now.y, now.mods}};
        write_line(&line);
        g.scripts.has_pointer_line = true;
    }
    last = now;
}

// Puts the script's next event in the slot: 1 when it did, 0 when playback stopped.
int read_script_event() {
    if (g.scripts.stream && g.scripts.writing) {
        // Recording and playback refuse each other, so this is a stream nobody can read.
        PLOTX_log("Cannot read script file %s while it is being recorded\n", SCRIPT_FILE);
        return playback_failed("stopped: the script is being recorded");
    }
    if (!g.scripts.stream) {
        std::string reason;
        g.scripts.stream = sys::open_script(SCRIPT_FILE, false, &reason);
        if (!g.scripts.stream) {
            PLOTX_log("Cannot open script file %s for reading: %s\n", SCRIPT_FILE, reason.c_str());
            return playback_failed("failed: cannot open it: " + reason);
        }
        g.scripts.writing = false;
        g.scripts.lines_read = 0;
        g.scripts.events_read = 0;
    }
    if (g.scripts.pending_periodic > 0) {
        --g.scripts.pending_periodic;
        deliver_periodic();
        ++g.scripts.events_read;
        return 1;
    }
    char line[LINE_BUFFER];
    int n;
    for (;;) {
        do {
            errno = 0;
            n = read_piece(g.scripts.stream, line);
            if (n == 0) {
                if (std::ferror(g.scripts.stream)) {
                    std::string reason = std::strerror(errno ? errno : EIO);
                    std::clearerr(g.scripts.stream);
                    PLOTX_log("Cannot read script file %s: %s\n", SCRIPT_FILE, reason.c_str());
                    return playback_failed("failed after " + std::to_string(g.scripts.events_read) +
                                           " events: cannot read it: " + reason);
                }
                PLOTX_log("EOF encountered in script file %s\n", SCRIPT_FILE);
                return playback_failed("ended at the end of the file after " +
                                       std::to_string(g.scripts.events_read) + " events");
            }
            if (line[n - 1] == '\n') ++g.scripts.lines_read;
        } while (is_empty_line(line, n));
        ScriptLine script_line;
        if (!parse_script_line(line, n, &script_line)) {
            long number = g.scripts.lines_read + (line[n - 1] == '\n' ? 0 : 1);
            return playback_failed("stopped at line " + std::to_string(number) + ", which it cannot read, after " +
                                   std::to_string(g.scripts.events_read) + " events: " + quoted(line, n));
        }
        if (play_line(script_line)) break;
    }
    ++g.scripts.events_read;
    return 1;
}

}  // namespace

// --- What the wait and the commands call -------------------------------------------------

void stop_playback() {
    g.scripts.paced = false;
    g.scripts.playing_back = false;
    g.scripts.play_one = false;
    set_mark(CMD_PLAYBACK, false);
}

bool script_playing() { return g.scripts.play_one || g.scripts.playing_back; }

bool playback_paced() { return g.scripts.paced && g.scripts.playing_back; }

bool play_script_event() {
    g.scripts.play_one = false;
    if (read_script_event() == 1) return true;
    g.scripts.playing_back = false;
    return false;
}

void record_delivered_event(int kind, bool describing) {
    if (!g.scripts.recording) return;
    if (describing) write_pointer_line_if_needed(kind);
    if (kind == PLOTX_PERIODIC) {
        ++g.scripts.pending_periodic;
        return;
    }
    write_pending_periodic();
    write_event_line(kind);
}

void forget_held_back_line() { g.scripts.held_back_length = 0; }

void record_undelivered_key(bool down, int code) {
    if (!g.scripts.recording) return;
    write_pending_periodic();
    ScriptLine line{down ? LINE_DOWN_KEY : LINE_UP_KEY, {code, g.input.pointer.mods}};
    write_line(&line);
    g.scripts.recorded_pointer.mods = g.input.pointer.mods;
}

void run_script_command(int id) {
    switch (id) {
        case CMD_RECORD:
            if (g.scripts.recording) {
                write_pending_periodic();
                stop_recording();
                close_script();
            } else if (g.scripts.playing_back || g.scripts.play_one) {
                refuse_recording();
            } else if (sys::script_locked(SCRIPT_FILE)) {
                // Two recordings into one file would destroy each other's lines.
                PLOTX_log("Cannot record script file %s: %s\n", SCRIPT_FILE, sys::SCRIPT_LOCKED);
            } else {
                g.scripts.recording = true;
                g.scripts.has_pointer_line = false;
                set_mark(CMD_RECORD, true);
                // Ticks an interrupted playback left pending were never seen by this recording,
                // and the stream it left open for reading is of no further use.
                g.scripts.pending_periodic = 0;
                if (g.scripts.stream && !g.scripts.writing) close_stream();
            }
            break;
        case CMD_PLAYBACK:
            if (g.scripts.playing_back) {
                g.scripts.paced = false;
                g.scripts.playing_back = false;
                set_mark(CMD_PLAYBACK, false);
                close_script();
            } else if (g.scripts.recording) {
                refuse_playback();
            } else {
                start_playback();
            }
            break;
        case CMD_PLAY_ONE:
            if (g.scripts.recording) {
                refuse_playback();
            } else {
                g.scripts.play_one = true;
                stop_animation();
            }
            break;
        default:
            break;
    }
}

void close_script() {
    // A program that ends while recording, without a quit event, keeps its last ticks.
    write_pending_periodic();
    close_stream();
}

void end_scripts() {
    close_script();
    // Closed means closed: an event waited for after this could otherwise open the file
    // again and empty the finished recording.
    if (g.scripts.recording) stop_recording();
    stop_playback();
    g.scripts.pending_periodic = 0;
}

void start_playback_from_environment() {
    const char* playback = std::getenv("PLOTX_PLAYBACK");
    using Mode = px::Backend::EnvironmentPlayback;
    const Mode mode = px::backend().environment_playback();
    if (!playback || std::strcmp(playback, "1") != 0 || mode == Mode::NONE) return;
    if (!g.scripts.playing_back) run_script_command(CMD_PLAYBACK);
    g.scripts.quit_at_script_end = g.scripts.playing_back && mode == Mode::THEN_QUIT;
    g.scripts.paced = g.scripts.playing_back && mode == Mode::THEN_USER;
}

}  // namespace plotx
