// A DemoApp on the null device, headless, with the demo client's hooks installed.
#pragma once

#include "app/demo_app.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <memory>

class AppFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::initDisplay(platform::DisplayMode::Headless));
        launchOptions() = LaunchOptions{};
        launchOptions().backend = gfx::Backend::Null;
        app = std::make_unique<DemoApp>();
        gApp = app.get();
        ASSERT_EQ(app->initialize(), 0);
    }
    void TearDown() override {
        gRunning = false;
        clientCleanup();
        app.reset();
        gApp = nullptr;
        platform::shutdownDisplay();
    }
    // Drains the queue and reports whether a quit message was waiting.
    static bool quitPosted() {
        platform::Message m;
        while (platform::peekMessage(&m)) {
            if (m.message == platform::WM_QUIT) {
                return true;
            }
            if (m.message == platform::WM_PAINT) {
                platform::validateRect(m.window);
            }
        }
        return false;
    }
    std::unique_ptr<DemoApp> app;
};
