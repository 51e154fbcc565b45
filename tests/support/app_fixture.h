// A DemoApp on the null device, headless, with the demo client's hooks installed.
#pragma once

#include "support/host_options.h"

#include <gtest/gtest.h>

#include <memory>

class AppFixture : public ::testing::Test {
protected:
    // No fonts, no render driver, no client start.
    virtual HostOptions options() const {
        return headlessOptions(gfx::Backend::Null, false, false, false);
    }
    void SetUp() override {
        host = std::make_unique<DemoHost>();
        ASSERT_EQ(host->start(options()), DemoHost::Step::Ready);
        app = host->app();
    }
    void TearDown() override {
        gRunning = false;
        host.reset();
        app = nullptr;
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
    std::unique_ptr<DemoHost> host;
    DemoApp* app = nullptr;
};
