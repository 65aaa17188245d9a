// bench_frame.cpp - the cost of one full demo frame (scene, panel, ten cars, creature)
// drawn through the public operations, against the same shapes drawn with cairo
// (antialiasing off) and against a plain fill of as many pixels as the frame's commands
// paint, overdraw counted. Targets: no slower than cairo, at most 2.2 times the fill; the
// ratios are printed after the table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "frame_scene.h"
#include "render/raster.h"
#include "state.h"

#ifdef PLOTX_HAVE_CAIRO
#include <cairo.h>
#endif

namespace {

void BM_FramePublicOperations(benchmark::State& state) {
    open_library();
    const DemoState s = frame_state();
    const unsigned long before = plotx::test_hook.commands_rendered;
    for (auto _ : state) {
        redraw(s);
        benchmark::DoNotOptimize(px::dc_surface(plotx::g.windows.canvas_dc)->pixels.data());
    }
    state.counters["commands"] =
        static_cast<double>(plotx::test_hook.commands_rendered - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FramePublicOperations)->Unit(benchmark::kMicrosecond);

// The pixels the frame's commands paint, overdraw counted: each command of one frame is
// drawn alone onto a canvas of a colour no command produces (its top byte set), and the
// pixels it changed are counted.
std::vector<plotx::DrawCommand>* seen_commands = nullptr;

size_t painted_pixels() {
    static const size_t painted = [] {
        open_library();
        std::vector<plotx::DrawCommand> commands;
        seen_commands = &commands;
        // A text command's block is freed once drawn: keep a copy of the text.
        plotx::test_hook.command_seen = [](const plotx::DrawCommand& c) {
            seen_commands->push_back(c);
            if (c.kind != plotx::DRAW_TEXT) return;
            const char* text = static_cast<const char*>(px::GlobalLock(reinterpret_cast<px::HGLOBAL>(c.y2)));
            const size_t n = text ? std::strlen(text) : 0;
            px::HGLOBAL copy = px::GlobalAlloc(px::GMEM_MOVEABLE, n + 1);
            if (char* to = static_cast<char*>(px::GlobalLock(copy))) {
                if (text) std::memcpy(to, text, n);
                to[n] = 0;
                px::GlobalUnlock(copy);
            }
            px::GlobalUnlock(reinterpret_cast<px::HGLOBAL>(c.y2));
            seen_commands->back().y2 = reinterpret_cast<intptr_t>(copy);
        };
        redraw(frame_state());
        plotx::test_hook.command_seen = nullptr;
        px::Bitmap& canvas = *px::dc_surface(plotx::g.windows.canvas_dc);
        constexpr uint32_t untouched = 0xFF5A5A5Au;
        size_t n = 0;
        for (const plotx::DrawCommand& c : commands) {
            std::fill(canvas.pixels.begin(), canvas.pixels.end(), untouched);
            plotx::render_command(c);
            for (uint32_t p : canvas.pixels) n += p != untouched;
            if (c.kind == plotx::DRAW_TEXT) px::GlobalFree(reinterpret_cast<px::HGLOBAL>(c.y2));
        }
        return n;
    }();
    return painted;
}

// A plain fill of that many pixels, pass after pass over a canvas-sized buffer.
void BM_FillPaintedPixels(benchmark::State& state) {
    const size_t canvas = static_cast<size_t>(CANVAS_WIDTH) * CANVAS_HEIGHT;
    std::vector<uint32_t> pixels(canvas);
    const size_t painted = painted_pixels();
    for (auto _ : state) {
        for (size_t left = painted; left > 0;) {
            const size_t n = std::min(left, canvas);
            std::memset(pixels.data(), 0x99, n * sizeof(uint32_t));
            left -= n;
        }
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.counters["pixels"] = static_cast<double>(painted);
}
BENCHMARK(BM_FillPaintedPixels)->Unit(benchmark::kMicrosecond);

#ifdef PLOTX_HAVE_CAIRO

// The shapes of the same frame, read back from the library's own log lines so that both
// sides draw exactly what the demo draws.
struct Shape {
    enum Kind { Circle, Triangle, Rectangle, Text } kind;
    int color = 0;
    int v[6] = {};
    int width = 0;
    int size = 0;
    std::string text;
};

int color_index(const std::string& name) {
    for (int i = 0; i < PALETTE_SIZE; ++i)
        if (name == plotx::palette_names[i]) return i;
    return RED;
}

// Parses one shape log line; the colour name may hold blanks, so it is what precedes the
// shape word.
bool parse_shape(const std::string& line, Shape* out) {
    for (const char* word : {" circle at ", " triangle at ", " rectangle with bounding box ", " text at "}) {
        size_t at = line.find(word);
        if (at == std::string::npos) continue;
        Shape s;
        s.color = color_index(line.substr(0, at));
        const char* rest = line.c_str() + at + std::strlen(word);
        if (word[1] == 'c') {
            s.kind = Shape::Circle;
            std::sscanf(rest, "(%d,%d), radius %d", &s.v[0], &s.v[1], &s.v[2]);
        } else if (word[1] == 't' && word[2] == 'r') {
            s.kind = Shape::Triangle;
            std::sscanf(rest, "(%d,%d), (%d,%d), (%d,%d)", &s.v[0], &s.v[1], &s.v[2], &s.v[3], &s.v[4], &s.v[5]);
        } else if (word[1] == 'r') {
            s.kind = Shape::Rectangle;
            std::sscanf(rest, "(%d,%d) to (%d,%d) with line width %d", &s.v[0], &s.v[1], &s.v[2], &s.v[3], &s.width);
        } else {
            s.kind = Shape::Text;
            int used = 0;
            std::sscanf(rest, "(%d,%d), \"%n", &s.v[0], &s.v[1], &used);
            s.text = std::string(rest + used);
            s.text = s.text.substr(0, s.text.rfind('"'));
            // The log leaves the size out: the demo's title is 16, every other text 12.
            s.size = s.text == DEMO_TITLE ? 16 : 12;
        }
        *out = s;
        return true;
    }
    return false;
}

// Draws a piece of the frame with logging on and collects its lines; each piece stays
// within the log's 25 lines.
template <class F>
void capture(std::vector<Shape>& shapes, F draw) {
    PLOTX_set_logging(1);
    PLOTX_log("--\n");
    draw();
    PLOTX_set_logging(0);
    std::vector<std::string> lines;
    const plotx::TextLogRing& r = plotx::g.text_log.ring;
    int i = r.head;
    do {
        const char* t = static_cast<const char*>(px::GlobalLock(r.blocks[i]));
        lines.emplace_back(t ? t : "");
        px::GlobalUnlock(r.blocks[i]);
        i = (i + 1) % plotx::LOG_RING_SIZE;
    } while (i != r.tail);
    size_t start = 0;
    for (size_t k = 0; k < lines.size(); ++k)
        if (lines[k] == "--\n") start = k + 1;
    for (size_t k = start; k < lines.size(); ++k) {
        Shape s;
        if (parse_shape(lines[k], &s)) shapes.push_back(s);
    }
}

std::vector<Shape> frame_shapes() {
    open_library();
    const DemoState s = frame_state();
    std::vector<Shape> shapes;
    capture(shapes, [&] { draw_scene(s.sun_x, s.sun_y); });
    capture(shapes, [] { draw_panel(); });
    for (int i = 0; i < s.vehicle_count; ++i)
        capture(shapes, [&] { draw_car(s.vehicle_x[i], s.vehicle_y[i], s.car_color); });
    capture(shapes, [&] {
        draw_creature(s.creature_x, s.creature_y, s.creature_pose, s.creature_facing, s.creature_scale);
    });
    return shapes;
}

void BM_FrameCairo(benchmark::State& state) {
    const std::vector<Shape> shapes = frame_shapes();
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, CANVAS_WIDTH, CANVAS_HEIGHT);
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    // The same mapping as the library's: origin in the middle of the 601 x 540 image, y up.
    const double ox = CANVAS_WIDTH / 2, oy = CANVAS_HEIGHT / 2;
    auto set = [&](int color) {
        const px::COLORREF c = plotx::palette_rgb[color];
        cairo_set_source_rgb(cr, px::GetRValue(c) / 255.0, px::GetGValue(c) / 255.0, px::GetBValue(c) / 255.0);
    };
    for (auto _ : state) {
        for (const Shape& s : shapes) {
            set(s.color);
            switch (s.kind) {
                case Shape::Circle:
                    cairo_arc(cr, ox + s.v[0] + 0.5, oy - s.v[1] + 0.5, s.v[2] + 0.5, 0, 6.283185307179586);
                    cairo_fill(cr);
                    break;
                case Shape::Triangle:
                    cairo_move_to(cr, ox + s.v[0] + 0.5, oy - s.v[1] + 0.5);
                    cairo_line_to(cr, ox + s.v[2] + 0.5, oy - s.v[3] + 0.5);
                    cairo_line_to(cr, ox + s.v[4] + 0.5, oy - s.v[5] + 0.5);
                    cairo_close_path(cr);
                    cairo_fill_preserve(cr);
                    cairo_set_line_width(cr, 1);
                    cairo_stroke(cr);
                    break;
                case Shape::Rectangle: {
                    const double l = ox + s.v[0], t = oy - s.v[1], r = ox + s.v[2] + 1, b = oy - s.v[3] + 1;
                    if (s.width == 0) {
                        cairo_rectangle(cr, l, t, r - l, b - t);
                        cairo_fill(cr);
                    } else {
                        cairo_rectangle(cr, l + 0.5, t + 0.5, r - l - 1, b - t - 1);
                        cairo_set_line_width(cr, s.width);
                        cairo_stroke(cr);
                    }
                    break;
                }
                case Shape::Text: {
                    cairo_set_font_size(cr, s.size * 1.1);
                    cairo_font_extents_t fe;
                    cairo_font_extents(cr, &fe);
                    cairo_move_to(cr, ox + s.v[0], oy - s.v[1] - fe.descent);
                    cairo_show_text(cr, s.text.c_str());
                    break;
                }
            }
        }
        cairo_surface_flush(surface);
        benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
    }
    state.counters["shapes"] = static_cast<double>(shapes.size());
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
BENCHMARK(BM_FrameCairo)->Unit(benchmark::kMicrosecond);

#endif  // PLOTX_HAVE_CAIRO

// The table as usual, then the frame's time as a multiple of the others'.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;  // real time per iteration, by benchmark name
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration || r.aggregate_name == "median") times[r.run_name.function_name] = r.GetAdjustedRealTime();
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto& t = reporter.times;
    const auto frame = t.find("BM_FramePublicOperations");
    if (frame == t.end()) return 0;
    if (t.count("BM_FillPaintedPixels"))
        std::printf("\nframe / fill of the %zu painted pixels: %.2fx (target at most 2.2x)\n", painted_pixels(),
                    frame->second / t["BM_FillPaintedPixels"]);
    if (t.count("BM_FrameCairo"))
        std::printf("frame / cairo's frame: %.2fx (target at most 1x)\n", frame->second / t["BM_FrameCairo"]);
    return 0;
}
