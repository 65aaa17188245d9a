// png_reader.h - reads back the pictures the library saves (8-bit RGB, not interlaced) with
// zlib alone, independently of whichever encoder wrote them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace plotx_test {

struct Png {
    bool ok = false;
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgb;
    uint32_t at(unsigned x, unsigned y) const {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
};

// ok is false for a missing file, a bad signature or CRC, another format, or short data.
Png read_png(const std::string& path);

}  // namespace plotx_test
