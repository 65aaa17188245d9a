// png_writer.h - PNG encoding of an 8-bit RGB image into memory, the same bytes on every
// system (png_writer.cpp, on zlib alone). The caller owns the file handling.
#pragma once
#include <string>
#include <vector>

namespace px {

// Encodes width x height pixels, three bytes each, rows top to bottom without padding.
// Returns an empty string on success, else the reason it failed (out is then unspecified).
std::string encode_png(const unsigned char* rgb, int width, int height, std::vector<unsigned char>* out);

}  // namespace px
