// A DemoApp with the render driver on a chosen device (the Null device, or the real GL
// device headless on llvmpipe), a camera at the origin looking along +z, and helpers to
// build simple materials and read pixels back.
#pragma once

#include "app/demo_app.h"
#include "platform/window.h"
#include "render/render_driver.h"
#include "scene/camera.h"
#include "scene/texture_registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

class DriverFixture : public ::testing::Test {
protected:
    virtual gfx::Backend backend() const { return gfx::Backend::GlHeadless; }

    void SetUp() override {
        ASSERT_TRUE(platform::initDisplay(platform::DisplayMode::Headless));
        launchOptions() = LaunchOptions{};
        launchOptions().backend = backend();
        app = std::make_unique<DemoApp>();
        gApp = app.get();
        if (app->initialize() != 0) {
            GTEST_SKIP() << "no device: " << gfx::lastError();
        }
        ASSERT_EQ(fillTable(&driver), 0);
        app->registerDriver(&driver);
        projection.init(&app->frameBuffer, 65, 10, 100000);
        projection.mode = 2;
        camera.init(&projection, 0);
        scene.camera = &camera;
        scene.ambient = {1, 1, 1, 1};
    }
    void TearDown() override {
        if (gApp != nullptr && app->device != nullptr) {
            app->unregisterDriver(&driver);
        }
        clearTable(&driver);
        clientCleanup();
        app.reset();
        gApp = nullptr;
        platform::shutdownDisplay();
    }

    // One back-buffer pixel as 0x00RRGGBB.
    uint32_t pixel(uint32_t x, uint32_t y) {
        uint32_t w = 0, h = 0;
        std::string bgra;
        EXPECT_GE(app->device->readBackBuffer(&w, &h, &bgra), 0);
        uint32_t v = 0;
        std::memcpy(&v, bgra.data() + (size_t(y) * w + x) * 4, 4);
        return v & 0x00FFFFFFu;
    }
    void clearTo(float r, float g, float b) {
        ColorF c{1, r, g, b};
        driver.clear(&driver, &c);
        driver.clearDepth(1.0f);
    }

    // A material whose colour is its ambient colour under the white scene ambient: Gouraud
    // lighting, no lights, stage 0 selecting the diffuse (lit) colour. `vertexColour`
    // takes the diffuse colour from the vertices instead.
    Material* solidMaterial(ColorF colour, bool noCulling = true, bool vertexColour = false) {
        auto& m = materials.emplace_back(std::make_unique<OwnedMaterial>());
        m->colours.ambient = colour;
        m->colours.diffuse = colour;
        m->states.flags =
            8u | (noCulling ? kStateNoCulling : 0u) | (vertexColour ? kStateVertexDiffuse : 0u);
        m->states.stageCount = 1;
        m->states.textureIndex[0] = -1;
        m->states.colourArg1[0] = 4; // diffuse
        m->states.colourOp[0] = gfx::D3DTOP_SELECTARG1;
        m->states.alphaArg1[0] = 4;
        m->states.alphaOp[0] = gfx::D3DTOP_SELECTARG1;
        m->states.stages[0].magFilter = m->states.stages[0].minFilter = gfx::D3DTEXF_POINT;
        m->material = Material{&m->colours, &m->states, nullptr, nullptr};
        return &m->material;
    }

    struct OwnedMaterial {
        MaterialColours colours{};
        RenderStateBlock states;
        Material material{};
    };

    std::unique_ptr<DemoApp> app;
    RenderDriver driver;
    Projection projection{};
    Camera camera{};
    Scene scene;
    std::vector<std::unique_ptr<OwnedMaterial>> materials;
};

class NullDriverFixture : public DriverFixture {
protected:
    gfx::Backend backend() const override { return gfx::Backend::Null; }
};

constexpr uint32_t kRed = 0xFF0000u, kGreen = 0x00FF00u, kBlue = 0x0000FFu, kBlack = 0;
