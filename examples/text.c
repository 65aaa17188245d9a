/* text.c - text in several sizes, text over several lines, and numbers formatted into text.
 * The point size is the height of the characters in pixels; the text's first line sits
 * just above the point given, and each '\n' starts a new line below it. */
#include <plotx.h>

int main(void) {
    int size, y = 230, x, my;
    char key;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_clear_canvas();

    /* One line per size; each line starts size + 6 pixels below the one before. */
    for (size = 8; size <= 32; size += 6) {
        y -= size + 6;
        PLOTX_draw_formatted_text(NAVY_BLUE, -280, y, size, "%d pixels high", size);
    }

    /* Several lines in one call. A marker shows the point the text is placed by. */
    PLOTX_draw_text(FOREST_GREEN, 20, 190, 16, "Line one\nLine two\n\nLine four, after an empty one");
    PLOTX_draw_circle(RED, 20, 190, 2);

    /* Text is drawn over what is there; only the letters are painted. */
    PLOTX_draw_rectangle(CHALK, -280, 20, 280, -80, 0);
    PLOTX_draw_text(BROWN, -270, -10, 24, "Letters on a coloured box");
    PLOTX_draw_formatted_text(BLACK, -270, -50, 14, "%d apples at %.2f each cost %.2f", 7, 0.35, 7 * 0.35);

    /* Out of range sizes are corrected, with a line in the text window: 300 becomes 127. */
    PLOTX_draw_text(PURPLE, -280, -240, 300, "Big");
    PLOTX_draw_text(GRAY_50, 0, -200, 14, "<- asked for 300, drawn at 127");

    while (PLOTX_wait_event(&x, &my, &key) != PLOTX_QUIT) {
    }
    return PLOTX_end() ? 0 : 1;
}
