/* palette.c - the 24 colours of the palette as swatches, each with its index and name.
 * PLOTX_BACKEND=headless ./example-palette palette.png   keeps the picture as a PNG. */
#include <plotx.h>

static const char* const names[PALETTE_SIZE] = {
    "BLACK", "WHITE", "RED", "GREEN", "BLUE", "YELLOW", "MAGENTA", "CYAN",
    "PURPLE", "NAVY_BLUE", "DUSTY_PLUM", "ICE_BLUE", "TURQUOISE", "ORANGE", "BROWN", "PINK",
    "CHALK", "GOLD", "PEACH", "FOREST_GREEN", "SEA_GREEN", "OLIVE", "GRAY_50", "GRAY_20"};

int main(int argc, char** argv) {
    int color, x, y;
    char key;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_clear_canvas();
    PLOTX_draw_text(BLACK, -280, 225, 18, "The palette: 24 colours, indices 0 to 23");
    /* Three columns of eight; each swatch is outlined so WHITE shows too. */
    for (color = 0; color < PALETTE_SIZE; color++) {
        int left = -285 + (color / 8) * 195;
        int top = 185 - (color % 8) * 52;
        PLOTX_draw_rectangle(color, left, top, left + 60, top - 40, 0);
        PLOTX_draw_rectangle(BLACK, left, top, left + 60, top - 40, 1);
        PLOTX_draw_formatted_text(BLACK, left + 68, top - 14, 13, "%d", color);
        PLOTX_draw_text(BLACK, left + 68, top - 32, 13, names[color]);
    }
    if (argc > 1 && !PLOTX_save_canvas(argv[1])) return 1;
    while (PLOTX_wait_event(&x, &y, &key) != PLOTX_QUIT) {
    }
    return PLOTX_end() ? 0 : 1;
}
