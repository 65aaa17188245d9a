// probe.cpp - a program for driving the desktop backend from outside: it opens the
// library, paints four known colour blocks into the canvas and prints one line per event
// (kind, coordinates, key, logging and animation flags) for the end-to-end tests; typing
// "t" logs 40 lines and prints a checksum of the text window's image; "u" prints how many
// images went to the X server and whether they go through shared memory.
// "record" prints events while recording PLOTX.SCR with the animation running, for the
// tests of ending by a signal or a lost display; "record-own" first installs its own
// SIGTERM handler, which the library must leave alone.
// "sessions N" opens and closes the library N times and reports what is left. (The input
// scenario has its own probe, tests/input/probe.c; bench/desktop/ has the measuring one.)
#include <signal.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "window/backend.h"
#include "backends/fltk/desktop.h"
#include "state.h"
#include "support/canvas_fill.h"

using namespace plotx;

namespace {

// A 40x40 block centred on a canvas point.
void block(int cx, int cy, uint32_t pixel) {
    int x = g.windows.origin_x + cx, y = g.windows.origin_y - cy;
    fill_canvas(x - 20, y - 20, x + 20, y + 20, pixel);
}

void paint_known_blocks() {
    fill_canvas(0, 0, CANVAS_WIDTH, CANVAS_HEIGHT, 0xFFFFFF);
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
        if (kind == PLOTX_KBD && key == 'n') {  // the probe's own clock, for tests that let time pass
            const auto now = std::chrono::steady_clock::now().time_since_epoch();
            std::printf("now %lld\n", static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
            std::fflush(stdout);
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

}  // namespace

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
    return run_events(std::strncmp(mode, "record", 6) == 0);
}
