// The glyph rasteriser: face choice, measuring, and opaque white-on-black drawing clipped to
// the character's cell. Needs the fonts fontconfig finds (DejaVu here).
#include "platform/glyphs.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::unique_ptr<platform::GlyphFont> make(const char* face, int pixels) {
    std::string why;
    auto font = platform::GlyphFont::create(face, pixels, false, false, &why);
    EXPECT_TRUE(font) << why;
    return font;
}

TEST(Glyphs, TerminalIsMonospacedAndTahomaIsProportional) {
    auto terminal = make("Terminal", 16);
    auto tahoma = make("Tahoma", 37);
    ASSERT_TRUE(terminal && tahoma);
    EXPECT_EQ(terminal->measure('i').width, terminal->measure('W').width);
    EXPECT_LT(tahoma->measure('i').width, tahoma->measure('W').width);
    EXPECT_EQ(tahoma->measure('g').height, tahoma->measure('A').height);
    EXPECT_GE(tahoma->measure('A').height, 37); // ascent + descent of a 37-pixel em
    EXPECT_LE(tahoma->measure('A').height, 50);
}

TEST(Glyphs, DrawIsOpaqueWhiteOnBlackInsideTheCell) {
    auto font = make("Tahoma", 37);
    ASSERT_TRUE(font);
    platform::GlyphBitmap bitmap(64, 64);
    std::fill(bitmap.pixels.begin(), bitmap.pixels.end(), 0x00404040u);
    const platform::GlyphExtent cell = font->measure('H');
    font->draw(bitmap, 4, 4, 'H');
    font->draw(bitmap, 60, 60, 'H'); // clipped at the bitmap's edge
    int white = 0, partial = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 60; ++x) {
            const uint32_t p = bitmap.pixels[size_t(y) * 64 + size_t(x)];
            if (x < 4 || y < 4 || x >= 4 + cell.width || y >= 4 + cell.height) {
                ASSERT_EQ(p, 0x00404040u) << x << "," << y; // untouched outside the cell
                continue;
            }
            const uint32_t b = p & 0xFF;
            ASSERT_EQ(p, b * 0x010101u) << "grey, alpha 0";
            white += b == 255 ? 1 : 0;
            partial += (b > 0 && b < 255) ? 1 : 0;
        }
    }
    EXPECT_GT(white, 40);
    EXPECT_GT(partial, 0); // antialiased edges
}

} // namespace
