// glyphs_bundled.cpp - face files where there is no font configuration (a browser page): the
// page bundles Liberation Sans for drawn text and DejaVu Sans Mono for the log's fixed-pitch
// lines, the faces a Debian desktop resolves, under /fonts. Under Node (the unit tests of a
// web build) the host's own copies of the same files are used.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "host/glyphs/glyph_files.h"

namespace px {
namespace {

const char* const kFontRoots[] = {"/fonts", "/usr/share/fonts/truetype"};

bool fixed_pitch_name(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* word : {"mono", "courier", "fixed", "terminal"})
        if (name.find(word) != std::string::npos) return true;
    return false;
}

}  // namespace

FaceFile face_file(const std::string& name, int) {
    const char* file = fixed_pitch_name(name) ? "/dejavu/DejaVuSansMono.ttf" : "/liberation/LiberationSans-Regular.ttf";
    for (const char* root : kFontRoots) {
        std::string path = std::string(root) + file;
        struct stat st;
        if (stat(path.c_str(), &st) == 0) return FaceFile{path, 0};
    }
    return {};
}

}  // namespace px
