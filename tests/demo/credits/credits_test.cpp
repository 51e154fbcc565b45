// The Credits scene: the relief read from the picture (scroll, wrap, black and missing
// pictures), the emission from it, and a rendered frame on the real device.
#include "demo/credits.h"
#include "platform/files.h"
#include "scene/rand.h"
#include "scene/texture_registry.h"
#include "support/device_fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

template <class Base> class CreditsFixture : public DataFixture<Base> {
protected:
    void SetUp() override {
        DataFixture<Base>::SetUp();
        if (this->IsSkipped()) {
            return;
        }
        part = std::make_unique<CreditsPart>(17.2f);
    }
    void TearDown() override {
        part.reset();
        DataFixture<Base>::TearDown();
    }
    // A black picture in format 30 with the given pixels white.
    void picture(uint32_t w, uint32_t h,
                 std::initializer_list<std::pair<uint32_t, uint32_t>> white) {
        Image& img = part->creditsImage;
        ASSERT_EQ(img.allocate(w, h, 30), 0);
        std::memset(img.pixels, 0, size_t(img.pitch) * h);
        for (auto [x, y] : white) {
            std::memset(img.pixels + size_t(y) * img.pitch + x * 3, 0xFF, 3);
        }
    }
    const ReliefPoint& point(int row, int column) {
        return part->reliefEmitter.points[size_t(row * kReliefColumns + column)];
    }
    // Columns of relief row `row` that stand lifted.
    std::vector<int> lifted(int row) {
        std::vector<int> out;
        for (int j = 0; j < kReliefColumns; ++j) {
            if (point(row, j).position.y > float(row) * 20 - 280 + 1) {
                out.push_back(j);
            }
        }
        return out;
    }
    std::unique_ptr<CreditsPart> part;
};

using Relief = CreditsFixture<NullDeviceFixture>;

TEST_F(Relief, ScrollShowsColumns0To59AtTheStartAnd584To643AtTheEnd) {
    ASSERT_EQ(part->load(), 0);
    // Image row 24 is the front relief row 0; image row 0 the back row 24.
    picture(644, 25, {{5, 24}, {584, 0}, {643, 0}});
    part->updateRelief(0.0f);
    EXPECT_EQ(lifted(0), std::vector<int>{5});
    EXPECT_TRUE(lifted(24).empty());
    const ReliefPoint& p = point(0, 5);
    EXPECT_FLOAT_EQ(p.position.x, 5 * 760.0f / 60 - 380);
    EXPECT_FLOAT_EQ(p.position.y, 200 - 280.0f);
    EXPECT_FLOAT_EQ(p.position.z, -400.0f);
    EXPECT_FLOAT_EQ(p.colour.r, 1.0f);
    EXPECT_FLOAT_EQ(p.colour.g, 0.4f);
    EXPECT_FLOAT_EQ(p.colour.b, 0.1f);

    part->updateRelief(17.2f); // scroll trunc(584.8) = 584
    EXPECT_TRUE(lifted(0).empty());
    EXPECT_EQ(lifted(24), (std::vector<int>{0, 59}));
    EXPECT_FLOAT_EQ(point(24, 59).position.y, 24 * 20 + 200 - 280.0f);
    EXPECT_FLOAT_EQ(point(24, 59).position.z, 24 * 28 - 400.0f);
}

TEST_F(Relief, ColumnsPastTheWidthWrapAndMissingRowsReadBlack) {
    ASSERT_EQ(part->load(), 0);
    picture(10, 25, {{3, 24}});
    part->updateRelief(0.0f);
    EXPECT_EQ(lifted(0), (std::vector<int>{3, 13, 23, 33, 43, 53}));
    part->updateRelief(0.5f); // scroll 17: column (17 + j) mod 10 = 3
    EXPECT_EQ(lifted(0), (std::vector<int>{6, 16, 26, 36, 46, 56}));

    picture(644, 10, {{0, 0}, {0, 9}}); // ten rows: relief rows 15..24 only
    part->updateRelief(0.0f);
    EXPECT_EQ(lifted(24), std::vector<int>{0});
    EXPECT_EQ(lifted(15), std::vector<int>{0});
    for (int i = 0; i < 15; ++i) {
        EXPECT_TRUE(lifted(i).empty()) << i;
    }
}

