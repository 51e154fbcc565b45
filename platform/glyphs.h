// Glyph rasteriser: a face chosen by name from the font files shipped in the data pack
// (data/fonts), measured and drawn character by character, white on black and antialiased,
// into a 32-bit top-down bitmap (bytes blue, green, red, alpha). Only what building a bitmap
// font needs; no layout, kerning or text shaping. The host's fonts are never consulted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Rows top first, width pixels each; pixel bytes blue, green, red, alpha.
struct GlyphBitmap {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint32_t> pixels;

    GlyphBitmap(uint32_t w, uint32_t h) : width(w), height(h), pixels(size_t(w) * h, 0) {}
};

struct GlyphExtent {
    int32_t width;  // advance of the pen, pixels
    int32_t height; // line height (ascent + descent), pixels
};

class GlyphFont {
public:
    // The shipped face for the name (see faceFileFor) with an em height of pixelHeight
    // pixels. Null, with a reason naming the file in *error, when the file is missing or
    // is not a usable font. No italic face is shipped: italic slants the upright one.
    static std::unique_ptr<GlyphFont> create(const char* faceName, int pixelHeight, bool bold,
                                             bool italic, std::string* error);
    virtual ~GlyphFont() = default;
    // Advance and line height of one character.
    virtual GlyphExtent measure(char c) = 0;
    // Paints the character's cell (its advance by the line height, top-left at x, y) black,
    // then the glyph in white with antialiased edges. Nothing is written outside the cell
    // or the bitmap.
    virtual void draw(GlyphBitmap& bitmap, int32_t x, int32_t y, char c) = 0;
    // Path of the face file in use.
    virtual const std::string& facePath() const = 0;
};

// The data-pack name of the face file for a system face name: "Terminal", "Courier",
// "Courier New" and "Fixedsys" get the monospace face, every other name the sans face
// ("Tahoma" among them), bold the bold sans file. There is no bold monospace file; bold
// monospace requests get the regular monospace face.
const char* faceFileFor(const char* faceName, bool bold);

// Points at 96 logical pixels per inch to pixels, rounded to nearest as a multiply-divide.
inline int pointsToPixels(int points, float scale) {
    float pixels = float(points) * 96.0f * scale / 72.0f;
    return int(pixels + 0.5f);
}

} // namespace platform
