// gif_writer.h - animated GIF89a encoding into memory: the stream's opening (the screen and
// an endless loop), each frame as the rectangle that changed since the picture before it,
// and the trailer. Plain integer code with no unordered container, so the same pictures give
// the same bytes on every platform. The caller owns the file and the timing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace px {
namespace gif {

// The longest delay one frame can carry, in hundredths of a second.
constexpr int MAX_DELAY = 65535;

// A picture: width x height pixels 0x00RRGGBB (the top byte is ignored), rows `stride`
// pixels apart.
struct Picture {
    const uint32_t* pixels;
    int width, height, stride;
    const uint32_t* row(int y) const { return pixels + static_cast<size_t>(y) * static_cast<size_t>(stride); }
};

// Header, a logical screen of width x height with no global colour table, and the loop
// extension asking viewers to loop forever.
void begin_stream(std::vector<uint8_t>* out, int width, int height);
// The trailer that ends the stream.
void end_stream(std::vector<uint8_t>* out);

// Encodes frames one at a time. Its buffers are kept between frames, so a run of frames
// allocates only on the first.
class FrameEncoder {
public:
    // Appends one frame showing `next` for delay (0..MAX_DELAY) hundredths. With `previous`
    // (what the viewer shows before it, the same size) only the bounding rectangle of the
    // changed pixels is stored, its unchanged pixels transparent, and the frame is left in
    // place for the next one to draw over; an unchanged picture gives a one-pixel
    // transparent frame. Without it the whole picture is stored. Each frame has its own
    // colour table of the colours it stores, exactly; past 256 (255 with transparency) the
    // most frequent are kept and every other colour becomes the nearest of them. Returns
    // how many colours had to be replaced (0 for an exact frame).
    int encode(const Picture& next, const Picture* previous, int delay, std::vector<uint8_t>* out);

private:
    struct Slot {
        uint32_t key;  // colour + 1; 0 for an empty slot
        uint32_t count;
        uint32_t index;
    };
    std::vector<uint8_t> indices_;
    std::vector<Slot> colours_;
    std::vector<uint32_t> palette_;
    std::vector<uint32_t> lzw_keys_;
    std::vector<uint16_t> lzw_codes_;
    Slot* find_colour(uint32_t colour);
    void grow_colours();
    int collect(const Picture& next, const Picture* previous, int left, int top, int width, int height,
                bool* transparent);
    int reduce(const Picture& next, const Picture* previous, int left, int top, int width, int height,
               bool transparent);
    void compress(int min_code_size, std::vector<uint8_t>* out);
};

}  // namespace gif
}  // namespace px
