// gif_writer.cpp - the GIF89a stream: screen and loop extension, frames (graphic control
// extension, image descriptor, local colour table, LZW data in sub-blocks) and trailer.
// The LZW coder grows its code width as the decoder does (one code late, since the decoder
// adds each entry a code after the coder) and starts afresh with a clear code when the
// 4096 codes are used up.
#include "host/gif/gif_writer.h"

#include <algorithm>
#include <cstring>

namespace px {
namespace gif {
namespace {

constexpr int MAX_CODES = 4096;
constexpr int MAX_CODE_WIDTH = 12;
constexpr uint32_t LZW_TABLE_BITS = 13;  // twice the codes: probes stay short
constexpr uint32_t LZW_TABLE_SIZE = 1u << LZW_TABLE_BITS;
constexpr uint32_t RGB_MASK = 0xFFFFFF;

void put16(std::vector<uint8_t>* out, int v) {
    out->push_back(static_cast<uint8_t>(v & 0xFF));
    out->push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

uint32_t hash(uint32_t key, uint32_t bits) { return (key * 2654435761u) >> (32 - bits); }

// The bounding rectangle of the pixels that differ; false when none does.
bool changed_area(const Picture& a, const Picture& b, int* left, int* top, int* right, int* bottom) {
    const size_t row_bytes = static_cast<size_t>(a.width) * sizeof(uint32_t);
    int t = 0;
    while (t < a.height && std::memcmp(a.row(t), b.row(t), row_bytes) == 0) ++t;
    if (t == a.height) return false;
    int bo = a.height - 1;
    while (bo > t && std::memcmp(a.row(bo), b.row(bo), row_bytes) == 0) --bo;
    int l = a.width, r = -1;
    for (int y = t; y <= bo; ++y) {
        const uint32_t *pa = a.row(y), *pb = b.row(y);
        int x = 0;
        while (x < l && ((pa[x] ^ pb[x]) & RGB_MASK) == 0) ++x;
        if (x < l) l = x;
        int xr = a.width - 1;
        while (xr > r && ((pa[xr] ^ pb[xr]) & RGB_MASK) == 0) --xr;
        if (xr > r) r = xr;
    }
    if (r < l) return false;  // rows differed only in the ignored top byte
    *left = l;
    *top = t;
    *right = r;
    *bottom = bo;
    return true;
}

int distance2(uint32_t a, uint32_t b) {
    int dr = static_cast<int>((a >> 16) & 255) - static_cast<int>((b >> 16) & 255);
    int dg = static_cast<int>((a >> 8) & 255) - static_cast<int>((b >> 8) & 255);
    int db = static_cast<int>(a & 255) - static_cast<int>(b & 255);
    return dr * dr + dg * dg + db * db;
}

}  // namespace

void begin_stream(std::vector<uint8_t>* out, int width, int height) {
    static const char signature[] = "GIF89a";
    out->insert(out->end(), signature, signature + 6);
    put16(out, width);
    put16(out, height);
    out->push_back(0x70);  // no global table; 8 bits of colour resolution
    out->push_back(0);     // background index (no global table to index)
    out->push_back(0);     // square pixels
    static const char loop[] = "\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00";
    out->insert(out->end(), loop, loop + 19);
}

void end_stream(std::vector<uint8_t>* out) { out->push_back(0x3B); }

FrameEncoder::Slot* FrameEncoder::find_colour(uint32_t colour) {
    const uint32_t mask = static_cast<uint32_t>(colours_.size()) - 1;
    uint32_t bits = 0;
    while ((1u << bits) < colours_.size()) ++bits;
    uint32_t h = hash(colour + 1, bits);
    while (colours_[h].key != 0 && colours_[h].key != colour + 1) h = (h + 1) & mask;
    return &colours_[h];
}

void FrameEncoder::grow_colours() {
    std::vector<Slot> old;
    old.swap(colours_);
    colours_.assign(old.size() * 2, Slot{0, 0, 0});
    for (const Slot& s : old)
        if (s.key) *find_colour(s.key - 1) = s;
}

// One pass over the area: counts every colour of a changed pixel and, while there are few
// enough, writes the pixel's index (colours in order of first appearance; with `previous`
// index 0 is the transparent one). Returns the number of colours.
int FrameEncoder::collect(const Picture& next, const Picture* previous, int left, int top, int width, int height,
                          bool* transparent) {
    colours_.assign(1024, Slot{0, 0, 0});
    palette_.clear();
    const uint32_t base = previous ? 1 : 0;
    const uint32_t limit = 256 - base;
    uint8_t* out = indices_.data();
    uint32_t last = 0xFFFFFFFF, last_index = 0;
    Slot* last_slot = nullptr;
    bool any_transparent = false;
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = next.row(top + y) + left;
        const uint32_t* before = previous ? previous->row(top + y) + left : nullptr;
        for (int x = 0; x < width; ++x) {
            const uint32_t c = row[x] & RGB_MASK;
            if (before && c == (before[x] & RGB_MASK)) {
                any_transparent = true;
                *out++ = 0;
                continue;
            }
            if (c != last) {
                last = c;
                last_slot = find_colour(c);
                if (last_slot->key == 0) {
                    last_slot->key = c + 1;
                    last_slot->index = static_cast<uint32_t>(palette_.size()) + base;
                    palette_.push_back(c);
                    if (palette_.size() * 2 > colours_.size()) {
                        grow_colours();
                        last_slot = find_colour(c);
                    }
                }
                last_index = last_slot->index;
            }
            ++last_slot->count;
            *out++ = static_cast<uint8_t>(palette_.size() <= limit ? last_index : 0);
        }
    }
    *transparent = any_transparent;
    return static_cast<int>(palette_.size());
}

// Too many colours for one table: the most frequent are kept (ties to the lower colour),
// each other colour maps to its nearest kept one, and the indices are written again.
// Returns how many colours were replaced.
int FrameEncoder::reduce(const Picture& next, const Picture* previous, int left, int top, int width, int height,
                         bool transparent) {
    std::vector<Slot> all;
    for (const Slot& s : colours_)
        if (s.key) all.push_back(s);
    std::sort(all.begin(), all.end(),
              [](const Slot& a, const Slot& b) { return a.count != b.count ? a.count > b.count : a.key < b.key; });
    const size_t keep = transparent ? 255 : 256;
    palette_.clear();
    for (size_t i = 0; i < keep; ++i) {
        palette_.push_back(all[i].key - 1);
        find_colour(all[i].key - 1)->index = static_cast<uint32_t>(i);
    }
    for (size_t i = keep; i < all.size(); ++i) {
        const uint32_t c = all[i].key - 1;
        uint32_t best = 0;
        int best_d = distance2(c, palette_[0]);
        for (uint32_t k = 1; k < keep && best_d > 0; ++k) {
            int d = distance2(c, palette_[k]);
            if (d < best_d) {
                best_d = d;
                best = k;
            }
        }
        find_colour(c)->index = best;
    }
    const uint8_t clear_index = static_cast<uint8_t>(keep & 0xFF);  // used only when 255 are kept
    uint8_t* out = indices_.data();
    for (int y = 0; y < height; ++y) {
        const uint32_t* row = next.row(top + y) + left;
        const uint32_t* before = previous ? previous->row(top + y) + left : nullptr;
        for (int x = 0; x < width; ++x) {
            const uint32_t c = row[x] & RGB_MASK;
            *out++ = before && c == (before[x] & RGB_MASK) ? clear_index
                                                           : static_cast<uint8_t>(find_colour(c)->index);
        }
    }
    return static_cast<int>(all.size() - keep);
}

// The indices as LZW codes, least significant bit first, in sub-blocks of up to 255 bytes.
void FrameEncoder::compress(int min_code_size, std::vector<uint8_t>* out) {
    const size_t n = indices_.size();
    lzw_keys_.assign(LZW_TABLE_SIZE, 0);
    lzw_codes_.resize(LZW_TABLE_SIZE);
    // Each code covers at least one index, and a clear comes once per 4093 codes or more.
    std::vector<uint8_t> bytes(n * 2 + 16);
    uint8_t* put = bytes.data();
    uint64_t acc = 0;
    int nbits = 0;
    auto emit = [&](uint32_t code, int width) {
        acc |= static_cast<uint64_t>(code) << nbits;
        nbits += width;
        while (nbits >= 8) {
            *put++ = static_cast<uint8_t>(acc);
            acc >>= 8;
            nbits -= 8;
        }
    };
    const uint32_t clear = 1u << min_code_size, end = clear + 1;
    uint32_t next_code = clear + 2;
    int width = min_code_size + 1;
    emit(clear, width);
    const uint8_t* in = indices_.data();
    uint32_t cur = in[0];
    for (size_t i = 1; i < n; ++i) {
        const uint32_t p = in[i];
        const uint32_t key = ((cur << 8) | p) + 1;
        uint32_t h = hash(key, LZW_TABLE_BITS);
        while (lzw_keys_[h] != 0) {
            if (lzw_keys_[h] == key) break;
            h = (h + 1) & (LZW_TABLE_SIZE - 1);
        }
        if (lzw_keys_[h] == key) {
            cur = lzw_codes_[h];
            continue;
        }
        emit(cur, width);
        if (next_code < MAX_CODES) {
            lzw_keys_[h] = key;
            lzw_codes_[h] = static_cast<uint16_t>(next_code++);
            if (next_code > (1u << width) && width < MAX_CODE_WIDTH) ++width;
        } else {
            emit(clear, width);
            std::fill(lzw_keys_.begin(), lzw_keys_.end(), 0);
            next_code = clear + 2;
            width = min_code_size + 1;
        }
        cur = p;
    }
    emit(cur, width);
    // The decoder adds an entry for this last code too, and may widen before the end code.
    if (next_code == (1u << width) && width < MAX_CODE_WIDTH) ++width;
    emit(end, width);
    if (nbits > 0) emit(0, 8 - nbits);
    out->push_back(static_cast<uint8_t>(min_code_size));
    const uint8_t* p = bytes.data();
    for (size_t left = static_cast<size_t>(put - bytes.data()); left > 0;) {
        const size_t chunk = left < 255 ? left : 255;
        out->push_back(static_cast<uint8_t>(chunk));
        out->insert(out->end(), p, p + chunk);
        p += chunk;
        left -= chunk;
    }
    out->push_back(0);
}

int FrameEncoder::encode(const Picture& next, const Picture* previous, int delay, std::vector<uint8_t>* out) {
    int left = 0, top = 0, right = next.width - 1, bottom = next.height - 1;
    bool unchanged = previous && !changed_area(next, *previous, &left, &top, &right, &bottom);
    const int width = unchanged ? 1 : right - left + 1, height = unchanged ? 1 : bottom - top + 1;
    indices_.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    bool transparent = unchanged;
    // Where transparency sits in the table: first (the index collect() kept free for it),
    // or after the kept colours when they had to be reduced.
    bool reduced = false;
    int replaced = 0;
    if (unchanged) {
        indices_[0] = 0;
        palette_.clear();
    } else {
        const int colours = collect(next, previous, left, top, width, height, &transparent);
        if (colours + (previous ? 1 : 0) > 256) {
            replaced = reduce(next, previous, left, top, width, height, transparent);
            reduced = true;
        }
    }
    const size_t first = previous && !reduced ? 1 : 0;
    const int transparent_index = reduced ? static_cast<int>(palette_.size()) : 0;
    const int entries = static_cast<int>(palette_.size() + first) + (reduced && transparent ? 1 : 0);
    int bits = 1;
    while ((1 << bits) < entries) ++bits;
    // Graphic control: left in place for the next frame, the delay, the transparent index.
    const uint8_t control[] = {0x21, 0xF9, 0x04, static_cast<uint8_t>((1 << 2) | (transparent ? 1 : 0))};
    out->insert(out->end(), control, control + 4);
    put16(out, delay < 0 ? 0 : delay > MAX_DELAY ? MAX_DELAY : delay);
    out->push_back(static_cast<uint8_t>(transparent ? transparent_index : 0));
    out->push_back(0);
    out->push_back(0x2C);
    put16(out, left);
    put16(out, top);
    put16(out, width);
    put16(out, height);
    out->push_back(static_cast<uint8_t>(0x80 | (bits - 1)));
    // The local table; the transparent entry and the padding are black.
    std::vector<uint32_t> table(static_cast<size_t>(1) << bits, 0);
    std::copy(palette_.begin(), palette_.end(), table.begin() + static_cast<std::ptrdiff_t>(first));
    for (uint32_t c : table) {
        out->push_back(static_cast<uint8_t>(c >> 16));
        out->push_back(static_cast<uint8_t>(c >> 8));
        out->push_back(static_cast<uint8_t>(c));
    }
    compress(bits < 2 ? 2 : bits, out);
    return replaced;
}

}  // namespace gif
}  // namespace px
