// Value noise at lattice points and half-way between them, its table, and the glow sprite's
// white centre and ray-only corners.
#include "scene/image.h"
#include "scene/particle_sprite.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The hash of an integer lattice point, in 64-bit arithmetic reduced to 32 bits.
double hashAt(int64_t i) {
    uint32_t n = uint32_t(i * 71);
    n = (n << 13) ^ n;
    uint64_t inner = (uint64_t(n) * n % 4294967296u * 15731u + 789221u) % 4294967296u;
    uint32_t v = uint32_t((uint64_t(n) * inner - 771171059u) % 4294967296u) & 0x7FFFFFFFu;
    return 1.0 - double(v) / 1073741824.0;
}

TEST(Noise, IntegersGiveTheLatticeHashAndHalvesTheMean) {
    EXPECT_NEAR(noise1(0.0f), -0.2818, 1e-4);
    for (int i : {-1000, -3, -1, 0, 1, 7, 62, 999}) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(noise1(float(i)), float(hashAt(i)));
        EXPECT_NEAR(noise1(float(i) + 0.5f), (hashAt(i) + hashAt(i + 1)) / 2, 1e-6);
    }
    buildNoiseTable();
    ASSERT_NE(noiseTable(), nullptr);
    EXPECT_FLOAT_EQ(noiseTable()[kNoiseTableSize - 1], noise1(float(kNoiseTableSize - 1) * 0.01f));
}

uint32_t pixelAt(const Image& image, uint32_t x, uint32_t y) {
    uint32_t v = 0;
    std::memcpy(&v, image.pixels + size_t(y) * image.pitch + x * 4, 4);
    return v;
}

TEST(Sprite, WhiteCentreAndCornersWithRaysOnly) {
    Image image(1);
    ASSERT_EQ(image.allocate(64, 64, 41), 0);
    renderParticleSprite(image, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(pixelAt(image, 32, 32), 0x00FFFFFFu); // row 32 is y = 0, column 32 is x = 0

    // Tinted: at the corners (rho about 1.41) glow, core and ring vanish, so the pixel is
    // the grey of the rays alone, at most 255 / (15 x 2 + 1).
    renderParticleSprite(image, 0.2f, 0.4f, 1.0f);
    for (auto [x, y] : {std::pair{0u, 0u}, {63u, 0u}, {0u, 63u}, {63u, 63u}}) {
        const uint32_t p = pixelAt(image, x, y);
        EXPECT_EQ(p, (p & 0xFF) * 0x010101u) << x << "," << y;
        EXPECT_LE(p & 0xFF, 9u);
    }
    const uint32_t nearCentre = pixelAt(image, 32 + 12, 32);
    EXPECT_GT(nearCentre & 0xFF, (nearCentre >> 16) & 0xFF); // blue over red
}

} // namespace
