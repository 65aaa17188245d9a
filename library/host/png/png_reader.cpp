// png_reader.cpp - a small PNG decoder: chunks with their CRCs, the IDAT stream inflated by
// zlib, the five row filters undone, and the 8-bit colour types turned into RGB.
#include "host/png/png_reader.h"

#include <zlib.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace px {
namespace {

constexpr unsigned MAX_SIDE = 16384;

uint32_t be32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int paeth(int a, int b, int c) {
    int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

Png failed(const std::string& why) {
    Png out;
    out.error = why;
    return out;
}

}  // namespace

Png read_png(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return failed("cannot open the file");
    std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), {});
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (file.size() < 8 || !std::equal(signature, signature + 8, file.begin())) return failed("not a PNG file");
    Png out;
    std::vector<unsigned char> idat;
    bool header = false, end = false;
    int channels = 0;
    for (size_t pos = 8; pos + 12 <= file.size() && !end;) {
        uint32_t length = be32(&file[pos]);
        if (length > file.size() - pos - 12) return failed("a chunk runs past the end of the file");
        const unsigned char* type = &file[pos + 4];
        const unsigned char* data = type + 4;
        if (crc32(0L, type, length + 4) != be32(data + length)) return failed("a chunk's CRC is wrong");
        std::string name(reinterpret_cast<const char*>(type), 4);
        if (name == "IHDR") {
            if (length != 13) return failed("bad header");
            const int colour = data[9];
            channels = colour == 0 ? 1 : colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 0;
            if (data[8] != 8 || channels == 0 || data[12] != 0)
                return failed("only 8-bit grey, RGB, grey+alpha and RGBA pictures without interlacing are read");
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
    if (!header || !end) return failed("the file is cut short");
    if (out.width == 0 || out.height == 0 || out.width > MAX_SIDE || out.height > MAX_SIDE)
        return failed("the picture is empty or over 16384 pixels a side");
    const size_t stride = static_cast<size_t>(out.width) * channels;
    std::vector<unsigned char> raw((stride + 1) * out.height);
    uLongf raw_size = static_cast<uLongf>(raw.size());
    if (uncompress(raw.data(), &raw_size, idat.data(), static_cast<uLong>(idat.size())) != Z_OK ||
        raw_size != raw.size())
        return failed("the image data is damaged or short");
    std::vector<unsigned char> pixels(stride * out.height);
    for (size_t y = 0; y < out.height; ++y) {
        const unsigned char filter = raw[y * (stride + 1)];
        if (filter > 4) return failed("unknown row filter");
        const unsigned char* src = &raw[y * (stride + 1) + 1];
        unsigned char* row = &pixels[y * stride];
        const unsigned char* up = y > 0 ? row - stride : nullptr;
        const size_t bpp = static_cast<size_t>(channels);
        if (filter == 0) {  // what the library's own writer uses: the row as it is
            std::copy(src, src + stride, row);
            continue;
        }
        for (size_t i = 0; i < stride; ++i) {
            int a = i >= bpp ? row[i - bpp] : 0, b = up ? up[i] : 0, c = up && i >= bpp ? up[i - bpp] : 0;
            int predictor = filter == 0 ? 0 : filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : paeth(a, b, c);
            row[i] = static_cast<unsigned char>(src[i] + predictor);
        }
    }
    if (channels == 3) {
        out.rgb = std::move(pixels);
    } else {
        const size_t n = static_cast<size_t>(out.width) * out.height;
        out.rgb.resize(n * 3);
        for (size_t i = 0; i < n; ++i) {
            const unsigned char* p = &pixels[i * channels];
            const bool grey = channels < 3;
            out.rgb[i * 3] = p[0];
            out.rgb[i * 3 + 1] = grey ? p[0] : p[1];
            out.rgb[i * 3 + 2] = grey ? p[0] : p[2];
        }
    }
    out.ok = true;
    return out;
}

}  // namespace px
