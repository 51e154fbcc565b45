// Bitmap-font text: the font cache, the glyph texture and table, batching, and strings drawn
// on the real device (headless GL) and read back.
#include "render/text.h"
#include "support/device_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using FontsOnNull = NullDeviceFixture;

uint32_t textureSide(Font* font) {
    gfx::SurfaceDesc desc{};
    EXPECT_GE(font->texture->getLevelDesc(0, &desc), 0);
    EXPECT_EQ(desc.Format, gfx::D3DFMT_A4R4G4B4);
    EXPECT_EQ(desc.Width, desc.Height);
    return desc.Width;
}

TEST_F(FontsOnNull, CacheHoldsTerminal12AndTahoma28AndMatchesNamesExactly) {
    ASSERT_EQ(app->fonts.size(), 2u);
    EXPECT_STREQ(app->fonts[0]->faceName, "Terminal");
    EXPECT_EQ(app->fonts[0]->size, 12);
    EXPECT_EQ(textureSide(app->fonts[0]->font), 256u);
    EXPECT_STREQ(app->fonts[1]->faceName, "Tahoma");
    EXPECT_EQ(textureSide(app->fonts[1]->font), 512u);
    EXPECT_EQ(textureSide(findFont(app, 41, "Tahoma")), 1024u);
    ASSERT_EQ(app->fonts.size(), 3u);

    EXPECT_EQ(findFont(app, 28, "Tahoma"), app->fonts[1]->font);
    EXPECT_EQ(app->fonts.size(), 3u);
    Font* lower = findFont(app, 28, "tahoma"); // case matters
    EXPECT_NE(lower, app->fonts[1]->font);
    EXPECT_EQ(app->fonts.size(), 4u);
}

TEST_F(FontsOnNull, GlyphsArePackedInRowsOfWhiteTexelsWithAlpha) {
    Font* font = app->fonts[1]->font;
    const float texel = 1.0f / float(font->textureWidth);
    for (int i = 1; i < kGlyphCount; ++i) {
        const GlyphRect& g = font->glyphs[i];
        const GlyphRect& prev = font->glyphs[i - 1];
        SCOPED_TRACE(char(kFirstGlyph + i));
        ASSERT_LE(g.right, 1.0f);
        ASSERT_LE(g.bottom, 1.0f);
        if (g.top == prev.top) {
            ASSERT_FLOAT_EQ(g.left, prev.right + texel); // one texel between glyphs
        } else {
            ASSERT_EQ(g.left, 0.0f);
            ASSERT_GT(g.top, prev.top);
        }
    }
    gfx::LockedRect locked{};
    ASSERT_GE(font->texture->lockRect(0, &locked, nullptr, gfx::D3DLOCK_READONLY), 0);
    int covered = 0;
    for (uint32_t y = 0; y < font->textureHeight; ++y) {
        const auto* row = reinterpret_cast<const uint16_t*>(static_cast<uint8_t*>(locked.pBits) +
                                                            y * uint32_t(locked.Pitch));
        for (uint32_t x = 0; x < font->textureWidth; ++x) {
            ASSERT_TRUE(row[x] == 0 || (row[x] & 0x0FFF) == 0x0FFF) << x << "," << y;
            covered += row[x] != 0 ? 1 : 0;
        }
    }
    font->texture->unlockRect(0);
    EXPECT_GT(covered, 1000);
}

TEST_F(FontsOnNull, BatchesHoldAtMost49Characters) {
    Font* font = app->fonts[0]->font;
    auto batches = [&](const std::string& text) {
        uint32_t n = 0;
        EXPECT_EQ(drawFontText(font, 0, 0, 0xFFFFFFFFu, text.c_str(), 0, &n), 0);
        return n;
    };
    EXPECT_EQ(batches(std::string(60, 'x')), 2u);
    EXPECT_EQ(batches(std::string(49, 'x')), 1u);
    EXPECT_EQ(batches(std::string(50, 'x')), 2u);
    // Spaces, control codes and codes past '~' emit no vertices.
    EXPECT_EQ(batches(std::string(49, 'x') + std::string(30, ' ') + "\t\x7f\x80\xff\n"), 1u);
    EXPECT_EQ(batches("   "), 0u);
    Font empty{};
    EXPECT_NE(drawFontText(&empty, 0, 0, 0xFFFFFFFFu, "abc", 0), 0); // no device
}

