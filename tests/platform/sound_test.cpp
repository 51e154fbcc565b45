// The sound stand-in on SDL's dummy audio driver (set for every test): the music loads whole
// and plays on a free channel without any audio device, a playing channel moves to another
// position (the mixer then plays the sample from there); muting makes initialisation fail.
#include "platform/sound.h"

#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <cmath>

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

TEST(Sound, APlayingChannelMovesToAPosition) {
    ASSERT_TRUE(platform::soundInit(44100, 32, 2)) << platform::soundError();
    platform::SoundSample* music = platform::soundSampleLoad(-1, kMusic.c_str(), 0, 0, 0);
    ASSERT_NE(music, nullptr) << platform::soundError();
    const int channel = platform::soundPlay(-1, music);
    ASSERT_GE(channel, 0);
    EXPECT_EQ(platform::soundStartPosition(channel), 0.0);
    const Mix_Chunk* whole = Mix_GetChunk(channel);
    ASSERT_NE(whole, nullptr);
    constexpr uint32_t kFrameBytes = 4; // 16-bit stereo

    // What the mixer plays from then on is the sample from that frame to its end.
    ASSERT_TRUE(platform::soundSetPosition(channel, 100.0));
    EXPECT_EQ(platform::soundStartPosition(channel), 100.0);
    EXPECT_NE(Mix_Playing(channel), 0);
    const Mix_Chunk* part = Mix_GetChunk(channel);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part->abuf, whole->abuf + 100 * 44100 * kFrameBytes);
    EXPECT_EQ(part->alen, whole->alen - 100 * 44100 * kFrameBytes);

    // Back to an earlier point; a position between frames is rounded down to a frame.
    ASSERT_TRUE(platform::soundSetPosition(channel, 12.34567));
    EXPECT_EQ(platform::soundStartPosition(channel), std::floor(12.34567 * 44100) / 44100);
    EXPECT_EQ(Mix_GetChunk(channel)->abuf, whole->abuf + 544444 * kFrameBytes);

    // Bad positions leave the channel as it was; one past the end stops it.
    EXPECT_FALSE(platform::soundSetPosition(channel, -1.0));
    EXPECT_FALSE(platform::soundSetPosition(channel, std::nan("")));
    EXPECT_FALSE(platform::soundSetPosition(channel + 1, 5.0)); // plays nothing
    EXPECT_EQ(platform::soundStartPosition(channel + 1), -1.0);
    EXPECT_NE(Mix_Playing(channel), 0);
    EXPECT_EQ(platform::soundStartPosition(channel), std::floor(12.34567 * 44100) / 44100);
    EXPECT_FALSE(platform::soundSetPosition(channel, double(whole->alen / kFrameBytes) / 44100));
    EXPECT_EQ(Mix_Playing(channel), 0);
    EXPECT_EQ(platform::soundStartPosition(channel), -1.0);

    // Played again, the channel starts at the beginning; freed, it reports nothing.
    EXPECT_EQ(platform::soundPlay(channel, music), channel);
    EXPECT_TRUE(platform::soundSetPosition(channel, 1.0));
    platform::soundSampleFree(music);
    EXPECT_EQ(platform::soundStartPosition(channel), -1.0);
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
