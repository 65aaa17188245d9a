// gif_writer.cpp - the GIF89a stream: screen and loop extension, frames (graphic control
// extension, image descriptor, local colour table, LZW data in sub-blocks) and trailer.
// The LZW coder grows its code width as the decoder does (one code late, since the decoder
// adds each entry a code after the coder) and starts afresh with a clear code when the
// 4096 codes are used up. A frame of an animation is mostly transparent, so the coder walks
// runs of one index through the table's run entries in one step instead of pixel by pixel.
// Pictures are compared row by row (a whole row at once, then its changed span), so the cost
// of a frame follows what changed in it.
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

// A frame that changes nothing: one transparent pixel.
void unchanged_frame(int delay, std::vector<uint8_t>* out) {
    frame_header(out, delay, true, 0, Area{0, 0, 1, 1}, 1);
    // A table of two black entries, then one pixel of index 0: clear, 0, end at 3 bits.
    static const uint8_t data[] = {0, 0, 0, 0, 0, 0, 2, 2, 0x44, 0x01, 0};
    out->insert(out->end(), data, data + sizeof data);
}

}  // namespace

void Animation::end(std::vector<uint8_t>* out) { out->push_back(0x3B); }

void Animation::begin(int width, int height, std::vector<uint8_t>* out) {
    static const char signature[] = "GIF89a";
    out->insert(out->end(), signature, signature + 6);
    put16(out, width);
    put16(out, height);
    out->push_back(0x70);  // no global table; 8 bits of colour resolution
    out->push_back(0);     // background index (no global table to index)
    out->push_back(0);     // square pixels
    static const char loop[] = "\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00";
    out->insert(out->end(), loop, loop + 19);
    width_ = width;
    height_ = height;
    shown_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    row_left_.assign(static_cast<size_t>(height), -1);
    row_right_.assign(static_cast<size_t>(height), -1);
    holding_ = false;
    frames_ = replaced_ = 0;
}

// Which rows of `picture` differ from the picture shown, and where in each: a whole row
// compared at once, then its changed span found from both ends. False when none differs.
bool Animation::changed_rows(const Picture& picture, Area* area) {
    const int w = picture.width < width_ ? picture.width : width_;
    const int h = picture.height < height_ ? picture.height : height_;
    int left = w, right = -1, top = -1, bottom = -1;
    for (int y = 0; y < h; ++y) {
        const uint32_t* a = picture.row(y);
        const uint32_t* b = shown_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
        row_left_[static_cast<size_t>(y)] = -1;
        if (std::memcmp(a, b, static_cast<size_t>(w) * sizeof(uint32_t)) == 0) continue;
        int l = 0, r = w - 1;
        while (l + 4 <= w && std::memcmp(a + l, b + l, 4 * sizeof(uint32_t)) == 0) l += 4;
        while (a[l] == b[l]) ++l;
        while (r >= 3 && std::memcmp(a + r - 3, b + r - 3, 4 * sizeof(uint32_t)) == 0) r -= 4;
        while (a[r] == b[r]) --r;
        row_left_[static_cast<size_t>(y)] = l;
        row_right_[static_cast<size_t>(y)] = r;
        if (top < 0) top = y;
        bottom = y;
        if (l < left) left = l;
        if (r > right) right = r;
    }
    if (top < 0) return false;
    *area = Area{left, top, right - left + 1, bottom - top + 1};
    return true;
}

// The waiting frame becomes `area`, 1 where `picture` differs from the picture shown; with
// keep_held the frame it replaces (never seen) is folded in, so that what it changed is
// still changed over the file's last picture.
void Animation::mark_changes(const Picture& picture, const Area& area, bool keep_held) {
    Area u = area;
    if (keep_held) {
        const int right = std::max(area.left + area.width, held_.left + held_.width);
        const int bottom = std::max(area.top + area.height, held_.top + held_.height);
        u.left = std::min(area.left, held_.left);
        u.top = std::min(area.top, held_.top);
        u.width = right - u.left;
        u.height = bottom - u.top;
    }
    spare_.assign(static_cast<size_t>(u.width) * static_cast<size_t>(u.height), 0);
    spare_left_.assign(static_cast<size_t>(u.height), -1);
    spare_right_.assign(static_cast<size_t>(u.height), -1);
    if (keep_held)
        for (int y = 0; y < held_.height; ++y) {
            std::memcpy(spare_.data() + static_cast<size_t>(y + held_.top - u.top) * static_cast<size_t>(u.width) +
                            (held_.left - u.left),
                        map_.data() + static_cast<size_t>(y) * static_cast<size_t>(held_.width),
                        static_cast<size_t>(held_.width));
            spare_left_[static_cast<size_t>(y + held_.top - u.top)] = held_left_[static_cast<size_t>(y)];
            spare_right_[static_cast<size_t>(y + held_.top - u.top)] = held_right_[static_cast<size_t>(y)];
        }
    for (int y = area.top; y < area.top + area.height; ++y) {
        const int l = row_left_[static_cast<size_t>(y)], r = row_right_[static_cast<size_t>(y)];
        if (l < 0) continue;
        int& span_left = spare_left_[static_cast<size_t>(y - u.top)];
        int& span_right = spare_right_[static_cast<size_t>(y - u.top)];
        if (span_left < 0 || l < span_left) span_left = l;
        if (r > span_right) span_right = r;
        const uint32_t* a = picture.row(y);
        const uint32_t* b = shown_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
        uint8_t* m = spare_.data() + static_cast<size_t>(y - u.top) * static_cast<size_t>(u.width);
        for (int x = l; x <= r; ++x) m[x - u.left] = static_cast<uint8_t>(m[x - u.left] | (a[x] != b[x]));
    }
    map_.swap(spare_);
    held_left_.swap(spare_left_);
    held_right_.swap(spare_right_);
    held_ = u;
    holding_ = true;
}

