// The whole demo loaded headless on the GL device from the committed data pack; frames are
// rendered at exact demo times on virtual time and read back.
#pragma once

#include "demo/playback.h"
#include "platform/files.h"
#include "platform/sound.h"
#include "support/host_options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

class SceneFrames : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        platform::setDataDirectory(std::string(DEMO_SOURCE_DIR) + "/data");
        platform::setSoundMuted(true);
        host = new DemoHost;
        const DemoHost::Step step =
            host->start(headlessOptions(gfx::Backend::GlHeadless, true, true, true));
        ASSERT_NE(step, DemoHost::Step::Display);
        if (step == DemoHost::Step::Initialize) {
            skipReason = "no headless GL context: " + host->error();
            return;
        }
        ASSERT_EQ(step, DemoHost::Step::Ready);
        app = host->app();
        driver = host->driver();
    }
    static void TearDownTestSuite() {
        delete host;
        host = nullptr;
        app = nullptr;
        driver = nullptr;
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

    static inline DemoHost* host = nullptr;
    static inline DemoApp* app = nullptr;
    static inline RenderDriver* driver = nullptr;
    static inline std::string skipReason;
    static inline std::string frame;
    static inline uint32_t frameWidth = 0, frameHeight = 0;
};
