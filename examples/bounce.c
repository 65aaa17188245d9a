/* bounce.c - a ball that bounces around the canvas; clicks move it, q quits.
 * Plain C on purpose: the library's header is C-callable. */
#include <plotx.h>

int main(void) {
    int x = 0, y = 0, dx = 7, dy = 5, mx, my, kind = 0;
    char key;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_set_animation(RUN_ANIMATE);
    while (kind != PLOTX_QUIT) {
        kind = PLOTX_wait_event(&mx, &my, &key);
        if (kind == PLOTX_MOUSE) { x = mx; y = my; }
        if (kind == PLOTX_KBD && key == 'q') break;
        if (kind == PLOTX_PERIODIC) {
            x += dx; y += dy;
            if (x < -280 || x > 280) dx = -dx;
            if (y < -230 || y > 230) dy = -dy;
        }
        PLOTX_clear_canvas();
        PLOTX_draw_rectangle(ICE_BLUE, -300, 250, 300, -250, 0);
        PLOTX_draw_circle(ORANGE, x, y, 20);
        PLOTX_draw_text(BLACK, -290, 230, 14, "Click to move the ball; q quits.");
    }
    return PLOTX_end() ? 0 : 1;
}
