// glyph_source.h - where faces, their metrics and their glyph images come from: the one part
// of text that each host system supplies its own way (glyphs_fontconfig.cpp: fontconfig picks a
// file, FreeType renders it). Caching, layout and blending stay in fonts.cpp.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace px {

// A sized face's metrics in pixels, as the reference system's text metrics report them.
struct FaceMetrics {
    int ascent = 0, descent = 0, internal_leading = 0;
    int ave_char_width = 0, max_char_width = 0;
};

// One glyph: how far the pen moves, and a grey-level image placed relative to the pen on
// the baseline (top counts up). An empty image draws nothing. Text is measured by advance;
// drawing moves the pen by pen_advance where a source sets it (-1: advance too).
struct GlyphImage {
    int advance = 0;
    int pen_advance = -1;
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

// The face that draws text. Programs name a face the reference system does not have, and its font
// mapper then gives them its default proportional face; Liberation Sans has that face's
// metrics (every advance, the ascent and the descent), so text lays out as it does there.
// A source without it draws in its default sans face (DejaVu Sans is about 12 % wider, so
// lines run longer) and says so once on standard error.
inline constexpr const char* DRAWING_FAMILY = "Liberation Sans";
inline constexpr const char* FALLBACK_FAMILY = "sans-serif";
// The name drawn text asks for: no system has it, so it always gets DRAWING_FAMILY.
inline constexpr const char* PROGRAM_FACE = "PLOTX-font";

// The code point a byte of text is drawn as (render/fonts.cpp): the only ones text asks of a
// glyph source.
unsigned byte_code_point(unsigned char byte);

// The face for a name and weight (FW_ values; a name the system lacks gets DRAWING_FAMILY), sized
// as the reference system sizes fonts: a negative height is the em in pixels, a positive one the
// whole cell (ascent plus descent). Null when no face can be loaded.
std::unique_ptr<GlyphSource> open_glyph_source(const std::string& name, int height, int weight);

}  // namespace px
