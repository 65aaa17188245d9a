// glyphs_freetype.cpp - faces and glyph images where FreeType renders them: the face file
// for a name and weight comes from glyph_files.h (fontconfig on a desktop, a bundled face in
// a page); FreeType sizes it as the reference system sizes fonts and renders glyphs, shaded or black
// and white as the face asks.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_GASP_H

#include <algorithm>

#include "host/glyphs/glyph_files.h"
#include "host/glyphs/glyph_source.h"
#include "render/raster.h"

namespace px {
namespace {

FT_Library library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_Init_FreeType(&l) != 0) l = nullptr;
        return l;
    }();
    return lib;
}

// Nearest integer of num / den, halves away from zero (den > 0).
int round_div(long long num, long long den) {
    if (den <= 0) return 0;
    return static_cast<int>((num >= 0 ? num + den / 2 : num - den / 2) / den);
}

class FreeTypeFace final : public GlyphSource {
public:
    FreeTypeFace(FT_Face ft, const FaceMetrics& m) : ft_(ft), metrics_(m) {}
    ~FreeTypeFace() override { FT_Done_Face(ft_); }
    FaceMetrics metrics() const override { return metrics_; }

    void glyph(unsigned code_point, GlyphImage* gl) override {
        FT_UInt index = FT_Get_Char_Index(ft_, code_point);
        if (FT_Load_Glyph(ft_, index, FT_LOAD_DEFAULT) != 0) return;
        gl->advance = static_cast<int>((ft_->glyph->advance.x + 32) >> 6);
        // Where the face's own table asks for no shading at this size (Liberation Sans from 9
        // to 17 pixels), the reference system draws glyphs hinted for black and white and moves the
        // pen by their hinted advances, while it measures text by the advances above.
        const FT_Int gasp = FT_Get_Gasp(ft_, ft_->size->metrics.y_ppem);
        const bool unshaded = gasp != FT_GASP_NO_TABLE && !(gasp & FT_GASP_DO_GRAY);
        if (unshaded) {
            if (FT_Load_Glyph(ft_, index, FT_LOAD_TARGET_MONO) != 0) return;
            gl->pen_advance = static_cast<int>((ft_->glyph->advance.x + 32) >> 6);
        }
        if (ft_->glyph->format != FT_GLYPH_FORMAT_BITMAP &&
            FT_Render_Glyph(ft_->glyph, unshaded ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0)
            return;
        const FT_Bitmap& bm = ft_->glyph->bitmap;
        if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) return;
        gl->left = ft_->glyph->bitmap_left;
        gl->top = ft_->glyph->bitmap_top;
        gl->width = static_cast<int>(bm.width);
        gl->rows = static_cast<int>(bm.rows);
        gl->coverage.resize(static_cast<size_t>(gl->width) * gl->rows);
        for (int r = 0; r < gl->rows; ++r) {
            const unsigned char* src = bm.buffer + static_cast<ptrdiff_t>(r) * bm.pitch;
            uint8_t* dst = gl->coverage.data() + static_cast<size_t>(r) * gl->width;
            for (int c = 0; c < gl->width; ++c)
                dst[c] = bm.pixel_mode == FT_PIXEL_MODE_GRAY ? src[c] : ((src[c >> 3] >> (7 - (c & 7))) & 1) * 255;
        }
    }

private:
    FT_Face ft_;
    FaceMetrics metrics_;
};

}  // namespace

std::unique_ptr<GlyphSource> open_glyph_source(const std::string& name, int height, int weight) {
    return open_face_file(face_file(name, weight), height);
}

// Sizes a face as the reference system does: a negative height is the em (character height) in
// pixels, a positive one the whole cell, ascent plus descent, taken from the face's
// Windows ascent and descent where it has them.
std::unique_ptr<GlyphSource> open_face_file(const FaceFile& ref, int height) {
    FT_Library lib = library();
    FT_Face ft = nullptr;
    if (!lib || ref.file.empty() || FT_New_Face(lib, ref.file.c_str(), ref.index, &ft) != 0) return nullptr;
    if (!FT_IS_SCALABLE(ft) || ft->units_per_EM == 0) {
        FT_Done_Face(ft);
        return nullptr;
    }
    FaceMetrics m;
    long long upem = ft->units_per_EM;
    long long win_ascent = ft->ascender, win_descent = -ft->descender;
    if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2))) {
        if (os2->usWinAscent + os2->usWinDescent > 0) {
            win_ascent = os2->usWinAscent;
            win_descent = os2->usWinDescent;
        }
    }
    if (win_ascent + win_descent <= 0) { win_ascent = upem; win_descent = 0; }
    long long total = win_ascent + win_descent;
    long long ppem_26_6;  // em size in 1/64 pixel
    if (height < 0) {
        long long em = -static_cast<long long>(height);
        ppem_26_6 = em * 64;
        m.ascent = round_div(win_ascent * em, upem);
        m.descent = round_div(win_descent * em, upem);
        m.internal_leading = m.ascent + m.descent - static_cast<int>(em);
    } else {
        ppem_26_6 = std::max<long long>(64, round_div(static_cast<long long>(height) * upem * 64, total));
        m.ascent = round_div(win_ascent * height, total);
        m.descent = height - m.ascent;
        m.internal_leading = height - round_div(ppem_26_6, 64);
    }
    FT_Set_Char_Size(ft, 0, static_cast<FT_F26Dot6>(ppem_26_6), 72, 72);
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    long long avg_units = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : upem / 2;
    m.ave_char_width = std::max(1, round_div(avg_units * ppem_26_6, upem * 64));
    m.max_char_width = std::max(1, round_div((ft->bbox.xMax - ft->bbox.xMin) * ppem_26_6, upem * 64));
    return std::make_unique<FreeTypeFace>(ft, m);
}

}  // namespace px
