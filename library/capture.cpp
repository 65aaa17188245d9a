// capture.cpp - PLOTX_start_capture, PLOTX_stop_capture and PLOTX_GIF: every image the
// graphics window shows, streamed into an animated GIF as it comes. A frame is encoded when
// it is shown and goes to the file when the next one comes (its delay is known then), so
// two pictures are held however long the run: what the file's frames add up to and what
// the window shows. The file is a complete GIF after every frame: each write ends with the
// trailer, which the next overwrites, and a write that fails is cut back to the last
// complete frame.
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

// The pictures, width x height each, and the frame waiting for its delay: the encoding of
// `shown` over `in_file`, and the rows it covers.
struct Pictures {
    std::vector<uint32_t> in_file, shown;
    px::gif::FrameEncoder encoder;
    std::vector<uint8_t> held, bytes;
    int held_top = 0, held_bottom = -1;
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

// Rows of the client image, clipped to the GIF's screen.
const px::Bitmap& client() { return g.windows.graphics_window->client; }
int shared_width() { return client().width < g.capture.width ? client().width : g.capture.width; }
int shared_height() { return client().height < g.capture.height ? client().height : g.capture.height; }
uint32_t* row_of(std::vector<uint32_t>& p, int y) {
    return p.data() + static_cast<size_t>(y) * static_cast<size_t>(g.capture.width);
}
void copy_rows(std::vector<uint32_t>& to, int top, int bottom) {
    for (int y = top; y <= bottom && y < shared_height(); ++y)
        std::memcpy(row_of(to, y), client().row(y), static_cast<size_t>(shared_width()) * sizeof(uint32_t));
}

void release_pictures() { pictures = Pictures(); }

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

// The held frame into the file, lasting `delay` hundredths; a delay longer than one frame
// can carry goes on in frames that change nothing.
bool write_held(uint64_t delay) {
    uint64_t part = delay < px::gif::MAX_DELAY ? delay : px::gif::MAX_DELAY;
    px::gif::set_delay(pictures.held.data(), static_cast<int>(part));
    pictures.bytes.swap(pictures.held);
    for (delay -= part; delay > 0; delay -= part) {
        part = delay < px::gif::MAX_DELAY ? delay : px::gif::MAX_DELAY;
        px::gif::FrameEncoder::encode_unchanged(static_cast<int>(part), &pictures.bytes);
    }
    const bool written = append_bytes();
    if (written) ++g.capture.frames;
    pictures.bytes.clear();
    pictures.held.clear();
    return written;
}

// Encodes `shown` as the frame that follows the file's; rows outside top..bottom are the
// same in both.
void hold_shown(int top, int bottom) {
    const px::gif::Picture shown = picture(pictures.shown), in_file = picture(pictures.in_file);
    pictures.held.clear();
    g.capture.replaced_colours += pictures.encoder.encode(shown, g.capture.frames ? &in_file : nullptr, 0,
                                                          &pictures.held, top, bottom);
    const px::gif::Area& a = pictures.encoder.area();
    pictures.held_top = a.top;
    pictures.held_bottom = a.top + a.height - 1;
}

std::string start_capture(const char* path) {
    if (!path || !*path) return "no file name given";
    if (!g.windows.library_open || !g.windows.graphics_window) return "the library is not open";
    if (g.capture.stream) return "already capturing to " + g.capture.path;
    const px::Size size = px::last_client_size(g.windows.graphics_window);
    if (size.cx <= 0 || size.cy <= 0) return "nothing is shown";
    std::string reason;
    std::FILE* stream = px::sys::open_script(path, true, &reason);
    if (!stream) return reason;
    g.capture = CaptureState{};
    g.capture.stream = stream;
    g.capture.path = path;
    g.capture.width = size.cx;
    g.capture.height = size.cy;
    g.capture.start_ms = capture_clock();
    const size_t n = static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy);
    pictures.in_file.assign(n, 0);
    pictures.shown.assign(n, 0);
    px::gif::begin_stream(&pictures.bytes, size.cx, size.cy);
    g.capture.length = static_cast<long>(pictures.bytes.size());
    px::gif::end_stream(&pictures.bytes);
    if (!px::sys::write_text(stream, reinterpret_cast<const char*>(pictures.bytes.data()), pictures.bytes.size(),
                             &reason)) {
        close_capture();
        return reason;
    }
    pictures.bytes.clear();
    // What the window shows now is the first picture.
    copy_rows(pictures.shown, 0, size.cy - 1);
    hold_shown(0, size.cy - 1);
    return "";
}

}  // namespace

void capture_presented() {
    if (!g.capture.stream) return;
    // The rows that changed since the last picture.
    int top = 0, bottom = shared_height() - 1;
    const size_t row_bytes = static_cast<size_t>(shared_width()) * sizeof(uint32_t);
    while (top <= bottom && std::memcmp(client().row(top), row_of(pictures.shown, top), row_bytes) == 0) ++top;
    if (top > bottom) return;
    while (std::memcmp(client().row(bottom), row_of(pictures.shown, bottom), row_bytes) == 0) --bottom;
    const uint64_t now = capture_cs();
    if (now > g.capture.shown_cs) {
        if (!write_held(now - g.capture.shown_cs)) return;
        g.capture.shown_cs = now;
        // The file now ends with `shown`. The old file picture differs from the window only
        // in the rows the held frame covered and the rows that changed now: those are
        // brought up to date and the two swap.
        copy_rows(pictures.in_file, std::min(top, pictures.held_top), std::max(bottom, pictures.held_bottom));
        pictures.in_file.swap(pictures.shown);
        hold_shown(top, bottom);
    } else {
        // A picture replaced within the hundredth it appeared in was never seen: its frame
        // is dropped, and the new one follows the file's last.
        copy_rows(pictures.shown, top, bottom);
        hold_shown(std::min(top, pictures.held_top), std::max(bottom, pictures.held_bottom));
    }
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
    if (!write_held(duration - g.capture.shown_cs)) return false;
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
