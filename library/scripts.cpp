// scripts.cpp - event scripts: recording delivered events to "PLOTX.SCR", playing them
// back in full or one at a time, the one stream both directions share, and the Record,
// Playback and Play One commands. A recording is never lost quietly: each line reaches the
// file as it is written, the first failure ends the recording at its last complete line
// and says why, and a script is never recorded over while it plays.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "window/backend.h"
#include "host/files/files.h"
#include "state.h"

using namespace px;

namespace plotx {

namespace {

constexpr int LINE_BUFFER = 512;   // one read takes at most 511 characters
constexpr int NUMBER_BUFFER = 12;  // a number field holds at most 11 characters, sign included
constexpr int KIND_INDEX = 6;      // "PLOTX_" is six characters; the kind letter follows

bool is_digit(char c) { return c >= '0' && c <= '9'; }

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

// Converts a field of at most 11 characters: an optional '-', then digits up to the first
// other character. False when there is no digit or the field is too long. Values beyond
// int are clamped; eleven characters cannot overflow the wider accumulator.
bool convert_field(const char* start, int length, int* value) {
    if (length <= 0 || length > NUMBER_BUFFER - 1) return false;
    char field[NUMBER_BUFFER];
    std::memcpy(field, start, static_cast<size_t>(length));
    field[length] = '\0';
    const char* p = field;
    bool negative = *p == '-';
    if (negative) ++p;
    if (!is_digit(*p)) return false;
    long long v = 0;
    for (; is_digit(*p); ++p) v = v * 10 + (*p - '0');
    if (negative) v = -v;
    *value = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
    return true;
}

// A key or a count: the first run of digits after the kind letter. A key's '-' sign,
// written for keys above 127, is read back with it.
bool digit_field(const char* line, int n, bool with_sign, int* value) {
    int start = KIND_INDEX + 1;
    while (start < n && !is_digit(line[start])) ++start;
    int end = start;
    while (end < n && is_digit(line[end])) ++end;
    if (with_sign && start > KIND_INDEX + 1 && line[start - 1] == '-') --start;
    return convert_field(line + start, end - start, value);
}

// A coordinate: the next run of digits and '-' at or after *pos; *pos moves past it.
bool coordinate_field(const char* line, int n, int* pos, int* value) {
    auto in_run = [](char c) { return is_digit(c) || c == '-'; };
    int start = *pos;
    while (start < n && !in_run(line[start])) ++start;
    int end = start;
    while (end < n && in_run(line[end])) ++end;
    *pos = end;
    return convert_field(line + start, end - start, value);
}

// Fills the slot and the record from one line; false for a line outside the format
// (unknown kind letter, too short, a number missing or too long). Nothing is changed then.
bool parse_line(const char* line, int n) {
    if (n <= KIND_INDEX) return false;
    int a = 0, b = 0;
    switch (line[KIND_INDEX]) {
        case 'K':
            if (!digit_field(line, n, true, &a)) return false;
            deliver_key(static_cast<char>(static_cast<unsigned char>(a & 0xFF)));
            return true;
        case 'M': {
            int pos = KIND_INDEX + 1;
            if (!coordinate_field(line, n, &pos, &a) || !coordinate_field(line, n, &pos, &b)) return false;
            deliver_mouse(a, b);
            return true;
        }
        case 'P':
            if (!digit_field(line, n, false, &a)) return false;
            deliver_periodic();
            g.scripts.pending_periodic = a > 1 ? a - 1 : 0;  // counts 0 and 1 both deliver one event
            return true;
        default:
            return false;
    }
}

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

// Writes the run of periodic events a recording has counted as its one line.
void write_pending_periodic() {
    if (!g.scripts.recording || g.scripts.pending_periodic <= 0) return;
    write_script_event(PLOTX_PERIODIC, g.events.record);
    g.scripts.pending_periodic = 0;
}

// Each line goes to the file whole as it is written, so a program that dies keeps what it
// recorded. A line that fails may have left a fragment, which the next line would be glued
// to: the file is cut back to its last complete line and the recording ends (false).
bool write_line(const char* line, int n) {
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

}  // namespace

void write_script_event(int kind, const EventRecord& record) {
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
    char line[INPUT_LINE_SIZE];
    int n;
    switch (kind) {
        case PLOTX_MOUSE:
            n = std::snprintf(line, sizeof line, "PLOTX_MOUSE(%d, %d);\n", record.mouse_x, record.mouse_y);
            break;
        case PLOTX_KBD:
            n = std::snprintf(line, sizeof line, "PLOTX_KBD(%d);\n", static_cast<int>(static_cast<signed char>(record.key)));
            break;
        case PLOTX_PERIODIC:
            n = std::snprintf(line, sizeof line, "PLOTX_PERIODIC(%d);\n", g.scripts.pending_periodic);
            break;
        default:
            n = format_input_line(line, sizeof line, kind, record);
            if (n == 0) return;  // a quit has no line
            break;
    }
    if (hold_back_line(kind, record, line, n)) return;
    char held_back[INPUT_LINE_SIZE];
    int held_back_length = take_held_back_line(held_back, sizeof held_back);
    if (held_back_length > 0 && !write_line(held_back, held_back_length)) return;
    write_line(line, n);
}

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
        // The richer wait's lines (input.cpp): a kind the wait does not deliver, and the
        // pointer line, only change what the program can ask about; the next line is read.
        int taken = parse_line(line, n) ? 1 : parse_input_line(line, n);
        if (taken == 1) break;
        if (taken == 0) {
            long number = g.scripts.lines_read + (line[n - 1] == '\n' ? 0 : 1);
            return playback_failed("stopped at line " + std::to_string(number) + ", which it cannot read, after " +
                                   std::to_string(g.scripts.events_read) + " events: " + quoted(line, n));
        }
    }
    ++g.scripts.events_read;
    return 1;
}

void stop_playback() {
    g.scripts.playing_back = false;
    g.scripts.play_one = false;
    set_mark(CMD_PLAYBACK, false);
}

bool script_playing() { return g.scripts.play_one || g.scripts.playing_back; }

bool play_script_event() {
    g.scripts.play_one = false;
    if (read_script_event() == 1) return true;
    g.scripts.playing_back = false;
    return false;
}

void record_delivered_event(int kind, bool rich) {
    if (!g.scripts.recording) return;
    if (rich) write_pointer_line_if_needed(kind);
    if (kind == PLOTX_PERIODIC) {
        ++g.scripts.pending_periodic;
        return;
    }
    write_pending_periodic();
    bool other_press = kind == PLOTX_MOUSE && g.events.record.button > 1;
    write_script_event(other_press ? SCRIPT_OTHER_PRESS : kind, g.events.record);
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
                set_mark(CMD_RECORD, true);
                // Ticks an interrupted playback left pending were never seen by this recording,
                // and the stream it left open for reading is of no further use.
                g.scripts.pending_periodic = 0;
                if (g.scripts.stream && !g.scripts.writing) close_stream();
            }
            break;
        case CMD_PLAYBACK:
            if (g.scripts.playing_back) {
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
    if (!playback || std::strcmp(playback, "1") != 0 || !px::backend().replays_from_environment()) return;
    if (!g.scripts.playing_back) run_script_command(CMD_PLAYBACK);
    g.scripts.quit_at_script_end = g.scripts.playing_back;
}

}  // namespace plotx
