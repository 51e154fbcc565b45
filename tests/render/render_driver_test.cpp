// The render driver on the real GL device, headless (EGL on llvmpipe), read back by pixel.
#include "app/demo_app.h"
#include "platform/window.h"
#include "render/render_driver.h"
#include "scene/camera.h"
#include "scene/texture_registry.h"
#include "support/driver_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

class GlDriver : public DriverFixture {
protected:
    void TearDown() override {
        for (TextureImage* t : textures) {
            if (t->deviceTexture != nullptr) {
                driver->releaseTexture(t, 1);
            }
            t->freePixels();
            delete t;
        }
        DriverFixture::TearDown();
    }
    TextureImage* texture(uint32_t w, uint32_t h, uint32_t flags, uint32_t fill) {
        auto* t = new TextureImage{};
        textures.push_back(t);
        EXPECT_EQ(t->allocate(w, h, 41, 0), 0);
        auto* p = reinterpret_cast<uint32_t*>(t->levels[0]);
        for (uint32_t i = 0; i < w * h; ++i) {
            p[i] = fill;
        }
        t->flags = flags;
        return t;
    }
    std::vector<TextureImage*> textures;
};

TEST_F(GlDriver, ClearToDarkBlue) {
    ColorF blue{0, 0, 0, 0.2f};
    driver->clear(driver, &blue);
    EXPECT_EQ(pixel(10, 10) & 0x00FFFFFFu, 0x00000033u);
}

TEST_F(GlDriver, TextureQuadKeepsTheTopRowAtTheTop) {
    TextureImage* t = texture(4, 4, 0, 0xFF0000FFu); // blue
    auto* p = reinterpret_cast<uint32_t*>(t->levels[0]);
    for (int x = 0; x < 4; ++x) {
        p[x] = 0xFFFF0000u; // top row red
    }
    ASSERT_EQ(driver->createTexture(t, 0), 0);
    EXPECT_EQ(t->pixels, nullptr); // main-memory copy freed after upload
    EXPECT_EQ(driver->createTexture(t, 0), 1);
    ASSERT_EQ(driver->beginScene(driver, &scene), 0);
    driver->drawTextureQuad(driver, t);
    driver->endScene(driver);
    EXPECT_EQ(pixel(400, 30) & 0x00FFFFFFu, 0x00FF0000u);
    EXPECT_EQ(pixel(400, 570) & 0x00FFFFFFu, 0x000000FFu);
}

TEST_F(GlDriver, FactorOverlayBlendsHalfBlackOverWhite) {
    ColorF white{1, 1, 1, 1};
    driver->clear(driver, &white);
    ASSERT_EQ(driver->beginScene(driver, &scene), 0);
    ColorF halfBlack{0.5f, 0, 0, 0};
    driver->setTextureFactor(&halfBlack);
    driver->drawFactorOverlay();
    driver->endScene(driver);
    uint32_t red = (pixel(100, 100) >> 16) & 0xFF;
    EXPECT_GE(red, 127u);
    EXPECT_LE(red, 128u);
}

TEST_F(GlDriver, RenderTargetRoundTripsAndSharesDepthSurfaces) {
    size_t before = driver->depthSurfaces.size(); // the back buffer's
    EXPECT_EQ(before, 1u);
    TextureImage* a = texture(256, 256, kTextureRenderTarget, 0);
    TextureImage* b = texture(256, 256, kTextureRenderTarget, 0);
    ASSERT_EQ(driver->createTexture(a, 0), 0);
    ASSERT_EQ(driver->createTexture(b, 0), 0);
    ASSERT_EQ(driver->setRenderTarget(driver, a), 0);
    EXPECT_EQ(driver->targetWidth, 256);
    ColorF green{1, 0, 1, 0};
    driver->clear(driver, &green);
    ASSERT_EQ(driver->setRenderTarget(driver, b), 0);
    EXPECT_EQ(driver->depthSurfaces.size(), 2u);
    driver->restoreRenderTarget(driver);
    EXPECT_EQ(driver->targetWidth, 800);
    EXPECT_EQ(driver->depthSurfaces.size(), 2u);
    ASSERT_EQ(driver->beginScene(driver, &scene), 0);
    driver->drawTextureQuad(driver, a);
    driver->endScene(driver);
    EXPECT_EQ(pixel(400, 300) & 0x00FFFFFFu, 0x0000FF00u);
}

