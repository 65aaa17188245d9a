// state.h - the library's one process-wide record, one nested record per subsystem, and
// the internal operations the subsystems call on each other. A field that several commands
// change is changed through one of these operations, never directly.
#pragma once
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
    // What PLOTX_wait adds: the button (or wheel steps) and key code of the new kinds.
    int button = 0;
    int key_code = 0;
};

// Key codes run below this bound (plotx.h's PLOTX_KEY_ values end at 280).
constexpr int KEY_CODE_LIMIT = 512;
constexpr unsigned DEFAULT_TICK_MS = TIMER_PERIOD_MS, MIN_TICK_MS = 10, MAX_TICK_MS = 1000;

// The pointer and modifiers as the program last saw them: set by input messages and by
// played script lines alike.
struct PointerState {
    int x = 0, y = 0;  // canvas coordinates, last known
    int mods = 0;      // PLOTX_MOD_ bits
};

struct InputState {
    int flags = 0;            // PLOTX_set_input's flags
    int wait_flags = 0;       // what the wait in progress delivers: 0 inside PLOTX_wait_event
    bool rich_wait = false;   // the wait in progress is PLOTX_wait
    PointerState pointer;
    unsigned tick_ms = DEFAULT_TICK_MS;
    uint64_t begin_ms = 0;         // clock at PLOTX_begin
    uint64_t message_time = 0;     // clock at which the last dispatched message was posted
    int wheel_rest = 0;            // wheel turn short of a whole step, in WHEEL_DELTA units
    bool held[KEY_CODE_LIMIT] = {};
    // Keys whose down ran a Run menu shortcut: their up is not delivered either.
    bool swallowed[KEY_CODE_LIMIT] = {};
    PointerState written;          // what the recording's lines last established
    bool pointer_written = false;  // this recording has its pointer line
};

struct TextLogRing {
    px::HGLOBAL blocks[LOG_RING_SIZE] = {};
    int head = -1;
    int tail = 0;
};

// Each record below belongs to the subsystem file named beside it: only that subsystem's
// operations write it (other files call those operations), any file may read it.

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
};

// event_wait.cpp and input.cpp: the event slot and its record, the animation, the keyboard.
struct EventState {
    int slot = EVENT_NONE;
    EventRecord record;
    bool animating = false;
    bool single_step = false;  // one periodic event asked for
    bool quit_requested = false;
    bool timer_tick = false;  // the timer fired since the periodic event was armed
    bool ctrl_down = false;
    bool quit_taken = false;  // the quit message has left the queue; later waits end at once
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
};

// text_log.cpp
struct TextLogState {
    TextLogRing ring;
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
    InputState input;  // input.cpp: what PLOTX_wait adds
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
// The wait both public waits share: delivers one event of the original kinds plus those
// of `flags`; rich: the caller is PLOTX_wait (pointer lines go into recordings). Returns
// the kind; *played tells whether a script gave it.
int wait_for_event(int flags, bool rich, bool* played);
px::LRESULT graphics_window_proc(px::HWND, unsigned, px::WPARAM, px::LPARAM);
// An event into the slot, from the graphics window or from a script.
void deliver_mouse(int x, int y);
void deliver_key(char key);
void deliver_periodic();
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
// Input messages beyond the left press and the typed character: updates the pointer,
// modifiers and held keys, and fills the slot when the wait in progress delivers the kind.
void handle_input_message(unsigned msg, px::WPARAM wp, px::LPARAM lp);
// Key downs and ups (plain and system), after any Control shortcut they ran.
void handle_key_message(unsigned msg, px::WPARAM wp, px::LPARAM lp, bool shortcut);
// Fills a PLOTX_Event for the event the wait delivers; played: it came from a script.
void capture_event(PLOTX_Event* event, int kind, bool played);
// A played line of an original form (PLOTX_MOUSE) moves the pointer as live input would.
void played_old_form(int kind);
// Kinds of script line beyond the delivered kinds: the pointer line, and a press of the
// middle or right button (a left press keeps the original mouse line).
constexpr int SCRIPT_POINTER = 100, SCRIPT_OTHER_PRESS = 101;
// The key code of a platform key code, 0 when the key has none.
int key_code_of(unsigned vk);
// The graphics window lost the keyboard: keys still down are released.
void release_held_keys(px::HWND hwnd);
// Script lines of the richer wait's kinds. format_input_line formats the line for one
// delivered event of a new kind, or the pointer line that must precede an event, into a
// buffer of INPUT_LINE_SIZE bytes; it returns the length, 0 for a kind with no line.
// parse_input_line reads one: 1 event placed in the slot, 2 line taken and nothing to
// deliver (a kind the program did not enable, or pointer state), 0 unrecognised.
constexpr int INPUT_LINE_SIZE = 80;
int format_input_line(char* line, size_t size, int kind, const EventRecord& record);
void write_pointer_line_if_needed(int kind);
int parse_input_line(const char* line, int n);

// run_menu.cpp
void build_run_menu(px::HWND hwnd);
// Sets or clears the check mark of a Run menu entry.
void set_mark(int id, bool on);
void run_command(int id);
// The graphics window's key-down handling of the Control shortcuts; true when the key
// was one of them.
bool handle_shortcut_key(unsigned key_code);
int show_text_window(int show);

// scripts.cpp
void write_script_event(int kind, const EventRecord& record);
int read_script_event();
void stop_playback();
// The wait's part of playback: whether a script is playing, and its next event into the
// slot (false when there was none and playback stopped).
bool script_playing();
bool play_script_event();
// The wait's part of recording: the event it is about to return (of this kind, in the
// record) written to the script, or counted if periodic; rich: the wait is PLOTX_wait,
// whose events may need a pointer line first.
void record_delivered_event(int kind, bool rich);
void run_script_command(int id);
void close_script();
// PLOTX_end's part: completes and closes a recording, stops a playback, and switches both
// off, so that nothing written afterwards can empty the file.
void end_scripts();
// With PLOTX_PLAYBACK=1 on the headless backend, starts playback of the script at
// PLOTX_begin; the program then gets PLOTX_QUIT when the script ends.
void start_playback_from_environment();

// text_log.cpp
void draw_log_line(char* text);
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
