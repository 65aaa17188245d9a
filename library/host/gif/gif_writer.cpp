// gif_writer.cpp - the GIF89a stream: screen and loop extension, frames (graphic control
// extension, image descriptor, local colour table, LZW data in sub-blocks) and trailer.
// The LZW coder grows its code width as the decoder does (one code late, since the decoder
// adds each entry a code after the coder) and starts afresh with a clear code when the
// 4096 codes are used up. A frame of an animation is mostly transparent, so the coder walks
// runs of one index through the table's run entries in one step instead of pixel by pixel.
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
constexpr int BLOCK = 8;  // pixels compared at once when looking for change

void put16(std::vector<uint8_t>* out, int v) {
    out->push_back(static_cast<uint8_t>(v & 0xFF));
    out->push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

uint32_t hash(uint32_t key, uint32_t bits) { return (key * 2654435761u) >> (32 - bits); }

bool same_rows(const Picture& a, const Picture& b, int y, int left, int width) {
    return std::memcmp(a.row(y) + left, b.row(y) + left, static_cast<size_t>(width) * sizeof(uint32_t)) == 0;
}

// The bounding rectangle of the pixels that differ within rows first..last; false when none does.
bool changed_area(const Picture& a, const Picture& b, int first, int last, Area* area) {
    int t = first;
    while (t <= last && same_rows(a, b, t, 0, a.width)) ++t;
    if (t > last) return false;
    int bo = last;
    while (bo > t && same_rows(a, b, bo, 0, a.width)) --bo;
    int l = a.width, r = -1;
    for (int y = t; y <= bo; ++y) {
        if (y != t && y != bo && same_rows(a, b, y, 0, a.width)) continue;
        const uint32_t *pa = a.row(y), *pb = b.row(y);
        int x = 0;
        while (x < l && pa[x] == pb[x]) ++x;
        if (x < l) l = x;
        int xr = a.width - 1;
        while (xr > r && pa[xr] == pb[xr]) --xr;
        if (xr > r) r = xr;
    }
    *area = Area{l, t, r - l + 1, bo - t + 1};
    return true;
}

int distance2(uint32_t a, uint32_t b) {
    int dr = static_cast<int>((a >> 16) & 255) - static_cast<int>((b >> 16) & 255);
    int dg = static_cast<int>((a >> 8) & 255) - static_cast<int>((b >> 8) & 255);
    int db = static_cast<int>(a & 255) - static_cast<int>(b & 255);
    return dr * dr + dg * dg + db * db;
}

// How many bytes from p on equal v, counting at most `most`.
size_t run_length(const uint8_t* p, uint8_t v, size_t most) {
    size_t n = 0;
    const uint64_t pattern = 0x0101010101010101ull * v;
    while (n + 8 <= most) {
        uint64_t w;
        std::memcpy(&w, p + n, 8);
        if (w != pattern) break;
        n += 8;
    }
    while (n < most && p[n] == v) ++n;
    return n;
}

void frame_header(std::vector<uint8_t>* out, int delay, bool transparent, int transparent_index, const Area& a,
                  int table_bits) {
    // Graphic control: left in place for the next frame, the delay, the transparent index.
    const uint8_t control[] = {0x21, 0xF9, 0x04, static_cast<uint8_t>((1 << 2) | (transparent ? 1 : 0))};
    out->insert(out->end(), control, control + 4);
    put16(out, delay < 0 ? 0 : delay > MAX_DELAY ? MAX_DELAY : delay);
    out->push_back(static_cast<uint8_t>(transparent ? transparent_index : 0));
    out->push_back(0);
    out->push_back(0x2C);
    put16(out, a.left);
    put16(out, a.top);
    put16(out, a.width);
    put16(out, a.height);
    out->push_back(static_cast<uint8_t>(0x80 | (table_bits - 1)));
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

void set_delay(uint8_t* frame, int delay) {
    delay = delay < 0 ? 0 : delay > MAX_DELAY ? MAX_DELAY : delay;
    frame[DELAY_OFFSET] = static_cast<uint8_t>(delay & 0xFF);
    frame[DELAY_OFFSET + 1] = static_cast<uint8_t>(delay >> 8);
}

void FrameEncoder::encode_unchanged(int delay, std::vector<uint8_t>* out) {
    frame_header(out, delay, true, 0, Area{0, 0, 1, 1}, 1);
    // A table of two black entries, then one pixel of index 0: clear, 0, end at 3 bits.
    static const uint8_t data[] = {0, 0, 0, 0, 0, 0, 2, 2, 0x44, 0x01, 0};
    out->insert(out->end(), data, data + sizeof data);
}

FrameEncoder::Slot* FrameEncoder::find_colour(uint32_t colour) {
    const uint32_t mask = static_cast<uint32_t>(colours_.size()) - 1;
    uint32_t h = hash(colour + 1, colour_bits_);
    while (colours_[h].key != 0 && colours_[h].key != colour + 1) h = (h + 1) & mask;
    return &colours_[h];
}

void FrameEncoder::grow_colours() {
    std::vector<Slot> old;
    old.swap(colours_);
    colours_.assign(old.size() * 2, Slot{0, 0, 0});
    ++colour_bits_;
    for (const Slot& s : old)
        if (s.key) *find_colour(s.key - 1) = s;
}

// One pass over the area: counts every colour of a changed pixel and, while there are few
// enough, writes the pixel's index (colours in order of first appearance; with `previous`
// index 0 is the transparent one). Returns the number of colours.
int FrameEncoder::collect(const Picture& next, const Picture* previous, bool* transparent) {
    const Area a = area_;
    colour_bits_ = 10;
    colours_.assign(size_t{1} << colour_bits_, Slot{0, 0, 0});
    palette_.clear();
    const uint32_t base = previous ? 1 : 0;
    const uint32_t limit = 256 - base;
    uint8_t* out = indices_.data();
    uint32_t last = 0xFFFFFFFF, last_index = 0;
    Slot* last_slot = nullptr;
    bool any_transparent = false;
    auto put = [&](uint32_t c) {
        c &= RGB_MASK;
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
            last_index = palette_.size() <= limit ? last_slot->index : 0;
        }
        ++last_slot->count;
        return static_cast<uint8_t>(last_index);
    };
    for (int y = 0; y < a.height; ++y) {
        const uint32_t* row = next.row(a.top + y) + a.left;
        if (!previous) {
            for (int x = 0; x < a.width; ++x) *out++ = put(row[x]);
            continue;
        }
        const uint32_t* before = previous->row(a.top + y) + a.left;
        if (std::memcmp(row, before, static_cast<size_t>(a.width) * sizeof(uint32_t)) == 0) {
            std::memset(out, 0, static_cast<size_t>(a.width));
            out += a.width;
            any_transparent = true;
            continue;
        }
        int x = 0;
        while (x < a.width) {
            if (x + BLOCK <= a.width) {
                uint32_t differ = 0;
                for (int k = 0; k < BLOCK; ++k) differ |= row[x + k] ^ before[x + k];
                if (differ == 0) {
                    std::memset(out, 0, BLOCK);
                    out += BLOCK;
                    x += BLOCK;
                    any_transparent = true;
                    continue;
                }
            }
            const int end = x + BLOCK < a.width ? x + BLOCK : a.width;
            for (; x < end; ++x) {
                if (row[x] == before[x]) {
                    any_transparent = true;
                    *out++ = 0;
                } else {
                    *out++ = put(row[x]);
                }
            }
        }
    }
    *transparent = any_transparent;
    return static_cast<int>(palette_.size());
}

// Too many colours for one table: the most frequent are kept (ties to the lower colour),
// each other colour maps to its nearest kept one, and the indices are written again.
// Returns how many colours were replaced.
int FrameEncoder::reduce(const Picture& next, const Picture* previous, bool transparent) {
    const Area a = area_;
    std::vector<Slot> all;
    for (const Slot& s : colours_)
        if (s.key) all.push_back(s);
    std::sort(all.begin(), all.end(),
              [](const Slot& x, const Slot& y) { return x.count != y.count ? x.count > y.count : x.key < y.key; });
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
    for (int y = 0; y < a.height; ++y) {
        const uint32_t* row = next.row(a.top + y) + a.left;
        const uint32_t* before = previous ? previous->row(a.top + y) + a.left : nullptr;
        for (int x = 0; x < a.width; ++x)
            *out++ = before && row[x] == before[x] ? clear_index
                                                   : static_cast<uint8_t>(find_colour(row[x] & RGB_MASK)->index);
    }
    return static_cast<int>(all.size() - keep);
}

// The indices as LZW codes, least significant bit first, in sub-blocks of up to 255 bytes.
// Besides the table of (code, index) pairs the coder knows, for each index, the codes of
// its runs: runs of length 2..known[index] are entries, as each is made from the one before.
void FrameEncoder::compress(int min_code_size, std::vector<uint8_t>* out) {
    const size_t n = indices_.size();
    lzw_keys_.assign(LZW_TABLE_SIZE, 0);
    lzw_codes_.resize(LZW_TABLE_SIZE);
    run_codes_.resize(size_t{256} * MAX_CODES);
    uint32_t known[256];
    std::fill(known, known + 256, 1u);
    // Each code covers at least one index, so codes never outnumber indices (plus clears).
    if (packed_.size() < n * 2 + 16) packed_.resize(n * 2 + 16);
    uint8_t* put = packed_.data();
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
    int run_of = in[0];  // cur stands for a run of this index (-1: not a run)
    uint32_t run = 1;    // ... of this length
    for (size_t i = 1; i < n;) {
        const uint32_t p = in[i];
        if (run_of == static_cast<int>(p) && known[p] > run) {
            const size_t more = run_length(in + i, static_cast<uint8_t>(p), std::min<size_t>(known[p] - run, n - i));
            run += static_cast<uint32_t>(more);
            i += more;
            cur = run_codes_[p * MAX_CODES + run];
            continue;
        }
        const uint32_t key = ((cur << 8) | p) + 1;
        uint32_t h = hash(key, LZW_TABLE_BITS);
        while (lzw_keys_[h] != 0 && lzw_keys_[h] != key) h = (h + 1) & (LZW_TABLE_SIZE - 1);
        if (lzw_keys_[h] == key) {
            cur = lzw_codes_[h];
            run_of = -1;
            ++i;
            continue;
        }
        emit(cur, width);
        if (next_code < MAX_CODES) {
            if (run_of == static_cast<int>(p)) {
                // A run one longer: kept with the runs (it is never looked up in the table).
                known[p] = run + 1;
                run_codes_[p * MAX_CODES + run + 1] = static_cast<uint16_t>(next_code);
            } else {
                lzw_keys_[h] = key;
                lzw_codes_[h] = static_cast<uint16_t>(next_code);
            }
            ++next_code;
            if (next_code > (1u << width) && width < MAX_CODE_WIDTH) ++width;
        } else {
            emit(clear, width);
            std::fill(lzw_keys_.begin(), lzw_keys_.end(), 0);
            std::fill(known, known + 256, 1u);
            next_code = clear + 2;
            width = min_code_size + 1;
        }
        cur = p;
        run_of = static_cast<int>(p);
        run = 1;
        ++i;
    }
    emit(cur, width);
    // The decoder adds an entry for this last code too, and may widen before the end code.
    if (next_code == (1u << width) && width < MAX_CODE_WIDTH) ++width;
    emit(end, width);
    if (nbits > 0) emit(0, 8 - nbits);
    out->push_back(static_cast<uint8_t>(min_code_size));
    const uint8_t* p = packed_.data();
    for (size_t left = static_cast<size_t>(put - packed_.data()); left > 0;) {
        const size_t chunk = left < 255 ? left : 255;
        out->push_back(static_cast<uint8_t>(chunk));
        out->insert(out->end(), p, p + chunk);
        p += chunk;
        left -= chunk;
    }
    out->push_back(0);
}

int FrameEncoder::encode(const Picture& next, const Picture* previous, int delay, std::vector<uint8_t>* out,
                         int first_row, int last_row) {
    if (last_row < 0 || last_row >= next.height) last_row = next.height - 1;
    if (first_row < 0) first_row = 0;
    area_ = Area{0, 0, next.width, next.height};
    if (previous && !changed_area(next, *previous, first_row, last_row, &area_)) {
        area_ = Area{};
        encode_unchanged(delay, out);
        return 0;
    }
    indices_.resize(static_cast<size_t>(area_.width) * static_cast<size_t>(area_.height));
    bool transparent = false;
    // Transparency sits first in the table (the index collect() kept free for it), or after
    // the kept colours when they had to be reduced.
    bool reduced = false;
    int replaced = 0;
    const int colours = collect(next, previous, &transparent);
    if (colours + (previous ? 1 : 0) > 256) {
        replaced = reduce(next, previous, transparent);
        reduced = true;
    }
    const size_t first = previous && !reduced ? 1 : 0;
    const int transparent_index = reduced ? static_cast<int>(palette_.size()) : 0;
    const int entries = static_cast<int>(palette_.size() + first) + (reduced && transparent ? 1 : 0);
    int bits = 1;
    while ((1 << bits) < entries) ++bits;
    frame_header(out, delay, transparent, transparent_index, area_, bits);
    // The local table; the transparent entry and the padding are black.
    const size_t table_at = out->size();
    out->resize(table_at + (size_t{3} << bits), 0);
    uint8_t* t = out->data() + table_at + 3 * first;
    for (uint32_t c : palette_) {
        *t++ = static_cast<uint8_t>(c >> 16);
        *t++ = static_cast<uint8_t>(c >> 8);
        *t++ = static_cast<uint8_t>(c);
    }
    compress(bits < 2 ? 2 : bits, out);
    return replaced;
}

}  // namespace gif
}  // namespace px
