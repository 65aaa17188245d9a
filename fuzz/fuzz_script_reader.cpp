// fuzz_script_reader.cpp - the script reader over arbitrary file contents: each input
// becomes PLOTX.SCR in a private directory and is played back on the headless backend,
// one event per wait, until playback stops or a bounded number of waits has run; once
// through PLOTX_wait_event and once through PLOTX_wait with every input flag.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "backends/headless/headless.h"
#include "state.h"
#include "support/scratch_dir.h"

namespace {

// Long enough to reach the end of any input that fits the fuzzer's length limit, short
// enough that a huge periodic count cannot stall a run.
constexpr int MAX_WAITS = 5000;

// Plays PLOTX.SCR to the end, or for a bounded number of waits; aborts on an event no
// script can give.
void play(bool describing) {
    // Every play starts with no stream, no ticks pending and no script command in force.
    plotx::close_script();
    plotx::stop_playback();
    plotx::g.scripts.recording = false;
    plotx::g.scripts.pending_periodic = 0;
    PLOTX_set_animation(RUN_ANIMATE);
    PLOTX_set_input(describing ? PLOTX_INPUT_BUTTONS | PLOTX_INPUT_MOTION | PLOTX_INPUT_WHEEL | PLOTX_INPUT_KEYS : 0);
    // Playback takes no virtual time, so this click is still ahead when it stops, and ends
    // that wait. One stays pending at most: an input cut off by the bound leaves its own.
    if (px::headless::pending_input() == 0)
        px::headless::click(plotx::g.windows.graphics_window, 5, 5, px::headless::now() + 100);
    if (!px::headless::choose_menu(plotx::g.windows.graphics_window, plotx::CMD_PLAYBACK)) std::abort();
    for (int i = 0; i < MAX_WAITS; ++i) {
        if (!describing) {
            int x, y;
            char key;
            int kind = PLOTX_wait_event(&x, &y, &key);
            if (kind < PLOTX_MOUSE || kind > PLOTX_PERIODIC) std::abort();
        } else {
            PLOTX_Event e;
            int kind = PLOTX_wait(&e);
            bool mouse = kind == PLOTX_MOUSE || kind == PLOTX_MOUSE_UP;
            bool keys = kind == PLOTX_KEY_DOWN || kind == PLOTX_KEY_UP;
            if (kind != e.kind || kind < PLOTX_MOUSE || kind > PLOTX_KEY_UP || kind == PLOTX_QUIT) std::abort();
            if ((mouse && (e.button < 1 || e.button > 3)) || (kind == PLOTX_WHEEL && e.button == 0)) std::abort();
            if ((keys && (e.key < 1 || e.key >= plotx::KEY_CODE_LIMIT)) || e.mods < 0 || e.mods > 7) std::abort();
        }
        if (!plotx::g.scripts.playing_back) break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!plotx_test::enter_process_scratch_directory("plotx-fuzz")) std::abort();
    std::FILE* f = std::fopen(plotx::SCRIPT_FILE, "wb");
    if (!f) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);

    // The library is opened once: creating the windows costs far more than a playback.
    static bool opened = false;
    if (!opened) {
        plotx::reset_library_for_tests();
        px::headless::install();
        px::headless::set_idle_limit(0);
        PLOTX_begin(nullptr, nullptr, "", 1);
        opened = true;
    }
    // Each input plays twice: to PLOTX_wait_event, which skips PLOTX_wait's lines, and
    // to PLOTX_wait with every input flag, which delivers them.
    play(false);
    play(true);
    return 0;
}
