// The Opening on the real GL device (headless, llvmpipe): frames at chosen times read back
// and checked for what must be on screen, plus the logo windows and the random draws that
// fix the scene's layout.
#include "demo/opening.h"
#include "platform/files.h"
#include "scene/rand.h"
#include "scene/texture_registry.h"
#include "support/host_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

namespace {

TEST(OpeningTiming, LogoWindowsAndTheirFades) {
    EXPECT_EQ(Opening::activeLogoWindow(4.99f), -1);
    EXPECT_EQ(Opening::activeLogoWindow(5), 0);
    EXPECT_FLOAT_EQ(Opening::logoAlpha(0, 5), 0);
    EXPECT_FLOAT_EQ(Opening::logoAlpha(0, 7), 1);
    EXPECT_NEAR(Opening::logoAlpha(0, 6), std::sqrt(0.5f), 1e-6);
    EXPECT_EQ(Opening::activeLogoWindow(14), 0);
    EXPECT_NEAR(Opening::logoAlpha(0, 14), 0, 1e-6);
    for (float t : {14.01f, 15.5f, 16.99f, 26.01f, 27.99f, 37.01f, 37.7f}) {
        EXPECT_EQ(Opening::activeLogoWindow(t), -1) << t;
    }
    EXPECT_EQ(Opening::activeLogoWindow(20), 1);
    EXPECT_EQ(Opening::activeLogoWindow(28), 2);
    EXPECT_NEAR(Opening::logoAlpha(2, 28 + 1.75f), std::sqrt(0.5f), 1e-6);
    EXPECT_EQ(Opening::activeLogoWindow(37), 2);
}

class OpeningFrames : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<DemoHost>();
        const DemoHost::Step step =
            host->start(headlessOptions(gfx::Backend::GlHeadless, false, true, false));
        ASSERT_NE(step, DemoHost::Step::Display);
        if (step == DemoHost::Step::Initialize) {
            GTEST_SKIP() << "no headless GL context: " << host->error();
        }
        ASSERT_EQ(step, DemoHost::Step::Ready);
        app = host->app();
        driver = host->driver();
        // The committed data pack, or another one named by DEMO_DATA_DIR.
        const char* dataDir = std::getenv("DEMO_DATA_DIR");
        platform::setDataDirectory(dataDir != nullptr ? std::string(dataDir)
                                                      : std::string(DEMO_SOURCE_DIR) + "/data");
        registry = std::make_unique<TextureRegistry>();
        gRegistry = registry.get();
        part = std::make_unique<Opening>(37.8f);
    }
    void TearDown() override {
        if (part != nullptr) {
            part->release();
            part.reset();
        }
        if (registry != nullptr) {
            for (TextureImage* t = registry->firstTexture(); t != nullptr;
                 t = registry->nextTexture()) {
                if (t->deviceTexture != nullptr) {
                    driver->releaseTexture(t, 0);
                }
            }
        }
        gRegistry = nullptr;
        registry.reset();
        host.reset();
    }

    // Loads the part and uploads its textures, as the demo load does.
    void load() {
        ASSERT_EQ(part->load(), 0);
        for (TextureImage* t = registry->firstTexture(); t != nullptr;
             t = registry->nextTexture()) {
            if ((t->flags & kTextureCreated) == 0) {
                ASSERT_EQ(driver->createTexture(t, 0), 0);
            }
        }
    }

    // The frame at t, as rows of B, G, R, A bytes.
    std::string frame(float t) {
        ColorF grey{1, 0.5f, 0.5f, 0.5f}; // nothing of it may survive the frame
        driver->clear(driver, &grey);
        driver->clearDepth(1.0f);
        EXPECT_EQ(part->render(t, 1.0f / 60), 0);
        uint32_t w = 0, h = 0;
        std::string bgra;
        EXPECT_GE(app->device->readBackBuffer(&w, &h, &bgra), 0);
        EXPECT_EQ(w * h * 4, bgra.size());
        return bgra;
    }

    static uint8_t minChannel(const std::string& bgra) {
        uint8_t m = 255;
        for (size_t i = 0; i < bgra.size(); i += 4) {
            m = std::min({m, uint8_t(bgra[i]), uint8_t(bgra[i + 1]), uint8_t(bgra[i + 2])});
        }
        return m;
    }
    static uint8_t maxChannel(const std::string& bgra) {
        uint8_t m = 0;
        for (size_t i = 0; i < bgra.size(); i += 4) {
            m = std::max({m, uint8_t(bgra[i]), uint8_t(bgra[i + 1]), uint8_t(bgra[i + 2])});
        }
        return m;
    }

    std::unique_ptr<DemoHost> host;
    DemoApp* app = nullptr;
    RenderDriver* driver = nullptr;
    std::unique_ptr<TextureRegistry> registry;
    std::unique_ptr<Opening> part;
};

TEST_F(OpeningFrames, StartsBlackFlashesWhiteAndEndsAlmostWhite) {
    load();
    EXPECT_LE(maxChannel(frame(0)), 1);
    EXPECT_GE(minChannel(frame(15.0f)), 254);
    EXPECT_GE(minChannel(frame(37.79f)), 250);
    // The first flash is over at 15.5, and no logo window is open.
    std::string after = frame(15.5f);
    EXPECT_LT(minChannel(after), 200);
    EXPECT_EQ(Opening::activeLogoWindow(15.5f), -1);
}

TEST_F(OpeningFrames, TubesAndBackgroundFillTheViewAtTen) {
    load();
    std::string bgra = frame(10);
    // Not uniform: many distinct colours and a wide spread of brightness.
    std::set<uint32_t> colours;
    double sum = 0, sumSquares = 0;
    size_t n = bgra.size() / 4;
    for (size_t i = 0; i < bgra.size(); i += 4) {
        uint32_t c = uint32_t(uint8_t(bgra[i])) | uint32_t(uint8_t(bgra[i + 1])) << 8 |
                     uint32_t(uint8_t(bgra[i + 2])) << 16;
        colours.insert(c);
        double luma =
            0.3 * uint8_t(bgra[i + 2]) + 0.59 * uint8_t(bgra[i + 1]) + 0.11 * uint8_t(bgra[i]);
        sum += luma;
        sumSquares += luma * luma;
    }
    double mean = sum / double(n);
    double spread = std::sqrt(sumSquares / double(n) - mean * mean);
    EXPECT_GT(colours.size(), 2000u);
    EXPECT_GT(spread, 10.0);
    EXPECT_GT(mean, 10.0);
    EXPECT_LT(mean, 220.0);
    // The clear colour never shows: the background covers the view.
    size_t clearGrey = 0;
    for (size_t i = 0; i < bgra.size(); i += 4) {
        clearGrey +=
            uint8_t(bgra[i]) == 127 && uint8_t(bgra[i + 1]) == 127 && uint8_t(bgra[i + 2]) == 127;
    }
    EXPECT_LT(clearGrey, n / 100);
}

TEST_F(OpeningFrames, DrawsFromTheSharedGeneratorInItsOrder) {
    // Load: three draws per curve key; each frame: four per background vertex.
    demo_random::srand(1);
    for (int i = 0; i < 3 * 400; ++i) {
        demo_random::rand();
    }
    int afterLoad = demo_random::rand();
    for (int i = 0; i < 4 * 33 * 33; ++i) {
        demo_random::rand();
    }
    int afterFrame = demo_random::rand();

    demo_random::srand(1);
    load();
    EXPECT_EQ(demo_random::rand(), afterLoad);
    frame(3);
    EXPECT_EQ(demo_random::rand(), afterFrame);
}

} // namespace
