/* stepper.c - a program to watch one step at a time. It starts halted: choose
 * Run > Advance one frame (Ctrl+F) for one step, Run > Animate (Ctrl+A) to run and
 * Run > Halt animation (Ctrl+H) to stop again. Pressing s also asks for one step.
 * Each step moves a walker one cell along a square spiral and draws the path so far. */
#include <plotx.h>

#define CELL 12
#define MAX_STEPS 400

int main(void) {
    int xs[MAX_STEPS + 1], ys[MAX_STEPS + 1];
    int steps = 0, run = 1, left_in_run = 1, turns = 0, dx = 1, dy = 0, i, mx, my, kind = 0;
    char key;
    xs[0] = 0;
    ys[0] = 0;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_set_animation(RUN_HALT);    /* no ticks until the user asks for them */
    while (kind != PLOTX_QUIT) {
        if (kind == PLOTX_PERIODIC && steps < MAX_STEPS) {
            /* One step: straight on, turning left after runs of 1, 1, 2, 2, 3, 3, ... cells. */
            xs[steps + 1] = xs[steps] + dx * CELL;
            ys[steps + 1] = ys[steps] + dy * CELL;
            steps++;
            if (--left_in_run == 0) {
                int t = dx;
                dx = -dy;
                dy = t;
                if (++turns % 2 == 0) run++;
                left_in_run = run;
            }
        }
        if (kind == PLOTX_KBD && key == 's') PLOTX_set_animation(RUN_ONE_FRAME);
        PLOTX_clear_canvas();
        for (i = 0; i < steps; i++) PLOTX_draw_line(SEA_GREEN, xs[i], ys[i], xs[i + 1], ys[i + 1], 3);
        PLOTX_draw_circle(ORANGE, xs[steps], ys[steps], 6);
        PLOTX_draw_formatted_text(BLACK, -285, 230, 16, "step %d", steps);
        PLOTX_draw_text(GRAY_50, -285, -225, 13, "Ctrl+F one step   Ctrl+A run   Ctrl+H halt   s one step");
        kind = PLOTX_wait_event(&mx, &my, &key);
    }
    return PLOTX_end() ? 0 : 1;
}
