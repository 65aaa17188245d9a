// snapshot.cpp - PLOTX_save_canvas: the part of the canvas the graphics window shows,
// written as an 8-bit RGB PNG. A file only ever appears under its final name complete: it
// is written under a temporary name in the same directory and renamed over the target.
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "platform/png_encoder.h"
#include "state.h"

namespace plotx {
namespace {

// The shown part is the client area's size from the top-left corner, clipped to the
// image. The layer keeps that size after the window is closed, so a snapshot taken after
// the quit (PLOTX_SNAPSHOT at PLOTX_end) still gets the same picture.
bool shown_size(const px::Bitmap& canvas, int* width, int* height) {
    const px::Size client = px::last_client_size(g.graphics_window);
    *width = client.cx < canvas.width ? client.cx : canvas.width;
    *height = client.cy < canvas.height ? client.cy : canvas.height;
    return *width > 0 && *height > 0;
}

// Rows in logical order (the surface stores them in a ring), three bytes a pixel.
std::vector<unsigned char> rgb_rows(const px::Bitmap& canvas, int width, int height) {
    std::vector<unsigned char> out(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    unsigned char* p = out.data();
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = canvas.row(y);
        for (int x = 0; x < width; ++x) {
            uint32_t v = row[x];
            *p++ = static_cast<unsigned char>(v >> 16);
            *p++ = static_cast<unsigned char>(v >> 8);
            *p++ = static_cast<unsigned char>(v);
        }
    }
    return out;
}

// A new file beside the target. Mode 0666 so that, after the umask, the snapshot gets the
// permissions any newly created file would; O_EXCL so a leftover is never reused.
int open_temp(const std::string& path, std::string* temp) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string stem = dir + ".plotx-snapshot-" + std::to_string(static_cast<long>(getpid())) + "-";
    for (int n = 0; n < 100; ++n) {
        *temp = stem + std::to_string(n) + ".tmp";
        int fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Writes the PNG to the temporary file and renames it into place. Returns the reason of a
// failure, or an empty string; on failure nothing is left behind.
std::string write_png(const std::string& path, const std::vector<unsigned char>& rgb, int width, int height) {
    std::string temp;
    int fd = open_temp(path, &temp);
    if (fd < 0) return std::strerror(errno);
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
        std::string reason = std::strerror(errno);
        close(fd);
        unlink(temp.c_str());
        return reason;
    }

    std::vector<unsigned char> png;
    std::string reason = px::encode_png(rgb.data(), width, height, &png);
    if (reason.empty() && std::fwrite(png.data(), 1, png.size(), f) != png.size())
        reason = std::strerror(errno ? errno : EIO);
    // Flushed and synced before the rename, so the name never points at a short file.
    if (reason.empty() && (std::fflush(f) != 0 || std::ferror(f) || fsync(fileno(f)) != 0))
        reason = std::strerror(errno ? errno : EIO);
    if (std::fclose(f) != 0 && reason.empty()) reason = std::strerror(errno);
    if (reason.empty() && std::rename(temp.c_str(), path.c_str()) != 0) reason = std::strerror(errno);
    if (!reason.empty()) unlink(temp.c_str());
    return reason;
}

}  // namespace
}  // namespace plotx

using namespace plotx;

extern "C" int PLOTX_save_canvas(const char* path) {
    if (!path || !*path) {
        PLOTX_log("Cannot save canvas: no file name given\n");
        return 0;
    }
    const px::Bitmap* canvas = g.graphics_window ? px::dc_surface(g.canvas_dc) : nullptr;
    if (!canvas) {
        PLOTX_log("Cannot save canvas to %s: the library is not open\n", path);
        return 0;
    }
    int width = 0, height = 0;
    if (!shown_size(*canvas, &width, &height)) {
        PLOTX_log("Cannot save canvas to %s: nothing is shown\n", path);
        return 0;
    }
    errno = 0;
    std::string reason = write_png(path, rgb_rows(*canvas, width, height), width, height);
    if (!reason.empty()) {
        PLOTX_log("Cannot save canvas to %s: %s\n", path, reason.c_str());
        return 0;
    }
    return 1;
}
