// The demo end to end on the headless backend: start-up, the loop one event at a time,
// what every frame costs in drawing operations, the picture it leaves in the canvas,
// halting, quitting, and demo_main run to its end.
#include <algorithm>
#include <cstdlib>
#include <string>
#include "demo.h"
#include "plotx.h"
#include "support/harness.h"

using namespace plotx;
using namespace plotx_test;
namespace hl = px::headless;

namespace {

uint32_t colour(int index) { return px::to_pixel(palette_rgb[index]); }

unsigned long frame_cost(const DemoState& s) {
    unsigned long n = 22 + 21;
    for (int i = 0; i < s.vehicle_count; ++i) n += s.vehicle_state[i] == VEHICLE_CRUSHED ? 5 : 4;
    return n;
}

class DemoRun : public LibraryTest {
protected:
    DemoState s;
    void SetUp() override {
        LibraryTest::SetUp();
        setenv("PLOTX_SEED", "1", 1);
    }
    void TearDown() override {
        unsetenv("PLOTX_SEED");
        LibraryTest::TearDown();
    }
    void start() { demo_start(s, nullptr, nullptr, "", 1); }
    bool car_near(int x, int reach) const {
        for (int i = 0; i < s.vehicle_count; ++i)
            if (std::abs(s.vehicle_x[i] - x) <= reach) return true;
        return false;
    }
    std::string last_line() const {
        std::string l = ring_lines().back();
        return l.substr(0, l.find('\n'));
    }
};

TEST_F(DemoRun, EveryFrameCostsSceneVehiclesAndCreature) {
    start();
    EXPECT_EQ(g.drawing.logging_on, 0);
    EXPECT_EQ(test_hook.commands_rendered, 43u);  // the first frame; the clear is not a command
    click_canvas(-100, -100, 50);          // on the road, in the cars' path
    bool saw_crushed = false;
    for (int step = 0; step < 80; ++step) {
        unsigned long before = test_hook.commands_rendered;
        demo_step(s);
        ASSERT_EQ(test_hook.commands_rendered - before, frame_cost(s)) << "step " << step;
        for (int i = 0; i < s.vehicle_count; ++i) saw_crushed = saw_crushed || s.vehicle_state[i] == VEHICLE_CRUSHED;
    }
    EXPECT_TRUE(saw_crushed);
}

TEST_F(DemoRun, CreatureUnitsAre29UntilTheFirstTickAnd16After) {
    start();
    PLOTX_set_logging(1);
    redraw(s);
    // The eye comes last: (6, 21) from the foot point (0, -200).
    EXPECT_EQ(last_line(), "red triangle at (174,409), (116,438), (145,409)");
    ASSERT_EQ(demo_step(s), PLOTX_PERIODIC);
    EXPECT_EQ(last_line(), "red triangle at (96,136), (64,152), (80,136)");
}

TEST_F(DemoRun, PictureShowsSkySunRoadPanelCarsAndTheCreatureAtItsTarget) {
    start();
    click_canvas(-100, -100, 50);
    // Until the creature stands at its target, a car is crushed, and an intact car is
    // clear of the creature's legs and of other cars.
    int car = -1;
    for (int step = 0; step < 400 && car < 0; ++step) {
        demo_step(s);
        bool crushed = false;
        for (int i = 0; i < s.vehicle_count; ++i) crushed = crushed || s.vehicle_state[i] == VEHICLE_CRUSHED;
        if (!crushed || s.creature_x != -100 || s.creature_y != -100) continue;
        for (int i = 0; i < s.vehicle_count && car < 0; ++i) {
            int x = s.vehicle_x[i];
            bool clear = (x >= -280 && x <= -180) || (x >= 40 && x <= 280);
            if (s.vehicle_state[i] == VEHICLE_INTACT && clear && !car_near(x - 70, 40) && !car_near(x + 70, 40))
                car = i;
        }
    }
    ASSERT_GE(car, 0);

    EXPECT_EQ(canvas_pixel(s.sun_x > 0 ? -150 : 150, 240), colour(ICE_BLUE));
    EXPECT_EQ(canvas_pixel(s.sun_x, s.sun_y), colour(YELLOW));
    EXPECT_EQ(canvas_pixel(250, -170), colour(BROWN));
    for (int x : {280, 200, 120, -200, -260}) {
        if (car_near(x, 30)) continue;
        EXPECT_EQ(canvas_pixel(x, -95), colour(WHITE));
        EXPECT_EQ(canvas_pixel(x, -100), colour(BLACK));
        EXPECT_EQ(canvas_pixel(x, -112), colour(BROWN));
        break;
    }
    // The panel: outlines only, the sky shows through the boxes.
    EXPECT_EQ(canvas_pixel(-295, 170), colour(BLACK));
    EXPECT_EQ(canvas_pixel(-250, 220), colour(BLACK));
    EXPECT_EQ(canvas_pixel(-225, 235), colour(ICE_BLUE));

    const int cx = s.vehicle_x[car];
    EXPECT_EQ(canvas_pixel(cx, -88), colour(RED)) << "body of the car at " << cx;
    EXPECT_EQ(canvas_pixel(cx, -79), colour(RED)) << "cab";
    EXPECT_EQ(canvas_pixel(cx - 10, -94), colour(BLACK)) << "wheel";
    EXPECT_EQ(canvas_pixel(cx - 30, -79), colour(BROWN)) << "ground beside the car";

    // The creature at (-100, -100), facing left, scale 1: body, eye and near leg.
    EXPECT_EQ(canvas_pixel(-110, 20), colour(FOREST_GREEN));
    EXPECT_EQ(canvas_pixel(-150, 113), colour(RED));
    EXPECT_EQ(canvas_pixel(-63, -40), colour(GREEN));
}

// The instruction line was placed to fit the client area in the platform's text; in a wider
// face its end is cut off at the right edge, the first thing a user would see.
TEST_F(DemoRun, InstructionLineEndsInsideTheClientArea) {
    start();
    demo_step(s);
    const px::Bitmap& shown = graphics()->client;
    // The line's cell lies just above its point (-285, -240): the 14 rows above y = -240.
    const int band_bottom = g.windows.origin_y + 240, band_top = band_bottom - 14;
    const uint32_t ground = shown_pixel(shown.width - 1, band_bottom);
    int rightmost_ink = -1;
    for (int y = band_top; y < band_bottom; ++y)
        for (int x = 0; x < shown.width; ++x)
            if (shown_pixel(x, y) != ground) rightmost_ink = std::max(rightmost_ink, x);
    EXPECT_GT(rightmost_ink, shown.width / 2) << "the line is drawn";
    EXPECT_LT(rightmost_ink, shown.width - 8) << "client area " << shown.width << " wide";
}

TEST_F(DemoRun, WhileHaltedAClickMovesOnlyTheTarget) {
    start();
    PLOTX_set_animation(RUN_HALT);
    click_canvas(100, -100, 500);
    ASSERT_EQ(demo_step(s), PLOTX_MOUSE);
    EXPECT_EQ(s.target_x, 100);
    EXPECT_EQ(s.creature_x, 0);
    EXPECT_EQ(s.sun_x, 250);
    PLOTX_set_animation(RUN_ANIMATE);
    ASSERT_EQ(demo_step(s), PLOTX_PERIODIC);
    EXPECT_EQ(s.creature_x, 10);
    EXPECT_EQ(s.sun_x, 249);
}

TEST_F(DemoRun, QuitGetsOneLastRedrawThenTheLibraryCloses) {
    start();
    hl::close(graphics(), 250);
    int kind = 0, steps = 0;
    unsigned long before = 0;
    do {
        before = test_hook.commands_rendered;
        kind = demo_step(s);
        ASSERT_LT(++steps, 10);
    } while (!s.quit_seen);
    EXPECT_EQ(kind, PLOTX_QUIT);
    EXPECT_EQ(test_hook.commands_rendered - before, frame_cost(s));
    demo_finish();
    EXPECT_EQ(g.windows.window_dc, nullptr);
}

TEST_F(DemoRun, DemoMainRunsUntilQuitAndReturnsZero) {
    hl::set_idle_limit(1000);  // no input: the headless backend quits after a second
    EXPECT_EQ(demo_main(nullptr, nullptr, "", 1), 0);
    EXPECT_EQ(g.windows.window_dc, nullptr);
    EXPECT_GE(test_hook.commands_rendered, 10u * 43u);
}

}  // namespace
