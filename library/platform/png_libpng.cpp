// png_libpng.cpp - PNG encoding with libpng's simplified writing interface.
#include <png.h>

#include <cstring>

#include "png_encoder.h"

namespace px {

std::string encode_png(const unsigned char* rgb, int width, int height, std::vector<unsigned char>* out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    // The first call only measures; the second writes into a buffer of that size.
    png_alloc_size_t size = 0;
    bool ok = png_image_write_to_memory(&image, nullptr, &size, 0, rgb, width * 3, nullptr);
    if (ok) {
        out->resize(size);
        ok = png_image_write_to_memory(&image, out->data(), &size, 0, rgb, width * 3, nullptr);
    }
    std::string reason;
    if (ok) out->resize(size);
    else reason = image.message[0] ? image.message : "cannot encode the image";
    png_image_free(&image);
    return reason;
}

}  // namespace px
