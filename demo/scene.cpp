// scene.cpp - the fixed landscape (sky, sun, ground, road, text lines, mountains), the
// sun's crossing, and the six-button control panel: its drawing, hit test and actions.
#include "demo.h"
#include "plotx.h"

const char* const DEMO_TITLE = "PLOTX Demo: the creature and the traffic";
const char* const DEMO_INSTRUCTIONS =
    "Clock a spot to move him there!  (\"There\" should be somewhere on the road for maximum effect.)";

// The text lines and labels are whole formats, as a program on this library may pass them;
// none holds a conversion.
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

namespace {

constexpr int SUN_RADIUS = 20;
constexpr int SUN_WRAP_X = -330;  // past this the sun re-enters at the right, one unit lower

struct Button {
    const char* label;
    int color;
};
// Top to bottom; the labels are whole formats, so none may hold a conversion.
constexpr Button BUTTONS[] = {
    {"Go", FOREST_GREEN}, {"Stop", RED},        {"Faster", BLACK},
    {"Slower", BLACK},    {"Reverse", BLACK},   {"New Color", BLACK},
};
constexpr int LABEL_INSET_X = 10;  // label point: right of the panel's left edge...
constexpr int LABEL_RAISE_Y = 7;   // ...and above the lower edge of its box
constexpr int LABEL_SIZE = 12;

}  // namespace

void draw_road(int road_y) {
    PLOTX_draw_rectangle(WHITE, -300, road_y - 10, 300, road_y + 10, 0);
    // Zero height: the renderer paints it as a one-pixel centre line.
    PLOTX_draw_rectangle(BLACK, -300, road_y, 300, road_y, 0);
}

void draw_scene(int sun_x, int sun_y) {
    PLOTX_draw_rectangle(ICE_BLUE, -300, -250, 300, 250, 0);
    // The sun goes down before the ground and mountains so that they hide it.
    PLOTX_draw_circle(YELLOW, sun_x, sun_y, SUN_RADIUS);
    PLOTX_draw_rectangle(BROWN, -300, -250, 300, HORIZON_Y, 0);
    draw_road(ROAD_Y);
    PLOTX_draw_formatted_text(BLACK, -285, -220, 16, DEMO_TITLE);
    PLOTX_draw_formatted_text(BLACK, -285, -240, 12, DEMO_INSTRUCTIONS);
    PLOTX_draw_triangle(GRAY_50, -300, HORIZON_Y, 300, HORIZON_Y, 0, 200, 0);
    PLOTX_draw_triangle(OLIVE, -375, HORIZON_Y, 100, HORIZON_Y, -225, 166, 0);
    PLOTX_draw_triangle(GRAY_20, -100, HORIZON_Y, 300, HORIZON_Y, 300, 166, 0);
}

void draw_panel() {
    for (int top = PANEL_TOP; top > PANEL_BOTTOM; top -= BUTTON_HEIGHT)
        PLOTX_draw_rectangle(BLACK, PANEL_LEFT, top, PANEL_RIGHT, top - BUTTON_HEIGHT, 1);
    int bottom = PANEL_TOP - BUTTON_HEIGHT;
    for (const Button& b : BUTTONS) {
        PLOTX_draw_formatted_text(b.color, PANEL_LEFT + LABEL_INSET_X, bottom + LABEL_RAISE_Y, LABEL_SIZE, b.label);
        bottom -= BUTTON_HEIGHT;
    }
}

int point_in_panel(int x, int y) {
    return PANEL_LEFT < x && x < PANEL_RIGHT && PANEL_BOTTOM < y && y < PANEL_TOP ? 1 : 0;
}

void press_button(int, int y, int* traffic_running, int* traffic_speed, int* traffic_direction, int* car_color) {
    // A click on the line two boxes share counts for the lower box.
    switch ((PANEL_TOP - y) / BUTTON_HEIGHT) {
        case 0: *traffic_running = 1; break;
        case 1: *traffic_running = 0; break;
        case 2: ++*traffic_speed; break;
        case 3: if (*traffic_speed > 0) --*traffic_speed; break;
        case 4: *traffic_direction = -*traffic_direction; break;
        case 5: *car_color = (*car_color + 1) % PALETTE_SIZE; break;
        default: break;
    }
}

void advance_sun(int* sun_x, int* sun_y) {
    --*sun_x;
    if (*sun_x < SUN_WRAP_X) {
        *sun_x = -*sun_x;
        --*sun_y;
    }
}
