/* consumer.c - a plain C program built against the installed PLOTX package: it draws a
 * few shapes, saves the canvas to the file named by its argument and ends, never waiting. */
#include <plotx.h>
#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUT.png\n", argv[0]);
        return 2;
    }
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_clear_canvas();
    PLOTX_draw_rectangle(ICE_BLUE, -300, 250, 300, -250, 0);
    PLOTX_draw_circle(ORANGE, 0, 0, 40);
    PLOTX_draw_triangle(FOREST_GREEN, -200, -100, -120, 60, -40, -100, 0);
    PLOTX_draw_text(BLACK, -290, 230, 14, "installed");
    if (!PLOTX_save_canvas(argv[1])) {
        fprintf(stderr, "PLOTX_save_canvas failed\n");
        return 1;
    }
    return PLOTX_end() ? 0 : 1;
}
