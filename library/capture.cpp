// capture.cpp - PLOTX_start_capture, PLOTX_stop_capture and PLOTX_GIF: every image the
// graphics window shows, streamed into an animated GIF as it comes. A frame goes to the
// file once the next one begins (its delay is known then), so only two pictures are held
// however long the run: the one the file ends with and the one shown now. The file is a
// complete GIF after every frame: each write ends with the trailer, which the next
// overwrites, and a write that fails is cut back to the last complete frame.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "host/files/files.h"
#include "host/gif/gif_writer.h"
#include "state.h"

namespace plotx {
namespace {

// The pictures, width x height each: what the file's frames add up to, what the window
// shows now (not yet in the file), and the scratch the next presentation is read into.
struct Pictures {
    std::vector<uint32_t> in_file, shown, incoming;
    px::gif::FrameEncoder encoder;
    std::vector<uint8_t> bytes;
};
Pictures pictures;

px::gif::Picture picture(const std::vector<uint32_t>& p) {
    return px::gif::Picture{p.data(), g.capture.width, g.capture.height, g.capture.width};
}

// The library's clock, plus a tick for each periodic event a script played: playback
// delivers its events at once, which would otherwise leave a replay no time at all.
uint64_t capture_clock() { return px::now_ms() + g.capture.played_ms; }

// Hundredths of a second since the capture began, rounded: frame delays are differences of
// these, so their rounding never adds up.
uint64_t capture_cs() { return (capture_clock() - g.capture.start_ms + 5) / 10; }

// The graphics window's client image, clipped to the GIF's screen.
void read_window(std::vector<uint32_t>* out) {
    const px::Bitmap& client = g.windows.graphics_window->client;
    const int w = client.width < g.capture.width ? client.width : g.capture.width;
    const int h = client.height < g.capture.height ? client.height : g.capture.height;
    for (int y = 0; y < h; ++y)
        std::memcpy(out->data() + static_cast<size_t>(y) * static_cast<size_t>(g.capture.width), client.row(y),
                    static_cast<size_t>(w) * sizeof(uint32_t));
}

void release_pictures() {
    std::vector<uint32_t>().swap(pictures.in_file);
    std::vector<uint32_t>().swap(pictures.shown);
    std::vector<uint32_t>().swap(pictures.incoming);
    std::vector<uint8_t>().swap(pictures.bytes);
    pictures.encoder = px::gif::FrameEncoder();
}

void close_capture() {
    if (g.capture.stream) std::fclose(g.capture.stream);
    g.capture.stream = nullptr;
    release_pictures();
}

void environment_failure(const std::string& reason) {
    if (!g.capture.from_environment) return;
    g.capture.environment_failed = true;
    std::fprintf(stderr, "plotx: the capture to %s (PLOTX_GIF) %s\n", g.capture.path.c_str(), reason.c_str());
}

// Puts pictures.bytes and a trailer after the complete frames. On failure the file is cut
// back to them (with its trailer), the capture ends and the log says why.
bool append_bytes() {
    std::string reason;
    pictures.bytes.push_back(0x3B);
    const bool written = px::sys::cut_file(g.capture.stream, g.capture.length, &reason) &&
                         px::sys::write_text(g.capture.stream, reinterpret_cast<const char*>(pictures.bytes.data()),
                                             pictures.bytes.size(), &reason);
    if (written) {
        g.capture.length += static_cast<long>(pictures.bytes.size()) - 1;
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

// The shown picture into the file, shown for `delay` hundredths; a delay longer than one
// frame can carry continues in empty frames.
bool write_shown(uint64_t delay) {
    pictures.bytes.clear();
    const px::gif::Picture shown = picture(pictures.shown), in_file = picture(pictures.in_file);
    uint64_t part = delay < px::gif::MAX_DELAY ? delay : px::gif::MAX_DELAY;
    g.capture.replaced_colours += pictures.encoder.encode(shown, g.capture.frames ? &in_file : nullptr,
                                                          static_cast<int>(part), &pictures.bytes);
    for (delay -= part; delay > 0; delay -= part) {
        part = delay < px::gif::MAX_DELAY ? delay : px::gif::MAX_DELAY;
        pictures.encoder.encode(shown, &shown, static_cast<int>(part), &pictures.bytes);
    }
    if (!append_bytes()) return false;
    ++g.capture.frames;
    pictures.in_file.swap(pictures.shown);
    return true;
}

std::string start_capture(const char* path) {
    if (!path || !*path) return "no file name given";
    if (!g.windows.library_open || !g.windows.graphics_window) return "the library is not open";
    if (g.capture.stream) return "already capturing to " + g.capture.path;
    const px::Size client = px::last_client_size(g.windows.graphics_window);
    if (client.cx <= 0 || client.cy <= 0) return "nothing is shown";
    std::string reason;
    std::FILE* stream = px::sys::open_script(path, true, &reason);
    if (!stream) return reason;
    g.capture = CaptureState{};
    g.capture.stream = stream;
    g.capture.path = path;
    g.capture.width = client.cx;
    g.capture.height = client.cy;
    g.capture.start_ms = capture_clock();
    const size_t n = static_cast<size_t>(client.cx) * static_cast<size_t>(client.cy);
    pictures.in_file.assign(n, 0);
    pictures.shown.assign(n, 0);
    pictures.incoming.assign(n, 0);
    pictures.bytes.clear();
    px::gif::begin_stream(&pictures.bytes, client.cx, client.cy);
    g.capture.length = static_cast<long>(pictures.bytes.size());
    px::gif::end_stream(&pictures.bytes);
    if (!px::sys::write_text(stream, reinterpret_cast<const char*>(pictures.bytes.data()), pictures.bytes.size(),
                             &reason)) {
        close_capture();
        return reason;
    }
    // What the window shows now is the first picture.
    read_window(&pictures.shown);
    return "";
}

}  // namespace

void capture_presented() {
    if (!g.capture.stream) return;
    read_window(&pictures.incoming);
    if (pictures.incoming == pictures.shown) return;
    const uint64_t now = capture_cs();
    // A picture replaced within the hundredth it appeared in was never seen: it is dropped.
    if (now > g.capture.shown_cs) {
        if (!write_shown(now - g.capture.shown_cs)) return;
        g.capture.shown_cs = now;
    }
    pictures.shown.swap(pictures.incoming);
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
    if (!write_shown(duration - g.capture.shown_cs)) return false;
    const std::string path = g.capture.path;
    const long frames = g.capture.frames;
    close_capture();
    PLOTX_log("Captured %ld frames, %llu.%02llu s, in %s\n", frames, static_cast<unsigned long long>(duration / 100),
              static_cast<unsigned long long>(duration % 100), path.c_str());
    if (g.capture.replaced_colours > 0)
        PLOTX_log("Capture %s: %d colours beyond 256 in a frame were replaced by the nearest kept one\n",
                  path.c_str(), g.capture.replaced_colours);
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
