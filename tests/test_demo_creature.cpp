// The creature: its walk, facing, strides and scale; the stomp window and the
// stomped-then-crushed sequence; and its triangles, read back from the log's lines.
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>
#include "demo.h"
#include "plotx.h"
#include "support/harness.h"

namespace {

void step(DemoState& s) {
    step_creature(&s.creature_x, &s.creature_y, &s.creature_pose, &s.target_x, &s.target_y, s.traffic_speed,
                  &s.creature_facing, &s.stride_ticks, &s.creature_scale);
}

DemoState standing_at(int x, int y, int facing = 1) {
    DemoState s;
    s.creature_x = s.target_x = x;
    s.creature_y = s.target_y = y;
    s.creature_facing = facing;
    return s;
}

void add_vehicle(DemoState& s, int x) {
    s.vehicle_x[s.vehicle_count] = x;
    s.vehicle_y[s.vehicle_count] = ROAD_Y;
    s.vehicle_state[s.vehicle_count++] = VEHICLE_INTACT;
}

TEST(Walk, DiagonalThenStraightFacingKeptOnAPassingStep) {
    DemoState s;
    s.target_x = 30;
    s.target_y = -100;
    std::vector<std::pair<int, int>> path;
    for (int i = 0; i < 5; ++i) {
        step(s);
        path.emplace_back(s.creature_x, s.creature_y);
    }
    EXPECT_EQ(path, (std::vector<std::pair<int, int>>{{10, -190}, {20, -180}, {30, -170}, {30, -160}, {30, -150}}));
    for (int i = 0; i < 5; ++i) step(s);
    EXPECT_EQ(s.creature_y, -100);
    EXPECT_EQ(s.creature_facing, 1);
    EXPECT_EQ(s.creature_pose, POSE_STANDING);

    s = standing_at(0, -100, 1);
    s.target_x = -4;  // s = 10 would pass it: lands on it, still facing right
    step(s);
    EXPECT_EQ(s.creature_x, -4);
    EXPECT_EQ(s.creature_facing, 1);
}

TEST(Walk, StandsOneTickThenTwoTicksPerStrideAndScalesFromItsHeight) {
    DemoState s;
    EXPECT_DOUBLE_EQ(s.creature_scale, 2.95);
    step(s);  // at its target (0, -200)
    EXPECT_NEAR(s.creature_scale, 1.65, 1e-12);
    s.target_x = 290;
    std::vector<int> poses;
    for (int i = 0; i < 6; ++i) {
        step(s);
        poses.push_back(s.creature_pose);
    }
    EXPECT_EQ(poses, (std::vector<int>{POSE_STANDING, POSE_FAR_LEG_UP, POSE_FAR_LEG_UP, POSE_NEAR_LEG_UP,
                                       POSE_NEAR_LEG_UP, POSE_FAR_LEG_UP}));
    s = standing_at(0, -100);
    step(s);
    EXPECT_DOUBLE_EQ(s.creature_scale, 1.0);
}

TEST(Stomp, WindowIsSixtyBehindTwentyAheadAndFeetBetweenMinus115AndMinus90) {
    const struct { int cy, facing, vx; bool hit; } cases[] = {
        {-100, 1, 20, true},   {-100, 1, -60, true},  {-100, 1, 21, false},  {-100, 1, -61, false},
        {-100, -1, -20, true}, {-100, -1, 60, true},  {-100, -1, -21, false}, {-100, -1, 61, false},
        {-115, 1, 0, true},    {-90, 1, 0, true},     {-116, 1, 0, false},   {-89, 1, 0, false},
    };
    for (const auto& c : cases) {
        DemoState s = standing_at(0, c.cy, c.facing);
        add_vehicle(s, c.vx);
        check_stomp(s.vehicle_x, s.vehicle_y, s.vehicle_state, 0, c.cy, 1, c.facing, &s.creature_pose,
                    &s.stride_ticks);
        EXPECT_EQ(s.vehicle_state[0] == VEHICLE_STOMPED, c.hit) << c.cy << " " << c.facing << " " << c.vx;
    }
}

TEST(Stomp, StompedOneTickWithTheNearLegUpThenCrushedForGood) {
    DemoState s = standing_at(0, -100, 1);
    add_vehicle(s, -65);  // drives into the window this tick
    add_vehicle(s, 15);   // already inside: both are stepped on together
    seed_random_with(1);
    next_random();  // the next twelve values admit no newcomer
    periodic_update(s);
    EXPECT_EQ(s.vehicle_x[0], -60);
    EXPECT_EQ(s.vehicle_state[0], VEHICLE_STOMPED);
    EXPECT_EQ(s.vehicle_state[1], VEHICLE_STOMPED);
    EXPECT_EQ(s.creature_pose, POSE_NEAR_LEG_UP);
    periodic_update(s);
    EXPECT_EQ(s.vehicle_state[0], VEHICLE_CRUSHED);
    EXPECT_EQ(s.creature_pose, POSE_STANDING);
    for (int i = 0; i < 10; ++i) periodic_update(s);
    EXPECT_EQ(s.vehicle_state[0], VEHICLE_CRUSHED);
    EXPECT_EQ(s.vehicle_x[0], -5);
}

// The drawings, through the triangle lines the library logs while logging is on.
class Drawing : public plotx_test::LibraryTest {
protected:
    std::vector<std::string> drawn(int pose, int facing) {
        if (!graphics()) begin();
        PLOTX_set_logging(1);
        draw_creature(0, -100, pose, facing, 1.0);
        std::vector<std::string> lines = plotx_test::ring_lines();
        if (lines.size() > CREATURE_TRIANGLES) lines.erase(lines.begin(), lines.end() - CREATURE_TRIANGLES);
        for (std::string& l : lines)
            if (!l.empty() && l.back() == '\n') l.pop_back();
        return lines;
    }
};

TEST_F(Drawing, StandingFigureInDrawingOrderAndItsMirrorImage) {
    std::vector<std::string> t = drawn(POSE_STANDING, 1);
    ASSERT_EQ(t.size(), 21u);
    EXPECT_EQ(t[0], "black triangle at (10,-90), (-10,-70), (-50,-90)");
    EXPECT_EQ(t[3], "black triangle at (10,-10), (-30,10), (-60,-30)");
    EXPECT_EQ(t[5], "forest green triangle at (100,100), (40,130), (0,100)");
    EXPECT_EQ(t[12], "forest green triangle at (-60,-60), (-60,-20), (-160,-60)");
    EXPECT_EQ(t[13], "green triangle at (60,20), (60,30), (20,50)");
    EXPECT_EQ(t[15], "green triangle at (0,-100), (-20,-80), (-60,-100)");
    EXPECT_EQ(t[18], "green triangle at (0,-20), (-40,0), (-70,-40)");
    EXPECT_EQ(t[20], "red triangle at (60,110), (40,120), (50,110)");
    t = drawn(POSE_STANDING, -1);
    EXPECT_EQ(t[12], "forest green triangle at (60,-60), (60,-20), (160,-60)");
}

TEST_F(Drawing, EachStridePoseLiftsOnlyItsOwnLeg) {
    std::vector<std::string> t = drawn(POSE_NEAR_LEG_UP, 1);
    ASSERT_EQ(t.size(), 21u);
    EXPECT_EQ(t[0], "black triangle at (10,-90), (-10,-70), (-50,-90)");
    EXPECT_EQ(t[15], "green triangle at (60,-60), (30,-40), (0,-60)");
    EXPECT_EQ(t[19], "green triangle at (0,-40), (-40,-20), (-40,-60)");
    t = drawn(POSE_FAR_LEG_UP, 1);
    ASSERT_EQ(t.size(), 21u);
    EXPECT_EQ(t[0], "black triangle at (70,-50), (40,-30), (10,-50)");
    EXPECT_EQ(t[4], "black triangle at (10,-30), (-30,-10), (-30,-50)");
    EXPECT_EQ(t[15], "green triangle at (0,-100), (-20,-80), (-60,-100)");
}

}  // namespace
