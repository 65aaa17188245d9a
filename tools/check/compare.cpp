// compare.cpp - pixel comparison, the diff picture and thumbnails, on the reader and writer
// the library's tests use (host/png).
#include "compare.h"

#include <algorithm>
#include <fstream>

#include "host/png/png_writer.h"

namespace check {
namespace {

// The diff's colour for a differing pixel; the rest is the expected picture faded to a
// quarter of its contrast, so the marks stand out on any scene.
constexpr unsigned char MARK[3] = {255, 0, 255};

unsigned char faded(unsigned char v) { return static_cast<unsigned char>(255 - (255 - v) / 4); }

}  // namespace

Comparison compare_pictures(const px::Png& expected, const px::Png& actual, long long max_pixels) {
    Comparison c;
    if (expected.width != actual.width || expected.height != actual.height) {
        c.error = "the sizes differ: expected " + std::to_string(expected.width) + "x" +
                  std::to_string(expected.height) + ", actual " + std::to_string(actual.width) + "x" +
                  std::to_string(actual.height);
        return c;
    }
    const size_t n = static_cast<size_t>(expected.width) * expected.height;
    c.diff.resize(n * 3);
    c.left = expected.width;
    c.top = expected.height;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char* e = &expected.rgb[i * 3];
        const unsigned char* a = &actual.rgb[i * 3];
        unsigned char* d = &c.diff[i * 3];
        if (e[0] != a[0] || e[1] != a[1] || e[2] != a[2]) {
            ++c.differing;
            const unsigned x = static_cast<unsigned>(i % expected.width), y = static_cast<unsigned>(i / expected.width);
            c.left = std::min(c.left, x);
            c.right = std::max(c.right, x);
            c.top = std::min(c.top, y);
            c.bottom = std::max(c.bottom, y);
            std::copy(MARK, MARK + 3, d);
        } else {
            d[0] = faded(e[0]);
            d[1] = faded(e[1]);
            d[2] = faded(e[2]);
        }
    }
    if (c.differing == 0) c.left = c.top = 0;
    c.status = c.differing > max_pixels ? 1 : 0;
    return c;
}

Comparison compare_files(const std::string& expected, const std::string& actual, long long max_pixels) {
    const px::Png e = px::read_png(expected);
    if (!e.ok) {
        Comparison c;
        c.error = "cannot read " + expected + ": " + e.error;
        return c;
    }
    const px::Png a = px::read_png(actual);
    if (!a.ok) {
        Comparison c;
        c.error = "cannot read " + actual + ": " + a.error;
        return c;
    }
    return compare_pictures(e, a, max_pixels);
}

std::string summary(const Comparison& c, long long max_pixels) {
    if (c.status == 2) return c.error;
    std::string text = std::to_string(c.differing) + (c.differing == 1 ? " pixel differs" : " pixels differ");
    if (max_pixels > 0) text += " (" + std::to_string(max_pixels) + " allowed)";
    if (c.differing > 0)
        text += ", from (" + std::to_string(c.left) + ", " + std::to_string(c.top) + ") to (" +
                std::to_string(c.right) + ", " + std::to_string(c.bottom) + ")";
    return text;
}

std::vector<unsigned char> thumbnail_png(const std::vector<unsigned char>& rgb, unsigned width, unsigned height,
                                         unsigned max_width, bool marks) {
    const unsigned factor = std::max(1u, (width + max_width - 1) / max_width);
    const unsigned w = std::max(1u, width / factor), h = std::max(1u, height / factor);
    std::vector<unsigned char> small(static_cast<size_t>(w) * h * 3);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            unsigned sum[3] = {0, 0, 0};
            bool marked = false;
            for (unsigned dy = 0; dy < factor; ++dy)
                for (unsigned dx = 0; dx < factor; ++dx) {
                    const unsigned char* p = &rgb[((static_cast<size_t>(y) * factor + dy) * width + x * factor + dx) * 3];
                    marked = marked || (marks && std::equal(MARK, MARK + 3, p));
                    for (unsigned k = 0; k < 3; ++k) sum[k] += p[k];
                }
            unsigned char* out = &small[(static_cast<size_t>(y) * w + x) * 3];
            for (unsigned k = 0; k < 3; ++k)
                out[k] = marked ? MARK[k] : static_cast<unsigned char>(sum[k] / (factor * factor));
        }
    if (marks) {
        // A mark a pixel wide is hard to see at this size: each grows to its neighbours.
        const std::vector<unsigned char> before = small;
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w; ++x) {
                if (!std::equal(MARK, MARK + 3, &before[(static_cast<size_t>(y) * w + x) * 3])) continue;
                for (unsigned ny = y > 0 ? y - 1 : 0; ny <= y + 1 && ny < h; ++ny)
                    for (unsigned nx = x > 0 ? x - 1 : 0; nx <= x + 1 && nx < w; ++nx)
                        std::copy(MARK, MARK + 3, &small[(static_cast<size_t>(ny) * w + nx) * 3]);
            }
    }
    std::vector<unsigned char> png;
    if (!px::encode_png(small.data(), static_cast<int>(w), static_cast<int>(h), &png).empty()) png.clear();
    return png;
}

bool write_file(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace check
