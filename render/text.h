// Bitmap-font text: a system face rasterised once per (size, face name) into one A4R4G4B4
// texture holding the 95 printable ASCII characters, drawn as pre-transformed quads in
// batches from one dynamic vertex buffer. No layout beyond newlines, no kerning, ASCII only.
#pragma once

#include "platform/gfx/gfx.h"

#include <cstdint>

struct DemoApp;

// Printable ASCII: ' ' (32) to '~' (126).
constexpr int kFirstGlyph = 32;
constexpr int kLastGlyph = 126;
constexpr int kGlyphCount = kLastGlyph - kFirstGlyph + 1;
// Longest face name a font keeps, terminator included.
constexpr int kFaceNameLength = 80;
// The vertex buffer holds 300 vertices; a batch is flushed once 294 (300 - 6) are written,
// so the six vertices of the next character always fit: at most 49 characters per draw.
constexpr uint32_t kTextBufferVertices = 300;
constexpr uint32_t kTextBatchVertices = kTextBufferVertices - 6;

// Font flag bits.
constexpr uint32_t kFontBold = 1u << 0;
constexpr uint32_t kFontItalic = 1u << 1;
constexpr uint32_t kFontDepthTest = 1u << 2;
// Draw flag bit: bilinear filtering instead of point sampling.
constexpr uint32_t kTextFiltered = 1u << 2;

// One vertex of a character quad: screen pixels, z 0.9, rhw 1, packed ARGB colour, u, v.
struct TextVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(TextVertex) == 28);

// A glyph's rectangle in texture coordinates.
struct GlyphRect {
    float left, top, right, bottom;
};

struct Font {
    char faceName[kFaceNameLength];
    int32_t size; // points
    uint32_t fontFlags;
    gfx::Device* device; // null when the font could not be built
    gfx::Texture* texture;
    gfx::VertexBuffer* vertexBuffer; // kTextBufferVertices vertices
    uint32_t textureWidth, textureHeight;
    float textScale; // 1 unless the texture had to shrink to the device's limit
    GlyphRect glyphs[kGlyphCount];
    uint32_t savedStateBlock, drawStateBlock;
};

// One entry of DemoApp::fonts.
struct CachedFont {
    char* faceName; // heap copy
    int32_t size;
    Font* font;
};

// Rasterises the face into the font's texture and creates its buffer and state blocks.
// 0, 1 when the system font cannot be made, or the device's failure code.
int rasteriseFont(Font* font, gfx::Device* device, const char* faceName, int32_t size,
                  uint32_t fontFlags);
// Releases the font's device objects (the record itself stays).
void releaseFont(Font* font);
// Draws text with its top-left at (x, y) in pixels: "\n" starts a new line at x, other
// characters outside ' ' .. '~' are skipped without moving the pen. 0, or 1 when the font
// has no device. `batches`, when given, receives the number of draw calls made.
int drawFontText(Font* font, float x, float y, uint32_t colour, const char* text, uint32_t flags,
                 uint32_t* batches = nullptr);

// The cached font for (size, name), names compared byte for byte; built and appended when
// missing (even when building fails).
Font* findFont(DemoApp* app, int32_t size, const char* faceName);
// The font initializer: size 12 "Terminal" and size 28 "Tahoma". Always 0.
int createDemoFonts(DemoApp* app);
// Releases and forgets every cached font; call while the device still exists.
void releaseDemoFonts(DemoApp* app);
