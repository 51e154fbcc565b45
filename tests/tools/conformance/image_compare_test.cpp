// The comparison behind the conformance suite and the frame cross-check: the tolerance and
// share rules that decide pass or fail, the masks, the PSNR, and the side-by-side picture.
#include "tools/conformance/image_compare.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using conformance::Comparison;
using conformance::MaskRect;
using conformance::Picture;

Picture flat(uint32_t w, uint32_t h, uint8_t b, uint8_t g, uint8_t r) {
    Picture p;
    p.width = w;
    p.height = h;
    for (uint32_t i = 0; i < w * h; ++i) {
        p.bgra += char(b);
        p.bgra += char(g);
        p.bgra += char(r);
        p.bgra += char(255);
    }
    return p;
}

void setPixel(Picture& p, uint32_t x, uint32_t y, int channel, uint8_t value) {
    p.bgra[(size_t(y) * p.width + x) * 4 + size_t(channel)] = char(value);
}

Comparison compare(const Picture& a, const Picture& b, int tolerance = 2,
                   const std::vector<MaskRect>& masks = {}) {
    Comparison c;
    std::string error;
    EXPECT_TRUE(conformance::compare(a, b, tolerance, masks, &c, &error)) << error;
    return c;
}

TEST(ImageCompare, IdenticalPicturesPassWithTheTopPsnr) {
    const Picture a = flat(8, 8, 10, 20, 30);
    const Comparison c = compare(a, a);
    EXPECT_EQ(c.compared, 64u);
    EXPECT_EQ(c.within, 64u);
    EXPECT_EQ(c.maxDifference, 0);
    EXPECT_EQ(c.psnr, conformance::kIdentical);
    EXPECT_TRUE(conformance::passes(c, 0.999));
}

TEST(ImageCompare, ToleranceIsPerChannelAndInclusive) {
    const Picture a = flat(4, 1, 100, 100, 100);
    Picture b = a;
    setPixel(b, 0, 0, 0, 102); // blue +2: within
    setPixel(b, 1, 0, 2, 97);  // red -3: beyond
    setPixel(b, 2, 0, 1, 98);  // green -2: within
    const Comparison c = compare(a, b);
    EXPECT_EQ(c.within, 3u);
    EXPECT_EQ(c.maxDifference, 3);
    EXPECT_DOUBLE_EQ(c.fractionWithin, 0.75);
    EXPECT_EQ(compare(a, b, 3).within, 4u);
}

TEST(ImageCompare, AlphaIsIgnored) {
    const Picture a = flat(2, 2, 1, 2, 3);
    Picture b = a;
    setPixel(b, 1, 1, 3, 0);
    EXPECT_EQ(compare(a, b, 0).maxDifference, 0);
}

TEST(ImageCompare, OneInAThousandOffStillPassesTwoDoNot) {
    const Picture a = flat(100, 10, 50, 50, 50);
    Picture b = a;
    setPixel(b, 3, 4, 1, 200);
    EXPECT_TRUE(conformance::passes(compare(a, b), 0.999));
    setPixel(b, 7, 9, 2, 0);
    EXPECT_FALSE(conformance::passes(compare(a, b), 0.999));
}

TEST(ImageCompare, PsnrFollowsTheMeanSquaredError) {
    const Picture a = flat(10, 10, 100, 100, 100);
    const Picture b = flat(10, 10, 110, 110, 110); // every channel off by 10: MSE 100
    const Comparison c = compare(a, b);
    EXPECT_NEAR(c.psnr, 10.0 * std::log10(255.0 * 255.0 / 100.0), 1e-9);
    EXPECT_EQ(c.within, 0u);
}

TEST(ImageCompare, MaskedPixelsAreLeftOut) {
    const Picture a = flat(10, 10, 0, 0, 0);
    Picture b = a;
    setPixel(b, 2, 3, 0, 255);
    setPixel(b, 9, 9, 0, 255);
    const Comparison c = compare(a, b, 2, {MaskRect{0, 0, 5, 5}, MaskRect{9, 9, 10, 10}});
    EXPECT_EQ(c.compared, 100u - 25u - 1u);
    EXPECT_EQ(c.maxDifference, 0);
    EXPECT_EQ(c.psnr, conformance::kIdentical);
}

TEST(ImageCompare, DifferentSizesAreAnErrorNotAPass) {
    Comparison c;
    std::string error;
    EXPECT_FALSE(conformance::compare(flat(4, 4, 0, 0, 0), flat(4, 5, 0, 0, 0), 2, {}, &c, &error));
    EXPECT_NE(error.find("4x4"), std::string::npos);
    Picture shortData = flat(4, 4, 0, 0, 0);
    shortData.bgra.resize(10);
    EXPECT_FALSE(conformance::compare(shortData, shortData, 2, {}, &c, &error));
}

TEST(ImageCompare, SideBySideHoldsBothPicturesAndTheirDifference) {
    const Picture a = flat(3, 2, 10, 10, 10);
    Picture b = a;
    setPixel(b, 1, 1, 2, 20); // red +10
    const Picture s = conformance::sideBySide(a, b, 2, {}, 8);
    ASSERT_EQ(s.width, 9u);
    ASSERT_EQ(s.height, 2u);
    auto px = [&](uint32_t x, uint32_t y, int ch) {
        return uint8_t(s.bgra[(size_t(y) * s.width + x) * 4 + size_t(ch)]);
    };
    EXPECT_EQ(px(1, 1, 2), 10); // first picture
    EXPECT_EQ(px(4, 1, 2), 20); // second picture
    EXPECT_EQ(px(7, 1, 2), 80); // difference times the gain
    EXPECT_EQ(px(6, 0, 2), 0);  // equal pixels are black
}

TEST(ImageCompare, FaintDifferencesBeyondTheToleranceAreMarked) {
    const Picture a = flat(1, 1, 10, 10, 10);
    Picture b = a;
    setPixel(b, 0, 0, 1, 13); // +3 on green: beyond 2, only 24 after a gain of 8
    const Picture d = conformance::difference(a, b, 2, {}, 8);
    EXPECT_EQ(uint8_t(d.bgra[2]), 255); // shown red
}

TEST(ImageCompare, MasksParseOnlyWhenWellFormed) {
    MaskRect m{};
    ASSERT_TRUE(conformance::parseMask("10,20,300,40", &m));
    EXPECT_EQ(m.x0, 10);
    EXPECT_EQ(m.y1, 40);
    EXPECT_FALSE(conformance::parseMask("10,20,300", &m));
    EXPECT_FALSE(conformance::parseMask("10,20,5,40", &m)); // x1 < x0
    EXPECT_FALSE(conformance::parseMask("10,20,300,40,", &m));
    EXPECT_FALSE(conformance::parseMask("a,b,c,d", &m));
    EXPECT_FALSE(conformance::parseMask("", &m));
}

} // namespace
