// harness.h - what every library test starts from: a fresh library state, a fresh
// headless backend, and helpers to reach the windows and their pixels.
#pragma once
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "backends/headless/headless.h"
#include "render/raster.h"
#include "state.h"

namespace plotx_test {

// A fixture with the library closed and a headless backend whose clock is at 0.
class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Opens the library as an application does.
    void begin();
    px::HWND graphics() const { return plotx::g.windows.graphics_window; }
    px::HWND text() const { return plotx::g.windows.text_window; }
    // A click at a canvas point, delivered now or at a virtual time.
    void click_canvas(int x, int y, uint64_t at = px::headless::NOW);
    int wait(int* x = nullptr, int* y = nullptr, char* key = nullptr);
    // Pixel of the canvas image at canvas coordinates, as 0x00RRGGBB.
    uint32_t canvas_pixel(int x, int y) const;
    // Pixel the graphics window shows at a client position.
    uint32_t shown_pixel(int client_x, int client_y) const;
};

// The lines the log ring holds, oldest first.
std::vector<std::string> ring_lines();
// Whether some line the ring holds contains text.
bool log_has(const std::string& text);

}  // namespace plotx_test
