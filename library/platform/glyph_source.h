// glyph_source.h - where faces, their metrics and their glyph images come from: the one part
// of text that each platform supplies its own way (glyphs_fontconfig.cpp: fontconfig picks a
// file, FreeType renders it). Caching, layout and blending stay in fonts.cpp.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace px {

// A sized face's metrics in pixels, as the platform's text metrics report them.
struct FaceMetrics {
    int ascent = 0, descent = 0, internal_leading = 0;
    int ave_char_width = 0, max_char_width = 0;
};

// One glyph: how far the pen moves, and a grey-level image placed relative to the pen on
// the baseline (top counts up). An empty image draws nothing.
struct GlyphImage {
    int advance = 0;
    int left = 0, top = 0;
    int width = 0, rows = 0;
    std::vector<uint8_t> coverage;  // rows x width, 255 = fully inked
};

class GlyphSource {
public:
    virtual ~GlyphSource() = default;
    virtual FaceMetrics metrics() const = 0;
    // The glyph of a Unicode code point (the face's missing-glyph shape when it has none);
    // leaves what it cannot render at its defaults.
    virtual void glyph(unsigned code_point, GlyphImage* out) = 0;
};

// The face for a name and weight (FW_ values; an unknown name gets the default face), sized
// as the platform sizes fonts: a negative height is the em in pixels, a positive one the
// whole cell (ascent plus descent). Null when no face can be loaded.
std::unique_ptr<GlyphSource> open_glyph_source(const std::string& name, int height, int weight);

}  // namespace px
