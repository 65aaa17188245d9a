// The creature: its walk (diagonal, then straight), facing, stride poses and scale; the
// stomp window and the stomped-then-crushed sequence; and the triangles of its drawings,
// read back from the log's triangle lines.
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

void stomp(DemoState& s) {
    check_stomp(s.vehicle_x, s.vehicle_y, s.vehicle_state, s.creature_x, s.creature_y, s.vehicle_count,
                s.creature_facing, &s.creature_pose, &s.stride_ticks);
}

DemoState standing_at(int x, int y, int facing = 1) {
    DemoState s;
    s.creature_x = s.target_x = x;
    s.creature_y = s.target_y = y;
    s.creature_facing = facing;
    return s;
}

// Whether a single vehicle at x on the road is stepped on by the creature.
bool stepped_on(int creature_x, int creature_y, int facing, int vehicle_x) {
    DemoState s = standing_at(creature_x, creature_y, facing);
    s.vehicle_count = 1;
    s.vehicle_x[0] = vehicle_x;
    s.vehicle_y[0] = ROAD_Y;
    s.vehicle_state[0] = VEHICLE_INTACT;
    stomp(s);
    return s.vehicle_state[0] == VEHICLE_STOMPED;
}

TEST(CreatureWalk, DiagonalUntilOneAxisMatchesThenStraight) {
    DemoState s;
    s.target_x = 30;
    s.target_y = -100;
    std::vector<std::pair<int, int>> path;
    for (int i = 0; i < 10; ++i) {
        step(s);
        path.emplace_back(s.creature_x, s.creature_y);
        EXPECT_EQ(s.creature_facing, 1) << "tick " << i;
    }
    const std::vector<std::pair<int, int>> expected = {
        {10, -190}, {20, -180}, {30, -170}, {30, -160}, {30, -150},
        {30, -140}, {30, -130}, {30, -120}, {30, -110}, {30, -100},
    };
    EXPECT_EQ(path, expected);
    EXPECT_EQ(s.creature_pose, POSE_STANDING);
    EXPECT_EQ(s.stride_ticks, 0);
}

TEST(CreatureWalk, AStepThatWouldPassTheTargetStopsOnItAndKeepsTheFacing) {
    DemoState s = standing_at(0, -100, 1);
    s.target_x = -4;
    step(s);
    EXPECT_EQ(s.creature_x, -4);
    EXPECT_EQ(s.creature_facing, 1);
    EXPECT_EQ(s.creature_pose, POSE_STANDING);

    // A step that lands exactly on the target does turn it round.
    s = standing_at(0, -100, 1);
    s.target_x = -10;
    step(s);
    EXPECT_EQ(s.creature_facing, -1);

    // Walking straight down never turns it.
    s = standing_at(0, -100, -1);
    s.target_y = -200;
    step(s);
    EXPECT_EQ(s.creature_facing, -1);
}

TEST(CreatureWalk, StridesStandOneTickThenTwoTicksEachLeg) {
    DemoState s;
    s.target_x = 290;
    std::vector<int> poses;
    for (int i = 0; i < 7; ++i) {
        step(s);
        poses.push_back(s.creature_pose);
    }
    EXPECT_EQ(poses, (std::vector<int>{POSE_STANDING, POSE_FAR_LEG_UP, POSE_FAR_LEG_UP, POSE_NEAR_LEG_UP,
                                       POSE_NEAR_LEG_UP, POSE_FAR_LEG_UP, POSE_FAR_LEG_UP}));
}

TEST(CreatureWalk, AtSpeedZeroItStridesOnTheSpotFacingTheTarget) {
    DemoState s = standing_at(50, -100, 1);
    s.traffic_speed = 0;
    s.target_x = 0;
    std::vector<int> poses;
    for (int i = 0; i < 5; ++i) {
        step(s);
        poses.push_back(s.creature_pose);
    }
    EXPECT_EQ(s.creature_x, 50);
    EXPECT_EQ(s.creature_facing, -1);
    EXPECT_EQ(poses, (std::vector<int>{POSE_STANDING, POSE_FAR_LEG_UP, POSE_FAR_LEG_UP, POSE_NEAR_LEG_UP,
                                       POSE_NEAR_LEG_UP}));
}

