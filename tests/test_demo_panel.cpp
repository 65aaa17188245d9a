// The demo's control panel (hit test, rows, button actions), what clicks and keys do to
// the state, and the sun's crossing. Pure logic: no library is opened.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>
#include "demo.h"
#include "plotx.h"

namespace {

DemoState clicked(DemoState s, int x, int y) {
    s.mouse_x = x;
    s.mouse_y = y;
    handle_event(s, PLOTX_MOUSE);
    return s;
}

// Which button a click at panel height y presses, told by what it changes.
std::string button_at(int y) {
    DemoState stopped;
    stopped.traffic_running = 0;
    if (clicked(stopped, -250, y).traffic_running == 1) return "Go";
    DemoState s = clicked(DemoState{}, -250, y);
    if (s.traffic_running == 0) return "Stop";
    if (s.traffic_speed == 6) return "Faster";
    if (s.traffic_speed == 4) return "Slower";
    if (s.traffic_direction == -1) return "Reverse";
    if (s.car_color == 3) return "New Color";
    return "none";
}

bool same_settings_and_target(const DemoState& a, const DemoState& b) {
    return a.traffic_running == b.traffic_running && a.traffic_speed == b.traffic_speed &&
           a.traffic_direction == b.traffic_direction && a.car_color == b.car_color && a.target_x == b.target_x &&
           a.target_y == b.target_y && a.creature_x == b.creature_x && a.creature_y == b.creature_y &&
           a.sun_x == b.sun_x && a.sun_y == b.sun_y && a.quit_seen == b.quit_seen;
}

TEST(PanelHitTest, InsideIsStrictOnAllFourEdges) {
    EXPECT_EQ(point_in_panel(-294, 244), 1);
    EXPECT_EQ(point_in_panel(-221, 96), 1);
    EXPECT_EQ(point_in_panel(-295, 200), 0);
    EXPECT_EQ(point_in_panel(-220, 200), 0);
    EXPECT_EQ(point_in_panel(-250, 245), 0);
    EXPECT_EQ(point_in_panel(-250, 95), 0);
}

TEST(PanelRows, EachRowCoversTwentyFiveUnitsAndASharedLineBelongsBelow) {
    const struct {
        int y;
        const char* button;
    } rows[] = {
        {244, "Go"},     {221, "Go"},      {220, "Stop"},    {196, "Stop"},      {195, "Faster"},
        {171, "Faster"}, {170, "Slower"},  {146, "Slower"},  {145, "Reverse"},   {121, "Reverse"},
        {120, "New Color"}, {96, "New Color"},
    };
    for (const auto& r : rows) EXPECT_EQ(button_at(r.y), r.button) << "y = " << r.y;
}

TEST(PanelRows, ClicksOnTheEdgesInTheSkyAreIgnored) {
    const DemoState before;
    for (auto p : {std::make_pair(-295, 200), std::make_pair(-220, 200), std::make_pair(-250, 245),
                   std::make_pair(-250, 95)})
        EXPECT_TRUE(same_settings_and_target(clicked(before, p.first, p.second), before)) << p.first << "," << p.second;
}

TEST(PanelButtons, SlowerStopsAtZeroAndFasterHasNoLimit) {
    DemoState s;
    s.traffic_speed = 0;
    s = clicked(s, -250, 150);
    EXPECT_EQ(s.traffic_speed, 0);
    s = DemoState{};
    for (int i = 0; i < 1000; ++i) s = clicked(s, -250, 180);
    EXPECT_EQ(s.traffic_speed, 1005);
}

TEST(PanelButtons, NewColorStepsThroughAllTwentyFourColoursAndWraps) {
    DemoState s;
    std::vector<int> colours;
    for (int i = 0; i < 24; ++i) {
        s = clicked(s, -250, 100);
        colours.push_back(s.car_color);
    }
    EXPECT_EQ(colours[0], 3);
    EXPECT_EQ(colours[20], 23);
    EXPECT_EQ(colours[21], 0);
    EXPECT_EQ(colours[22], 1);
    EXPECT_EQ(colours[23], 2);
    EXPECT_EQ(std::set<int>(colours.begin(), colours.end()).size(), 24u);
}

TEST(PanelButtons, ReverseWhileStoppedChangesOnlyTheDirection) {
    DemoState s;
    s = clicked(s, -250, 200);
    ASSERT_EQ(s.traffic_running, 0);
    s = clicked(s, -250, 130);
    EXPECT_EQ(s.traffic_direction, -1);
    EXPECT_EQ(s.traffic_running, 0);
    EXPECT_EQ(s.traffic_speed, 5);
    s = clicked(s, -250, 130);
    EXPECT_EQ(s.traffic_direction, 1);
}

TEST(ClickDispatch, GroundClickSetsTargetFromTheHorizonDown) {
    DemoState s = clicked(DemoState{}, 120, -50);
    EXPECT_EQ(s.target_x, 120);
    EXPECT_EQ(s.target_y, -50);
    for (int x : {-297, 297}) {
        s = clicked(DemoState{}, x, -50);
        EXPECT_EQ(s.target_x, x);
    }
    s = clicked(DemoState{}, 30, -246);
    EXPECT_EQ(s.target_y, -246);
    // The creature itself only moves on ticks.
    EXPECT_EQ(s.creature_x, 0);
    EXPECT_EQ(s.creature_y, -200);
}

TEST(ClickDispatch, ClicksAboveTheHorizonOutsideThePanelChangeNothing) {
    const DemoState before;
    EXPECT_TRUE(same_settings_and_target(clicked(before, 120, -49), before));
    EXPECT_TRUE(same_settings_and_target(clicked(before, -250, -49), before));
    EXPECT_TRUE(same_settings_and_target(clicked(before, 0, 100), before));
}

TEST(ClickDispatch, AScriptedPointOffTheGroundIsBroughtToItsEdge) {
    DemoState s = clicked(DemoState{}, 2000000000, -2000000000);
    EXPECT_EQ(s.target_x, 300);
    EXPECT_EQ(s.target_y, -250);
    s = clicked(DemoState{}, -5000, -60);
    EXPECT_EQ(s.target_x, -300);
    EXPECT_EQ(s.target_y, -60);
}

TEST(KeyAndQuitDispatch, TypedCharacterChangesNothingAndQuitIsSeen) {
    DemoState s;
    s.key = 'g';
    handle_event(s, PLOTX_KBD);
    EXPECT_TRUE(same_settings_and_target(s, DemoState{}));
    handle_event(s, PLOTX_QUIT);
    EXPECT_EQ(s.quit_seen, 1);
}

TEST(Sun, CreepsLeftAndReentersOneUnitLower) {
    int x = 250, y = 215;
    for (int i = 0; i < 580; ++i) advance_sun(&x, &y);
    EXPECT_EQ(x, -330);
    EXPECT_EQ(y, 215);
    advance_sun(&x, &y);
    EXPECT_EQ(x, 331);
    EXPECT_EQ(y, 214);
    // A full crossing from the right takes 662 ticks.
    for (int i = 0; i < 661; ++i) advance_sun(&x, &y);
    EXPECT_EQ(x, -330);
    EXPECT_EQ(y, 214);
    advance_sun(&x, &y);
    EXPECT_EQ(x, 331);
    EXPECT_EQ(y, 213);
}

}  // namespace
