// probe.cpp - a program for driving the desktop backend from outside: it opens the
// library, paints four known colour blocks into the canvas and prints one line per event
// (kind, coordinates, key, logging and animation flags) for the end-to-end tests; typing
// "t" logs 40 lines and prints a checksum of the text window's image; "u" prints how many
// images went to the X server and whether they go through shared memory. With
// PLOTX_PROBE_INPUT=flags it prints what the richer wait delivers instead.
// "record" prints events while recording PLOTX.SCR with the animation running, for the
// tests of ending by a signal or a lost display; "record-own" first installs its own
// SIGTERM handler, which the library must leave alone.
// Other modes measure: "animate N" redraws the whole canvas on every tick and reports tick
// periods and processor time; "present N" times N presentations of a changed frame;
// "behind" counts the pointer moves a program that takes 50 ms per move is given.
// "sessions N" opens and closes the library N times and reports what is left.
#include <signal.h>
#include <sys/resource.h>
#include <sys/shm.h>
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

// Paints straight into the canvas surface, so the probe depends on nothing but the
// window layer and the backend under test.
void fill(int left, int top, int right, int bottom, uint32_t pixel) {
    px::Bitmap* b = px::dc_surface(g.windows.canvas_dc);
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, b->width);
    bottom = std::min(bottom, b->height);
    for (int y = top; y < bottom; ++y) std::fill(b->row(y) + left, b->row(y) + right, pixel);
    ++b->generation;
    g.windows.canvas_dirty = 1;
}

// A 40x40 block centred on a canvas point.
void block(int cx, int cy, uint32_t pixel) {
    int x = g.windows.origin_x + cx, y = g.windows.origin_y - cy;
    fill(x - 20, y - 20, x + 20, y + 20, pixel);
}

void paint_known_blocks() {
    fill(0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, 0xFFFFFF);
    block(-100, 100, 0xFF0000);
    block(100, 100, 0x00FF00);
    block(-100, -100, 0x0000FF);
    block(100, -100, 0xFFFF00);
    block(0, 0, 0x000000);
}

const char* kind_name(int kind) {
    switch (kind) {
        case PLOTX_MOUSE: return "MOUSE";
        case PLOTX_KBD: return "KBD";
        case PLOTX_PERIODIC: return "PERIODIC";
        case PLOTX_QUIT: return "QUIT";
        default: return "OTHER";
    }
}

// A sum over the text window's client image, row by row in the order shown, that the
// test recomputes from the screen.
uint32_t text_checksum(int columns) {
    const px::Bitmap& b = g.windows.text_window->client;
    uint32_t sum = 0, i = 0;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < columns; ++x) sum += (b.at(x, y) & 0xFFFFFF) * (++i);
    return sum;
}

// The richer wait with the given input flags: one line per event, "EVENT kind x y button
// key mods", and whether the left arrow is held.
int run_input(int flags) {
    PLOTX_set_input(flags);
    for (;;) {
        PLOTX_Event e;
        int kind = PLOTX_wait(&e);
        std::printf("EVENT %d %d %d %d %d %d left_held=%d\n", kind, e.x, e.y, e.button, e.key, e.mods,
                    PLOTX_key_held(PLOTX_KEY_LEFT));
        std::fflush(stdout);
        if (kind == PLOTX_QUIT) break;
    }
    return PLOTX_end() ? 0 : 1;
}

volatile sig_atomic_t own_handler_ran = 0;
extern "C" void own_handler(int) { own_handler_ran = 1; }

int run_events(bool record = false) {
    paint_known_blocks();
    if (record) {
        run_command(CMD_RECORD);
        PLOTX_set_animation(RUN_ANIMATE);
    }
    std::printf("ready %d %d %d %d\n", g.windows.client_width, g.windows.client_height, g.windows.origin_x,
                g.windows.origin_y);
    std::fflush(stdout);
    const char* input = std::getenv("PLOTX_PROBE_INPUT");
    if (input && *input) return run_input(std::atoi(input));
    for (;;) {
        int x = 0, y = 0;
        char key = 0;
        int kind = PLOTX_wait_event(&x, &y, &key);
        std::printf("%s %d %d %d logging=%d animating=%d\n", kind_name(kind), x, y, static_cast<unsigned char>(key),
                    g.drawing.logging_on, g.events.animating);
        std::fflush(stdout);
        if (kind == PLOTX_QUIT) break;
        if (own_handler_ran) {
            std::printf("own handler ran\n");
            std::fflush(stdout);
            break;
        }
        if (kind == PLOTX_KBD && key == 'u') {
            std::printf("uploads %d shared=%d\n", px::desktop::uploads(), px::desktop::shared_images() ? 1 : 0);
            std::fflush(stdout);
        }
        if (kind == PLOTX_KBD && key == 't') {
            // More lines than the ring holds, so the shown image's rows wrap around.
            for (int i = 1; i <= 40; ++i) PLOTX_log("line %d of the probe's log: the quick brown fox\n", i);
            const px::Bitmap& b = g.windows.text_window->client;
            int columns = std::min(b.width, 400);
            std::printf("text %d %d %d %u\n", columns, b.height, b.row_offset, text_checksum(columns));
            std::fflush(stdout);
        }
    }
    return PLOTX_end() ? 0 : 1;
}

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
        fill(0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, (shade << 16) | (255 - shade));
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
    paint_known_blocks();
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
        fill(0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, static_cast<uint32_t>(i * 0x010203));
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
    paint_known_blocks();
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

// Shared-memory segments this process made that are still attached.
int own_segments() {
    shm_info info{};
    int last = shmctl(0, SHM_INFO, reinterpret_cast<shmid_ds*>(&info));
    int n = 0;
    for (int i = 0; i <= last; ++i) {
        shmid_ds ds{};
        if (shmctl(i, SHM_STAT, &ds) >= 0 && ds.shm_cpid == getpid()) ++n;
    }
    return n;
}

// "sessions N": N sessions opened and closed; then the segments left, and a SIGINT to
// itself, which must end the program now that no session holds the signal.
int run_sessions(int count) {
    for (int i = 0; i < count; ++i) {
        PLOTX_begin(nullptr, nullptr, "", 1);
        PLOTX_set_logging(0);
        paint_known_blocks();
        px::wait_for_message();
        PLOTX_end();
    }
    std::printf("segments %d shared %d\n", own_segments(), px::desktop::shared_images() ? 1 : 0);
    std::fflush(stdout);
    raise(SIGINT);
    std::printf("survived\n");
    return 0;
}

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "events";
    int count = argc > 2 ? std::atoi(argv[2]) : 100;
    if (count < 1) count = 1;
    if (std::strcmp(mode, "record-own") == 0) signal(SIGTERM, own_handler);
    if (std::strcmp(mode, "sessions") == 0) return run_sessions(count);
    PLOTX_begin(nullptr, nullptr, "", 1);
    PLOTX_set_logging(0);
    std::printf("backend %s\n", px::backend().name());
    if (std::strcmp(mode, "animate") == 0) return run_animate(count);
    if (std::strcmp(mode, "idle") == 0) return run_idle();
    if (std::strcmp(mode, "present") == 0) return run_present(count);
    if (std::strcmp(mode, "behind") == 0) return run_behind();
    return run_events(std::strncmp(mode, "record", 6) == 0);
}
