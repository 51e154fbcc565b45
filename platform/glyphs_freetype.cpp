// The glyph rasteriser over FreeType, on the face files shipped in the data pack. Hinted
// outlines rendered with 8-bit coverage; the coverage becomes the grey level of the white
// text. FreeType is set up without reading the environment, so no host setting can change
// a glyph.
#include "platform/glyphs.h"

#include "platform/files.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H
#include FT_SYSTEM_H

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

void* ftAlloc(FT_Memory, long size) {
    return std::malloc(size_t(size));
}
void ftFree(FT_Memory, void* block) {
    std::free(block);
}
void* ftRealloc(FT_Memory, long, long newSize, void* block) {
    return std::realloc(block, size_t(newSize));
}
FT_MemoryRec_ gMemory = {nullptr, ftAlloc, ftFree, ftRealloc};

// One FreeType library for the process; faces are created from it and never outlive it.
// FT_Init_FreeType would apply FREETYPE_PROPERTIES from the environment; the library is
// assembled by hand instead and the TrueType interpreter pinned, so every host hints alike.
FT_Library library() {
    static FT_Library lib = [] {
        FT_Library l = nullptr;
        if (FT_New_Library(&gMemory, &l) != 0) {
            return FT_Library(nullptr);
        }
        FT_Add_Default_Modules(l);
        FT_UInt interpreter = TT_INTERPRETER_VERSION_40;
        FT_Property_Set(l, "truetype", "interpreter-version", &interpreter);
        return l;
    }();
    return lib;
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
    std::string path = resolveDataPath(faceFileFor(faceName, bold));
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
    } else {
        return fail("cannot open font file " + path);
    }
    FT_Face face = nullptr;
    if (FT_New_Face(lib, path.c_str(), 0, &face) != 0) {
        return fail(path + " is not a font file");
    }
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelHeight)) != 0) {
        FT_Done_Face(face);
        return fail("cannot size " + path);
    }
    if (italic) {
        // No italic face is shipped: slant the upright one by about 11 degrees.
        FT_Matrix shear = {0x10000, 0x3333, 0, 0x10000};
        FT_Set_Transform(face, &shear, nullptr);
    }
    // A damaged file can open and still lose glyphs; every printable character must load.
    for (int c = 32; c < 127; ++c) {
        if (FT_Load_Glyph(face, FT_Get_Char_Index(face, FT_ULong(c)), FT_LOAD_RENDER) != 0) {
            FT_Done_Face(face);
            return fail(path + " is damaged");
        }
    }
    return std::make_unique<FreeTypeFont>(face, std::move(path));
}

} // namespace platform
