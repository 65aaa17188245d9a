// glyphs_fontconfig.cpp - face files where fontconfig exists: its choice for a face name and
// weight, with a name the system lacks given the drawing face; the library's own faces are
// opened from their known files first. FreeType renders them (glyphs_freetype.cpp).
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>

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

// The faces every run asks for (drawn text, the log's fixed-pitch lines, the system face),
// at the one weight the library uses, in the files Debian's fonts-liberation(2) and
// fonts-dejavu-core install: what fontconfig resolves them to there. Initialising
// fontconfig scans every installed font, most of a short headless run's start-up, so
// these are tried first; a name or weight not listed, or a file not there, goes to
// fontconfig.
struct KnownFace {
    const char* name;
    const char* files[2];
};
const KnownFace KNOWN_FACES[] = {
    {PROGRAM_FACE, {"liberation/LiberationSans-Regular.ttf", "liberation2/LiberationSans-Regular.ttf"}},
    {DRAWING_FAMILY, {"liberation/LiberationSans-Regular.ttf", "liberation2/LiberationSans-Regular.ttf"}},
    {"sans-serif", {"dejavu/DejaVuSans.ttf", nullptr}},
    {"monospace", {"dejavu/DejaVuSansMono.ttf", nullptr}},
};

bool known_face_file(const std::string& name, int weight, FaceFile* out) {
    if (weight > 0 && weight != FW_NORMAL) return false;
    for (const KnownFace& face : KNOWN_FACES) {
        if (name != face.name) continue;
        for (const char* file : face.files) {
            if (!file) continue;
            std::string path = std::string("/usr/share/fonts/truetype/") + file;
            struct stat st;
            if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                *out = FaceFile{path, 0};
                return true;
            }
        }
    }
    return false;
}

}  // namespace

// The known file of one of the library's own faces, else fontconfig's choice for a face
// name and weight.
FaceFile face_file(const std::string& name, int weight) {
    static std::map<std::pair<std::string, int>, FaceFile> resolved;
    auto key = std::make_pair(name, weight);
    auto it = resolved.find(key);
    if (it != resolved.end()) return it->second;
    FaceFile ref;
    if (known_face_file(name, weight, &ref)) {
        resolved.emplace(key, ref);
        return ref;
    }
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
