/* plotx.h - the public interface of the PLOTX graphics library.
 * C-callable: the library is written in C++ but everything here is plain C.
 *
 * Usage
 *   int main(void) {
 *       PLOTX_begin(0, 0, "", 1);              // opens the graphics and text windows
 *       PLOTX_set_animation(RUN_ANIMATE);      // one PLOTX_PERIODIC event per 100 ms tick
 *       int x, y; char key;
 *       for (;;) {
 *           int kind = PLOTX_wait_event(&x, &y, &key);
 *           if (kind == PLOTX_QUIT) break;
 *           PLOTX_clear_canvas();
 *           PLOTX_draw_circle(YELLOW, x, y, 20); // canvas coordinates: origin in the middle, y up
 *       }
 *       return PLOTX_end();
 *   }
 *
 * Drawing goes to an off-screen canvas; the next wait shows it. Bad arguments are never
 * errors: the library corrects them, writes one line to its text window and goes on.
 * Environment: PLOTX_BACKEND=headless|desktop picks the window system backend;
 * PLOTX_LOG_ECHO=1 also writes every log line to standard error.
 */
#ifndef PLOTX_H
#define PLOTX_H

#ifdef __cplusplus
extern "C" {
#endif

/* Canvas size in pixels; also the outer frame size of the graphics window. */
#define CANVAS_WIDTH  601
#define CANVAS_HEIGHT 540

/* Event kinds returned by PLOTX_wait_event (also the kind numbers of script lines). */
#define PLOTX_MOUSE    1
#define PLOTX_KBD      2
#define PLOTX_PERIODIC 3
#define PLOTX_QUIT     4

/* Animation control values for PLOTX_set_animation; 3 and 4 change nothing. */
#define RUN_HALT         0
#define RUN_ONE_FRAME    1
#define RUN_ANIMATE      2
#define RUN_REQUEST_QUIT 5

/* The palette: 24 named colours, indices 0..23. */
#define PALETTE_SIZE 24
enum {
    BLACK = 0, WHITE, RED, GREEN, BLUE, YELLOW, MAGENTA, CYAN, PURPLE, NAVY_BLUE,
    DUSTY_PLUM, ICE_BLUE, TURQUOISE, ORANGE, BROWN, PINK, CHALK, GOLD, PEACH,
    FOREST_GREEN, SEA_GREEN, OLIVE, GRAY_50, GRAY_20
};
#define BACKGROUND_COLOR WHITE

/* Largest text point size; larger ones are clamped with a log line. */
#define MAX_POINT_SIZE 127
/* Bytes of a formatted text or log line, terminator included. */
#define FORMAT_BUFFER_SIZE 1024

/* Opening and closing. The four arguments are those of a graphical program's entry
 * (instance, previous instance, command line, show mode); pass 0, 0, "", 1 elsewhere.
 * A non-null previous instance skips the window class registration. */
int PLOTX_begin(void* instance, void* prev_instance, const char* cmd_line, int show_mode);
int PLOTX_end(void);

/* Blocks until the next event; returns its kind and stores its record (canvas
 * coordinates for PLOTX_MOUSE, the typed byte for PLOTX_KBD). */
int PLOTX_wait_event(int* mouse_x, int* mouse_y, char* key);
/* One of the RUN_ values; 0 before PLOTX_begin, else 1. */
int PLOTX_set_animation(int mode);

/* Logging of drawing operations; shows the text window when switched on.
 * 0 before PLOTX_begin, else 1. */
int PLOTX_set_logging(int on);

/* Writes one formatted line to the text window (at most 1023 characters are kept);
 * returns the formatting's count. */
int PLOTX_log(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

/* Drawing, in canvas coordinates. Width 0 fills; a positive width outlines. */
int PLOTX_draw_circle(int color, int x, int y, int radius);
int PLOTX_draw_triangle(int color, int x1, int y1, int x2, int y2, int x3, int y3, int width);
int PLOTX_draw_rectangle(int color, int x1, int y1, int x2, int y2, int width);
int PLOTX_draw_line(int color, int x1, int y1, int x2, int y2, int width);
int PLOTX_draw_pixel(int color, int x, int y);
/* Text with its first line just above (x, y); point size = character height in pixels. */
int PLOTX_draw_text(int color, int x, int y, int point_size, const char* text);
/* As PLOTX_draw_text with printf formatting; returns the length drawn (at most 1023). */
int PLOTX_draw_formatted_text(int color, int x, int y, int point_size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;
int PLOTX_clear_canvas(void);

/* Writes what the graphics window shows of the canvas as a PNG; 1 on success, else 0
 * with a log line. */
int PLOTX_save_canvas(const char* path);

#ifdef __cplusplus
}
#endif

#endif /* PLOTX_H */