bool Animation::show(const Picture& picture, uint64_t now, std::vector<uint8_t>* out) {
    const int w = picture.width < width_ ? picture.width : width_;
    Area changed;
    if (frames_ == 0 && !holding_) {
        // The first picture: the whole screen, no transparency.
        for (int y = 0; y < height_; ++y) {
            row_left_[static_cast<size_t>(y)] = y < picture.height ? 0 : -1;
            row_right_[static_cast<size_t>(y)] = w - 1;
        }
        held_ = Area{0, 0, width_, height_};
        map_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 1);
        held_left_.assign(static_cast<size_t>(height_), 0);
        held_right_.assign(static_cast<size_t>(height_), width_ - 1);
        holding_ = true;
        shown_at_ = now;
    } else {
        if (!changed_rows(picture, &changed)) return false;
        if (now > shown_at_) {
            put_held(now - shown_at_, out);
            shown_at_ = now;
            mark_changes(picture, changed, false);
        } else {
            mark_changes(picture, changed, true);
        }
    }
    for (int y = 0; y < height_ && y < picture.height; ++y) {
        const int l = row_left_[static_cast<size_t>(y)], r = row_right_[static_cast<size_t>(y)];
        if (l >= 0)
            std::memcpy(shown_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_) + l, picture.row(y) + l,
                        static_cast<size_t>(r - l + 1) * sizeof(uint32_t));
    }
    return true;
}

void Animation::finish(uint64_t now, std::vector<uint8_t>* out) {
    if (holding_) put_held(now > shown_at_ ? now - shown_at_ : 0, out);
}

// The waiting frame, encoded: its colour table, the indices, and frames that change nothing
// for what its delay leaves over.
void Animation::put_held(uint64_t delay, std::vector<uint8_t>* out) {
    const bool transparent_first = frames_ > 0;
    bool transparent = false;
    const int colours = index_colours(transparent_first, &transparent);
    if (colours + (transparent_first ? 1 : 0) > 256) reduce_colours(transparent_first);
    const int entries = static_cast<int>(palette_.size()) + (transparent_first ? 1 : 0);
    int bits = 1;
    while ((1 << bits) < entries) ++bits;
    uint64_t part = delay < MAX_DELAY ? delay : MAX_DELAY;
    frame_header(out, static_cast<int>(part), transparent, 0, held_, bits);
    // The local table; the transparent entry and the padding are black.
    const size_t table_at = out->size();
    out->resize(table_at + (size_t{3} << bits), 0);
    uint8_t* t = out->data() + table_at + (transparent_first ? 3 : 0);
    for (uint32_t c : palette_) {
        *t++ = static_cast<uint8_t>(c >> 16);
        *t++ = static_cast<uint8_t>(c >> 8);
        *t++ = static_cast<uint8_t>(c);
    }
    compress(bits < 2 ? 2 : bits, out);
    for (delay -= part; delay > 0; delay -= part) {
        part = delay < MAX_DELAY ? delay : MAX_DELAY;
        unchanged_frame(static_cast<int>(part), out);
    }
    ++frames_;
    holding_ = false;
}

Animation::Slot* Animation::find_colour(uint32_t colour) {
    const uint32_t mask = static_cast<uint32_t>(colours_.size()) - 1;
    uint32_t h = hash(colour + 1, colour_bits_);
    while (colours_[h].key != 0 && colours_[h].key != colour + 1) h = (h + 1) & mask;
    return &colours_[h];
}

void Animation::grow_colours() {
    std::vector<Slot> old;
    old.swap(colours_);
    colours_.assign(old.size() * 2, Slot{0, 0, 0});
    ++colour_bits_;
    for (const Slot& s : old)
        if (s.key) *find_colour(s.key - 1) = s;
}

