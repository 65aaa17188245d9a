// frame_time.cpp - one demo frame's drawing time as a plain timing loop: the same source runs
// natively and as WebAssembly under Node (Google Benchmark does not build there), so the
// web port's cost per frame can be set against the native one. Prints the median of 15
// rounds of 100 frames in microseconds a frame.
//   frame_time            (native: build/bench/frame_time; web: node build-web/bench/frame_time.js)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "frame_scene.h"

int main() {
    open_library();
    const DemoState s = frame_state();
    for (int i = 0; i < 50; ++i) redraw(s);  // faces loaded, glyphs cached, code warm
    std::vector<double> rounds;
    for (int r = 0; r < 15; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 100; ++i) redraw(s);
        const std::chrono::duration<double, std::micro> d = std::chrono::steady_clock::now() - t0;
        rounds.push_back(d.count() / 100);
    }
    std::sort(rounds.begin(), rounds.end());
    std::printf("one frame: %.1f us (median of 15 rounds; fastest %.1f, slowest %.1f)\n", rounds[7], rounds[0],
                rounds[14]);
    return 0;
}
