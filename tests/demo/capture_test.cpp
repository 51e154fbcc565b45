#include "demo/capture.h"
#include "support/scene_fixture.h"

#include <cmath>
#include <filesystem>
#include <vector>

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

// The pieces of a parallel capture: consecutive, covering the span, split exactly where a
// scene starts, on the same frame grid as a one-pass capture.
TEST(CapturePieces, SplitTheSpanWhereScenesStart) {
    CaptureOptions whole;
    const std::vector<CapturePiece> pieces = capturePieces(whole);
    ASSERT_EQ(pieces.size(), 8u);
    const uint64_t counts[8] = {2268, 1800, 1800, 1032, 2640, 1800, 1800, 1860};
    for (size_t k = 0; k < 8; ++k) {
        EXPECT_EQ(pieces[k].count, counts[k]) << k;
    }
    for (int fps : {7, 24, 30}) {
        CaptureOptions options;
        options.fps = fps;
        options.from = 20.05;
        options.to = 230;
        const std::vector<CapturePiece> p = capturePieces(options);
        ASSERT_EQ(p.size(), 8u) << fps;
        uint64_t next = 0;
        for (const CapturePiece& piece : p) {
            EXPECT_EQ(piece.first, next);
            next += piece.count;
            const auto secondsOf = [fps](uint64_t n) { return (20050 + n * 1000 / fps) / 1000.0; };
            EXPECT_DOUBLE_EQ(piece.start, secondsOf(piece.first));
            // The frame before a piece lies in the scene before.
            if (piece.first > 0) {
                EXPECT_LT(partStartFor(secondsOf(piece.first - 1)), partStartFor(piece.start));
            }
        }
        EXPECT_EQ(next, uint64_t(std::ceil((230 - 20.05) * fps - 1e-9)));
    }
    CaptureOptions inOneScene;
    inOneScene.from = 40;
    inOneScene.to = 41;
    EXPECT_EQ(capturePieces(inOneScene).size(), 1u);
    inOneScene.to = 40;
    EXPECT_TRUE(capturePieces(inOneScene).empty());
}