TEST(CreatureScale, IsOneOnTheRoadAndGrowsTowardTheViewer) {
    DemoState s;
    EXPECT_DOUBLE_EQ(s.creature_scale, 2.95);
    step(s);  // at its target (0, -200)
    EXPECT_NEAR(s.creature_scale, 1.65, 1e-12);
    for (auto c : {std::make_pair(-100, 1.0), std::make_pair(-50, 0.675), std::make_pair(-250, 1.975)}) {
        s = standing_at(0, c.first);
        step(s);
        EXPECT_NEAR(s.creature_scale, c.second, 1e-12) << "y = " << c.first;
    }
}

TEST(StompWindow, ReachesSixtyBehindAndTwentyAheadAtEitherFacing) {
    EXPECT_TRUE(stepped_on(0, -100, 1, 20));
    EXPECT_TRUE(stepped_on(0, -100, 1, -60));
    EXPECT_FALSE(stepped_on(0, -100, 1, 21));
    EXPECT_FALSE(stepped_on(0, -100, 1, -61));
    EXPECT_TRUE(stepped_on(0, -100, -1, -20));
    EXPECT_TRUE(stepped_on(0, -100, -1, 60));
    EXPECT_FALSE(stepped_on(0, -100, -1, -21));
    EXPECT_FALSE(stepped_on(0, -100, -1, 61));
}

TEST(StompWindow, OnlyWhileTheFeetAreBetweenMinus115AndMinus90) {
    EXPECT_TRUE(stepped_on(0, -115, 1, 0));
    EXPECT_TRUE(stepped_on(0, -90, 1, 0));
    EXPECT_FALSE(stepped_on(0, -116, 1, 0));
    EXPECT_FALSE(stepped_on(0, -89, 1, 0));
}

TEST(StompSequence, StompedInOneTickCrushedTheNextWithTheNearLegUpForThatTick) {
    DemoState s = standing_at(0, -100, 1);
    s.vehicle_count = 2;
    s.vehicle_x[0] = -65;  // drives into the window this tick
    s.vehicle_x[1] = 15;   // already inside: both are stepped on together
    s.vehicle_y[0] = s.vehicle_y[1] = ROAD_Y;
    s.vehicle_state[0] = s.vehicle_state[1] = VEHICLE_INTACT;
    // Seed 1 after its first value: the next twelve draws admit no newcomer.
    seed_random_with(1);
    next_random();

    periodic_update(s);
    EXPECT_EQ(s.vehicle_x[0], -60);
    EXPECT_EQ(s.vehicle_state[0], VEHICLE_STOMPED);
    EXPECT_EQ(s.vehicle_state[1], VEHICLE_STOMPED);
    EXPECT_EQ(s.creature_pose, POSE_NEAR_LEG_UP);
    EXPECT_EQ(s.stride_ticks, 2);

    periodic_update(s);
    EXPECT_EQ(s.vehicle_state[0], VEHICLE_CRUSHED);
    EXPECT_EQ(s.vehicle_state[1], VEHICLE_CRUSHED);
    EXPECT_EQ(s.creature_pose, POSE_STANDING);

    // Crushed is final, and a crushed vehicle drives on.
    for (int i = 0; i < 10; ++i) periodic_update(s);
    EXPECT_EQ(s.vehicle_state[0], VEHICLE_CRUSHED);
    EXPECT_EQ(s.vehicle_x[0], -5);
}

TEST(StompSequence, AWalkerStompingOnItsFirstTickGoesStraightToTheFarLeg) {
    DemoState s = standing_at(0, -100, 1);
    s.target_x = 200;
    step(s);
    ASSERT_EQ(s.creature_pose, POSE_STANDING);  // first tick of a walk
    s.vehicle_count = 1;
    s.vehicle_x[0] = 10;
    s.vehicle_y[0] = ROAD_Y;
    s.vehicle_state[0] = VEHICLE_INTACT;
    stomp(s);
    EXPECT_EQ(s.creature_pose, POSE_NEAR_LEG_UP);
    step(s);
    EXPECT_EQ(s.creature_pose, POSE_FAR_LEG_UP);
}

TEST(StompSequence, AParkedVehicleUnderTheCreatureIsCrushedToo) {
    DemoState s = standing_at(0, -100, 1);
    s.traffic_running = 0;
    s.vehicle_count = 1;
    s.vehicle_x[0] = 0;
    s.vehicle_y[0] = ROAD_Y;
    s.vehicle_state[0] = VEHICLE_INTACT;
    periodic_update(s);
    EXPECT_EQ(s.vehicle_state[0], VEHICLE_STOMPED);
    periodic_update(s);
    EXPECT_EQ(s.vehicle_state[0], VEHICLE_CRUSHED);
    EXPECT_EQ(s.vehicle_x[0], 0);
}

