// Video textures on the null device with a virtual clock: sizes, pacing and the colour key.
#include "media/video_texture.h"
#include "platform/files.h"
#include "platform/timer.h"
#include "render/render_driver.h"
#include "scene/texture_registry.h"
#include "support/app_fixture.h"

#include <vector>

namespace {

class Video : public AppFixture {
protected:
    // With the render driver.
    HostOptions options() const override {
        return headlessOptions(gfx::Backend::Null, false, true, false);
    }
    void SetUp() override {
        platform::setTimeSource(&time);
        platform::setDataDirectory(std::string(DEMO_SOURCE_DIR) + "/tests/data/mpeg");
        AppFixture::SetUp();
        driver = host->driver();
        ASSERT_NE(driver, nullptr);
        gRegistry = new TextureRegistry;
    }
    void TearDown() override {
        for (TextureImage* t = gRegistry->firstTexture(); t != nullptr;
             t = gRegistry->nextTexture()) {
            driver->releaseTexture(t, 1);
        }
        delete gRegistry;
        gRegistry = nullptr;
        AppFixture::TearDown();
        platform::setDataDirectory("");
        platform::setTimeSource(nullptr);
    }
    platform::VirtualTimeSource time{1000};
    RenderDriver* driver = nullptr;
};

TEST_F(Video, TextureSizeAndScales) {
    VideoTexture v;
    v.open("data\\face.mpg", 256, 192, 15, 0x689DB3);
    ASSERT_NE(v.texture, nullptr);
    EXPECT_EQ(v.texture->width, 256u);
    EXPECT_EQ(v.texture->height, 256u);
    EXPECT_EQ(v.texture->format, 41u);
    EXPECT_EQ(v.texture->levelCount, 1u);
    EXPECT_NE(v.texture->flags & kTextureDynamic, 0u);
    EXPECT_FLOAT_EQ(v.uScale, 1.0f);
    EXPECT_FLOAT_EQ(v.vScale, 0.75f);
}

TEST_F(Video, PacingAt15FramesPerSecond) {
    VideoTexture v;
    v.open("mpeg1_90x70.m1v", 90, 70, 15, 0);
    ASSERT_EQ(driver->createTexture(v.texture, 0), 0);
    std::vector<uint32_t> uploads;
    for (uint32_t ms = 0; ms <= 200; ++ms) {
        int before = v.framesShown;
        v.update();
        if (v.framesShown != before) {
            uploads.push_back(ms);
        }
        time.advance(1);
    }
    EXPECT_EQ(uploads, (std::vector<uint32_t>{0, 132, 198}));
}

TEST_F(Video, MissingFileShowsNeutralGreyAndPlaysOn) {
    VideoTexture v;
    v.open("data\\nothing.mpg", 64, 32, 24, 0);
    ASSERT_EQ(driver->createTexture(v.texture, 0), 0);
    v.update();
    EXPECT_EQ(v.framesShown, 1);
    ASSERT_EQ(v.texture->lockFn(v.texture, nullptr, 2), 0);
    uint32_t pixel = *reinterpret_cast<uint32_t*>(v.texture->lockedBits);
    v.texture->unlockFn(v.texture);
    EXPECT_EQ(pixel, 0xFF808080u);
    time.advance(100);
    v.update();
    EXPECT_EQ(v.framesShown, 2);
}

TEST(VideoKey, AlphaFromDistance) {
    const uint32_t key = 0x689DB3;
    EXPECT_EQ(VideoTexture::keyAlpha(0x00689DB3, key), 0);
    EXPECT_EQ(VideoTexture::keyAlpha(0x00727DA9, 0), 255);        // no key: opaque
    EXPECT_EQ(VideoTexture::keyAlpha(0x005E93A9, key), 153);      // 10 off in each channel
    EXPECT_EQ(VideoTexture::keyAlpha(0x00689DB3 + 60, key), 255); // d = 60: ramp capped
    EXPECT_EQ(VideoTexture::keyAlpha(0x00000000, key), 255);
}

} // namespace
