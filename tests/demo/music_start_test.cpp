// The music starts where the clock does: the whole client loaded headless on the null device
// with sound on SDL's dummy driver, started at 0 and at 100 s (the Credits), and the position
// the sound stand-in handed the mixer checked.
#include "platform/files.h"
#include "platform/sound.h"
#include "support/host_options.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class MusicStart : public ::testing::Test {
protected:
    void start(uint64_t startMs) {
        platform::setDataDirectory(std::string(DEMO_SOURCE_DIR) + "/data");
        sequencer().startMs = startMs;
        host = std::make_unique<DemoHost>();
        ASSERT_EQ(host->start(headlessOptions(gfx::Backend::Null, false, true, true)),
                  DemoHost::Step::Ready);
        // The host plays silently without an audio device (Wine with its drivers off); the
        // mixer it would hand the music to is then missing. Opened already, this only asks.
        if (!platform::soundInit(44100, 32, 0)) {
            GTEST_SKIP() << "no audio device to play on here: " << platform::soundError();
        }
    }
    void TearDown() override {
        host.reset();
        sequencer().startMs = 0;
        platform::setDataDirectory("");
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

    std::unique_ptr<DemoHost> host;
};

TEST_F(MusicStart, WithoutAStartTimeTheMusicPlaysFromItsBeginning) {
    start(0);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(musicPosition(), 0.0);
}

TEST_F(MusicStart, StartingAtTheCreditsPlaysTheCreditsMusic) {
    start(100000);
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    EXPECT_EQ(musicPosition(), 100.0);
}

} // namespace
