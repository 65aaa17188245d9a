// snapshot.cpp - PLOTX_save_canvas: the part of the canvas the graphics window shows,
// encoded as an 8-bit RGB PNG. Putting the file in place (atomically, and only over what
// may be replaced) is the system layer's replace_file.
#include <string>
#include <vector>
#include "host/png/png_writer.h"
#include "host/files/files.h"
#include "state.h"

namespace plotx {
namespace {

// The shown part is the client area's size from the top-left corner, clipped to the
// image. That size is kept after the window is closed, so a snapshot taken after the quit
// (PLOTX_SNAPSHOT at PLOTX_end) still gets the same picture.
bool shown_size(const px::Bitmap& canvas, int* width, int* height) {
    const int cx = g.windows.client_width, cy = g.windows.client_height;
    *width = cx < canvas.width ? cx : canvas.width;
    *height = cy < canvas.height ? cy : canvas.height;
    return *width > 0 && *height > 0;
}

// Rows in logical order (the surface stores them in a ring), three bytes a pixel.
std::vector<unsigned char> rgb_rows(const px::Bitmap& canvas, int width, int height) {
    std::vector<unsigned char> out(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    canvas.copy_bytes(0, 0, width, height, 3, out.data());
    return out;
}

}  // namespace
}  // namespace plotx

using namespace plotx;

namespace plotx {

std::string save_canvas(const char* path) {
    if (!path || !*path) {
        PLOTX_log("Cannot save canvas: no file name given\n");
        return "no file name given";
    }
    const px::Bitmap* canvas = g.windows.graphics_window ? px::dc_surface(g.windows.canvas_dc) : nullptr;
    int width = 0, height = 0;
    std::string reason;
    if (!canvas) {
        reason = "the library is not open";
    } else if (!shown_size(*canvas, &width, &height)) {
        reason = "nothing is shown";
    } else {
        std::vector<unsigned char> png;
        reason = px::encode_png(rgb_rows(*canvas, width, height).data(), width, height, &png);
        if (reason.empty()) reason = px::sys::replace_file(path, png);
    }
    if (!reason.empty()) PLOTX_log("Cannot save canvas to %s: %s\n", path, reason.c_str());
    return reason;
}

}  // namespace plotx

extern "C" int PLOTX_save_canvas(const char* path) { return save_canvas(path).empty() ? 1 : 0; }