// The drawings, through the triangle lines the library logs while logging is on.
class CreatureDrawing : public plotx_test::LibraryTest {
protected:
    std::vector<std::string> drawn(int x, int y, int pose, int facing, double scale) {
        begin();
        PLOTX_set_logging(1);
        draw_creature(x, y, pose, facing, scale);
        std::vector<std::string> lines = plotx_test::ring_lines();
        if (lines.size() > CREATURE_TRIANGLES) lines.erase(lines.begin(), lines.end() - CREATURE_TRIANGLES);
        for (std::string& l : lines)
            if (!l.empty() && l.back() == '\n') l.pop_back();
        return lines;
    }
};

TEST_F(CreatureDrawing, StandingAtScaleOneFacingRight) {
    std::vector<std::string> t = drawn(0, -100, POSE_STANDING, 1, 1.0);
    ASSERT_EQ(t.size(), 21u);
    EXPECT_EQ(t[0], "black triangle at (10,-90), (-10,-70), (-50,-90)");
    EXPECT_EQ(t[3], "black triangle at (10,-10), (-30,10), (-60,-30)");
    EXPECT_EQ(t[5], "forest green triangle at (100,100), (40,130), (0,100)");
    EXPECT_EQ(t[12], "forest green triangle at (-60,-60), (-60,-20), (-160,-60)");
    EXPECT_EQ(t[13], "green triangle at (60,20), (60,30), (20,50)");
    EXPECT_EQ(t[15], "green triangle at (0,-100), (-20,-80), (-60,-100)");
    EXPECT_EQ(t[18], "green triangle at (0,-20), (-40,0), (-70,-40)");
    EXPECT_EQ(t[20], "red triangle at (60,110), (40,120), (50,110)");
}

TEST_F(CreatureDrawing, FacingLeftMirrorsAboutTheFootPoint) {
    std::vector<std::string> t = drawn(0, -100, POSE_STANDING, -1, 1.0);
    ASSERT_EQ(t.size(), 21u);
    EXPECT_EQ(t[12], "forest green triangle at (60,-60), (60,-20), (160,-60)");
    EXPECT_EQ(t[20], "red triangle at (-60,110), (-40,120), (-50,110)");
}

TEST_F(CreatureDrawing, NearLegUpLiftsTheGreenLegOnly) {
    std::vector<std::string> t = drawn(0, -100, POSE_NEAR_LEG_UP, 1, 1.0);
    ASSERT_EQ(t.size(), 21u);
    EXPECT_EQ(t[0], "black triangle at (10,-90), (-10,-70), (-50,-90)");
    EXPECT_EQ(t[15], "green triangle at (60,-60), (30,-40), (0,-60)");
    EXPECT_EQ(t[19], "green triangle at (0,-40), (-40,-20), (-40,-60)");
}

TEST_F(CreatureDrawing, FarLegUpLiftsTheBlackLegOnly) {
    std::vector<std::string> t = drawn(0, -100, POSE_FAR_LEG_UP, 1, 1.0);
    ASSERT_EQ(t.size(), 21u);
    EXPECT_EQ(t[0], "black triangle at (70,-50), (40,-30), (10,-50)");
    EXPECT_EQ(t[4], "black triangle at (10,-30), (-30,-10), (-30,-50)");
    EXPECT_EQ(t[15], "green triangle at (0,-100), (-20,-80), (-60,-100)");
}

TEST_F(CreatureDrawing, UnitLengthsAreTruncatedTenthsOfTheScale) {
    // 1.65 gives 16 (not 17) and 2.95 gives 29; the eye's tip (4, 22) shows both units.
    std::vector<std::string> t = drawn(0, -200, POSE_STANDING, 1, 1.65);
    ASSERT_EQ(t.size(), 21u);
    EXPECT_EQ(t[20], "red triangle at (96,136), (64,152), (80,136)");
    t = drawn(0, -200, POSE_STANDING, -1, 2.95);
    EXPECT_EQ(t[20], "red triangle at (-174,409), (-116,438), (-145,409)");
}

}  // namespace
