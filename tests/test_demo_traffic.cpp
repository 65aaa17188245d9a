// The traffic: the runtime generator and its seeding, vehicles entering at random at the
// near end, moving, and leaving beyond either end with the table kept sorted.
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <vector>
#include "demo.h"
#include "plotx.h"

namespace {

// The seed whose first draw is r: the state after one step is r << 16.
unsigned seed_for_first_value(int r) {
    std::uint32_t inverse = 214013u;  // odd, so invertible mod 2^32; Newton doubles the bits
    for (int i = 0; i < 5; ++i) inverse *= 2u - 214013u * inverse;
    return ((static_cast<std::uint32_t>(r) << 16) - 2531011u) * inverse;
}

void place(DemoState& s, std::initializer_list<int> xs, std::initializer_list<int> states = {}) {
    s.vehicle_count = 0;
    for (int x : xs) {
        s.vehicle_x[s.vehicle_count] = x;
        s.vehicle_y[s.vehicle_count] = ROAD_Y;
        s.vehicle_state[s.vehicle_count] = VEHICLE_INTACT;
        ++s.vehicle_count;
    }
    int i = 0;
    for (int st : states) s.vehicle_state[i++] = st;
}

std::vector<int> xs_of(const DemoState& s) { return std::vector<int>(s.vehicle_x, s.vehicle_x + s.vehicle_count); }
std::vector<int> states_of(const DemoState& s) {
    return std::vector<int>(s.vehicle_state, s.vehicle_state + s.vehicle_count);
}

void spawn(DemoState& s) {
    spawn_vehicle(s.vehicle_x, s.vehicle_y, s.vehicle_state, s.traffic_direction, &s.vehicle_count);
}
void move(DemoState& s) {
    move_vehicles(s.vehicle_x, s.vehicle_y, s.traffic_direction, s.traffic_speed, &s.vehicle_count, s.vehicle_state);
}

TEST(RuntimeGenerator, FollowsTheRuntimeSequence) {
    seed_random_with(1);
    for (int expected : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(next_random(), expected);
    seed_random_with(seed_for_first_value(32767));
    EXPECT_EQ(next_random(), 32767);
}

TEST(RuntimeGenerator, SeedComesFromPlotxSeedOrElseTheClock) {
    setenv("PLOTX_SEED", "1", 1);
    seed_random();
    EXPECT_EQ(next_random(), 41);
    for (const char* bad : {"12x", "", "-3", "99999999999"}) {
        setenv("PLOTX_SEED", bad, 1);
        unsigned before = static_cast<unsigned>(std::time(nullptr));
        seed_random();
        int got = next_random();
        unsigned after = static_cast<unsigned>(std::time(nullptr));
        bool from_clock = false;
        for (unsigned t = before; t <= after; ++t) {
            seed_random_with(t);
            from_clock = from_clock || next_random() == got;
        }
        EXPECT_TRUE(from_clock) << "PLOTX_SEED=" << bad;
    }
    unsetenv("PLOTX_SEED");
}

TEST(Spawning, OneDrawInTenAdmitsAVehicle) {
    DemoState s;
    seed_random_with(seed_for_first_value(3276));
    spawn(s);
    EXPECT_EQ(s.vehicle_count, 1);
    s = DemoState{};
    seed_random_with(seed_for_first_value(3277));
    spawn(s);
    EXPECT_EQ(s.vehicle_count, 0);
}

TEST(Spawning, EmptyRoadGetsAVehicleAtTheEndTheTrafficComesFrom) {
    DemoState s;
    seed_random_with(1);  // first draw 41
    spawn(s);
    ASSERT_EQ(s.vehicle_count, 1);
    EXPECT_EQ(s.vehicle_x[0], -320);
    EXPECT_EQ(s.vehicle_y[0], -100);
    EXPECT_EQ(s.vehicle_state[0], VEHICLE_INTACT);

    s = DemoState{};
    s.traffic_direction = -1;
    seed_random_with(1);
    spawn(s);
    ASSERT_EQ(s.vehicle_count, 1);
    EXPECT_EQ(s.vehicle_x[0], 320);
}

TEST(Spawning, EveryCallDrawsOneValueEvenWithAFullRoad) {
    DemoState s;
    place(s, {-320, -250, -180, -110, -40, 30, 100, 170, 240, 310});
    seed_random_with(1);
    spawn(s);
    EXPECT_EQ(s.vehicle_count, 10);
    EXPECT_EQ(next_random(), 18467);  // the second value: spawn took exactly one
}

TEST(Spawning, StoppedTrafficDrawsNothing) {
    DemoState s;
    s.traffic_running = 0;
    seed_random_with(1);
    periodic_update(s);
    EXPECT_EQ(s.vehicle_count, 0);
    EXPECT_EQ(next_random(), 41);

    s = DemoState{};
    seed_random_with(1);
    periodic_update(s);
    EXPECT_EQ(s.vehicle_count, 1);
    EXPECT_EQ(next_random(), 18467);
}

TEST(Spawning, NewcomerKeepsMoreThanSixtyUnitsFromItsNeighbour) {
    DemoState s;
    place(s, {-260, 100});
    seed_random_with(1);
    spawn(s);
    EXPECT_EQ(xs_of(s), (std::vector<int>{-260, 100}));

    place(s, {-259, 100}, {VEHICLE_CRUSHED, VEHICLE_STOMPED});
    seed_random_with(1);
    spawn(s);
    EXPECT_EQ(xs_of(s), (std::vector<int>{-320, -259, 100}));
    EXPECT_EQ(states_of(s), (std::vector<int>{VEHICLE_INTACT, VEHICLE_CRUSHED, VEHICLE_STOMPED}));

    s.traffic_direction = -1;
    place(s, {-100, 260});
    seed_random_with(1);
    spawn(s);
    EXPECT_EQ(xs_of(s), (std::vector<int>{-100, 260}));

    place(s, {-100, 259});
    seed_random_with(1);
    spawn(s);
    EXPECT_EQ(xs_of(s), (std::vector<int>{-100, 259, 320}));
}

TEST(Spawning, AtSpeedZeroTheFirstVehicleBlocksTheEntry) {
    DemoState s;
    s.traffic_speed = 0;
    for (int tick = 0; tick < 200; ++tick) periodic_update(s);
    ASSERT_EQ(s.vehicle_count, 1);
    EXPECT_EQ(s.vehicle_x[0], -320);
}

TEST(Moving, AVehicleExactlyAtTheEndStaysAndOnePastItLeaves) {
    DemoState s;
    place(s, {0, 315});
    move(s);
    EXPECT_EQ(xs_of(s), (std::vector<int>{5, 320}));
    place(s, {0, 316});
    move(s);
    EXPECT_EQ(xs_of(s), (std::vector<int>{5}));

    s.traffic_direction = -1;
    place(s, {-315, 0});
    move(s);
    EXPECT_EQ(xs_of(s), (std::vector<int>{-320, -5}));
}

TEST(Moving, LeavingAtTheLeftShiftsTheRestDownWithTheirStates) {
    DemoState s;
    s.traffic_direction = -1;
    place(s, {-316, -200, 0}, {VEHICLE_INTACT, VEHICLE_CRUSHED, VEHICLE_STOMPED});
    move(s);
    EXPECT_EQ(xs_of(s), (std::vector<int>{-205, -5}));
    EXPECT_EQ(states_of(s), (std::vector<int>{VEHICLE_CRUSHED, VEHICLE_STOMPED}));
    EXPECT_EQ(s.vehicle_y[0], ROAD_Y);
}

TEST(Moving, SeveralLeaveInOneTickAtHighSpeedAndTheTableStaysSorted) {
    DemoState s;
    s.traffic_speed = 100;
    place(s, {-100, 150, 230, 300}, {VEHICLE_CRUSHED, VEHICLE_INTACT, VEHICLE_INTACT, VEHICLE_CRUSHED});
    move(s);
    EXPECT_EQ(xs_of(s), (std::vector<int>{0, 250}));
    EXPECT_EQ(states_of(s), (std::vector<int>{VEHICLE_CRUSHED, VEHICLE_INTACT}));

    s.traffic_direction = -1;
    place(s, {-300, -230, -150, 100}, {VEHICLE_INTACT, VEHICLE_INTACT, VEHICLE_CRUSHED, VEHICLE_INTACT});
    move(s);
    EXPECT_EQ(xs_of(s), (std::vector<int>{-250, 0}));
    EXPECT_EQ(states_of(s), (std::vector<int>{VEHICLE_CRUSHED, VEHICLE_INTACT}));
}

TEST(Moving, RandomTrafficBothWaysKeepsTheTableSortedAndSpaced) {
    DemoState s;
    seed_random_with(1);
    for (int tick = 0; tick < 600; ++tick) {
        if (tick == 300) s.traffic_direction = -1;
        periodic_update(s);
        ASSERT_LE(s.vehicle_count, MAX_VEHICLES);
        for (int i = 0; i < s.vehicle_count; ++i) {
            ASSERT_GE(s.vehicle_x[i], -320) << "tick " << tick;
            ASSERT_LE(s.vehicle_x[i], 320) << "tick " << tick;
        }
        for (int i = 1; i < s.vehicle_count; ++i)
            ASSERT_GT(s.vehicle_x[i] - s.vehicle_x[i - 1], 60) << "tick " << tick;
    }
    // The road refilled from the right after the reverse.
    EXPECT_GT(s.vehicle_count, 1);
}

}  // namespace
