// The music starts where the clock does: the whole client loaded headless on the null device
// with sound on SDL's dummy driver, started at 0 and at 100 s (the Credits), and the position
// the sound stand-in handed the mixer checked.
#include "app/demo_app.h"
#include "demo/sequencer.h"
#include "platform/files.h"
#include "platform/sound.h"
#include "platform/window.h"
#include "render/render_driver.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class MusicStart : public ::testing::Test {
protected:
    void start(uint64_t startMs) {
        platform::setDataDirectory(std::string(DEMO_SOURCE_DIR) + "/data");
        ASSERT_TRUE(platform::initDisplay(platform::DisplayMode::Headless));
        launchOptions() = LaunchOptions{};
        launchOptions().backend = gfx::Backend::Null;
        launchOptions().startMs = startMs;
        app = std::make_unique<DemoApp>();
        gApp = app.get();
        ASSERT_EQ(app->initialize(), 0);
        ASSERT_EQ(fillTable(&driver), 0);
        app->registerDriver(&driver);
        started = true;
        ASSERT_EQ(clientStart(), 0);
    }
    void TearDown() override {
        if (started) {
            clientStop();
            app->unregisterDriver(&driver);
            clearTable(&driver);
        }
        resetSequencer();
        clientCleanup();
        app.reset();
        gApp = nullptr;
        platform::shutdownDisplay();
        platform::setDataDirectory("");
        launchOptions() = LaunchOptions{};
    }
    // The position of the one channel that plays (the music); -1 when none does.
    static double musicPosition() {
        double found = -1;
        int playing = 0;
        for (int channel = 0; channel < 32; ++channel) {
            if (platform::soundStartPosition(channel) >= 0) {
                found = platform::soundStartPosition(channel);
                ++playing;
            }
        }
        return playing == 1 ? found : -1;
    }

    std::unique_ptr<DemoApp> app;
    RenderDriver driver;
    bool started = false;
};

TEST_F(MusicStart, WithoutAStartTimeTheMusicPlaysFromItsBeginning) {
    start(0);
    EXPECT_EQ(musicPosition(), 0.0);
}

TEST_F(MusicStart, StartingAtTheCreditsPlaysTheCreditsMusic) {
    start(100000);
    EXPECT_EQ(musicPosition(), 100.0);
}

} // namespace