TEST_F(GlDriver, SetRenderTargetRefusesOrdinaryTextures) {
    TextureImage* plain = texture(64, 64, 0, 0);
    ASSERT_EQ(driver->createTexture(plain, 0), 0);
    EXPECT_EQ(driver->setRenderTarget(driver, plain), 1);
    TextureImage* uncreated = texture(64, 64, kTextureRenderTarget, 0);
    EXPECT_EQ(driver->setRenderTarget(driver, uncreated), 1);
    EXPECT_EQ(driver->targetWidth, 800);
    EXPECT_EQ(driver->depthSurfaces.size(), 1u);
}

TEST_F(GlDriver, ReleaseOfANeverCreatedTextureFails) {
    TextureImage* t = texture(8, 8, 0, 0);
    EXPECT_EQ(driver->releaseTexture(t, 1), 1);
    ASSERT_EQ(driver->createTexture(t, 0), 0);
    EXPECT_EQ(driver->releaseTexture(t, 1), 0);
    EXPECT_EQ(t->flags & kTextureCreated, 0u);
    EXPECT_EQ(driver->releaseTexture(t, 1), 1);
}

TEST_F(GlDriver, DynamicTextureLocksLevelZero) {
    TextureImage* t = texture(16, 16, kTextureDynamic, 0);
    ASSERT_EQ(driver->createTexture(t, 0), 0);
    ASSERT_NE(t->lockFn, nullptr);
    ASSERT_EQ(t->lockFn(t, nullptr, 1), 0);
    ASSERT_NE(t->lockedBits, nullptr);
    EXPECT_GE(t->lockedPitch, 64);
    std::memset(t->lockedBits, 0xFF, size_t(t->lockedPitch) * 16);
    EXPECT_EQ(t->unlockFn(t), 0);
    EXPECT_EQ(t->lockedBits, nullptr);
}

TEST_F(GlDriver, ResizeToZeroAsksFor16x16) {
    EXPECT_EQ(driver->resize(0, 0), 0);
    EXPECT_EQ(app->presentParameters.BackBufferWidth, 16u);
    EXPECT_EQ(app->presentParameters.BackBufferHeight, 16u);
}

TEST_F(GlDriver, ClearDepthWithoutADepthBufferDoesNothing) {
    app->modeFlags &= ~kModeDepthBuffer;
    EXPECT_EQ(driver->clearDepth(1.0f), 0);
    app->modeFlags |= kModeDepthBuffer;
    EXPECT_EQ(driver->clearDepth(1.0f), 0);
}

TEST_F(GlDriver, ProjectionFromFieldOfView) {
    FrameBuffer fb{};
    fb.width = 640;
    fb.height = 480;
    Projection p{};
    p.init(&fb, 90, 10, 1000);
    Camera c{};
    c.init(&p, 0);
    Scene s;
    s.camera = &c;
    ASSERT_EQ(driver->applyScene(driver, &s, 0), 0);
    gfx::Matrix m{};
    ASSERT_GE(app->device->getTransform(gfx::D3DTS_PROJECTION, &m), 0);
    EXPECT_NEAR(m.m[0][0], 1.0f, 1e-6);
    EXPECT_NEAR(m.m[1][1], 4.0f / 3.0f, 1e-6);
    EXPECT_NEAR(m.m[2][3], 1.0f, 1e-6);
    EXPECT_NEAR(m.m[3][2], -10.0f * 1000.0f / 990.0f, 1e-3);
    EXPECT_NEAR(p.focalX, 320.0f, 1e-3);
    EXPECT_EQ(driver->currentScene, &s);
}

} // namespace
