#include "demo/capture.h"
#include "scenes/scene_fixture.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST_F(SceneFrames, CaptureWritesNumberedFramesAndTheMusicSpan) {
    fs::path out = fs::temp_directory_path() / ("demo-capture-" + std::to_string(::getpid()));
    fs::remove_all(out);
    CaptureOptions options;
    options.output = out.string();
    options.fps = 10;
    options.from = 229.0;
    options.to = 229.3;
    ASSERT_EQ(runCapture(app, options), 0);
    EXPECT_TRUE(fs::exists(out / "frame000000.png"));
    EXPECT_TRUE(fs::exists(out / "frame000002.png"));
    EXPECT_FALSE(fs::exists(out / "frame000003.png"));
    ASSERT_TRUE(fs::exists(out / "music.wav"));
    // 0.3 s of 16-bit stereo at 44100 Hz after the 44-byte header.
    EXPECT_EQ(fs::file_size(out / "music.wav"), 44u + 13230u * 4u);
    fs::remove_all(out);
}

TEST_F(SceneFrames, CaptureRefusesAnEmptySpan) {
    CaptureOptions options;
    options.output = (fs::temp_directory_path() / "demo-capture-empty").string();
    options.from = 10;
    options.to = 10;
    EXPECT_EQ(runCapture(app, options), 1);
    EXPECT_TRUE(captureIsVideoFile("x.mp4"));
    EXPECT_TRUE(captureIsVideoFile("dir/x.mkv"));
    EXPECT_FALSE(captureIsVideoFile("frames"));
}

} // namespace
