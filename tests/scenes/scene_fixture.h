// The whole demo loaded headless on the GL device from the committed data pack; frames are
// rendered at exact demo times on virtual time and read back.
#pragma once

#include "app/demo_app.h"
#include "demo/playback.h"
#include "demo/sequencer.h"
#include "platform/files.h"
#include "platform/sound.h"
#include "platform/window.h"
#include "render/render_driver.h"
#include "render/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

class SceneFrames : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        platform::setDataDirectory(std::string(DEMO_SOURCE_DIR) + "/data");
        platform::setSoundMuted(true);
        ASSERT_TRUE(platform::initDisplay(platform::DisplayMode::Headless));
        launchOptions() = LaunchOptions{};
        launchOptions().backend = gfx::Backend::GlHeadless;
        app = new DemoApp;
        gApp = app;
        setFontInitializer(createDemoFonts);
        if (app->initialize() != 0) {
            skipReason = "no headless GL context: " + gfx::lastError();
            return;
        }
        driver = new RenderDriver;
        fillTable(driver);
        app->registerDriver(driver);
        ASSERT_EQ(clientStart(), 0);
    }
    static void TearDownTestSuite() {
        if (driver != nullptr) {
            clientStop();
            app->unregisterDriver(driver);
            clearTable(driver);
            delete driver;
            driver = nullptr;
        }
        clientCleanup();
        releaseDemoFonts(app);
        delete app;
        app = nullptr;
        gApp = nullptr;
        platform::shutdownDisplay();
        platform::setDataDirectory("");
    }
    void SetUp() override {
        if (!skipReason.empty()) {
            GTEST_SKIP() << skipReason;
        }
    }
    // Plays the scene from its start up to the demo time at fps frames a second of virtual
    // time and keeps that frame. 10 frames a second unless a check is about the rate.
    void frameAt(double seconds, int fps = 10) {
        playSceneTo(
            app, seconds, [] { gApp->device->readBackBuffer(&frameWidth, &frameHeight, &frame); },
            fps);
    }
    // 0x00RRGGBB of a pixel of the kept frame.
    static uint32_t pixel(uint32_t x, uint32_t y) {
        uint32_t v = 0;
        std::memcpy(&v, frame.data() + (size_t(y) * frameWidth + x) * 4, 4);
        return v & 0x00FFFFFFu;
    }
    static int brightness(uint32_t rgb) {
        return int((rgb >> 16) & 0xFF) + int((rgb >> 8) & 0xFF) + int(rgb & 0xFF);
    }

    static inline DemoApp* app = nullptr;
    static inline RenderDriver* driver = nullptr;
    static inline std::string skipReason;
    static inline std::string frame;
    static inline uint32_t frameWidth = 0, frameHeight = 0;
};
