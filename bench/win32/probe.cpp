// probe.cpp - the Windows backend's measuring probe, run under Wine by measure.py.
//   probe idle        opens the library halted and waits for input until it quits
//   probe ticks N     animates with a full redraw per tick; prints the tick periods
//   probe present N   times N presentations of a changed canvas (one blit each)
// Prints "ready" once its windows are up, then one result line.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "window/backend.h"
#include "state.h"

namespace {

double ms_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

void summary(const char* what, std::vector<double> v) {
    if (v.empty()) return;
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) sum += x;
    std::printf("%s n=%zu min=%.2f median=%.2f mean=%.2f max=%.2f ms\n", what, v.size(), v.front(), v[v.size() / 2],
                sum / v.size(), v.back());
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "idle";
    const int n = argc > 2 ? std::atoi(argv[2]) : 100;
    PLOTX_begin(nullptr, nullptr, "", 1);
    PLOTX_set_logging(0);
    int x = 0, y = 0;
    char key = 0;
    std::printf("ready\n");
    std::fflush(stdout);
    if (std::strcmp(mode, "ticks") == 0) {
        PLOTX_set_animation(RUN_ANIMATE);
        std::vector<double> periods;
        auto last = std::chrono::steady_clock::now();
        int color = 0;
        while (static_cast<int>(periods.size()) < n) {
            const int kind = PLOTX_wait_event(&x, &y, &key);
            if (kind == PLOTX_QUIT) break;
            if (kind != PLOTX_PERIODIC) continue;
            periods.push_back(ms_since(last));
            last = std::chrono::steady_clock::now();
            PLOTX_draw_rectangle(color++ % PALETTE_SIZE, VISIBLE_LEFT, VISIBLE_BOTTOM, VISIBLE_RIGHT, VISIBLE_TOP, 0);
        }
        periods.erase(periods.begin());  // from the start to the first tick
        summary("ticks", periods);
    } else if (std::strcmp(mode, "present") == 0) {
        std::vector<double> times;
        for (int i = 0; i < n; ++i) {
            PLOTX_draw_rectangle(i % PALETTE_SIZE, VISIBLE_LEFT, VISIBLE_BOTTOM, VISIBLE_RIGHT, VISIBLE_TOP, 0);
            plotx::present_canvas();
            auto t = std::chrono::steady_clock::now();
            px::backend().window_changed(plotx::g.windows.graphics_window);
            times.push_back(ms_since(t));
        }
        summary("present", times);
    } else {
        PLOTX_set_animation(RUN_HALT);
        while (PLOTX_wait_event(&x, &y, &key) != PLOTX_QUIT) {
        }
        std::printf("idle done\n");
    }
    std::fflush(stdout);
    PLOTX_end();
    return 0;
}
