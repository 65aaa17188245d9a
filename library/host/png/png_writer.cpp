// png_writer.cpp - PNG encoding with zlib alone, used on every system so a canvas gives
// the same file everywhere: signature, IHDR, one IDAT of the deflated rows with filter
// byte 0, IEND.
#include <zlib.h>
#include <cstdint>
#include <vector>
#include "host/png/png_writer.h"

namespace px {
namespace {

void put32(std::vector<unsigned char>& out, uint32_t v) {
    out.push_back(static_cast<unsigned char>(v >> 24));
    out.push_back(static_cast<unsigned char>(v >> 16));
    out.push_back(static_cast<unsigned char>(v >> 8));
    out.push_back(static_cast<unsigned char>(v));
}

void put_chunk(std::vector<unsigned char>& out, const char type[4], const std::vector<unsigned char>& data) {
    const size_t start = out.size();
    put32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    // The CRC covers the type and the data.
    uLong crc = crc32(0L, out.data() + start + 4, static_cast<uInt>(data.size() + 4));
    put32(out, static_cast<uint32_t>(crc));
}

}  // namespace

std::string encode_png(const unsigned char* rgb, int width, int height, std::vector<unsigned char>* out) {
    if (width <= 0 || height <= 0) return "cannot encode an empty image";
    const size_t row = static_cast<size_t>(width) * 3;
    std::vector<unsigned char> raw;
    raw.reserve((row + 1) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), rgb + row * y, rgb + row * (y + 1));
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
        return "cannot encode the image";
    packed.resize(packed_size);

    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> ihdr;
    put32(ihdr, static_cast<uint32_t>(width));
    put32(ihdr, static_cast<uint32_t>(height));
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit, RGB, deflate, adaptive filters, no interlace
    out->assign(signature, signature + 8);
    put_chunk(*out, "IHDR", ihdr);
    put_chunk(*out, "IDAT", packed);
    put_chunk(*out, "IEND", {});
    return "";
}

}  // namespace px
