// gif_reader.h - the frames of a GIF capture (PLOTX_GIF), each drawn over the ones before as
// a viewer shows it, for grade --frames: kept as a hash of each whole picture, which is all
// finding the first differing frame needs, however long the capture.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace check {

struct GifFrames {
    bool ok = false;
    std::string error;
    unsigned width = 0, height = 0;
    std::vector<uint64_t> frames;  // a hash (FNV-1a) of each frame's RGB picture
};

// Reads a GIF87a or GIF89a file.
GifFrames read_gif(const std::string& path);

// The first frame (counted from 1) where two captures differ, or the frame one has and the
// other lacks; 0 when they are the same.
size_t first_differing_frame(const GifFrames& a, const GifFrames& b);

}  // namespace check
