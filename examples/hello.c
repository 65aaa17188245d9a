/* hello.c - the smallest PLOTX program: open the windows, draw, wait until the window is
 * closed (or Run > Quit, Ctrl+Q), close. Everything a PLOTX program does has this shape. */
#include <plotx.h>

int main(void) {
    int x, y;
    char key;

    PLOTX_begin(0, 0, "", 1);      /* opens the graphics and the text window */
    PLOTX_set_logging(0);          /* the log then shows only corrections */
    PLOTX_clear_canvas();          /* the canvas starts undefined: clear it first */

    /* (0, 0) is the middle of the window; y grows upwards. */
    PLOTX_draw_circle(YELLOW, 0, 60, 50);
    PLOTX_draw_text(BLACK, -90, -10, 40, "Hello!");
    PLOTX_draw_text(GRAY_50, -150, -60, 14, "Close the window or press Ctrl+Q to end.");

    /* Nothing is shown until the program waits: the wait presents the canvas. */
    while (PLOTX_wait_event(&x, &y, &key) != PLOTX_QUIT) {
        /* a click or a key changes nothing here; we only wait for quit */
    }
    return PLOTX_end() ? 0 : 1;
}
