/* capture.c - a ball thrown across the window, kept as an animated GIF of every frame shown:
 *   PLOTX_BACKEND=headless ./example-capture throw.gif
 * Headless, the run takes no time, yet the GIF plays at the pace of its 100 ms ticks. */
#include <plotx.h>

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "throw.gif";
    int x = -270, y = -200, vx = 12, vy = 36, mx, my, ticks = 0, captured;
    char key;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    if (!PLOTX_start_capture(path)) {
        PLOTX_end();
        return 1;
    }
    PLOTX_set_animation(RUN_ANIMATE);
    while (ticks < 45 && PLOTX_wait_event(&mx, &my, &key) != PLOTX_QUIT) {
        PLOTX_clear_canvas();
        PLOTX_draw_rectangle(ICE_BLUE, -300, 250, 300, -215, 0);
        PLOTX_draw_rectangle(SEA_GREEN, -300, -215, 300, -250, 0);
        PLOTX_draw_circle(RED, x, y, 15);
        x += vx;
        y += vy;
        vy -= 4;
        if (y < -200) {
            y = -200;
            vy = -vy * 3 / 4;
        }
        ++ticks;
    }
    captured = PLOTX_stop_capture(); /* 45 frames, 4.5 s */
    PLOTX_end();
    return captured ? 0 : 1;
}
