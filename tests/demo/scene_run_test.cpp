// Frames of the Domino rally and of Cables and greetings from the whole demo on the real
// device, each scene played once from its start at 10 fps with several frames kept.
#include "platform/png.h"
#include "support/scene_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr double kCablesStart = 67.8;
constexpr double kDominoStart = 115.0;

// Counts over every fourth pixel of every fourth row (30000 samples of 800 x 600).
struct FrameStats {
    int green = 0;    // clearly green: the maze's +u dominoes
    int deepBlue = 0; // strongly blue
    int white = 0;    // near white
    double mean = 0;  // mean channel value
};

class SceneRun : public SceneFrames {
protected:
    // Plays the part that starts at partStart once, at fps frames a second of virtual time,
    // rendering exactly the given local times on the way and keeping those frames.
    void play(double partStart, std::vector<double> localTimes, int fps = 10) {
        kept.clear();
        std::sort(localTimes.begin(), localTimes.end());
        VirtualPlayback playback(app);
        const uint64_t startMs = uint64_t(std::ceil(partStart * 1000.0));
        size_t next = 0;
        for (uint64_t n = 0; next < localTimes.size(); ++n) {
            const uint64_t regular = startMs + n * 1000 / uint64_t(fps);
            const uint64_t target = uint64_t(std::llround((partStart + localTimes[next]) * 1000));
            if (regular < target) {
                playback.frameAt(regular);
                continue;
            }
            playback.frameAt(
                target, [] { gApp->device->readBackBuffer(&frameWidth, &frameHeight, &frame); });
            kept.push_back(SceneFrames::frame);
            // With DEMO_FRAMES_DIR set, the kept frames are also written there to look at.
            if (const char* dir = std::getenv("DEMO_FRAMES_DIR"); dir != nullptr) {
                std::string error;
                const std::string path =
                    std::string(dir) + "/" + std::to_string(std::llround(partStart * 10)) + "_" +
                    std::to_string(std::llround(localTimes[next] * 10)) + ".png";
                platform::writePngBgra(path, reinterpret_cast<const uint8_t*>(kept.back().data()),
                                       frameWidth, frameHeight, &error);
            }
            ++next;
        }
    }
    // Selects kept frame i for pixel().
    void use(size_t i) { SceneFrames::frame = kept.at(i); }
    static FrameStats stats() {
        FrameStats s;
        double sum = 0;
        int n = 0;
        for (uint32_t y = 0; y < frameHeight; y += 4) {
            for (uint32_t x = 0; x < frameWidth; x += 4) {
                const uint32_t p = pixel(x, y);
                const int r = int(p >> 16) & 0xFF, g = int(p >> 8) & 0xFF, b = int(p & 0xFF);
                s.green += g > r + 40 && g > b + 20 ? 1 : 0;
                s.deepBlue += b > r + 100 && b > g + 40 ? 1 : 0;
                s.white += r + g + b >= 740 ? 1 : 0;
                sum += r + g + b;
                ++n;
            }
        }
        s.mean = n != 0 ? sum / (3.0 * n) : 0;
        return s;
    }
    std::vector<std::string> kept;
};

TEST_F(SceneRun, DominoOpensWhiteRidesTheMazeAndEndsOnThePicture) {
    play(kDominoStart, {0.0, 5.0, 20.0, 35.0});
    ASSERT_EQ(kept.size(), 4u);

    use(0); // the fade from white starts fully white
    EXPECT_GE(stats().mean, 250);

    use(1); // down the pipe: green and blue maze dominoes against the grey tunnel
    FrameStats ride = stats();
    EXPECT_LT(ride.mean, 180);
    EXPECT_GE(ride.green, 300);
    EXPECT_EQ(ride.white, 0);

    use(2); // over the spiral field, fogged blue, nothing white
    FrameStats spiral = stats();
    EXPECT_EQ(spiral.green, 0);
    EXPECT_GE(spiral.deepBlue, 10000);
    EXPECT_LT(spiral.white, 100);

    use(3); // only the warped picture: the pale dragon over the ice, lit by the grey waves
    FrameStats picture = stats();
    EXPECT_GE(picture.white, 1000);
    EXPECT_GT(picture.mean, ride.mean + 30);
    EXPECT_EQ(picture.green, 0);
}

TEST_F(SceneRun, CablesFadeInFlashOnTheBeatsAndFadeToWhite) {
    play(kCablesStart, {2.0, 18.2, 29.0});
    ASSERT_EQ(kept.size(), 3u);

    use(0); // half faded in from black: dim, not black
    const FrameStats early = stats();
    EXPECT_GT(early.mean, 15);
    EXPECT_LT(early.mean, 120);

    use(1); // beat 0 at level 0.72: a white flash with the greetings over it
    const FrameStats beat = stats();
    EXPECT_GT(beat.mean, 180);
    // The lit lines are bluish (blue 1, green 0.5 at their brightest) over the near-white
    // flash; line 0 "ztr" sits at the top left.
    int lettering = 0;
    for (uint32_t y = 5; y < 100; ++y) {
        for (uint32_t x = 0; x < 400; ++x) {
            const uint32_t p = pixel(x, y);
            lettering += int(p & 0xFF) > int((p >> 8) & 0xFF) + 60 ? 1 : 0;
        }
    }
    EXPECT_GE(lettering, 150);

    use(2); // half way to white, on beat 23
    EXPECT_GT(stats().mean, early.mean + 100);
}

} // namespace
