// png_reader.h - reads a PNG back into 8-bit RGB with zlib alone, independently of whichever
// encoder wrote it: for the tests and plotx-check, not part of the library itself
// (png.cmake builds it, with the writer, into the internal plotx_png_io).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace px {

struct Png {
    bool ok = false;
    std::string error;  // why ok is false
    unsigned width = 0, height = 0;
    std::vector<unsigned char> rgb;  // rows top to bottom, three bytes a pixel
    uint32_t at(unsigned x, unsigned y) const {
        const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
};

// Reads 8-bit greyscale, RGB, grey with alpha and RGBA, not interlaced (alpha is dropped).
// ok is false, with the reason in error, for a missing file, a bad signature or CRC, another
// format, a picture over 16384 pixels a side, or short data.
Png read_png(const std::string& path);

}  // namespace px
