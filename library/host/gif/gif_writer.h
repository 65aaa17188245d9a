// gif_writer.h - animated GIF89a encoding into memory: the stream's opening (a screen and an
// endless loop), then each picture shown as a frame holding the rectangle that changed, and
// the trailer. Plain integer code with no unordered container, so the same pictures give the
// same bytes on every platform. The caller owns the file and the clock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace px {
namespace gif {

// The longest delay one frame can carry, in hundredths of a second.
constexpr int MAX_DELAY = 65535;

// A picture: width x height pixels 0x00RRGGBB (the top byte is ignored in colours), rows
// `stride` pixels apart, stored from row `ring` on and wrapping round (0 for plain rows).
struct Picture {
    const uint32_t* pixels;
    int width, height, stride, ring;
    const uint32_t* row(int y) const {
        int p = y + ring;
        if (p >= height) p -= height;
        return pixels + static_cast<size_t>(p) * static_cast<size_t>(stride);
    }
};

// The rectangle a frame stores, in screen pixels.
struct Area {
    int left = 0, top = 0, width = 0, height = 0;
};

// An animation written as it is shown. Only the picture shown last and the frame waiting
// for its delay are held, however many frames pass; the buffers are reused.
class Animation {
public:
    // Header, a screen of width x height with no global colour table, and the loop
    // extension (loop forever), into *out.
    void begin(int width, int height, std::vector<uint8_t>* out);
    // `picture` (the screen's size; larger is clipped) is shown from `now`, in hundredths
    // of a second, never decreasing. Returns false, doing nothing, when it is the picture
    // shown already. When the picture before it lasted at least a hundredth its frame is
    // complete and goes into *out (more than one frame when its delay exceeds MAX_DELAY);
    // one replaced within the hundredth it appeared in is never seen and is dropped.
    bool show(const Picture& picture, uint64_t now, std::vector<uint8_t>* out);
    // The picture shown last, lasting until `now` (possibly no time), into *out.
    void finish(uint64_t now, std::vector<uint8_t>* out);
    // Frames put out so far, and colours beyond a table's 256 replaced by the nearest kept.
    long frames() const { return frames_; }
    long replaced_colours() const { return replaced_; }
    // The trailer that ends the stream.
    static void end(std::vector<uint8_t>* out);

private:
    struct Slot {
        uint32_t key;  // colour + 1; 0 for an empty slot
        uint32_t count;
        uint32_t index;
    };
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> shown_;  // the picture shown last
    bool holding_ = false;         // a frame of it waits for its delay
    uint64_t shown_at_ = 0;
    // The waiting frame: its rectangle and, for each pixel in it, 0 where the frame is
    // transparent, 1 where it shows `shown_` (then the colour's index, as it is encoded).
    // Per row of it, the columns (of the screen) outside which the row is all 0, or -1 for
    // a row that is all 0: the coder walks only these spans, however large the rectangle.
    Area held_;
    std::vector<uint8_t> map_, spare_;
    std::vector<int> held_left_, held_right_, spare_left_, spare_right_;
    std::vector<int> row_left_, row_right_;  // per screen row: the changed columns, or -1
    long frames_ = 0, replaced_ = 0;
    // Colour tables and the coder's tables.
    std::vector<Slot> colours_;
    uint32_t colour_bits_ = 0;
    std::vector<uint32_t> palette_;
    std::vector<uint32_t> lzw_keys_;
    std::vector<uint16_t> lzw_codes_, run_codes_;
    std::vector<uint8_t> packed_;

    bool changed_rows(const Picture& picture, Area* area);
    void mark_changes(const Picture& picture, const Area& area, bool keep_held);
    void put_held(uint64_t delay, std::vector<uint8_t>* out);
    Slot* find_colour(uint32_t colour);
    void grow_colours();
    int index_colours(bool transparent_first, bool* any_transparent);
    void reduce_colours(bool transparent_first);
    void compress(int min_code_size, std::vector<uint8_t>* out);
    size_t zero_run(size_t at, size_t most) const;
};

}  // namespace gif
}  // namespace px
