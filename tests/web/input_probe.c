/* input_probe.c - a page program for the end-to-end tests: takes every kind of input
 * PLOTX_wait offers and echoes each event as one line "kind x y button key mods" (seen on
 * the browser's console with ?echo=1). */
#include <plotx.h>

int main(void) {
    PLOTX_Event e;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_set_input(PLOTX_INPUT_BUTTONS | PLOTX_INPUT_MOTION | PLOTX_INPUT_WHEEL | PLOTX_INPUT_KEYS);
    PLOTX_clear_canvas();
    PLOTX_draw_rectangle(SEA_GREEN, -100, 100, 100, -100, 0);
    while (PLOTX_wait(&e) != PLOTX_QUIT)
        PLOTX_log("event %d %d %d %d %d %d\n", e.kind, e.x, e.y, e.button, e.key, e.mods);
    return PLOTX_end() ? 0 : 1;
}
