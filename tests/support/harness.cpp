// harness.cpp - the shared test fixture.
#include "support/harness.h"

using namespace plotx;

namespace plotx_test {

void LibraryTest::SetUp() {
    reset_library_for_tests();
    px::headless::install();
}

void LibraryTest::TearDown() { reset_library_for_tests(); }

void LibraryTest::begin() { ASSERT_EQ(PLOTX_begin(nullptr, nullptr, "", 1), 1); }

void LibraryTest::click_canvas(int x, int y, uint64_t at) {
    px::headless::click(graphics(), g.windows.origin_x + x, g.windows.origin_y - y, at);
}

int LibraryTest::wait(int* x, int* y, char* key) {
    int dx, dy;
    char dk;
    return PLOTX_wait_event(x ? x : &dx, y ? y : &dy, key ? key : &dk);
}

uint32_t LibraryTest::canvas_pixel(int x, int y) const {
    const px::Bitmap* b = px::dc_surface(g.windows.canvas_dc);
    return b->at(g.windows.origin_x + x, g.windows.origin_y - y);
}

uint32_t LibraryTest::shown_pixel(int cx, int cy) const { return graphics()->client.at(cx, cy); }

std::vector<std::string> ring_lines() {
    std::vector<std::string> out;
    const TextLogRing& r = g.text_log.ring;
    if (r.head < 0) return out;
    int i = r.head;
    do {
        const char* t = static_cast<const char*>(px::GlobalLock(r.blocks[i]));
        out.emplace_back(t ? t : "");
        px::GlobalUnlock(r.blocks[i]);
        i = (i + 1) % LOG_RING_SIZE;
    } while (i != r.tail);
    return out;
}

bool log_has(const std::string& text) {
    for (const std::string& line : ring_lines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace plotx_test
