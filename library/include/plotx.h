/* plotx.h - the public interface of the PLOTX graphics library, and its reference.
 * C-callable: the library is written in C++ but everything here is plain C (C89 to C++20).
 * Every declaration says what it does, its arguments, its result and what it logs. */
#ifndef PLOTX_H
#define PLOTX_H

/**
 * @file plotx.h
 * @brief The whole programming interface of PLOTX: opening, the event wait, drawing.
 *
 * A program opens the library with PLOTX_begin(), draws into the canvas and loops around
 * PLOTX_wait_event(), which blocks until the next event: a mouse press, a typed character,
 * a periodic animation tick or quit. It ends with PLOTX_end().
 *
 * @code
 * #include <plotx.h>
 *
 * int main(void) {
 *     int x = 0, y = 0, kind = 0;
 *     char key;
 *     PLOTX_begin(0, 0, "", 1);              // opens the graphics and text windows
 *     PLOTX_set_animation(RUN_ANIMATE);      // one PLOTX_PERIODIC event per 100 ms tick
 *     while (kind != PLOTX_QUIT) {
 *         kind = PLOTX_wait_event(&x, &y, &key);
 *         PLOTX_clear_canvas();
 *         PLOTX_draw_circle(YELLOW, x, y, 20); // where the mouse was last pressed
 *     }
 *     return PLOTX_end() ? 0 : 1;            // PLOTX_end returns 1 when all went well
 * }
 * @endcode
 *
 * **Coordinates.** Canvas coordinates are integer pixels with the origin in the middle of
 * the graphics window's drawing area, x to the right and y up. The window shows
 * x from #VISIBLE_LEFT to #VISIBLE_RIGHT and y from #VISIBLE_BOTTOM to #VISIBLE_TOP
 * (-297..297 by -246..246); drawing outside that area is allowed and simply not seen.
 *
 * **Bad arguments are never errors.** A negative radius, width or point size, a point size
 * over #MAX_POINT_SIZE or a colour outside the palette is corrected, and the library writes
 * one line saying so to its text window (the log), then goes on. Corrections are logged
 * always; the description of each drawing operation only while logging is on
 * (PLOTX_set_logging()).
 *
 * **The Run menu.** The graphics window has a Run menu through which the user (not the
 * program) animates, halts, single-steps, switches logging, records and plays back event
 * scripts and quits. Each entry has a Control-key shortcut: Ctrl+A animate, Ctrl+H halt,
 * Ctrl+F advance one frame, Ctrl+L logging, Ctrl+R record script, Ctrl+P playback script,
 * Ctrl+O play one script event, Ctrl+Q quit. Commands act only while the program is inside
 * PLOTX_wait_event(); the program sees them only through the events that follow.
 *
 * **Scripts.** Record Script writes every delivered event to the file `PLOTX.SCR` in the
 * current directory, one line each, in one of three forms:
 * `PLOTX_MOUSE(x, y);` (canvas coordinates), `PLOTX_KBD(k);` (the key byte as a signed
 * number, -128..127) and `PLOTX_PERIODIC(n);` (a run of n consecutive ticks). Quit is
 * never written. Playback delivers the file's events in place of live input, one per wait;
 * empty lines are skipped and playback stops at the end of the file or at a line whose
 * seventh character is not M, K or P. The script must be a regular file. When it cannot be
 * written, the log says why and Record switches itself off; a write that fails midway (a
 * full disk) leaves the file cut back to its last complete line.
 *
 * **Environment.**
 * - `PLOTX_BACKEND=desktop` opens real windows (the default when `DISPLAY` is set);
 *   `PLOTX_BACKEND=headless` runs with no display on a virtual clock, so ticks cost no time.
 *   A headless run that waits for input that can never come (animation halted, no script
 *   playing) ends with #PLOTX_QUIT at once in real time (its virtual clock may still move on
 *   to the next timer); an animated one ends with #PLOTX_QUIT after ten
 *   minutes of virtual time (6000 ticks) without input. Either way a line on standard error
 *   says so.
 * - `PLOTX_SCALE=1..4` shows both desktop windows at that whole scale: each canvas pixel a
 *   crisp block of s x s screen pixels, the menu bar's and menus' fonts s times larger.
 *   Without it the scale follows the desktop: on X `GDK_SCALE` when set, else the `Xft.dpi`
 *   resource; on Windows the screen's DPI (the process declares itself DPI-aware, so Windows
 *   never stretches its windows). A DPI is rounded to the nearest multiple of 96 with halves
 *   rounding up (96 dpi gives 1, 120 dpi = 125 % gives 1, 144 dpi = 150 % gives 2, 192 dpi
 *   gives 2). In the web page the scale is the screen's pixel ratio rounded the same way (or
 *   `?PLOTX_SCALE=1..4`), each canvas pixel shown as s x s device pixels.
 *   Whatever the scale, the program sees canvas pixels only: mouse positions (a press
 *   anywhere in a block is that pixel), PLOTX_mouse_position(), scripts, snapshots and
 *   GIFs are the same as at scale 1. Headless runs ignore the scale.
 * - `PLOTX_LOG_ECHO=1` also writes every log line to standard error.
 * - `PLOTX_LOG_JSON=file` also writes the log to file (made afresh at PLOTX_begin()) as JSON
 *   Lines, one object a line: `{"event":N,"tick":T,"text":"..."}`, where N is the number of
 *   events the waits had returned when the line was logged and T how many of them were
 *   #PLOTX_PERIODIC; bytes other than printable ASCII are written as JSON escapes.
 * - With the desktop backend, SIGINT and SIGTERM end the program as closing the graphics
 *   window does (its wait returns #PLOTX_QUIT, and PLOTX_end() completes a recording),
 *   unless the program handles the signal itself; a second one ends it at once.
 *   `PLOTX_NO_SIGNAL_HANDLERS=1` leaves both signals alone. When the X connection is lost
 *   the library completes a recording before the process ends with status 1.
 * - `PLOTX_PLAYBACK=1` (headless) plays `PLOTX.SCR` from PLOTX_begin() on and quits
 *   when the script ends, with one line on standard error saying how it ended (the end of
 *   the file after N events, the line it stopped at, or why the script could not be read).
 *   In the web page (`?playback=1`) it plays the script from PLOTX_begin() on with each
 *   #PLOTX_PERIODIC event at the timer's pace, as recorded, and the user takes over at its
 *   end; elsewhere it is ignored.
 * - `PLOTX_SNAPSHOT=file.png` saves the canvas as by PLOTX_save_canvas() when the program
 *   calls PLOTX_end().
 * - `PLOTX_GIF=file.gif` captures an animated GIF, as PLOTX_start_capture() does, from
 *   PLOTX_begin() to PLOTX_end(), which completes it (also when SIGINT, SIGTERM or a lost X
 *   connection ends the run). When it cannot start or is cut short, a line on standard error
 *   says why and PLOTX_end() returns 0. With `PLOTX_PLAYBACK=1` and `PLOTX_SEED` this turns a
 *   recorded session into its animation, the same bytes every time.
 */