// The waiting frame's pixels become colour indices, colours numbered in order of first
// appearance (after the transparent 0 when transparent_first). Past the table's size the
// pixels are only marked 1 and counted, for reduce_colours. Returns the number of colours.
int Animation::index_colours(bool transparent_first, bool* any_transparent) {
    colour_bits_ = 10;
    colours_.assign(size_t{1} << colour_bits_, Slot{0, 0, 0});
    palette_.clear();
    const uint32_t base = transparent_first ? 1 : 0;
    const size_t limit = 256 - base;
    uint32_t last = 0xFFFFFFFF;
    uint8_t last_index = 1;
    Slot* last_slot = nullptr;
    bool transparent = false;
    for (int y = 0; y < held_.height; ++y) {
        const uint32_t* p = shown_.data() + static_cast<size_t>(held_.top + y) * static_cast<size_t>(width_) + held_.left;
        uint8_t* m = map_.data() + static_cast<size_t>(y) * static_cast<size_t>(held_.width);
        const int left = held_left_[static_cast<size_t>(y)] - held_.left;
        const int end = held_right_[static_cast<size_t>(y)] - held_.left + 1;
        if (held_left_[static_cast<size_t>(y)] < 0 || left > 0 || end < held_.width) transparent = true;
        if (held_left_[static_cast<size_t>(y)] < 0) continue;
        for (int x = left; x < end;) {
            if (x + 8 <= end) {
                uint64_t eight;
                std::memcpy(&eight, m + x, 8);
                if (eight == 0) {
                    transparent = true;
                    x += 8;
                    continue;
                }
            }
            if (m[x] == 0) {
                transparent = true;
                ++x;
                continue;
            }
            const uint32_t c = p[x] & RGB_MASK;
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
                last_index = palette_.size() <= limit ? static_cast<uint8_t>(last_slot->index) : 1;
            }
            ++last_slot->count;
            m[x++] = last_index;
        }
    }
    *any_transparent = transparent;
    return static_cast<int>(palette_.size());
}

// Too many colours for one table: the most frequent are kept (ties to the lower colour),
// each other colour maps to its nearest kept one, and the indices are written again.
void Animation::reduce_colours(bool transparent_first) {
    std::vector<Slot> all;
    for (const Slot& s : colours_)
        if (s.key) all.push_back(s);
    std::sort(all.begin(), all.end(),
              [](const Slot& x, const Slot& y) { return x.count != y.count ? x.count > y.count : x.key < y.key; });
    const uint32_t base = transparent_first ? 1 : 0;
    const size_t keep = 256 - base;
    palette_.clear();
    for (size_t i = 0; i < keep; ++i) {
        palette_.push_back(all[i].key - 1);
        find_colour(all[i].key - 1)->index = static_cast<uint32_t>(i) + base;
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
        find_colour(c)->index = best + base;
    }
    replaced_ += static_cast<long>(all.size() - keep);
    for (int y = 0; y < held_.height; ++y) {
        const uint32_t* p = shown_.data() + static_cast<size_t>(held_.top + y) * static_cast<size_t>(width_) + held_.left;
        uint8_t* m = map_.data() + static_cast<size_t>(y) * static_cast<size_t>(held_.width);
        if (held_left_[static_cast<size_t>(y)] < 0) continue;
        for (int x = held_left_[static_cast<size_t>(y)] - held_.left; x <= held_right_[static_cast<size_t>(y)] - held_.left; ++x)
            if (!transparent_first || m[x] != 0) m[x] = static_cast<uint8_t>(find_colour(p[x] & RGB_MASK)->index);
    }
}

// How many indices from `at` on are 0, counting at most `most`: the spans are scanned,
// the rest of each row is known to be 0 and only counted.
size_t Animation::zero_run(size_t at, size_t most) const {
    const size_t w = static_cast<size_t>(held_.width), rows = static_cast<size_t>(held_.height);
    size_t n = 0, y = at / w, x = at % w;
    while (n < most && y < rows) {
        const bool empty = held_left_[y] < 0;
        const size_t l = empty ? w : static_cast<size_t>(held_left_[y] - held_.left);
        const size_t r = empty ? w : static_cast<size_t>(held_right_[y] - held_.left);
        if (!empty && x >= l && x <= r) {
            const size_t len = run_length(map_.data() + y * w + x, 0, std::min(most - n, r + 1 - x));
            n += len;
            x += len;
            if (x <= r) return n;  // a colour, or as many as asked for
            continue;
        }
        const size_t stop = !empty && x < l ? l : w;
        const size_t take = std::min(stop - x, most - n);
        n += take;
        x += take;
        if (x == w) {
            x = 0;
            ++y;
        }
    }
    return n;
}

// The indices as LZW codes, least significant bit first, in sub-blocks of up to 255 bytes.
// Besides the table of (code, index) pairs the coder knows, for each index, the codes of
// its runs: runs of length 2..known[index] are entries, as each is made from the one before.
void Animation::compress(int min_code_size, std::vector<uint8_t>* out) {
    const size_t n = map_.size();
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
    const uint8_t* in = map_.data();
    uint32_t cur = in[0];
    int run_of = in[0];  // cur stands for a run of this index (-1: not a run)
    uint32_t run = 1;    // ... of this length
    for (size_t i = 1; i < n;) {
        const uint32_t p = in[i];
        if (run_of == static_cast<int>(p) && known[p] > run) {
            const size_t most = std::min<size_t>(known[p] - run, n - i);
            const size_t more = p == 0 ? zero_run(i, most) : run_length(in + i, static_cast<uint8_t>(p), most);
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

}  // namespace gif
}  // namespace px
