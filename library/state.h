// state.h - the library's one process-wide record, one nested record per subsystem, and
// the internal operations the subsystems call on each other. A field that several commands
// change is changed through one of these operations, never directly.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include "plotx.h"
#include "window/window_system.h"

namespace plotx {

// Run command identifiers (the Run menu's item identifiers).
enum Command {
    CMD_ANIMATE = 1, CMD_HALT, CMD_ADVANCE_FRAME, CMD_LOGGING, CMD_RECORD, CMD_PLAYBACK,
    CMD_PLAY_ONE, CMD_QUIT, CMD_INFO
};

constexpr int EVENT_NONE = -1;
constexpr int TIMER_ID = 2;
constexpr unsigned TIMER_PERIOD_MS = 100;
constexpr int LOG_RING_SIZE = 25;
constexpr const char* SCRIPT_FILE = "PLOTX.SCR";

struct EventRecord {
    int mouse_x = 0;
    int mouse_y = 0;
    char key = 0;
    // The button (or wheel steps) and the key code, which PLOTX_wait reports.
    int button = 0;
    int key_code = 0;
};

// Key codes run below this bound (plotx.h's PLOTX_KEY_ values end at 280).
constexpr int KEY_CODE_LIMIT = 512;
constexpr unsigned DEFAULT_TICK_MS = TIMER_PERIOD_MS, MIN_TICK_MS = 10, MAX_TICK_MS = 1000;
// Coordinates read from a script, and so the pointer, stay within +-COORDINATE_LIMIT: far
// beyond any window, and far enough from int's limits that adding an origin cannot overflow.
constexpr int COORDINATE_LIMIT = 1000000;
inline int clamp_coordinate(int v) {
    return v > COORDINATE_LIMIT ? COORDINATE_LIMIT : v < -COORDINATE_LIMIT ? -COORDINATE_LIMIT : v;
}

// The pointer and modifiers as the program last saw them: set by input messages and by
// played script lines alike.
struct PointerState {
    int x = 0, y = 0;  // canvas coordinates, last known
    int mods = 0;      // PLOTX_MOD_ bits
};

struct InputState {
    int flags = 0;            // PLOTX_set_input's flags
    int wait_flags = 0;       // what the wait in progress delivers: 0 inside PLOTX_wait_event
    bool describing_wait = false;  // the wait in progress is PLOTX_wait, which describes events in full
    PointerState pointer;
    unsigned tick_ms = DEFAULT_TICK_MS;
    uint64_t begin_ms = 0;         // clock at PLOTX_begin
    uint64_t message_time = 0;     // clock at which the last dispatched message was posted
    int wheel_rest = 0;            // wheel turn short of a whole step, in WHEEL_DELTA units
    bool held[KEY_CODE_LIMIT] = {};
    // Keys are tracked by physical key (px::physical_key): a key code is held while any of
    // its keys is down, and goes up with the last of them.
    bool key_down[px::PHYSICAL_KEY_LIMIT] = {};
    unsigned char keys_down[KEY_CODE_LIMIT] = {};  // physical keys down, by key code
    // Keys whose down ran a Run menu shortcut: their up is not delivered either.
    bool swallowed[px::PHYSICAL_KEY_LIMIT] = {};
    // The Control keys down ran a shortcut: their ups are not the program's input, and the
    // recording leaves them out (the live program still gets them).
    bool control_ran_shortcut = false;
    bool unrecorded_up = false;  // the key-up in the slot is one of those
};

struct TextLogRing {
    px::HGLOBAL blocks[LOG_RING_SIZE] = {};
    int head = -1;
    int tail = 0;
};

// Each record below belongs to the subsystem file named beside it: only that subsystem's
// operations write it (other files call those operations), any file may read it.
// tests/ownership/run.sh holds the same list of owners and checks every write.

// windows.cpp: the windows, the canvas and its presentation, the canvas origin.
struct WindowsState {
    px::HWND graphics_window = nullptr;
    px::HWND text_window = nullptr;
    px::HDC window_dc = nullptr;
    px::HDC canvas_dc = nullptr;
    px::HBITMAP canvas_bitmap = nullptr;
    bool library_open = false;  // from PLOTX_begin to PLOTX_end
    bool canvas_dirty = true;   // drawn on since last shown
    int origin_x = 0, origin_y = 0;
    // The graphics window's client size as it last was: kept after the window is closed, so
    // a snapshot at the end (PLOTX_SNAPSHOT) still gets what it showed.
    int client_width = 0, client_height = 0;
};

// event_wait.cpp: the event slot and its record, the animation, the Control key.
struct EventState {
    int slot = EVENT_NONE;
    EventRecord record;
    bool animating = false;
    bool single_step = false;  // one periodic event asked for
    bool quit_requested = false;
    bool timer_tick = false;  // the timer fired since the periodic event was armed
    unsigned ctrl_down = 0;  // Control keys down: bit 0 the first, bit 1 the second of the pair
    bool quit_taken = false;  // the quit message has left the queue; later waits end at once
    // Events the waits have returned since PLOTX_begin, and how many were PLOTX_PERIODIC:
    // where a log line came in a run (PLOTX_LOG_JSON).
    unsigned long delivered = 0;
    unsigned long ticks = 0;
};

// run_menu.cpp
struct RunMenuState {
    px::HMENU menu = nullptr;
};

// scripts.cpp: the script's mode and the one stream recording and playback share.
struct ScriptState {
    bool recording = false;
    bool playing_back = false;
    bool play_one = false;
    std::FILE* stream = nullptr;
    bool writing = false;             // the stream was opened for writing (else reading)
    int pending_periodic = 0;         // periodic events counted and not yet written, or still to play
    long length = 0;                  // bytes of complete lines in the recording
    long lines_read = 0;              // line ends the reader has passed
    long events_read = 0;             // events this reading stream has delivered
    bool quit_at_script_end = false;  // headless replay: post the quit when playback stops
    bool paced = false;               // a replay to be watched: played ticks wait for the timer
    PointerState recorded_pointer;    // the pointer and modifiers the recording's lines last established
    bool has_pointer_line = false;    // this recording has its pointer line
    // A Control key's down, held back from the recording until the next line: if it turns
    // out to be half of a Run menu shortcut it never reaches the file.
    char held_back_line[80] = {};
    int held_back_length = 0;
};

// text_log.cpp
struct TextLogState {
    TextLogRing ring;
    std::FILE* json = nullptr;  // PLOTX_LOG_JSON's file, opened at the first line
    bool json_tried = false;
};

// drawing.cpp
struct DrawingState {
    bool logging_on = true;
};

// capture.cpp: the animated GIF being captured (its pictures are held in capture.cpp).
struct CaptureState {
    std::FILE* stream = nullptr;  // open while a capture is in progress
    std::string path;
    long length = 0;               // bytes of the complete frames, the trailer not counted
    long frames = 0;               // frames in the file
    uint64_t start_ms = 0;         // the capture's clock when it began
    uint64_t played_ms = 0;        // replayed periodic events, one tick each (see capture_clock)
    bool from_environment = false; // PLOTX_GIF began it
    bool environment_failed = false;  // PLOTX_GIF's capture could not begin or was cut short
};

struct LibraryState {
    WindowsState windows;
    EventState events;
    InputState input;  // input.cpp: the pointer, modifiers, held keys, input flags and tick
    RunMenuState run_menu;
    ScriptState scripts;
    TextLogState text_log;
    DrawingState drawing;
    CaptureState capture;
};

extern LibraryState g;

struct DrawCommand;

// What the library counts only for tests and benchmarks to read.
struct TestHook {
    unsigned long commands_rendered = 0;  // every render_command call
    void (*command_seen)(const DrawCommand&) = nullptr;  // told of each command before it is drawn
    void (*presented)() = nullptr;  // told each time the canvas is copied to the graphics window
};
extern TestHook test_hook;

// windows.cpp
void present_canvas();
void mark_canvas_dirty();  // the canvas was drawn on: the next pass presents it
void update_origin(px::HWND hwnd);
void repaint_graphics_window(px::HWND hwnd);

// event_wait.cpp
// 0 when it took no message, 1 when it dispatched one, 2 when it took the quit message.
int pump_one_message();
// The wait both public waits share: delivers one event of PLOTX_wait_event's kinds plus
// those of `flags`; describing: the caller is PLOTX_wait (pointer lines go into
// recordings). Returns the kind; *played tells whether a script gave it.
int wait_for_event(int flags, bool describing, bool* played);
px::LRESULT graphics_window_proc(px::HWND, unsigned, px::WPARAM, px::LPARAM);
// An event into the slot, from the graphics window or from a script: a press (button 1
// left, 2 middle, 3 right), a typed byte, a tick, or one of the kinds PLOTX_set_input
// enables (with its button or wheel steps, or its key code).
void deliver_mouse(int x, int y, int button);
void deliver_key(char key);
void deliver_periodic();
void deliver_input_event(int kind, int button, int key_code);
// The animation: on or off (a frame already asked for still comes), one frame, or
// stopped altogether (no frame either).
void switch_animation(bool on);
void request_one_frame();
void stop_animation();
// A Control key released where the library cannot see it is taken as released.
void forget_control_key();
// PLOTX_begin's part: no animation, and waits take messages again.
void open_events();

// input.cpp
// PLOTX_begin's part: no input kinds enabled, the default tick, the clock's start.
void open_input();
// The wait's part: what the wait in progress delivers, from its start to its end, and the
// clock of each message it takes.
void begin_input_wait(int flags, bool describing);
void end_input_wait();
void note_message_time(uint64_t time);
// Whether the wait in progress delivers the kinds of a PLOTX_INPUT_ flag.
bool wait_delivers(int flag);
// What a played script line establishes: the pointer (clamped to +-COORDINATE_LIMIT),
// the modifiers, a key held or released.
void set_pointer(int x, int y);
void set_modifiers(int mods);
void set_key_held(int code, bool down);
// Input messages beyond the left press and the typed character: updates the pointer,
// modifiers and held keys, and fills the slot when the wait in progress delivers the kind.
void handle_input_message(unsigned msg, px::WPARAM wp, px::LPARAM lp);
// Key downs and ups (plain and system), after any Control shortcut they ran.
void handle_key_message(unsigned msg, px::WPARAM wp, px::LPARAM lp, bool shortcut);
// Fills a PLOTX_Event for the event the wait delivers; played: it came from a script.
void capture_event(PLOTX_Event* event, int kind, bool played);
// The key code of a platform key code, 0 when the key has none.
int key_code_of(unsigned vk);
// Whether some key has this key code.
bool is_key_code(int code);
// The key-up just delivered is the last Control key of a shortcut, which the recording
// leaves out; asking forgets it.
bool take_unrecorded_key_up();
// The graphics window lost the keyboard: keys still down are released.
void release_held_keys(px::HWND hwnd);

// run_menu.cpp
void build_run_menu(px::HWND hwnd);
// Sets or clears the check mark of a Run menu entry.
void set_mark(int id, bool on);
void run_command(int id);
// The graphics window's key-down handling of the Control shortcuts; true when the key
// was one of them.
bool handle_shortcut_key(unsigned key_code);
int show_text_window(int show);

// scripts.cpp (its line grammar is script_lines.h)
// Drops a Control key's down held back from the recording (a shortcut ran).
void forget_held_back_line();
void stop_playback();
// The wait's part of playback: whether a script is playing, and its next event into the
// slot (false when there was none and playback stopped).
bool script_playing();
// A replay to be watched (PLOTX_PLAYBACK=1 where the user takes over at the end) plays each
// tick at the timer's pace, as it was recorded; any other playback plays at once.
bool playback_paced();
bool play_script_event();
// The wait's part of recording: the event it is about to return (of this kind, in the
// record) written to the script, or counted if periodic; describing: the wait is
// PLOTX_wait, whose events may need a pointer line first.
void record_delivered_event(int kind, bool describing);
// A key that went down or up in PLOTX_wait without being delivered: PLOTX_key_held tells
// of it, so the recording keeps it.
void record_undelivered_key(bool down, int code);
void run_script_command(int id);
void close_script();
// PLOTX_end's part: completes and closes a recording, stops a playback, and switches both
// off, so that nothing written afterwards can empty the file.
void end_scripts();
// With PLOTX_PLAYBACK=1 on a backend that replays from the environment (headless, the
// page), starts playback of the script at PLOTX_begin; headless, the program then gets
// PLOTX_QUIT when the script ends.
void start_playback_from_environment();

// text_log.cpp
void draw_log_line(char* text);
// printf into a FORMAT_BUFFER_SIZE buffer, for PLOTX_log and PLOTX_draw_formatted_text: the
// count the formatting produced (which may exceed what the buffer kept), or 0 with an empty
// buffer for a null format or a formatting error.
int format_line(char (&buffer)[FORMAT_BUFFER_SIZE], const char* format, va_list args);
// Frees the ring's lines and closes the JSON log (for reset_library_for_tests).
void free_log_ring();
// Standard error (the log's echo, the library's own reports), written so that a closed pipe
// there ends the writing and never the program: after the first failure nothing more goes.
void write_standard_error(const char* text, size_t n);
// PLOTX_begin's part: PLOTX_LOG_JSON's file, made (empty) at once so a run that logs nothing
// still leaves one.
void open_json_log();
px::LRESULT text_window_proc(px::HWND, unsigned, px::WPARAM, px::LPARAM);

// drawing.cpp
// What a drawing operation hands to the renderer. Fields are 32-bit except y2, which a
// text command uses for the handle of the block holding its text.
enum DrawKind { DRAW_TRIANGLE = 0, DRAW_RECTANGLE, DRAW_ELLIPSE, DRAW_LINE, DRAW_PIXEL, DRAW_TEXT };
struct DrawCommand {
    int kind = DRAW_TRIANGLE;
    int color = 0;
    int width = 0;
    int x1 = 0, y1 = 0, x2 = 0;
    intptr_t y2 = 0;
    int x3 = 0, y3 = 0;
};
void render_command(const DrawCommand& command);
void set_logging(bool on);

// palette.cpp
int check_color(int index);
extern const px::COLORREF palette_rgb[PALETTE_SIZE];
extern const char* const palette_names[PALETTE_SIZE];

// snapshot.cpp
// PLOTX_save_canvas's work: "" when saved, else the reason, which is also logged.
std::string save_canvas(const char* path);

// capture.cpp
// The graphics window shows a new image (the canvas was copied to it): a frame, unless it
// shows what it showed before.
void capture_presented();
// The wait delivers an event; played: a script gave it. A played periodic event takes its
// tick on the capture's clock, so a replay's animation keeps the recording's pace.
void capture_event_delivered(int kind, bool played);
// PLOTX_begin's part: PLOTX_GIF=file.gif begins a capture.
void start_capture_from_environment();
// PLOTX_end's part, and the lost display's: completes a capture in progress. False when
// PLOTX_GIF's capture could not begin or was cut short (standard error has said why).
bool end_capture();

// Returns the library to its state at process start (windows, ring, flags), for tests.
void reset_library_for_tests();

}  // namespace plotx
