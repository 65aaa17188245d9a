// bench_capture.cpp - what capturing a run as a GIF costs per frame, next to what drawing
// that frame costs: the demo's frames tick by tick (sun, traffic, the creature walking),
// each drawn, then presented with and without a capture. After the table it prints the
// ratio and the file's size next to what gifsicle -O3 makes of the same frames (when it
// is installed). Targets: capture no dearer than drawing; the file at most 1.2 times gifsicle's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "demo.h"
#include "backends/headless/headless.h"
#include "state.h"

namespace {

namespace fs = std::filesystem;

std::map<std::string, double> ns_per_frame;
fs::path gif_path() { return fs::temp_directory_path() / ("plotx-bench-capture-" + std::to_string(getpid()) + ".gif"); }

// The demo as the shipped session runs it: the creature sent to the road, then ticks.
DemoState open_demo() {
    plotx::reset_library_for_tests();
    px::headless::install();
    setenv("PLOTX_SEED", "1", 1);
    DemoState s;
    demo_start(s, nullptr, nullptr, "", 1);
    s.mouse_x = -100;
    s.mouse_y = -100;
    handle_event(s, PLOTX_MOUSE);
    plotx::present_canvas();
    return s;
}

void BM_DrawDemoFrame(benchmark::State& state) {
    DemoState s = open_demo();
    for (auto _ : state) {
        state.PauseTiming();
        periodic_update(s);
        state.ResumeTiming();
        redraw(s);
    }
    PLOTX_end();
}
BENCHMARK(BM_DrawDemoFrame)->Unit(benchmark::kMicrosecond)->Iterations(600);

// Presenting a drawn frame: the copy to the window, and with the argument 1 the capture too.
void BM_PresentDemoFrame(benchmark::State& state) {
    const bool capture = state.range(0) != 0;
    DemoState s = open_demo();
    if (capture && !PLOTX_start_capture(gif_path().string().c_str())) state.SkipWithError("cannot capture");
    for (auto _ : state) {
        state.PauseTiming();
        periodic_update(s);
        redraw(s);
        px::headless::advance(100);
        state.ResumeTiming();
        plotx::present_canvas();
    }
    state.SetLabel(capture ? "with capture" : "without capture");
    if (capture) state.counters["gif_bytes"] = static_cast<double>(plotx::g.capture.length);
    PLOTX_end();
}
BENCHMARK(BM_PresentDemoFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(600);

// Keeps each run's time per frame for the summary.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.iterations > 0) ns_per_frame[r.benchmark_name()] = r.GetAdjustedCPUTime() * 1000.0;
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double draw = ns_per_frame["BM_DrawDemoFrame/iterations:600"];
    const double plain = ns_per_frame["BM_PresentDemoFrame/0/iterations:600"];
    const double with = ns_per_frame["BM_PresentDemoFrame/1/iterations:600"];
    if (draw > 0 && with > 0)
        std::printf("\nprocessor time: capture per frame %.0f us, drawing the frame %.0f us: capture / drawing = %.2f (target <= 1)\n",
                    (with - plain) / 1000, draw / 1000, (with - plain) / draw);
    const fs::path gif = gif_path(), optimised = gif.string() + ".O3.gif";
    std::error_code ec;
    if (fs::exists(gif, ec)) {
        const std::string command = "gifsicle -O3 '" + gif.string() + "' -o '" + optimised.string() + "' 2>/dev/null";
        const auto ours = fs::file_size(gif, ec);
        if (std::system(command.c_str()) == 0 && fs::exists(optimised, ec)) {
            const auto theirs = fs::file_size(optimised, ec);
            std::printf("GIF of 601 frames: %ju bytes; gifsicle -O3 of the same frames: %ju bytes; ratio %.3f (target <= 1.2)\n",
                        static_cast<uintmax_t>(ours), static_cast<uintmax_t>(theirs),
                        static_cast<double>(ours) / static_cast<double>(theirs));
        } else {
            std::printf("GIF of 601 frames: %ju bytes; gifsicle is not installed (apt-get install gifsicle) to compare\n",
                        static_cast<uintmax_t>(ours));
        }
        fs::remove(gif, ec);
        fs::remove(optimised, ec);
    }
    benchmark::Shutdown();
    return 0;
}
