/* steer.c - a ball steered with the arrow keys at a 30 ms tick; Shift doubles the speed,
 * Escape or q quits. The ball moves on ticks by the keys held then, so a recorded session
 * replays to the same place:  PLOTX_BACKEND=headless PLOTX_PLAYBACK=1 ./example-steer */
#include <plotx.h>

#define RADIUS 15
#define STEP 4

static int clamp(int v, int low, int high) { return v < low ? low : v > high ? high : v; }

int main(void) {
    int x = 0, y = 0, kind = 0, trail = 0;
    PLOTX_Event e;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_set_input(PLOTX_INPUT_KEYS);
    PLOTX_set_tick(30);
    PLOTX_set_animation(RUN_ANIMATE);
    while (kind != PLOTX_QUIT) {
        kind = PLOTX_wait(&e);
        if (kind == PLOTX_KEY_DOWN && (e.key == PLOTX_KEY_ESCAPE || e.key == 'Q')) break;
        if (kind == PLOTX_PERIODIC) {
            int step = PLOTX_key_held(PLOTX_KEY_SHIFT) ? 2 * STEP : STEP;
            x += step * (PLOTX_key_held(PLOTX_KEY_ARROW_RIGHT) - PLOTX_key_held(PLOTX_KEY_ARROW_LEFT));
            y += step * (PLOTX_key_held(PLOTX_KEY_ARROW_UP) - PLOTX_key_held(PLOTX_KEY_ARROW_DOWN));
            x = clamp(x, VISIBLE_LEFT + RADIUS, VISIBLE_RIGHT - RADIUS);
            y = clamp(y, VISIBLE_BOTTOM + RADIUS, VISIBLE_TOP - RADIUS - 30);
            ++trail;
        }
        PLOTX_clear_canvas();
        PLOTX_draw_rectangle(ICE_BLUE, VISIBLE_LEFT, VISIBLE_TOP - 30, VISIBLE_RIGHT, VISIBLE_BOTTOM, 0);
        PLOTX_draw_circle(ORANGE, x, y, RADIUS);
        PLOTX_draw_formatted_text(BLACK, VISIBLE_LEFT + 8, VISIBLE_TOP - 22, 14,
                                  "Arrows steer, Shift hurries, Esc quits.  (%d, %d)  tick %d", x, y, trail);
    }
    return PLOTX_end() ? 0 : 1;
}
