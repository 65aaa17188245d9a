// state.h - the library's one process-wide record. Each group of fields belongs to the
// subsystem file named beside it; other files read them and change only what their own
// operations are defined to change. Also the internal operations the subsystems call on
// each other.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include "plotx.h"
#include "platform/window_system.h"

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
    unsigned char rich_wait = 0;  // the wait in progress is PLOTX_wait
    PointerState pointer;
    unsigned tick_ms = DEFAULT_TICK_MS;
    uint64_t begin_ms = 0;         // clock at PLOTX_begin
    uint64_t message_time = 0;     // clock at which the last dispatched message was posted
    int wheel_rest = 0;            // wheel turn short of a whole step, in WHEEL_DELTA units
    unsigned char held[KEY_CODE_LIMIT] = {};
    // Keys whose down ran a Run menu shortcut: their up is not delivered either.
    unsigned char swallowed[KEY_CODE_LIMIT] = {};
    PointerState written;          // what the recording's lines last established
};

struct TextLogRing {
    px::HGLOBAL blocks[LOG_RING_SIZE] = {};
    int head = -1;
    int tail = 0;
};

struct LibraryState {
    // windows.cpp: windows and canvas.
    px::HWND graphics_window = nullptr;
    px::HWND text_window = nullptr;
    px::HINSTANCE instance = nullptr;
    px::HDC window_dc = nullptr;
    px::HDC canvas_dc = nullptr;
    px::HBITMAP canvas_bitmap = nullptr;
    unsigned char library_open = 0;  // from PLOTX_begin to PLOTX_end
    int canvas_dirty = 1;
    int origin_x = 0, origin_y = 0;

    // event_wait.cpp: the event machinery.
    int event_slot = EVENT_NONE;
    EventRecord record;
    unsigned char animating = 0;
    unsigned char single_step = 0;
    unsigned char quit_requested = 0;
    int timer_tick = 0;
    int ctrl_down = 0;
    unsigned char play_one = 0;
    unsigned char playing_back = 0;
    unsigned char recording = 0;
    unsigned char quit_taken = 0;  // the quit message has left the queue; later waits end at once

    // input.cpp: what PLOTX_wait adds.
    InputState input;

    // run_menu.cpp
    px::HMENU run_menu = nullptr;

    // scripts.cpp
    std::FILE* script_stream = nullptr;
    int script_writing = 0;  // the stream was opened for writing (else reading)
    int pending_periodic = 0;
    long script_length = 0;                // bytes of complete lines in the recording
    long script_lines_read = 0;            // line ends the reader has passed
    long script_events_read = 0;           // events this reading stream has delivered
    unsigned char quit_at_script_end = 0;  // headless replay: post the quit when playback stops

    // text_log.cpp
    TextLogRing log_ring;

    // drawing.cpp
    unsigned char logging_on = 1;
    unsigned long commands_rendered = 0;  // every render_command call; tests count frames by it
};

extern LibraryState g;

// windows.cpp
void present_canvas();
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

// input.cpp
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
void run_command(int id);
// The graphics window's key-down handling of the Control shortcuts; true when the key
// was one of them.
bool handle_shortcut_key(unsigned key_code);
int show_text_window(int show);

// scripts.cpp
void write_script_event(int kind, const EventRecord& record);
int read_script_event();
void stop_playback();
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

// palette.cpp
int check_color(int index);
extern const px::COLORREF palette_rgb[PALETTE_SIZE];
extern const char* const palette_names[PALETTE_SIZE];

// snapshot.cpp
// PLOTX_save_canvas's work: "" when saved, else the reason, which is also logged.
std::string save_canvas(const char* path);

// Returns the library to its state at process start (windows, ring, flags), for tests.
void reset_library_for_tests();

}  // namespace plotx