TEST_F(Relief, AMissingPictureLeavesAFlatPlaneAndTheSceneRuns) {
    platform::setDataDirectory("/nonexistent-data-directory");
    ASSERT_EQ(part->load(), 0);
    EXPECT_EQ(part->creditsImage.pixels, nullptr);
    ASSERT_EQ(part->render(0.0f, 0.0f), 0);
    ASSERT_EQ(part->render(1.0f / 60, 1.0f / 60), 0);
    // Read as black: a flat plane of grey sources.
    for (const ReliefPoint& p : part->reliefEmitter.points) {
        ASSERT_FLOAT_EQ(p.position.y, p.position.z * (20.0f / 28) + 400 * (20.0f / 28) - 280);
        ASSERT_FLOAT_EQ(p.colour.r, 0.3f);
        ASSERT_FLOAT_EQ(p.colour.b, 0.3f);
    }
}

TEST_F(Relief, ParticlesStartFromThePointsAndDriftWithTheScroll) {
    ASSERT_EQ(part->load(), 0);
    picture(644, 25, {{80, 12}, {81, 12}, {82, 12}}); // in view at 2 s (scroll 68)
    demo_random::srand(7);
    float t = 0;
    for (int frame = 0; frame < 120; ++frame) {
        t += 1.0f / 60;
        ASSERT_EQ(part->render(t, 1.0f / 60), 0);
    }
    const ParticleArray& pool = part->reliefEmitter.particles;
    int alive = 0, bright = 0;
    for (const ParticleRecord& r : pool.records) {
        if ((r.flags & kParticleAlive) == 0) {
            continue;
        }
        ++alive;
        const bool isBright = r.startColour.r == 1.0f && r.startColour.g == 0.4f;
        const bool isDark = r.startColour.r == 0.3f && r.startColour.b == 0.3f;
        ASSERT_TRUE(isBright || isDark);
        bright += isBright ? 1 : 0;
        ASSERT_EQ(r.endColour.a, 1.0f);
        ASSERT_EQ(r.endColour.r, 0.0f);
        ASSERT_FLOAT_EQ(r.size, 10.0f);
        // Drift -(760 / 60) x 34 plus up to 10 either way and the jitter in [0, 1.7).
        ASSERT_GE(r.velocity.x, -760.0f / 60 * 34 - 10.01f);
        ASSERT_LT(r.velocity.x, -760.0f / 60 * 34 + 11.71f);
    }
    EXPECT_NEAR(alive, 15000, 100);
    EXPECT_LT(alive, int(kCreditsParticleCapacity));
    // Three lifted columns of 1500 points.
    EXPECT_GT(bright, 0);
    EXPECT_LT(bright, alive / 50);
}

using CreditsFrame = CreditsFixture<DeviceFixture>;

TEST_F(CreditsFrame, ColouredParticlesOnBlackInTheLowerPartOfTheView) {
    ASSERT_EQ(part->load(), 0);
    ASSERT_NE(part->creditsImage.pixels, nullptr) << "data/credits.jpg is part of the data pack";
    for (TextureImage* t = gRegistry->firstTexture(); t != nullptr; t = gRegistry->nextTexture()) {
        ASSERT_EQ(driver->createTexture(t, 0), 0);
    }
    // Play to 2 s at 60 frames a second; only the last frame is drawn.
    float t = 0;
    for (int frame = 0; frame < 119; ++frame) {
        t += 1.0f / 60;
        part->updateRelief(t);
        part->reliefEmitter.emit(t);
        part->reliefEmitter.step(t, 1.0f / 60);
    }
    ASSERT_EQ(part->render(2.0f, 2.0f - t), 0);

    const std::vector<uint32_t> f = frame();
    const uint32_t h = uint32_t(f.size() / width);
    int topInk = 0, orange = 0, blue = 0;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t p = f[size_t(y) * width + x];
            const int r = int(p >> 16 & 0xFF), g = int(p >> 8 & 0xFF), b = int(p & 0xFF);
            if (y < h / 10) {
                topInk += (r | g | b) != 0 ? 1 : 0;
            } else if (y >= h / 2) {
                orange += r > 120 && r > g && g > b ? 1 : 0;
                blue += b > 120 && b > g && g > r ? 1 : 0;
            }
        }
    }
    EXPECT_EQ(topInk, 0) << "the top of the view stays black";
    EXPECT_GT(orange, 2000) << "lifted letters glow orange";
    EXPECT_GT(blue, 20000) << "the dark plane glows blue";
}

} // namespace