#ifdef __cplusplus
extern "C" {
#endif

/** @name Canvas and visible area
 * The canvas image is #CANVAS_WIDTH by #CANVAS_HEIGHT pixels, which is also the outer size of
 * the graphics window, frame, caption and menu bar included. The part the window shows (its
 * client area, 595 by 493 pixels) is smaller: in canvas coordinates it runs from
 * #VISIBLE_LEFT to #VISIBLE_RIGHT and from #VISIBLE_BOTTOM to #VISIBLE_TOP, both ends
 * included. Keep what must be seen inside these; a ball bounced off +-CANVAS_WIDTH/2
 * leaves the screen.
 * @{ */
#define CANVAS_WIDTH  601     /**< Width of the canvas image and of the window's outer frame, in pixels. */
#define CANVAS_HEIGHT 540     /**< Height of the canvas image and of the window's outer frame, in pixels. */
#define VISIBLE_LEFT   (-297) /**< Smallest canvas x the window shows. */
#define VISIBLE_RIGHT  297    /**< Largest canvas x the window shows. */
#define VISIBLE_BOTTOM (-246) /**< Smallest canvas y the window shows. */
#define VISIBLE_TOP    246    /**< Largest canvas y the window shows. */
#define VISIBLE_WIDTH  595    /**< Number of canvas columns the window shows (VISIBLE_RIGHT - VISIBLE_LEFT + 1). */
#define VISIBLE_HEIGHT 493    /**< Number of canvas rows the window shows (VISIBLE_TOP - VISIBLE_BOTTOM + 1). */
/** @} */

/** @name Event kinds
 * Results of PLOTX_wait_event(); the same numbers name the kinds of script lines.
 * @{ */
#define PLOTX_MOUSE    1 /**< The left mouse button was pressed on the canvas; x, y say where. */
/** A character was typed (with Control not held); the key says which. The key is the
 * byte the key types: printable characters as themselves, Enter 13, Backspace 8, Tab 9,
 * Escape 27, Latin-1 letters as their Latin-1 byte (negative when char is signed). Keys
 * that type nothing (arrows, function keys, Delete, Shift, Control, Alt) deliver no event;
 * Control with a letter is a Run menu shortcut and delivers none either. */
#define PLOTX_KBD      2
/** An animation tick: at most one per tick (100 ms unless PLOTX_set_tick() says otherwise),
 * while animating or single-stepping. */
#define PLOTX_PERIODIC 3
#define PLOTX_QUIT     4 /**< The window was closed, Quit was chosen, or RUN_REQUEST_QUIT was set. */
/** @} */

/** @name Animation control
 * Values for PLOTX_set_animation(). The values 3 and 4 (and any other value) are accepted
 * and change nothing.
 * @{ */
#define RUN_HALT         0 /**< No more ticks: stops animating and withdraws a requested single step. */
#define RUN_ONE_FRAME    1 /**< Exactly one #PLOTX_PERIODIC event at the next tick, then wait for input again. */
#define RUN_ANIMATE      2 /**< One #PLOTX_PERIODIC event per tick (100 ms, see PLOTX_set_tick()) until halted. */
/** Ends the program's loop: once the next event has been assembled (and recorded when
 * recording), it and every later wait return #PLOTX_QUIT. */
#define RUN_REQUEST_QUIT 5
/** @} */

/** @name The palette
 * Colours are palette indices 0..23; drawing with any other value draws in #RED and logs
 * "Illegal color N; using RED.".
 * @{ */
#define PALETTE_SIZE 24 /**< Number of palette colours; valid indices are 0 to PALETTE_SIZE - 1. */
/** The 24 named colours: index, the name the log uses, and red, green, blue (0..255). */
enum PLOTX_Color {
    BLACK = 0,    /**< 0: "black" (0, 0, 0) */
    WHITE,        /**< 1: "white" (255, 255, 255), the background */
    RED,          /**< 2: "red" (255, 0, 0), also what invalid indices become */
    GREEN,        /**< 3: "green" (0, 255, 0) */
    BLUE,         /**< 4: "blue" (0, 0, 255) */
    YELLOW,       /**< 5: "yellow" (255, 255, 0) */
    MAGENTA,      /**< 6: "magenta" (255, 0, 255) */
    CYAN,         /**< 7: "cyan" (0, 255, 255) */
    PURPLE,       /**< 8: "purple" (153, 0, 204) */
    NAVY_BLUE,    /**< 9: "navy blue" (0, 51, 153) */
    DUSTY_PLUM,   /**< 10: "dusty plum" (153, 102, 153) */
    ICE_BLUE,     /**< 11: "ice blue" (153, 255, 255) */
    TURQUOISE,    /**< 12: "turquoise" (153, 255, 204) */
    ORANGE,       /**< 13: "orange" (255, 102, 0) */
    BROWN,        /**< 14: "brown" (153, 102, 51) */
    PINK,         /**< 15: "pink" (255, 153, 204) */
    CHALK,        /**< 16: "chalk" (255, 255, 153) */
    GOLD,         /**< 17: "gold" (204, 153, 51) */
    PEACH,        /**< 18: "peach" (255, 153, 102) */
    FOREST_GREEN, /**< 19: "forest green" (0, 102, 51) */
    SEA_GREEN,    /**< 20: "sea green" (51, 204, 153) */
    OLIVE,        /**< 21: "olive" (153, 153, 51) */
    GRAY_50,      /**< 22: "50% gray" (128, 128, 128) */
    GRAY_20       /**< 23: "20% gray" (204, 204, 204) */
};
#define BACKGROUND_COLOR WHITE /**< The colour PLOTX_clear_canvas() fills with. */
/** @} */

/** @name Limits
 * @{ */
#define MAX_POINT_SIZE 127       /**< Largest text point size; larger ones are drawn at 127, with a log line. */
#define FORMAT_BUFFER_SIZE 1024  /**< Bytes of a formatted text or log line, terminator included: at most 1023 characters are kept. */
/** @} */

/** @name Opening and closing
 * @{ */

/**
 * Opens the library: the graphics window "PLOTX Graphics" with its Run menu, the text
 * window "PLOTX Text" along the bottom third of the screen, the canvas and the 100 ms
 * timer. Call it before any other operation. Logging starts on; animation starts
 * halted. The canvas content is undefined until the first PLOTX_clear_canvas().
 *
 * The four arguments are those a graphical program's entry receives on the reference
 * window system (Windows); elsewhere pass `0, 0, "", 1`.
 * @param instance       the program's module instance, given to the window classes; 0 elsewhere.
 * @param prev_instance  a previous instance, or 0; not used: the window classes are
 *                       registered whenever they are not registered yet.
 * @param cmd_line       the command line; not used.
 * @param show_mode      how the windows are first shown; 1 shows them normally.
 * @return 1, also for a second call while the library is open, which changes nothing. After
 *         PLOTX_end() it opens the library afresh, with new windows in place of the old,
 *         and nothing of the earlier session held: no key down, the pointer at the origin.
 *         0 when a window could not be created: the library stays closed. With no display and no
 *         `PLOTX_BACKEND`, or a desktop backend that cannot start or was not built, the
 *         program exits with status 2 and one line on standard error saying what to set.
 */
int PLOTX_begin(void* instance, void* prev_instance, const char* cmd_line, int show_mode);

/**
 * Closes the library: saves the canvas when `PLOTX_SNAPSHOT` is set, completes a capture in
 * progress (PLOTX_stop_capture()), completes a recording (its last run of ticks included) and
 * closes it, stops a playback (Record and Playback are switched off), lets go of the window's
 * drawing context, and gives back the signals the library took over (SIGINT and SIGTERM on
 * the desktop) to what they were. The windows stay until the process ends or PLOTX_begin()
 * opens the library again.
 * @return 1 when the library was open; 0 when it was not (before PLOTX_begin(), or a second
 *         PLOTX_end()), and 0 when `PLOTX_SNAPSHOT` is set and the canvas could not be saved
 *         there, or `PLOTX_GIF`'s capture could not start or was cut short (a line on
 *         standard error says why).
 */
int PLOTX_end(void);

/** @} */

/** @name Events and animation
 * @{ */

/**
 * Shows the canvas if it changed, then blocks until the next event and returns its kind.
 * Only the fields of the returned kind are meaningful; the others are set to 0.
 * Animation ticks come only while animating (#RUN_ANIMATE) or after #RUN_ONE_FRAME, at most
 * one per tick (100 ms unless PLOTX_set_tick() changed it); a press or a character that
 * arrives first replaces the tick. While a script plays, its events replace live input.
 * This is also where the Run menu and its shortcuts act, and where recording writes script
 * lines.
 * @param mouse_x  receives the canvas x of a #PLOTX_MOUSE event; may be null.
 * @param mouse_y  receives the canvas y of a #PLOTX_MOUSE event; may be null.
 * @param key      receives the typed byte of a #PLOTX_KBD event; may be null.
 * @return #PLOTX_MOUSE, #PLOTX_KBD, #PLOTX_PERIODIC or #PLOTX_QUIT. #PLOTX_QUIT at once
 *         before PLOTX_begin() and after the quit has been delivered once.
 */
int PLOTX_wait_event(int* mouse_x, int* mouse_y, char* key);

/**
 * Starts, stops or steps the animation, or asks the event loop to end.
 * @param mode  #RUN_HALT, #RUN_ONE_FRAME, #RUN_ANIMATE or #RUN_REQUEST_QUIT; other values
 *              (3 and 4 included) change nothing.
 * @return 0 before PLOTX_begin() (nothing changes), else 1.
 */
int PLOTX_set_animation(int mode);

/** @} */

/** @name The text window (the log)
 * @{ */

/**
 * Switches the logging of drawing operations (one descriptive line per operation, e.g.
 * "red circle at (0,0), radius 20") and sets the Run menu's Logging check mark to match.
 * Switching it on also shows the text window; switching it off leaves the window shown.
 * Correction messages are logged whatever this says.
 * @param on  non-zero switches logging on, 0 off.
 * @return 0 before PLOTX_begin() (nothing changes), else 1.
 */
int PLOTX_set_logging(int on);

/**
 * Writes one line to the text window, formatted as by printf. The window keeps the last
 * 25 lines; at most 1023 characters of a line are kept. Works before PLOTX_begin() too (the
 * line is kept and, with `PLOTX_LOG_ECHO=1`, echoed), whatever PLOTX_set_logging() says.
 * @param format  a printf format; the line should end with a newline. Null writes an
 *                empty line.
 * @return the number of characters the formatting produced (which may exceed 1023), or 0
 *         for a null format or a formatting error.
 */
int PLOTX_log(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/** @} */

/** @name Drawing
 * Every operation paints into the off-screen canvas in canvas coordinates; the next
 * PLOTX_wait_event() shows it. Before PLOTX_begin() nothing is drawn (corrections are still
 * logged). An invalid colour is drawn as #RED with the log line "Illegal color N; using
 * RED.". Each returns 1 unless it says otherwise.
 * @{ */

/**
 * Draws a filled circle: the box of 2 * radius + 1 pixels a side centred on (x, y).
 * Logs "Radius of R not possible, using radius -R" for a negative radius and draws with its
 * absolute value.
 * @param color   palette index.
 * @param x       centre, canvas x.
 * @param y       centre, canvas y.
 * @param radius  radius in pixels; 0 draws the one pixel (x, y).
 * @return 1.
 */
int PLOTX_draw_circle(int color, int x, int y, int radius);

/**
 * Draws a triangle through three points, filled or as an outline.
 * Logs "Width of W not possible, using width -W" for a negative width and uses its absolute
 * value.
 * @param color   palette index.
 * @param x1      first corner, canvas x.
 * @param y1      first corner, canvas y.
 * @param x2      second corner, canvas x.
 * @param y2      second corner, canvas y.
 * @param x3      third corner, canvas x.
 * @param y3      third corner, canvas y.
 * @param width   0 fills (edges included); a positive width draws only the outline, that
 *                many pixels wide, and leaves the inside as it was.
 * @return 1.
 */
int PLOTX_draw_triangle(int color, int x1, int y1, int x2, int y2, int x3, int y3, int width);

/**
 * Draws an upright rectangle given by two opposite corners in any order; both corners
 * belong to it, so (0, 0) to (10, 10) covers 11 by 11 pixels. Logs a negative width as
 * PLOTX_draw_triangle() does.
 * @param color   palette index.
 * @param x1      one corner, canvas x.
 * @param y1      one corner, canvas y.
 * @param x2      the opposite corner, canvas x.
 * @param y2      the opposite corner, canvas y.
 * @param width   0 fills; a positive width draws only the outline, that many pixels wide.
 * @return 1.
 */
int PLOTX_draw_rectangle(int color, int x1, int y1, int x2, int y2, int width);

/**
 * Draws a straight line from (x1, y1) towards (x2, y2); as in the reference window system,
 * the end point itself is not drawn. Logs a negative width as PLOTX_draw_triangle() does.
 * @param color   palette index.
 * @param x1      start, canvas x.
 * @param y1      start, canvas y.
 * @param x2      end, canvas x.
 * @param y2      end, canvas y.
 * @param width   pen width in pixels; 0 and 1 both draw one pixel wide.
 * @return 1.
 */
int PLOTX_draw_line(int color, int x1, int y1, int x2, int y2, int width);

/**
 * Sets one pixel.
 * @param color   palette index.
 * @param x       canvas x.
 * @param y       canvas y.
 * @return 1.
 */
int PLOTX_draw_pixel(int color, int x, int y);

/**
 * Draws text with its first line just above (x, y): the line's cell starts at column x and
 * ends in the row above y. Each newline starts a new line one line height lower. Only the
 * glyphs are painted; what lies between them stays. A point size below 0 logs "ptsize of S
 * not possible, using ptsize -S"; one above #MAX_POINT_SIZE logs the same with 127 and is
 * drawn at 127. With logging on the line logged embeds the whole text, so keep text and
 * log line within 1023 characters.
 * @param color       palette index.
 * @param x           left end of the first line, canvas x.
 * @param y           canvas y just below the first line.
 * @param point_size  character height in pixels, 0..127; 0 uses the default height.
 * @param text        the text; may contain newlines; null draws nothing.
 * @return 1.
 */
int PLOTX_draw_text(int color, int x, int y, int point_size, const char* text);

/**
 * As PLOTX_draw_text(), with the text formatted as by printf into #FORMAT_BUFFER_SIZE
 * bytes; a longer result is cut to 1023 characters.
 * @param color       palette index.
 * @param x           left end of the first line, canvas x.
 * @param y           canvas y just below the first line.
 * @param point_size  character height in pixels, 0..127.
 * @param format      a printf format, followed by its values.
 * @return the number of characters drawn (at most 1023; 0 for a null format or a
 *         formatting error).
 */
int PLOTX_draw_formatted_text(int color, int x, int y, int point_size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;

/**
 * Fills the whole canvas with #BACKGROUND_COLOR; the image's outermost pixels (outside the
 * visible area) become black. The only operation that erases.
 * @return 1.
 */
int PLOTX_clear_canvas(void);

/** @} */

/** @name Pictures and animations
 * @{ */

/**
 * Writes what the graphics window shows of the canvas (the visible area, #VISIBLE_WIDTH by
 * #VISIBLE_HEIGHT pixels) to a PNG file. Works with every backend, headless included. Only a
 * regular file (through a symbolic link: the file it names, the link stays) or a missing
 * name is written, in one step; a read-only file, a directory and anything else are refused.
 * A failure leaves no partial file and logs "Cannot save canvas to PATH: REASON".
 * @param path  the file to write.
 * @return 1 when the file was written; 0 for a null or empty path, before PLOTX_begin(), or
 *         when the file could not be written.
 */
int PLOTX_save_canvas(const char* path);

/**
 * Starts capturing every picture the graphics window shows into an animated GIF, until
 * PLOTX_stop_capture() or PLOTX_end(). Works with every backend, headless included.
 *
 * The GIF's screen is the visible area, as PLOTX_save_canvas() saves it. Its first frame is
 * what the window shows when the capture starts; each later one is a picture the window
 * shows (the canvas as PLOTX_wait_event() presents it) that differs from the one before. A
 * frame lasts until the next one, measured on the library's clock (the virtual clock with
 * the headless backend) in hundredths of a second, rounded so that the delays add up to
 * the capture's whole length exactly; a picture replaced within the hundredth of a second
 * it appeared in is never seen and is left out. While a script plays back (events come at
 * once) each played #PLOTX_PERIODIC event counts as one tick, so a replay's GIF runs at the
 * pace of the run it recorded. The GIF loops forever.
 *
 * Colours are exact: each frame has its own colour table of the colours it stores (the
 * palette's and the shades at the smoothed edges of large text). A frame with more than 256
 * colours (255 when some of its pixels stay unchanged), which the library's own drawing
 * never makes, keeps the most frequent and shows each other colour as the nearest of them,
 * and PLOTX_stop_capture() logs how many colours were replaced. Each frame stores only the
 * rectangle around what changed, unchanged pixels in it transparent. The same run gives the
 * same bytes on every platform.
 *
 * Frames are written as they come (memory does not grow with the length of the run), and
 * after each one the file is a complete GIF: a program that dies keeps every frame but the
 * one being shown. A write that fails (a full disk) cuts the file back to its last complete
 * frame, ends the capture and logs "Cannot write to capture file PATH: REASON; the capture
 * stopped at its last complete frame (N)". The file may be a regular file or a missing
 * name, as for script files.
 * @param path  the GIF file to write (an existing file is emptied first).
 * @return 1 when capturing started; 0, with the log line "Cannot capture to PATH: REASON",
 *         for a null or empty path, before PLOTX_begin(), while a capture is in progress, or
 *         when the file cannot be opened or written.
 */
int PLOTX_start_capture(const char* path);

/**
 * Ends the capture PLOTX_start_capture() (or `PLOTX_GIF`) started: the picture shown now
 * becomes the last frame, lasting until now, and the file is closed. Logs
 * "Captured N frames, S.SS s, in PATH".
 * @return 1 when the GIF is complete; 0 when no capture was in progress ("Cannot stop
 *         capturing: no capture in progress", also after a failed write ended it) or the last
 *         frame could not be written.
 */
int PLOTX_stop_capture(void);

/** @} */

/** @name PLOTX_wait: every kind of input, described in full (opt-in)
 * PLOTX_wait() is PLOTX_wait_event() with everything: every button, pointer motion, the
 * wheel, key downs and ups with key codes, the pointer's position, the modifiers and the
 * time on every event. It follows the same delivery rules: one event per wait; the Run
 * menu's animate, halt and single step govern #PLOTX_PERIODIC only; the canvas is shown
 * after each message; Control with a letter stays the Run menu's shortcut and is never
 * delivered. With no input flags (the default) it delivers exactly the events
 * PLOTX_wait_event() would; PLOTX_set_input() adds the kinds below. Motion is coalesced: a
 * program that falls behind gets the latest position, never a backlog.
 *
 * Recording writes these kinds in line forms whose seventh character is none of M, K and
 * P, so a reader that knows only those three forms stops at them rather than misreads them:
 * `PLOTX_DOWN_BUTTON(x, y, b, mods);` (middle or right press; a left press keeps
 * `PLOTX_MOUSE(x, y);`), `PLOTX_UP_BUTTON(x, y, b, mods);`, `PLOTX_CURSOR(x, y, mods);`,
 * `PLOTX_WHEEL(x, y, steps, mods);`, `PLOTX_DOWN_KEY(code, mods);`,
 * `PLOTX_UP_KEY(code, mods);`, and `PLOTX_AT(x, y, mods);`, which says where the pointer
 * was before an event whose own line does not. Key lines are written under PLOTX_wait()
 * even for keys it does not deliver, since PLOTX_key_held() tells of them. A played line of
 * a kind the program has not enabled is skipped (it still moves the pointer and changes
 * the held keys). The coordinates of these lines are clamped to -1000000..1000000 as they
 * are read, and so is the pointer a played `PLOTX_MOUSE` line moves (PLOTX_wait_event()
 * still reports that line's numbers as written, within int). A key line whose code no key has (see below) stops
 * playback as any unrecognised line does. A replay ends
 * in the recorded state when the program steps its animation by #PLOTX_PERIODIC events:
 * time_ms is the clock of the run, and a replay takes no time.
 * @{ */

/** One event as PLOTX_wait() delivers it. */
typedef struct PLOTX_Event {
    int kind;     /**< PLOTX_MOUSE, PLOTX_KBD, PLOTX_PERIODIC, PLOTX_QUIT, or one of the kinds below */
    int x;        /**< canvas x of the pointer when the event happened, for every kind */
    int y;        /**< canvas y of the pointer when the event happened, for every kind */
    int button;   /**< mouse kinds: 1 left, 2 middle, 3 right; PLOTX_WHEEL: steps, + away from the user */
    int key;      /**< PLOTX_KBD: the typed byte 0..255; PLOTX_KEY_DOWN/UP: a key code, see below */
    int mods;     /**< PLOTX_MOD_SHIFT | PLOTX_MOD_CTRL | PLOTX_MOD_ALT held at the event */
    int time_ms;  /**< milliseconds since PLOTX_begin, on the library's clock */
} PLOTX_Event;

#define PLOTX_MOUSE_UP   5 /**< A button was released (also off the canvas after a drag); .button says which. */
#define PLOTX_MOUSE_MOVE 6 /**< The pointer moved over the canvas; .button is 0. */
#define PLOTX_WHEEL      7 /**< The wheel turned; .button is the steps, positive away from the user. */
#define PLOTX_KEY_DOWN   8 /**< A key went down, or repeats while held; .key is its key code. */
#define PLOTX_KEY_UP     9 /**< A key went up; .key is its key code. */

#define PLOTX_INPUT_BUTTONS 1  /**< every button's press (#PLOTX_MOUSE, with .button) and release */
#define PLOTX_INPUT_MOTION  2  /**< #PLOTX_MOUSE_MOVE while the pointer moves over the canvas */
#define PLOTX_INPUT_WHEEL   4  /**< #PLOTX_WHEEL */
#define PLOTX_INPUT_KEYS    8  /**< #PLOTX_KEY_DOWN (also on auto-repeat) and #PLOTX_KEY_UP */

#define PLOTX_MOD_SHIFT 1 /**< A Shift key was held. */
#define PLOTX_MOD_CTRL  2 /**< A Control key was held. */
#define PLOTX_MOD_ALT   4 /**< An Alt key was held. */

/* Key codes of #PLOTX_KEY_DOWN, #PLOTX_KEY_UP and PLOTX_key_held(). A letter key is its
 * upper-case character ('A'..'Z'), a digit key its character ('0'..'9', the keypad's
 * too); other keys that type a character (punctuation, keypad operators) have that
 * character, unshifted. Keys with no code here are not delivered. */
#define PLOTX_KEY_BACKSPACE 8   /**< Backspace */
#define PLOTX_KEY_TAB       9   /**< Tab */
#define PLOTX_KEY_ENTER     13  /**< Enter, on the main keys or the keypad */
#define PLOTX_KEY_ESCAPE    27  /**< Escape */
#define PLOTX_KEY_SPACE     32  /**< the space bar */
#define PLOTX_KEY_LEFT      256 /**< the left arrow */
#define PLOTX_KEY_RIGHT     257 /**< the right arrow */
/** The up arrow. (#PLOTX_KEY_UP and #PLOTX_KEY_DOWN name the event kinds.) */
#define PLOTX_KEY_ARROW_UP    258
#define PLOTX_KEY_ARROW_DOWN  259             /**< the down arrow */
#define PLOTX_KEY_ARROW_LEFT  PLOTX_KEY_LEFT  /**< the left arrow, named as the other arrows are */
#define PLOTX_KEY_ARROW_RIGHT PLOTX_KEY_RIGHT /**< the right arrow, named as the other arrows are */
#define PLOTX_KEY_HOME      260 /**< Home */
#define PLOTX_KEY_END       261 /**< End */
#define PLOTX_KEY_PAGE_UP   262 /**< Page Up */
#define PLOTX_KEY_PAGE_DOWN 263 /**< Page Down */
#define PLOTX_KEY_INSERT    264 /**< Insert */
#define PLOTX_KEY_DELETE    265 /**< Delete */
#define PLOTX_KEY_F1        266 /**< F1; Fn is PLOTX_KEY_F1 + n - 1, up to F12 */
#define PLOTX_KEY_F2        267 /**< F2 */
#define PLOTX_KEY_F3        268 /**< F3 */
#define PLOTX_KEY_F4        269 /**< F4 */
#define PLOTX_KEY_F5        270 /**< F5 */
#define PLOTX_KEY_F6        271 /**< F6 */
#define PLOTX_KEY_F7        272 /**< F7 */
#define PLOTX_KEY_F8        273 /**< F8 */
#define PLOTX_KEY_F9        274 /**< F9 */
#define PLOTX_KEY_F10       275 /**< F10 */
#define PLOTX_KEY_F11       276 /**< F11 */
#define PLOTX_KEY_F12       277 /**< F12 */
#define PLOTX_KEY_SHIFT     278 /**< either Shift key */
#define PLOTX_KEY_CONTROL   279 /**< either Control key */
#define PLOTX_KEY_ALT       280 /**< either Alt key */

/**
 * Chooses which kinds PLOTX_wait() delivers besides those of PLOTX_wait_event().
 * PLOTX_begin() starts with none. PLOTX_wait_event() is never affected.
 * @param flags  #PLOTX_INPUT_BUTTONS, #PLOTX_INPUT_MOTION, #PLOTX_INPUT_WHEEL and
 *               #PLOTX_INPUT_KEYS or'ed together, or 0; other bits are ignored.
 * @return 0 before PLOTX_begin() (nothing changes), else 1.
 */
int PLOTX_set_input(int flags);

/**
 * Shows the canvas if it changed, then blocks until the next event, as PLOTX_wait_event()
 * does, and describes it.
 * @param event  receives the event; may be null.
 * @return the event's kind: #PLOTX_MOUSE, #PLOTX_KBD, #PLOTX_PERIODIC, #PLOTX_QUIT or
 *         one of the kinds enabled with PLOTX_set_input().
 */
int PLOTX_wait(PLOTX_Event* event);

/**
 * Tells where the pointer is, as of the last event taken.
 * @param x  receives its canvas x, the last known one when it is off the canvas (0 before
 *           any); may be null.
 * @param y  receives its canvas y, likewise; may be null.
 * @return 1 while the pointer is over the canvas (the window's drawing area), else 0.
 */
int PLOTX_mouse_position(int* x, int* y);

/**
 * Tells whether a key is down, as of the last event taken. Keys still down when the
 * graphics window loses the keyboard are released then (with a #PLOTX_KEY_UP each).
 * @param key  a key code.
 * @return 1 while the key is down, else 0 (also for a value that is no key code).
 */
int PLOTX_key_held(int key);

/**
 * Sets the period of the animation tick; PLOTX_begin() starts at 100 ms. The next tick
 * comes one new period after the call.
 * @param ms  the period in milliseconds, 10..1000; a smaller or larger value is used as 10
 *            or 1000, with the log line "Tick of N ms not possible, using M ms".
 * @return 0 before PLOTX_begin() (nothing changes), else 1.
 */
int PLOTX_set_tick(int ms);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* PLOTX_H */
