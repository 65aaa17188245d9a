// compare.h - two pictures pixel by pixel: how many pixels differ and where, the diff picture
// (differing pixels in a strong colour over a faded copy of the expected one), and the small
// copies the report shows.
#pragma once
#include <string>
#include <vector>

#include "host/png/png_reader.h"

namespace check {

struct Comparison {
    int status = 2;             // 0 the same (up to max_pixels), 1 they differ, 2 not comparable
    std::string error;          // status 2: which file, and why
    long long differing = 0;    // pixels whose colour differs
    unsigned left = 0, top = 0, right = 0, bottom = 0;  // their bounding box, both ends included
    std::vector<unsigned char> diff;  // RGB, the expected picture's size; empty for status 2
};

Comparison compare_pictures(const px::Png& expected, const px::Png& actual, long long max_pixels);
Comparison compare_files(const std::string& expected, const std::string& actual, long long max_pixels);

// "1 pixel differs (more than 0 allowed), from (10, 20) to (10, 20)"
std::string summary(const Comparison& c, long long max_pixels);

// A picture scaled down by an integer factor (box filter) to at most max_width wide, as PNG.
// marks: a diff picture, whose marks survive the scaling (a box with one keeps its colour).
std::vector<unsigned char> thumbnail_png(const std::vector<unsigned char>& rgb, unsigned width, unsigned height,
                                         unsigned max_width, bool marks = false);

// Writes bytes to path; false when it cannot.
bool write_file(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace check
