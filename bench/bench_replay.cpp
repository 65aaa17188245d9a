// Replaying a long recorded demo session headless, every event redrawn as the demo does:
// events per second with logging off and on.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "demo.h"
#include "backends/headless/headless.h"
#include "state.h"

namespace {

constexpr int SESSION_EVENTS = 10000;

// A session of the shape people record: runs of ticks, clicks on the road and the panel,
// now and then a typed key. Returns the number of events it holds.
int write_session(const char* path) {
    std::FILE* f = std::fopen(path, "w");
    int events = 0, i = 0;
    while (events < SESSION_EVENTS) {
        int run = 20 + (i * 7) % 30;
        if (events + run > SESSION_EVENTS) run = SESSION_EVENTS - events;
        std::fprintf(f, "PLOTX_PERIODIC(%d);\n", run);
        events += run;
        if (events < SESSION_EVENTS) {
            std::fprintf(f, "PLOTX_MOUSE(%d, %d);\n", -250 + (i * 53) % 500, -100 + (i % 3) * 5);
            ++events;
        }
        if (events < SESSION_EVENTS && i % 4 == 0) {
            std::fprintf(f, "PLOTX_MOUSE(-250, %d);\n", i % 8 == 0 ? 110 : 180);  // New Color, Faster
            ++events;
        }
        if (events < SESSION_EVENTS && i % 5 == 0) {
            std::fprintf(f, "PLOTX_KBD(97);\n");
            ++events;
        }
        ++i;
    }
    std::fclose(f);
    return events;
}

void BM_ReplayDemoSession(benchmark::State& state) {
    const bool logging = state.range(0) != 0;
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("plotx-bench-replay-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    int events = write_session("PLOTX.SCR");
    setenv("PLOTX_PLAYBACK", "1", 1);
    setenv("PLOTX_SEED", "1", 1);
    long delivered = 0;
    for (auto _ : state) {
        plotx::reset_library_for_tests();
        px::headless::install();
        DemoState s;
        demo_start(s, nullptr, nullptr, "", 1);
        if (logging) PLOTX_set_logging(1);
        while (!s.quit_seen) {
            demo_step(s);
            ++delivered;
        }
        demo_finish();
    }
    unsetenv("PLOTX_PLAYBACK");
    unsetenv("PLOTX_SEED");
    plotx::reset_library_for_tests();
    std::filesystem::current_path(cwd);
    std::filesystem::remove_all(dir);
    state.SetItemsProcessed(delivered);
    state.counters["session_events"] = events;
    state.SetLabel(logging ? "logging on" : "logging off");
}
BENCHMARK(BM_ReplayDemoSession)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
