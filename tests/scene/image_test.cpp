#include "scene/image.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(CeilLog2, ExponentRule) {
    EXPECT_EQ(ceilLog2(300), 9);
    EXPECT_EQ(ceilLog2(200), 8);
    EXPECT_EQ(ceilLog2(256), 8);
    EXPECT_EQ(ceilLog2(257), 9);
    EXPECT_EQ(ceilLog2(640), 10);
    EXPECT_EQ(ceilLog2(2), 1);
}

TEST(Image, ResizeIsNearestNeighbourIn16Dot16) {
    Image img;
    ASSERT_EQ(img.allocate(640, 1, 30), 0);
    for (uint32_t x = 0; x < 640; ++x) {
        img.pixels[x * 3] = uint8_t(x);
        img.pixels[x * 3 + 1] = uint8_t(x >> 8);
    }
    img.resize(1024, 2);
    ASSERT_EQ(img.width, 1024u);
    EXPECT_EQ(img.pitch, 1024u * 3);
    auto column = [&](uint32_t j) { return img.pixels[j * 3] | (img.pixels[j * 3 + 1] << 8); };
    EXPECT_EQ(column(0), 0);
    EXPECT_EQ(column(1), 0); // step 40960: column 1 still reads source column 0
    EXPECT_EQ(column(2), 1);
    EXPECT_EQ(column(1023), 639);
    EXPECT_EQ(std::memcmp(img.pixels, img.pixels + img.pitch, img.pitch), 0);
}

TEST(Image, ConvertUnpacksWithoutBitReplication) {
    Image img;
    ASSERT_EQ(img.allocate(1, 1, 24), 0);
    img.pixels[0] = 0xFF;
    img.pixels[1] = 0xFF;
    ASSERT_EQ(img.convert(41), 0);
    EXPECT_EQ(img.pixels[0], 0xF8);
    EXPECT_EQ(img.pixels[1], 0xFC);
    EXPECT_EQ(img.pixels[2], 0xF8);
    EXPECT_EQ(img.pixels[3], 0x00);
    EXPECT_EQ(img.format, 41u);
    EXPECT_EQ(img.convert(10), 1);
    EXPECT_EQ(img.format, 41u);
}

TEST(Image, ConvertPacksTo565And1555) {
    Image img;
    ASSERT_EQ(img.allocate(1, 1, 41), 0);
    const uint8_t bgra[4] = {0x10, 0x20, 0x30, 0x80};
    std::memcpy(img.pixels, bgra, 4);
    ASSERT_EQ(img.convert(21), 0);
    uint16_t w = uint16_t(img.pixels[0] | (img.pixels[1] << 8));
    EXPECT_EQ(w, uint16_t((0x10 >> 3) | ((0x20 & 0xF8) << 2) | ((0x30 >> 3) << 10) | 0x8000));
    ASSERT_EQ(img.convert(24), 0);
    w = uint16_t(img.pixels[0] | (img.pixels[1] << 8));
    EXPECT_EQ(w, uint16_t((0x10 >> 3) | ((0x20 >> 2) << 5) | ((0x30 >> 3) << 11)));
}

} // namespace
