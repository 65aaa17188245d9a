/* snapshot.c - draws a small picture and keeps it as a PNG, with no window shown:
 *   PLOTX_BACKEND=headless ./example-snapshot picture.png */
#include <plotx.h>

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "picture.png";
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_clear_canvas();
    PLOTX_draw_rectangle(ICE_BLUE, -300, 250, 300, -250, 0);
    PLOTX_draw_rectangle(SEA_GREEN, -300, -60, 300, -250, 0);
    PLOTX_draw_circle(YELLOW, 180, 160, 40);
    PLOTX_draw_rectangle(BROWN, -120, 40, 40, -100, 0);
    PLOTX_draw_triangle(RED, -140, 40, 60, 40, -40, 130, 0);
    PLOTX_draw_rectangle(NAVY_BLUE, -70, -30, -30, -100, 0);
    PLOTX_draw_text(BLACK, -280, 205, 20, "A house, kept as a PNG");
    int saved = PLOTX_save_canvas(path);
    PLOTX_end();
    return saved ? 0 : 1;
}
