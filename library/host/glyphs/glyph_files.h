// glyph_files.h - the font file a FreeType glyph source (glyphs_freetype.cpp) opens for a face
// name and weight: fontconfig's choice on a desktop (glyphs_fontconfig.cpp), one of the faces
// a page bundles in a browser (glyphs_bundled.cpp).
#pragma once
#include <memory>
#include <string>

#include "host/glyphs/glyph_source.h"

namespace px {

struct FaceFile {
    std::string file;  // empty when no face is there: text then has metrics only
    int index = 0;     // the face's index in a collection file
};

// The file for a face name and weight (FW_ values); a name the system lacks gets the drawing
// face (glyph_source.h).
FaceFile face_file(const std::string& name, int weight);

// A face file sized as open_glyph_source sizes a face; null when it cannot be loaded.
std::unique_ptr<GlyphSource> open_face_file(const FaceFile& file, int height);

}  // namespace px
