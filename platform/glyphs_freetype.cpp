// The glyph rasteriser over FreeType, with fontconfig choosing the face file. Hinted outlines
// rendered with 8-bit coverage; the coverage becomes the grey level of the white text.
#include "platform/glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// One FreeType library for the process; faces are created from it and never outlive it.
FT_Library library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        return FT_Init_FreeType(&l) == 0 ? l : nullptr;
    }();
    return lib;
}

// fontconfig knows the generic families; the old system names map onto them. Any other name
// is asked for as written, with the sans family as the fallback.
const char* genericFamilyFor(const char* faceName) {
    if (std::strcmp(faceName, "Terminal") == 0 || std::strcmp(faceName, "Courier") == 0 ||
        std::strcmp(faceName, "Courier New") == 0 || std::strcmp(faceName, "Fixedsys") == 0) {
        return "monospace";
    }
    return "sans-serif";
}

std::string matchFaceFile(const char* faceName, bool bold, bool italic, int* index) {
    // fontconfig's configuration lives until exit, when FcFini gives its memory back.
    static bool ready = [] {
        if (FcInit() != FcTrue) {
            return false;
        }
        std::atexit(FcFini);
        return true;
    }();
    if (!ready) {
        return {};
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName));
    FcPatternAddString(pattern, FC_FAMILY,
                       reinterpret_cast<const FcChar8*>(genericFamilyFor(faceName)));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string path;
    if (match != nullptr) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr) {
            path = reinterpret_cast<const char*>(file);
        }
        int i = 0;
        if (FcPatternGetInteger(match, FC_INDEX, 0, &i) == FcResultMatch) {
            *index = i;
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return path;
}

constexpr int kCharacterCount = 256;

class FreeTypeFont final : public GlyphFont {
public:
    FreeTypeFont(FT_Face face, std::string path) : face_(face), path_(std::move(path)) {
        // Line metrics in whole pixels (26.6 fixed point, rounded outwards).
        ascent_ = int32_t((face_->size->metrics.ascender + 63) >> 6);
        descent_ = int32_t((-face_->size->metrics.descender + 63) >> 6);
        advances_.fill(-1);
    }
    ~FreeTypeFont() override { FT_Done_Face(face_); }
    FreeTypeFont(const FreeTypeFont&) = delete;
    FreeTypeFont& operator=(const FreeTypeFont&) = delete;

    GlyphExtent measure(char c) override {
        uint8_t code = uint8_t(c);
        if (advances_[code] < 0) {
            advances_[code] =
                load(code, FT_LOAD_DEFAULT) ? int32_t(face_->glyph->advance.x >> 6) : 0;
        }
        return {advances_[code], ascent_ + descent_};
    }

    void draw(GlyphBitmap& bitmap, int32_t x, int32_t y, char c) override {
        const GlyphExtent cell = measure(c);
        const int32_t cellRight = std::min<int64_t>(int64_t(x) + cell.width, bitmap.width);
        const int32_t cellBottom = std::min<int64_t>(int64_t(y) + cell.height, bitmap.height);
        const int32_t left = std::max(x, 0);
        const int32_t top = std::max(y, 0);
        for (int32_t row = top; row < cellBottom; ++row) {
            uint32_t* p = bitmap.pixels.data() + size_t(row) * bitmap.width;
            std::fill(p + left, p + std::max(left, cellRight), 0u);
        }
        if (!load(uint8_t(c), FT_LOAD_RENDER)) {
            return;
        }
        const FT_GlyphSlot slot = face_->glyph;
        const FT_Bitmap& src = slot->bitmap;
        const int32_t ox = x + slot->bitmap_left;
        const int32_t oy = y + ascent_ - slot->bitmap_top;
        for (uint32_t sy = 0; sy < src.rows; ++sy) {
            const int32_t dy = oy + int32_t(sy);
            if (dy < top || dy >= cellBottom) {
                continue;
            }
            const uint8_t* s = src.buffer + int64_t(sy) * src.pitch;
            uint32_t* d = bitmap.pixels.data() + size_t(dy) * bitmap.width;
            for (uint32_t sx = 0; sx < src.width; ++sx) {
                const int32_t dx = ox + int32_t(sx);
                if (dx < left || dx >= cellRight) {
                    continue;
                }
                uint32_t v = src.pixel_mode == FT_PIXEL_MODE_MONO
                                 ? ((s[sx >> 3] >> (7 - (sx & 7))) & 1u) * 255u
                                 : s[sx];
                v = std::max(v, d[dx] & 0xFFu);
                d[dx] = v | (v << 8) | (v << 16);
            }
        }
    }

    const std::string& facePath() const override { return path_; }

private:
    bool load(uint8_t code, FT_Int32 flags) {
        FT_UInt index = FT_Get_Char_Index(face_, code);
        return FT_Load_Glyph(face_, index, flags | FT_LOAD_TARGET_NORMAL) == 0;
    }

    FT_Face face_;
    std::string path_;
    int32_t ascent_ = 0;
    int32_t descent_ = 0;
    std::array<int32_t, kCharacterCount> advances_{};
};

} // namespace

std::unique_ptr<GlyphFont> GlyphFont::create(const char* faceName, int pixelHeight, bool bold,
                                             bool italic, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return std::unique_ptr<GlyphFont>();
    };
    if (faceName == nullptr || pixelHeight <= 0) {
        return fail("no face name or no size");
    }
    FT_Library lib = library();
    if (lib == nullptr) {
        return fail("FreeType could not start");
    }
    int index = 0;
    std::string path = matchFaceFile(faceName, bold, italic, &index);
    if (path.empty()) {
        return fail(std::string("no font file matches '") + faceName + "'");
    }
    FT_Face face = nullptr;
    if (FT_New_Face(lib, path.c_str(), index, &face) != 0) {
        return fail("cannot load " + path);
    }
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelHeight)) != 0) {
        FT_Done_Face(face);
        return fail("cannot size " + path);
    }
    return std::make_unique<FreeTypeFont>(face, std::move(path));
}

} // namespace platform
