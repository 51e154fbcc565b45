// A DemoApp with the render driver on the Null device or the real GL device (headless on
// llvmpipe), a scene whose camera looks along +z from the origin, and back-buffer reads.
#pragma once

#include "platform/files.h"
#include "render/text.h"
#include "scene/camera.h"
#include "scene/texture_registry.h"
#include "support/host_options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

class DeviceFixture : public ::testing::Test {
protected:
    virtual gfx::Backend backend() const { return gfx::Backend::GlHeadless; }

    void SetUp() override {
        // The demo's fonts are read from the data pack when the application starts.
        platform::setDataDirectory(DEMO_SOURCE_DIR "/data");
        host = std::make_unique<DemoHost>();
        const DemoHost::Step step = host->start(headlessOptions(backend(), true, true, false));
        ASSERT_NE(step, DemoHost::Step::Display);
        if (step == DemoHost::Step::Initialize) {
            GTEST_SKIP() << "no device: " << host->error();
        }
        ASSERT_EQ(step, DemoHost::Step::Ready);
        app = host->app();
        driver = host->driver();
        width = app->width;
        projection.init(&app->frameBuffer, 65, 10, 100000);
        projection.mode = 2;
        camera.init(&projection, 0);
        scene.camera = &camera;
        scene.ambient = {1, 1, 1, 1};
    }
    void TearDown() override {
        host.reset();
        app = nullptr;
        driver = nullptr;
        platform::setDataDirectory("");
    }

    // The back buffer as rows of 0xAARRGGBB.
    std::vector<uint32_t> frame() {
        uint32_t w = 0, h = 0;
        std::string bgra;
        EXPECT_GE(app->device->readBackBuffer(&w, &h, &bgra), 0);
        std::vector<uint32_t> out(size_t(w) * h);
        std::memcpy(out.data(), bgra.data(), std::min(bgra.size(), out.size() * 4));
        width = w;
        return out;
    }
    uint32_t pixel(uint32_t x, uint32_t y) { return frame()[size_t(y) * width + x] & 0xFFFFFFu; }

    std::unique_ptr<DemoHost> host;
    DemoApp* app = nullptr;
    RenderDriver* driver = nullptr;
    Projection projection{};
    Camera camera{};
    Scene scene;
    uint32_t width = 0;
};

class NullDeviceFixture : public DeviceFixture {
protected:
    gfx::Backend backend() const override { return gfx::Backend::Null; }
};

// A device fixture with the source tree's data pack and a fresh texture registry, for a
// scene's parts loaded on their own. The textures go back to the driver at tear-down.
template <class Base> class DataFixture : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        if (this->IsSkipped()) {
            return;
        }
        platform::setDataDirectory(DEMO_SOURCE_DIR "/data");
        gRegistry = new TextureRegistry;
    }
    void TearDown() override {
        if (gRegistry != nullptr) {
            for (TextureImage* t = gRegistry->firstTexture(); t != nullptr;
                 t = gRegistry->nextTexture()) {
                this->driver->releaseTexture(t, 1);
            }
            delete gRegistry;
            gRegistry = nullptr;
        }
        platform::setDataDirectory("");
        Base::TearDown();
    }
};

using DataOnNullFixture = DataFixture<NullDeviceFixture>;
