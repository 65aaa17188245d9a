// The demo's control panel, what clicks do to the state, and the sun's crossing.
// Pure logic: no library is opened.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include "demo.h"
#include "plotx.h"

namespace {

DemoState clicked(DemoState s, int x, int y) {
    s.mouse_x = x;
    s.mouse_y = y;
    handle_event(s, PLOTX_MOUSE);
    return s;
}

// Which button a click at (x, y) presses, told by what it changes.
std::string button_at(int x, int y) {
    DemoState stopped;
    stopped.traffic_running = 0;
    if (clicked(stopped, x, y).traffic_running == 1) return "Go";
    DemoState s = clicked(DemoState{}, x, y);
    if (s.traffic_running == 0) return "Stop";
    if (s.traffic_speed != 5) return s.traffic_speed == 6 ? "Faster" : "Slower";
    if (s.traffic_direction == -1) return "Reverse";
    if (s.car_color != 2) return "New Color";
    return s.target_x != 0 || s.target_y != -200 ? "target" : "none";
}

TEST(Panel, StrictEdgesAndRowsWhoseSharedLineBelongsBelow) {
    const struct { int x, y; const char* button; } clicks[] = {
        {-294, 244, "Go"},     {-221, 221, "Go"},     {-250, 220, "Stop"},    {-250, 196, "Stop"},
        {-250, 195, "Faster"}, {-250, 170, "Slower"}, {-250, 145, "Reverse"}, {-250, 121, "Reverse"},
        {-250, 120, "New Color"}, {-221, 96, "New Color"},
        {-295, 200, "none"},   {-220, 200, "none"},   {-250, 245, "none"},    {-250, 95, "none"},
    };
    for (const auto& c : clicks) EXPECT_EQ(button_at(c.x, c.y), c.button) << c.x << "," << c.y;
}

TEST(Panel, SpeedNeverGoesNegativeNorHasALimitAndColourWrapsThroughAll24) {
    DemoState s;
    s.traffic_speed = 0;
    EXPECT_EQ(clicked(s, -250, 150).traffic_speed, 0);
    s = DemoState{};
    for (int i = 0; i < 1000; ++i) s = clicked(s, -250, 180);
    EXPECT_EQ(s.traffic_speed, 1005);

    s = DemoState{};
    std::set<int> seen;
    for (int i = 0; i < 24; ++i) {
        s = clicked(s, -250, 100);
        seen.insert(s.car_color);
        if (i == 21) {
            EXPECT_EQ(s.car_color, 0);  // 23 wraps to black
        }
    }
    EXPECT_EQ(seen.size(), 24u);
    EXPECT_EQ(s.car_color, 2);
}

TEST(GroundClicks, SetTheTargetFromTheHorizonDownOnly) {
    EXPECT_EQ(button_at(120, -49), "none");
    EXPECT_EQ(button_at(-250, -49), "none");
    DemoState s = clicked(DemoState{}, -297, -50);
    EXPECT_EQ(s.target_x, -297);
    EXPECT_EQ(s.target_y, -50);
    EXPECT_EQ(s.creature_x, 0);  // it moves only on ticks
    // A replayed script may name any point; the target stays on the ground.
    s = clicked(DemoState{}, 2000000000, -2000000000);
    EXPECT_EQ(s.target_x, 300);
    EXPECT_EQ(s.target_y, -250);
}

TEST(Sun, CreepsLeftAndReentersOneUnitLowerEvery662Ticks) {
    int x = 250, y = 215;
    for (int i = 0; i < 580; ++i) advance_sun(&x, &y);
    EXPECT_EQ(x, -330);
    EXPECT_EQ(y, 215);
    advance_sun(&x, &y);
    EXPECT_EQ(x, 331);
    EXPECT_EQ(y, 214);
    for (int i = 0; i < 662; ++i) advance_sun(&x, &y);
    EXPECT_EQ(x, 331);
    EXPECT_EQ(y, 213);
}

}  // namespace
