/* paint.c - click to paint: every click leaves a dot of the current colour and size.
 * Keys: n next colour, + and - the brush size, c clears, q quits.
 * The canvas keeps what is drawn on it, so this program never redraws the old dots. */
#include <plotx.h>

static void draw_status(int color, int size) {
    /* A white bar over the old status, then the new one. */
    PLOTX_draw_rectangle(WHITE, VISIBLE_LEFT, VISIBLE_TOP, VISIBLE_RIGHT, VISIBLE_TOP - 30, 0);
    PLOTX_draw_circle(color, VISIBLE_LEFT + 20, VISIBLE_TOP - 15, size < 10 ? size : 10);
    PLOTX_draw_formatted_text(BLACK, VISIBLE_LEFT + 40, VISIBLE_TOP - 22, 14,
                              "size %d   n: colour  +/-: size  c: clear  q: quit", size);
}

int main(void) {
    int color = RED, size = 6, x, y, kind = 0;
    char key;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_clear_canvas();
    draw_status(color, size);
    while (kind != PLOTX_QUIT) {
        kind = PLOTX_wait_event(&x, &y, &key);
        if (kind == PLOTX_MOUSE && y < VISIBLE_TOP - 30) {
            PLOTX_draw_circle(color, x, y, size);
        } else if (kind == PLOTX_KBD) {
            if (key == 'q') break;
            if (key == 'n') color = (color + 1) % PALETTE_SIZE;
            if (color == WHITE) color = RED;         /* white would not show */
            if (key == '+' && size < 40) size += 2;
            if (key == '-' && size > 0) size -= 2;
            if (key == 'c') PLOTX_clear_canvas();
            draw_status(color, size);
        }
    }
    return PLOTX_end() ? 0 : 1;
}
