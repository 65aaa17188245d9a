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

// The rectangle a frame stores, in screen pixels.
struct Area {
    int left = 0, top = 0, width = 0, height = 0;
};

// Where a frame's delay sits in its bytes (the graphic control extension comes first).
constexpr size_t DELAY_OFFSET = 4;
// Sets the delay of the frame whose bytes start at `frame`.
void set_delay(uint8_t* frame, int delay);

// Encodes frames one at a time. Its buffers are kept between frames, so a run of frames
// allocates only on the first.
class FrameEncoder {
public:
    // Appends one frame showing `next` for delay (0..MAX_DELAY) hundredths. With `previous`
    // (what the viewer shows before it, the same size) only the bounding rectangle of the
    // changed pixels is stored, its unchanged pixels transparent, and the frame is left in
    // place for the next one to draw over; an unchanged picture gives a one-pixel
    // transparent frame. Without it the whole picture is stored. Rows outside first_row..
    // last_row (when given) are taken as unchanged without looking. Each frame has its own
    // colour table of the colours it stores, exactly; past 256 (255 with transparency) the
    // most frequent are kept and every other colour becomes the nearest of them. Returns
    // how many colours had to be replaced (0 for an exact frame).
    int encode(const Picture& next, const Picture* previous, int delay, std::vector<uint8_t>* out, int first_row = 0,
               int last_row = -1);
    // The rectangle the last frame stored (empty for an unchanged picture).
    const Area& area() const { return area_; }
    // A frame that changes nothing and lasts `delay`: a one-pixel transparent image.
    static void encode_unchanged(int delay, std::vector<uint8_t>* out);

private:
    struct Slot {
        uint32_t key;  // colour + 1; 0 for an empty slot
        uint32_t count;
        uint32_t index;
    };
    Area area_;
    std::vector<uint8_t> indices_;
    std::vector<Slot> colours_;
    uint32_t colour_bits_ = 0;
    std::vector<uint32_t> palette_;
    std::vector<uint32_t> lzw_keys_;
    std::vector<uint16_t> lzw_codes_;
    std::vector<uint16_t> run_codes_;  // [symbol][length]: the code of a run of one symbol
    std::vector<uint8_t> packed_;
    Slot* find_colour(uint32_t colour);
    void grow_colours();
    int collect(const Picture& next, const Picture* previous, bool* transparent);
    int reduce(const Picture& next, const Picture* previous, bool transparent);
    void compress(int min_code_size, std::vector<uint8_t>* out);
};

}  // namespace gif
}  // namespace px
