/* plot.c - plots y = sin(x) for x from -2 pi to 2 pi, with axes, tick marks and labels.
 * Shows how to map your own coordinates onto the canvas: choose a scale in pixels per unit. */
#include <math.h>
#include <plotx.h>

#define PI 3.14159265358979
#define X_SCALE 40.0   /* pixels per unit of x: 4 pi is about 503 pixels */
#define Y_SCALE 150.0  /* pixels per unit of y */

static int px(double x) { return (int)floor(x * X_SCALE + 0.5); }
static int py(double y) { return (int)floor(y * Y_SCALE + 0.5); }

int main(void) {
    int i, mx, my;
    char key;
    PLOTX_begin(0, 0, "", 1);
    PLOTX_set_logging(0);
    PLOTX_clear_canvas();

    /* Axes, ticks every pi/2 on x and every 0.5 on y, and their labels. */
    PLOTX_draw_line(BLACK, px(-2 * PI) - 20, 0, px(2 * PI) + 20, 0, 1);
    PLOTX_draw_line(BLACK, 0, py(-1.2), 0, py(1.2), 1);
    for (i = -4; i <= 4; i++) {
        int x = px(i * PI / 2);
        PLOTX_draw_line(BLACK, x, -5, x, 6, 1);
        if (i != 0) PLOTX_draw_formatted_text(GRAY_50, x - 10, -24, 12, "%g", i / 2.0);
    }
    for (i = -2; i <= 2; i++) {
        int y = py(i * 0.5);
        PLOTX_draw_line(BLACK, -5, y, 6, y, 1);
        if (i != 0) PLOTX_draw_formatted_text(GRAY_50, 10, y + 6, 12, "%+.1f", i * 0.5);
    }
    PLOTX_draw_text(GRAY_50, px(2 * PI) - 30, 24, 12, "x / pi");

    /* The curve: short lines between neighbouring samples, one pixel apart. */
    for (i = px(-2 * PI); i < px(2 * PI); i++) {
        double x0 = i / X_SCALE, x1 = (i + 1) / X_SCALE;
        PLOTX_draw_line(BLUE, i, py(sin(x0)), i + 1, py(sin(x1)), 2);
    }
    PLOTX_draw_text(BLUE, -280, 215, 18, "y = sin(x)");

    while (PLOTX_wait_event(&mx, &my, &key) != PLOTX_QUIT) {
    }
    return PLOTX_end() ? 0 : 1;
}
