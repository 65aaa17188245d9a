// glyphs_fontconfig.cpp - face files where fontconfig exists: its choice for a face name and
// weight, with a name the system lacks given the drawing face. FreeType renders them
// (glyphs_freetype.cpp).
#include <fontconfig/fontconfig.h>

#include <cstdio>
#include <map>
#include <utility>

#include "host/glyphs/glyph_files.h"
#include "host/glyphs/glyph_source.h"
#include "render/raster.h"

namespace px {
namespace {

bool installed(const char* family) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, nullptr);
    FcFontSet* set = FcFontList(nullptr, pattern, objects);
    const bool found = set && set->nfont > 0;
    if (set) FcFontSetDestroy(set);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return found;
}

// The family to ask fontconfig for: an installed family or one of fontconfig's generic
// names as named (the text window's fixed-pitch face is one), any other the drawing face.
std::string family_for(const std::string& name) {
    for (const char* generic : {"sans-serif", "serif", "monospace"})
        if (name == generic) return name;
    if (!name.empty() && installed(name.c_str())) return name;
    static const std::string drawing = [] {
        if (installed(DRAWING_FAMILY)) return DRAWING_FAMILY;
        std::fprintf(stderr, "plotx: the font %s is not installed (Debian package fonts-liberation); text is drawn "
                     "in the default %s face instead and runs wider\n", DRAWING_FAMILY, FALLBACK_FAMILY);
        return FALLBACK_FAMILY;
    }();
    return drawing;
}

}  // namespace

// fontconfig's choice for a face name and weight.
FaceFile face_file(const std::string& name, int weight) {
    static std::map<std::pair<std::string, int>, FaceFile> resolved;
    auto key = std::make_pair(name, weight);
    auto it = resolved.find(key);
    if (it != resolved.end()) return it->second;
    FaceFile ref;
    if (FcInit()) {
        FcPattern* pattern = FcPatternCreate();
        const std::string family = family_for(name);
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight > 0 ? weight : FW_NORMAL));
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
            FcChar8* file = nullptr;
            int index = 0;
            if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
                ref.file = reinterpret_cast<const char*>(file);
                if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) ref.index = index;
            }
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    resolved.emplace(key, ref);
    return ref;
}

}  // namespace px
