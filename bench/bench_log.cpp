// Cost of one logged line in text windows of two screen widths. The window keeps its rows
// in a ring, so a line should cost about one line strip, not the whole window.
#include <benchmark/benchmark.h>
#include "backends/headless/headless.h"
#include "state.h"

static void BM_LogLine(benchmark::State& state) {
    plotx::reset_library_for_tests();
    px::headless::install(static_cast<int>(state.range(0)), 1080);
    PLOTX_begin(nullptr, nullptr, "", 1);
    int i = 0;
    for (auto _ : state) PLOTX_log("green circle at (%d,%d), radius %d\n", i++ % 600 - 300, 40, 20);
    state.SetLabel(std::to_string(plotx::g.windows.text_window->client.width) + " px wide");
    plotx::reset_library_for_tests();
}
BENCHMARK(BM_LogLine)->Arg(1024)->Arg(3840);

BENCHMARK_MAIN();
