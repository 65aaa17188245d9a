// probe.cpp - the desktop backend's measuring probe, run by measure.sh under its own Xvfb:
// "animate N" redraws the whole canvas on every tick and reports tick periods and processor
// time; "idle" the processor time of a halted wait; "present N" times N presentations of a
// changed frame; "behind" counts the pointer moves a program that takes 50 ms per move is given.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "window/backend.h"
#include "backends/fltk/desktop.h"
#include "state.h"
#include "support/canvas_fill.h"

using namespace plotx;

namespace {

double now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double cpu_ms() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
}

void paint_white() { fill_canvas(0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, 0xFFFFFF); }

// Ticks with a full redraw each; reports the periods between the first `ticks` + 1
// periodic events and the processor time used meanwhile.
int run_animate(int ticks) {
    PLOTX_set_animation(RUN_ANIMATE);
    std::vector<double> at;
    double cpu0 = 0, wall0 = 0;
    int x, y;
    char key;
    while (static_cast<int>(at.size()) <= ticks) {
        int kind = PLOTX_wait_event(&x, &y, &key);
        if (kind == PLOTX_QUIT) return 1;
        if (kind != PLOTX_PERIODIC) continue;
        if (at.empty()) {
            cpu0 = cpu_ms();
            wall0 = now_ms();
        }
        at.push_back(now_ms());
        uint32_t shade = static_cast<uint32_t>(at.size() * 37 % 256);
        fill_canvas(0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, (shade << 16) | (255 - shade));
    }
    double cpu = cpu_ms() - cpu0, wall = now_ms() - wall0;
    double sum = 0, worst = 0;
    for (size_t i = 1; i < at.size(); ++i) {
        double p = at[i] - at[i - 1];
        sum += p;
        worst = std::max(worst, std::fabs(p - 100.0));
    }
    std::printf("ticks %d mean_period_ms %.2f worst_deviation_ms %.2f cpu_ms %.1f wall_ms %.0f cpu_percent %.2f\n", ticks,
                sum / ticks, worst, cpu, wall, 100.0 * cpu / wall);
    return PLOTX_end() ? 0 : 1;
}

// Waits with animation halted until quit; reports the processor time of the wait.
int run_idle() {
    paint_white();
    // Let the first presentation and the windows' first paint settle before counting.
    int x, y;
    char key;
    PLOTX_set_animation(RUN_ONE_FRAME);
    PLOTX_wait_event(&x, &y, &key);
    double cpu0 = cpu_ms(), wall0 = now_ms();
    std::printf("ready\n");
    std::fflush(stdout);
    while (PLOTX_wait_event(&x, &y, &key) != PLOTX_QUIT) {
    }
    double cpu = cpu_ms() - cpu0, wall = now_ms() - wall0;
    std::printf("idle cpu_ms %.1f wall_ms %.0f cpu_percent %.2f\n", cpu, wall, 100.0 * cpu / wall);
    return PLOTX_end() ? 0 : 1;
}

// Presentation of a changed frame: canvas to client image, the backend's display of it,
// and a round trip so that the X server has drawn it.
int run_present(int frames) {
    // Until the first expose nothing sent reaches the screen: let the first paint happen.
    int x, y;
    char key;
    PLOTX_set_animation(RUN_ONE_FRAME);
    PLOTX_wait_event(&x, &y, &key);
    int uploads0 = px::desktop::uploads();
    std::vector<double> t;
    for (int i = 0; i < frames; ++i) {
        fill_canvas(0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, static_cast<uint32_t>(i * 0x010203));
        double t0 = now_ms();
        present_canvas();
        px::backend().window_changed(g.windows.graphics_window);
        px::desktop::sync();
        t.push_back(now_ms() - t0);
    }
    std::sort(t.begin(), t.end());
    double sum = 0;
    for (double v : t) sum += v;
    std::printf("present frames %d mean_ms %.3f median_ms %.3f max_ms %.3f uploads %d\n", frames, sum / frames,
                t[t.size() / 2], t.back(), px::desktop::uploads() - uploads0);
    return PLOTX_end() ? 0 : 1;
}

}  // namespace

// A program that falls behind: each pointer move costs it 50 ms. Prints, when a key is
// typed, how many moves it was given and after how long it had the last position it got.
int run_behind() {
    paint_white();
    PLOTX_set_input(PLOTX_INPUT_MOTION);
    std::printf("ready\n");
    std::fflush(stdout);
    PLOTX_Event e;
    int moves = 0, x = 0, y = 0;
    double first = 0, last = 0;
    while (PLOTX_wait(&e) != PLOTX_QUIT && e.kind != PLOTX_KBD) {
        if (e.kind != PLOTX_MOUSE_MOVE) continue;
        last = now_ms();
        if (moves++ == 0) first = last;
        x = e.x;
        y = e.y;
        usleep(50000);
    }
    std::printf("behind moves_delivered %d last_at %d %d last_after_ms %.0f\n", moves, x, y, last - first);
    return PLOTX_end() ? 0 : 1;
}

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "idle";
    int count = argc > 2 ? std::atoi(argv[2]) : 100;
    if (count < 1) count = 1;
    PLOTX_begin(nullptr, nullptr, "", 1);
    PLOTX_set_logging(0);
    std::printf("backend %s\n", px::backend().name());
    if (std::strcmp(mode, "animate") == 0) return run_animate(count);
    if (std::strcmp(mode, "present") == 0) return run_present(count);
    if (std::strcmp(mode, "behind") == 0) return run_behind();
    return run_idle();
}
