// fuzz_drawing.cpp - drives the public drawing operations with arbitrary arguments,
// extremes included, with logging switched on and off, on a headless library opened once.
// Text reaches the operations only as data, never as a format.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

#include "plotx.h"
#include "backends/headless/headless.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (!n) return 0;
        --n;
        return *p++;
    }
    // A tag picks the kind of value, so extremes and small values are equally easy to reach.
    int value() {
        switch (byte() & 7) {
            case 0: return INT_MIN;
            case 1: return INT_MAX;
            case 2: return static_cast<int8_t>(byte());
            case 3: return static_cast<int16_t>(byte() | byte() << 8);
            default: {
                uint32_t v = byte();
                v |= static_cast<uint32_t>(byte()) << 8;
                v |= static_cast<uint32_t>(byte()) << 16;
                v |= static_cast<uint32_t>(byte()) << 24;
                return static_cast<int>(v);
            }
        }
    }
    std::string text() {
        size_t len = byte();
        if (len == 255) len = 255 + byte() * 16;  // now and then a long one
        std::string s;
        for (size_t i = 0; i < len && n; ++i) s.push_back(static_cast<char>(byte()));
        return s;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool opened = [] {
        px::headless::install();
        return PLOTX_begin(nullptr, nullptr, "", 1) == 1;
    }();
    if (!opened) return 0;
    Reader r{data, size};
    for (int ops = 0; r.n && ops < 64; ++ops) {
        switch (r.byte() % 10) {
            case 0: { int c = r.value(), x = r.value(), y = r.value(); PLOTX_draw_circle(c, x, y, r.value()); break; }
            case 1: {
                int c = r.value(), x1 = r.value(), y1 = r.value(), x2 = r.value(), y2 = r.value(), x3 = r.value(),
                    y3 = r.value();
                PLOTX_draw_triangle(c, x1, y1, x2, y2, x3, y3, r.value());
                break;
            }
            case 2: {
                int c = r.value(), x1 = r.value(), y1 = r.value(), x2 = r.value(), y2 = r.value();
                PLOTX_draw_rectangle(c, x1, y1, x2, y2, r.value());
                break;
            }
            case 3: {
                int c = r.value(), x1 = r.value(), y1 = r.value(), x2 = r.value(), y2 = r.value();
                PLOTX_draw_line(c, x1, y1, x2, y2, r.value());
                break;
            }
            case 4: { int c = r.value(), x = r.value(); PLOTX_draw_pixel(c, x, r.value()); break; }
            case 5: {
                int c = r.value(), x = r.value(), y = r.value(), s = r.value();
                std::string t = r.text();
                PLOTX_draw_text(c, x, y, s, t.c_str());
                break;
            }
            case 6: {
                int c = r.value(), x = r.value(), y = r.value(), s = r.value(), v = r.value();
                std::string t = r.text();
                PLOTX_draw_formatted_text(c, x, y, s, "%d %s %s", v, t.c_str(), t.c_str());
                break;
            }
            case 7: {
                int c = r.value(), x = r.value(), y = r.value();
                PLOTX_draw_text(c, x, y, r.value(), nullptr);
                break;
            }
            case 8: PLOTX_clear_canvas(); break;
            case 9: PLOTX_set_logging(r.byte() & 1); break;
        }
    }
    return 0;
}
