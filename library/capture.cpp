// capture.cpp - PLOTX_start_capture, PLOTX_stop_capture and PLOTX_GIF: every image the
// graphics window shows, streamed into an animated GIF (host/gif) as it comes, on the
// capture's clock. A frame goes to the file when the next one comes (its delay is known
// then). The file is a complete GIF after every frame: each write ends with the trailer,
// which the next overwrites, and a write that fails is cut back to the last complete frame.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>
#include "host/files/files.h"
#include "host/gif/gif_writer.h"
#include "state.h"

namespace plotx {
namespace {

// The animation being written, and the bytes on their way to the file.
struct Pictures {
    px::gif::Animation animation;
    std::vector<uint8_t> bytes;
};
Pictures pictures;

// The library's clock, plus a tick for each periodic event a script played: playback
// delivers its events at once, which would otherwise leave a replay no time at all.
uint64_t capture_clock() { return px::now_ms() + g.capture.played_ms; }

// Hundredths of a second since the capture began, rounded: frame delays are differences of
// these, so their rounding never adds up.
uint64_t capture_cs() { return (capture_clock() - g.capture.start_ms + 5) / 10; }

// What the graphics window shows.
px::gif::Picture window_picture() {
    const px::Bitmap& c = g.windows.graphics_window->client;
    return px::gif::Picture{c.pixels.data(), c.width, c.height, c.width, c.row_offset};
}

void close_capture() {
    if (g.capture.stream) std::fclose(g.capture.stream);
    g.capture.stream = nullptr;
    pictures = Pictures();
}

void environment_failure(const std::string& reason) {
    if (!g.capture.from_environment) return;
    g.capture.environment_failed = true;
    std::fprintf(stderr, "plotx: the capture to %s (PLOTX_GIF) %s\n", g.capture.path.c_str(), reason.c_str());
}

// Puts pictures.bytes (whole frames) and a trailer after the complete frames. On failure the
// file is cut back to them (with its trailer), the capture ends and the log says why.
bool append_bytes() {
    if (pictures.bytes.empty()) return true;
    std::string reason;
    px::gif::Animation::end(&pictures.bytes);
    const bool written = px::sys::cut_file(g.capture.stream, g.capture.length, &reason) &&
                         px::sys::write_text(g.capture.stream, reinterpret_cast<const char*>(pictures.bytes.data()),
                                             pictures.bytes.size(), &reason);
    if (written) {
        g.capture.length += static_cast<long>(pictures.bytes.size()) - 1;
        g.capture.frames = pictures.animation.frames();
        pictures.bytes.clear();
        return true;
    }
    std::string cut_reason;
    const char trailer = 0x3B;
    const bool cut = px::sys::cut_file(g.capture.stream, g.capture.length, &cut_reason) &&
                     px::sys::write_text(g.capture.stream, &trailer, 1, &cut_reason);
    if (cut)
        PLOTX_log("Cannot write to capture file %s: %s; the capture stopped at its last complete frame (%ld)\n",
                  g.capture.path.c_str(), reason.c_str(), g.capture.frames);
    else
        PLOTX_log("Cannot write to capture file %s: %s; the capture stopped, its last frame may be cut short (%s)\n",
                  g.capture.path.c_str(), reason.c_str(), cut_reason.c_str());
    environment_failure("was cut short: " + reason);
    close_capture();
    return false;
}

std::string start_capture(const char* path) {
    if (!path || !*path) return "no file name given";
    if (!g.windows.library_open || !g.windows.graphics_window) return "the library is not open";
    if (g.capture.stream) return "already capturing to " + g.capture.path;
    if (g.windows.client_width <= 0 || g.windows.client_height <= 0) return "nothing is shown";
    std::string reason;
    std::FILE* stream = px::sys::open_script(path, true, &reason);
    if (!stream) return reason;
    g.capture = CaptureState{};
    g.capture.stream = stream;
    g.capture.path = path;
    g.capture.start_ms = capture_clock();
    pictures.bytes.clear();
    pictures.animation.begin(g.windows.client_width, g.windows.client_height, &pictures.bytes);
    g.capture.length = static_cast<long>(pictures.bytes.size());
    px::gif::Animation::end(&pictures.bytes);
    if (!px::sys::write_text(stream, reinterpret_cast<const char*>(pictures.bytes.data()), pictures.bytes.size(),
                             &reason)) {
        close_capture();
        return reason;
    }
    pictures.bytes.clear();
    // What the window shows now is the first picture.
    pictures.animation.show(window_picture(), 0, &pictures.bytes);
    return "";
}

}  // namespace

void capture_presented() {
    if (!g.capture.stream) return;
    if (pictures.animation.show(window_picture(), capture_cs(), &pictures.bytes)) append_bytes();
}

void capture_event_delivered(int kind, bool played) {
    if (played && kind == PLOTX_PERIODIC) g.capture.played_ms += g.input.tick_ms;
}

void start_capture_from_environment() {
    const char* path = std::getenv("PLOTX_GIF");
    if (!path || !*path) return;
    std::string reason = start_capture(path);
    if (reason.empty()) {
        g.capture.from_environment = true;
        return;
    }
    PLOTX_log("Cannot capture to %s: %s\n", path, reason.c_str());
    std::fprintf(stderr, "plotx: could not capture to %s (PLOTX_GIF): %s\n", path, reason.c_str());
    g.capture.environment_failed = true;
}

bool end_capture() {
    const bool failed = g.capture.environment_failed;
    g.capture.environment_failed = false;
    if (!g.capture.stream) return !failed;
    // The last picture lasts until now, even if that is no time at all.
    const uint64_t duration = capture_cs();
    pictures.animation.finish(duration, &pictures.bytes);
    if (!append_bytes()) return false;
    const std::string path = g.capture.path;
    const long frames = g.capture.frames, replaced = pictures.animation.replaced_colours();
    close_capture();
    PLOTX_log("Captured %ld frames, %llu.%02llu s, in %s\n", frames, static_cast<unsigned long long>(duration / 100),
              static_cast<unsigned long long>(duration % 100), path.c_str());
    if (replaced > 0)
        PLOTX_log("Capture %s: %ld colours beyond 256 in a frame were replaced by the nearest kept one\n",
                  path.c_str(), replaced);
    return !failed;
}

}  // namespace plotx

using namespace plotx;

extern "C" int PLOTX_start_capture(const char* path) {
    std::string reason = start_capture(path);
    if (reason.empty()) return 1;
    PLOTX_log("Cannot capture to %s: %s\n", path ? path : "(null)", reason.c_str());
    return 0;
}

extern "C" int PLOTX_stop_capture(void) {
    if (!g.capture.stream) {
        PLOTX_log("Cannot stop capturing: no capture in progress\n");
        return 0;
    }
    g.capture.from_environment = false;
    return end_capture() ? 1 : 0;
}