// Columns holding any non-black pixel in rows y0..y1 of the frame.
std::vector<bool> inkColumns(const std::vector<uint32_t>& f, uint32_t width, uint32_t y0,
                             uint32_t y1) {
    std::vector<bool> ink(width, false);
    for (uint32_t y = y0; y < y1; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            ink[x] = ink[x] || (f[size_t(y) * width + x] & 0xFFFFFFu) != 0;
        }
    }
    return ink;
}

int firstInk(const std::vector<bool>& ink, int from) {
    for (int x = from; x < int(ink.size()); ++x) {
        if (ink[size_t(x)]) {
            return x;
        }
    }
    return -1;
}

class TextOnGl : public DeviceFixture {
protected:
    // The frame after drawing the text in white on black through the driver->
    std::vector<uint32_t> drawn(const char* text, int x = 20, int y = 20) {
        ColorF black{1, 0, 0, 0}, white{1, 1, 1, 1};
        driver->clear(driver, &black);
        EXPECT_EQ(driver->beginScene(driver, &scene), 0);
        EXPECT_EQ(driver->drawText(x, y, text, &white, 28, "Tahoma"), 0);
        driver->endScene(driver);
        return frame();
    }
    float advance(char c) {
        const Font* font = app->fonts[1]->font;
        const GlyphRect& g = font->glyphs[c - kFirstGlyph];
        return (g.right - g.left) * float(font->textureWidth);
    }
};

TEST_F(TextOnGl, SixtyCharactersAllReachTheScreen) {
    const auto ink = inkColumns(drawn(std::string(60, 'l').c_str(), 0, 20), width, 0, 100);
    const int last = int(59 * advance('l')); // where the 60th character starts
    EXPECT_GE(firstInk(ink, last), last);
    EXPECT_LT(firstInk(ink, last), int(60 * advance('l')));
}

TEST_F(TextOnGl, SpacesAdvanceAndUnknownCodesDoNot) {
    const int bearing = firstInk(inkColumns(drawn("I"), width, 0, 100), 0) - 20;
    ASSERT_GE(bearing, 0);
    const auto spaced = inkColumns(drawn("I I"), width, 0, 100);
    EXPECT_NEAR(firstInk(spaced, int(20 + advance('I'))),
                20 + advance('I') + advance(' ') + float(bearing), 1.0f);
    const auto plain = drawn("AB");
    EXPECT_EQ(drawn("A\x80\xff\x7f\tB"), plain);
}

TEST_F(TextOnGl, NewlineReturnsToTheStartColumnOneLineDown) {
    const Font* font = app->fonts[1]->font;
    const uint32_t line =
        uint32_t((font->glyphs[0].bottom - font->glyphs[0].top) * float(font->textureHeight));
    const auto f = drawn("\nI", 100, 10);
    EXPECT_EQ(firstInk(inkColumns(f, width, 0, 10 + line), 0), -1);
    const int x = firstInk(inkColumns(f, width, 10 + line, 10 + 2 * line), 0);
    EXPECT_GE(x, 100);
    EXPECT_LT(x, 100 + int(advance('I')));
}

TEST_F(TextOnGl, GlyphsBlendInTheTextColourOverTheScene) {
    ColorF grey{1, 0.25f, 0.25f, 0.25f}, red{1, 1, 0, 0};
    driver->clear(driver, &grey);
    ASSERT_EQ(driver->beginScene(driver, &scene), 0);
    EXPECT_EQ(driver->drawText(10, 10, "MMMM", &red, 19, "Terminal"), 0); // built on first use
    driver->endScene(driver);
    EXPECT_EQ(app->fonts.size(), 3u);
    const auto f = frame();
    int opaque = 0, other = 0;
    for (uint32_t y = 0; y < 60; ++y) {
        for (uint32_t x = 0; x < 200; ++x) {
            const uint32_t p = f[size_t(y) * width + x] & 0xFFFFFFu;
            const uint32_t r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
            opaque += p == 0xFF0000u ? 1 : 0;
            other += (g != b || g > 0x3F || r < 0x3F) ? 1 : 0; // red over grey only
        }
    }
    EXPECT_GT(opaque, 30);
    EXPECT_EQ(other, 0);
}

} // namespace
