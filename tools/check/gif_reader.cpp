// gif_reader.cpp - a GIF decoder: the blocks, the LZW-coded images, interlacing,
// transparency and the three disposal methods, composed into whole frames.
#include "gif_reader.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>

namespace check {
namespace {

constexpr unsigned MAX_SIDE = 8192;

class Input {
public:
    explicit Input(std::vector<unsigned char> bytes) : b_(std::move(bytes)) {}
    bool has(size_t n) const { return pos_ + n <= b_.size(); }
    unsigned byte() { return has(1) ? b_[pos_++] : (bad_ = true, 0); }
    unsigned le16() {
        unsigned lo = byte();
        return lo | (byte() << 8);
    }
    bool bad() const { return bad_; }
    // The data sub-blocks that follow, joined.
    std::vector<unsigned char> sub_blocks() {
        std::vector<unsigned char> out;
        for (unsigned n; (n = byte()) != 0 && !bad_;) {
            if (!has(n)) {
                bad_ = true;
                break;
            }
            out.insert(out.end(), b_.begin() + static_cast<long>(pos_), b_.begin() + static_cast<long>(pos_ + n));
            pos_ += n;
        }
        return out;
    }
    void read_palette(unsigned count, std::vector<unsigned char>* palette) {
        palette->clear();
        for (unsigned i = 0; i < count * 3; ++i) palette->push_back(static_cast<unsigned char>(byte()));
    }

private:
    std::vector<unsigned char> b_;
    size_t pos_ = 0;
    bool bad_ = false;
};

// LZW-decodes an image's codes into count colour indices; false when the data is damaged.
bool decode_lzw(const std::vector<unsigned char>& data, unsigned min_size, size_t count, std::vector<unsigned char>* out) {
    if (min_size < 2 || min_size > 11) return false;
    const unsigned clear = 1u << min_size, end = clear + 1;
    std::vector<uint16_t> prefix(4096);
    std::vector<unsigned char> suffix(4096), first(4096), stack;
    for (unsigned i = 0; i < clear; ++i) suffix[i] = first[i] = static_cast<unsigned char>(i);
    unsigned size = min_size + 1, next = clear + 2;
    int previous = -1;
    size_t bit = 0;
    out->clear();
    while (out->size() < count) {
        if (bit + size > data.size() * 8) break;  // short data: the rest of the image stays as it was
        unsigned code = 0;
        for (unsigned i = 0; i < size; ++i, ++bit) code |= ((data[bit >> 3] >> (bit & 7)) & 1u) << i;
        if (code == clear) {
            size = min_size + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end) break;
        if (previous < 0) {
            if (code >= clear) return false;
            out->push_back(static_cast<unsigned char>(code));
            previous = static_cast<int>(code);
            continue;
        }
        unsigned walk = code;
        stack.clear();
        if (code >= next) {
            if (code > next) return false;
            stack.push_back(first[previous]);  // the code being defined: previous + its first
            walk = static_cast<unsigned>(previous);
        }
        while (walk >= clear) {
            stack.push_back(suffix[walk]);
            walk = prefix[walk];
        }
        stack.push_back(static_cast<unsigned char>(walk));
        if (next < 4096) {
            prefix[next] = static_cast<uint16_t>(previous);
            suffix[next] = static_cast<unsigned char>(walk);
            first[next] = first[previous];
            ++next;
            if (next == (1u << size) && size < 12) ++size;
        }
        for (auto it = stack.rbegin(); it != stack.rend() && out->size() < count; ++it) out->push_back(*it);
        previous = static_cast<int>(code);
    }
    return true;
}

GifFrames failed(const std::string& why) {
    GifFrames g;
    g.error = why;
    return g;
}

}  // namespace

uint64_t hash(const std::vector<unsigned char>& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
    return h;
}

GifFrames read_gif(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return failed("cannot open the file");
    Input in(std::vector<unsigned char>((std::istreambuf_iterator<char>(file)), {}));
    std::string magic;
    for (int i = 0; i < 6; ++i) magic += static_cast<char>(in.byte());
    if (magic != "GIF87a" && magic != "GIF89a") return failed("not a GIF file");
    GifFrames g;
    g.width = in.le16();
    g.height = in.le16();
    const unsigned flags = in.byte(), background = in.byte();
    in.byte();  // aspect
    if (g.width == 0 || g.height == 0 || g.width > MAX_SIDE || g.height > MAX_SIDE)
        return failed("the picture is empty or over 8192 pixels a side");
    std::vector<unsigned char> global, local;
    if (flags & 0x80) in.read_palette(2u << (flags & 7), &global);
    std::vector<unsigned char> back(3, 0);
    if (background * 3 + 2 < global.size()) back.assign(global.begin() + background * 3, global.begin() + background * 3 + 3);
    const size_t pixels = static_cast<size_t>(g.width) * g.height;
    std::vector<unsigned char> canvas(pixels * 3);
    for (size_t i = 0; i < pixels; ++i) std::copy(back.begin(), back.end(), &canvas[i * 3]);
    unsigned disposal = 0;
    int transparent = -1;
    std::vector<unsigned char> indices;
    for (;;) {
        const unsigned block = in.byte();
        if (in.bad()) return failed("the file is cut short");
        if (block == 0x3B) break;
        if (block == 0x21) {
            const unsigned label = in.byte();
            std::vector<unsigned char> data = in.sub_blocks();
            if (label == 0xF9 && data.size() >= 4) {
                disposal = (data[0] >> 2) & 7;
                transparent = (data[0] & 1) ? data[3] : -1;
            }
            continue;
        }
        if (block != 0x2C) return failed("an unknown block");
        const unsigned left = in.le16(), top = in.le16(), w = in.le16(), h = in.le16(), image_flags = in.byte();
        if (image_flags & 0x80) in.read_palette(2u << (image_flags & 7), &local);
        const std::vector<unsigned char>& palette = (image_flags & 0x80) ? local : global;
        const unsigned min_size = in.byte();
        const std::vector<unsigned char> data = in.sub_blocks();
        if (in.bad()) return failed("the file is cut short");
        const size_t count = static_cast<size_t>(w) * h;
        if (!decode_lzw(data, min_size, count, &indices)) return failed("an image's data is damaged");
        const std::vector<unsigned char> before = disposal == 3 ? canvas : std::vector<unsigned char>();
        // Interlaced rows come in four passes: every 8th from 0, every 8th from 4, every
        // 4th from 2, every 2nd from 1.
        std::vector<unsigned> rows;
        if (image_flags & 0x40) {
            for (unsigned start : {0u, 4u, 2u, 1u})
                for (unsigned y = start; y < h; y += start == 0 ? 8 : start == 4 ? 8 : start == 2 ? 4 : 2) rows.push_back(y);
        } else {
            for (unsigned y = 0; y < h; ++y) rows.push_back(y);
        }
        for (size_t i = 0; i < indices.size(); ++i) {
            const unsigned x = left + static_cast<unsigned>(i % w), y = top + rows[i / w];
            const unsigned index = indices[i];
            if (x >= g.width || y >= g.height || static_cast<int>(index) == transparent || index * 3 + 2 >= palette.size())
                continue;
            std::copy(&palette[index * 3], &palette[index * 3] + 3, &canvas[(static_cast<size_t>(y) * g.width + x) * 3]);
        }
        g.frames.push_back(hash(canvas));
        if (disposal == 2) {
            for (unsigned y = top; y < top + h && y < g.height; ++y)
                for (unsigned x = left; x < left + w && x < g.width; ++x)
                    std::copy(back.begin(), back.end(), &canvas[(static_cast<size_t>(y) * g.width + x) * 3]);
        } else if (disposal == 3) {
            canvas = before;
        }
        disposal = 0;
        transparent = -1;
    }
    if (g.frames.empty()) return failed("no frames");
    g.ok = true;
    return g;
}

size_t first_differing_frame(const GifFrames& a, const GifFrames& b) {
    if (a.width != b.width || a.height != b.height) return 1;
    const size_t n = std::min(a.frames.size(), b.frames.size());
    for (size_t i = 0; i < n; ++i)
        if (a.frames[i] != b.frames[i]) return i + 1;
    return a.frames.size() == b.frames.size() ? 0 : n + 1;
}

}  // namespace check
