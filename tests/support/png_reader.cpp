// png_reader.cpp - a small PNG decoder for the tests: chunks with their CRCs, the IDAT
// stream inflated by zlib, and the five row filters undone.
#include "png_reader.h"

#include <zlib.h>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace plotx_test {
namespace {

uint32_t be32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int paeth(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

Png read_png(const std::string& path) {
    Png out;
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), {});
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || !std::equal(signature, signature + 8, file.begin())) return out;
    std::vector<unsigned char> idat;
    bool header = false, end = false;
    for (size_t pos = 8; pos + 12 <= file.size() && !end;) {
        uint32_t length = be32(&file[pos]);
        if (length > file.size() - pos - 12) return out;
        const unsigned char* type = &file[pos + 4];
        const unsigned char* data = type + 4;
        if (crc32(0L, type, length + 4) != be32(data + length)) return out;
        std::string name(reinterpret_cast<const char*>(type), 4);
        if (name == "IHDR") {
            if (length != 13 || data[8] != 8 || data[9] != 2 || data[12] != 0) return out;
            out.width = be32(data);
            out.height = be32(data + 4);
            header = true;
        } else if (name == "IDAT") {
            idat.insert(idat.end(), data, data + length);
        } else if (name == "IEND") {
            end = true;
        }
        pos += 12 + length;
    }
    if (!header || !end || out.width == 0 || out.height == 0) return out;
    const size_t stride = static_cast<size_t>(out.width) * 3;
    std::vector<unsigned char> raw((stride + 1) * out.height);
    uLongf raw_size = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &raw_size, idat.data(), static_cast<uLong>(idat.size())) != Z_OK ||
        raw_size != raw.size())
        return out;
    out.rgb.resize(stride * out.height);
    for (size_t y = 0; y < out.height; ++y) {
        const unsigned char filter = raw[y * (stride + 1)];
        const unsigned char* src = &raw[y * (stride + 1) + 1];
        unsigned char* row = &out.rgb[y * stride];
        const unsigned char* up = y > 0 ? row - stride : nullptr;
        for (size_t i = 0; i < stride; ++i) {
            int a = i >= 3 ? row[i - 3] : 0, b = up ? up[i] : 0, c = up && i >= 3 ? up[i - 3] : 0;
            int predictor = filter == 0 ? 0 : filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : paeth(a, b, c);
            if (filter > 4) return Png{};
            row[i] = static_cast<unsigned char>(src[i] + predictor);
        }
    }
    out.ok = true;
    return out;
}

}  // namespace plotx_test
