// frame_scene.h - the frame the frame benchmarks draw (bench_frame.cpp with Google
// Benchmark, frame_time.cpp as a plain timing loop that also builds for WebAssembly): the
// demo with every car on the road, drawn into the headless backend's canvas.
#pragma once
#include "demo.h"
#include "backends/headless/headless.h"
#include "state.h"

namespace {

// The frame the demo shows with ten cars on the road and the creature standing in front.
DemoState frame_state() {
    DemoState s;
    s.vehicle_count = MAX_VEHICLES;
    for (int i = 0; i < MAX_VEHICLES; ++i) {
        s.vehicle_x[i] = -270 + 60 * i;
        s.vehicle_y[i] = ROAD_Y;
        s.vehicle_state[i] = VEHICLE_INTACT;
    }
    return s;
}

void open_library() {
    static bool open = [] {
        plotx::reset_library_for_tests();
        px::headless::install();
        PLOTX_begin(nullptr, nullptr, "", 1);
        PLOTX_set_logging(0);
        PLOTX_clear_canvas();
        return true;
    }();
    (void)open;
}

}  // namespace
