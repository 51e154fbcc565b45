// The sound stand-in on SDL's dummy audio driver (set for every test): the music loads whole
// and plays on a free channel without any audio device; muting makes initialisation fail.
#include "platform/sound.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kMusic = std::string(DEMO_SOURCE_DIR) + "/data/music.mp3";

TEST(Sound, MusicLoadsAndPlaysOnTheDummyDevice) {
    ASSERT_TRUE(platform::soundInit(44100, 32, 2)) << platform::soundError();
    platform::SoundSample* music = platform::soundSampleLoad(-1, kMusic.c_str(), 0, 0, 0);
    ASSERT_NE(music, nullptr) << platform::soundError();
    EXPECT_GE(platform::soundPlay(-1, music), 0);
    platform::soundSampleFree(music);
    platform::soundClose();
}

TEST(Sound, MissingOrDamagedFilesGiveNoSample) {
    ASSERT_TRUE(platform::soundInit(44100, 32, 2));
    EXPECT_EQ(platform::soundSampleLoad(-1, "/nonexistent/music.mp3", 0, 0, 0), nullptr);
    EXPECT_EQ(platform::soundSampleLoad(-1, __FILE__, 0, 0, 0), nullptr); // not audio
    EXPECT_EQ(platform::soundPlay(-1, nullptr), -1);
    platform::soundClose();
}

TEST(Sound, MutedInitialisationFailsAndEverythingIsSilent) {
    platform::setSoundMuted(true);
    EXPECT_FALSE(platform::soundInit(44100, 32, 2));
    EXPECT_EQ(platform::soundSampleLoad(-1, kMusic.c_str(), 0, 0, 0), nullptr);
    EXPECT_EQ(platform::soundPlay(-1, nullptr), -1);
    platform::setSoundMuted(false);
}

} // namespace
