// The music file cut short or replaced by noise that starts like an MP3 frame: loading it as
// a sample (the demo with sound) and decoding it for a capture both end without a crash,
// and an unusable file gives no sample, which plays as silence.
#include "platform/sound.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<char> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class DamagedMusic : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("demo-damaged-music-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        std::vector<char> music = readFile(fs::path(DEMO_SOURCE_DIR) / "data/music.mp3");
        ASSERT_GT(music.size(), 10000u);
        std::ofstream(dir / "cut.mp3", std::ios::binary)
            .write(music.data(), std::streamsize(music.size() / 3));
        // MPEG-1 layer III frame headers (FF FB 90 64) every 417 bytes, noise between them.
        std::mt19937 rng(7);
        std::vector<char> noise(20000);
        for (size_t i = 0; i < noise.size(); ++i) {
            noise[i] = i % 417 < 4 ? "\xFF\xFB\x90\x64"[i % 417] : char(rng());
        }
        std::ofstream(dir / "noise.mp3", std::ios::binary)
            .write(noise.data(), std::streamsize(noise.size()));
        std::ofstream(dir / "empty.mp3", std::ios::binary).close();
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(DamagedMusic, LoadingForPlaybackNeverCrashes) {
    if (!platform::soundInit(44100, 32, 2)) {
        GTEST_SKIP() << "no audio device to play on here: " << platform::soundError();
    }
    for (const char* name : {"cut.mp3", "noise.mp3", "empty.mp3"}) {
        SCOPED_TRACE(name);
        platform::SoundSample* sample =
            platform::soundSampleLoad(-1, (dir / name).string().c_str(), 0, 0, 0);
        if (sample != nullptr) {
            EXPECT_GE(platform::soundPlay(-1, sample), 0);
        } else {
            EXPECT_FALSE(platform::soundError().empty());
            EXPECT_EQ(platform::soundPlay(-1, sample), -1);
        }
        platform::soundSampleFree(sample);
    }
    EXPECT_EQ(platform::soundSampleLoad(-1, (dir / "empty.mp3").string().c_str(), 0, 0, 0),
              nullptr);
    platform::soundClose();
}

TEST_F(DamagedMusic, DecodingForACaptureKeepsWhatIsThere) {
    std::vector<int16_t> whole, cut;
    ASSERT_TRUE(platform::soundDecodeFile(
        (fs::path(DEMO_SOURCE_DIR) / "data/music.mp3").string().c_str(), 44100, &whole));
    ASSERT_TRUE(platform::soundDecodeFile((dir / "cut.mp3").string().c_str(), 44100, &cut));
    EXPECT_GT(cut.size(), whole.size() / 4);
    EXPECT_LT(cut.size(), whole.size() / 2);
    for (const char* name : {"noise.mp3", "empty.mp3", "missing.mp3"}) {
        SCOPED_TRACE(name);
        std::vector<int16_t> samples;
        if (!platform::soundDecodeFile((dir / name).string().c_str(), 44100, &samples)) {
            EXPECT_FALSE(platform::soundError().empty());
        }
    }
}

} // namespace
