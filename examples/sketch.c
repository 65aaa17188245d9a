/* sketch.c - painting with the richer wait: press and drag the left button to paint, the
 * right button to erase, turn the wheel to change the brush, c clears, Escape quits.
 * Strokes run from press to release, so motion with no button held paints nothing. */
#include <plotx.h>

#define MIN_BRUSH 1
#define MAX_BRUSH 40

static void draw_status(int brush) {
    PLOTX_draw_rectangle(GRAY_20, VISIBLE_LEFT, VISIBLE_TOP, VISIBLE_RIGHT, VISIBLE_TOP - 24, 0);
    PLOTX_draw_formatted_text(BLACK, VISIBLE_LEFT + 6, VISIBLE_TOP - 18, 14,
                              "Left paints, right erases, wheel: brush %d, c clears, Esc quits", brush);
}

/* A stroke from (x1, y1) to (x2, y2): a line as wide as the brush, with round ends. */
static void stroke(int color, int brush, int x1, int y1, int x2, int y2) {
    if (brush > 1) PLOTX_draw_line(color, x1, y1, x2, y2, brush);
    PLOTX_draw_circle(color, x2, y2, brush / 2);
}

int main(void) {
    int kind = 0, brush = 6, held = 0, last_x = 0, last_y = 0;
    PLOTX_Event e;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_set_input(PLOTX_INPUT_BUTTONS | PLOTX_INPUT_MOTION | PLOTX_INPUT_WHEEL);
    PLOTX_clear_canvas();
    draw_status(brush);
    while (kind != PLOTX_QUIT) {
        kind = PLOTX_wait(&e);
        if (kind == PLOTX_KBD && e.key == 27) break;
        if (kind == PLOTX_KBD && (e.key == 'c' || e.key == 'C')) {
            PLOTX_clear_canvas();
            draw_status(brush);
        }
        if (kind == PLOTX_MOUSE && (e.button == 1 || e.button == 3)) {
            held = e.button;
            last_x = e.x;
            last_y = e.y;
        }
        /* A stroke runs to each position reported while a button is held, the release's
         * included (it may come where no move was reported). The eraser is twice as wide. */
        if (held && (kind == PLOTX_MOUSE || kind == PLOTX_MOUSE_MOVE || (kind == PLOTX_MOUSE_UP && e.button == held))) {
            stroke(held == 1 ? NAVY_BLUE : WHITE, held == 1 ? brush : 2 * brush, last_x, last_y, e.x, e.y);
            last_x = e.x;
            last_y = e.y;
            if (kind == PLOTX_MOUSE_UP) held = 0;
        }
        if (kind == PLOTX_WHEEL) {
            brush += e.button * 2;
            brush = brush < MIN_BRUSH ? MIN_BRUSH : brush > MAX_BRUSH ? MAX_BRUSH : brush;
        }
        draw_status(brush);
    }
    return PLOTX_end() ? 0 : 1;
}
