/* bounce.c - a ball that bounces off the edges of the visible area, one step per animation
 * tick (every 100 ms). A click moves the ball there; q quits.
 * The window shows x from VISIBLE_LEFT to VISIBLE_RIGHT and y from VISIBLE_BOTTOM to
 * VISIBLE_TOP; CANVAS_WIDTH and CANVAS_HEIGHT are the window's outer size, which is larger. */
#include <plotx.h>

#define RADIUS 20

int main(void) {
    int x = 0, y = 0, dx = 7, dy = 5, mx, my, kind = 0;
    char key;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_set_animation(RUN_ANIMATE);   /* one PLOTX_PERIODIC event per tick from now on */
    while (kind != PLOTX_QUIT) {
        kind = PLOTX_wait_event(&mx, &my, &key);
        if (kind == PLOTX_MOUSE) { x = mx; y = my; }
        if (kind == PLOTX_KBD && key == 'q') break;
        if (kind == PLOTX_PERIODIC) {
            x += dx;
            y += dy;
            /* Turn round when the ball's edge reaches the edge of what is shown. */
            if (x - RADIUS <= VISIBLE_LEFT || x + RADIUS >= VISIBLE_RIGHT) dx = -dx;
            if (y - RADIUS <= VISIBLE_BOTTOM || y + RADIUS >= VISIBLE_TOP) dy = -dy;
        }
        PLOTX_clear_canvas();
        PLOTX_draw_rectangle(ICE_BLUE, VISIBLE_LEFT, VISIBLE_TOP, VISIBLE_RIGHT, VISIBLE_BOTTOM, 0);
        PLOTX_draw_circle(ORANGE, x, y, RADIUS);
        PLOTX_draw_text(BLACK, VISIBLE_LEFT + 10, VISIBLE_TOP - 20, 14, "Click to move the ball; q quits.");
    }
    return PLOTX_end() ? 0 : 1;
}
