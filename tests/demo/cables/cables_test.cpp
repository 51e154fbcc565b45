// Cables and greetings: the seeded load (loop, helix, maze textures), the beat windows, the
// greeting staircase and the bouncing clusters, on the Null device.
#include "demo/cables.h"
#include "platform/files.h"
#include "scene/rand.h"
#include "scene/texture_registry.h"
#include "support/device_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

namespace {

class CablesOnNull : public DataOnNullFixture {
protected:
    void SetUp() override {
        DataOnNullFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        part = std::make_unique<CablesPart>(30.0f);
        ASSERT_EQ(part->load(), 0);
    }
    void TearDown() override {
        part.reset();
        DataOnNullFixture::TearDown();
    }
    static float distance(Vec3 a, Vec3 b) {
        const Vec3 d = a - b;
        return std::sqrt(dot(d, d));
    }
    std::unique_ptr<CablesPart> part;
};

TEST_F(CablesOnNull, LoopKeysFollowArcLengthAndCablesWindAtRadius400) {
    const Spline& loop = part->loopPath;
    ASSERT_EQ(loop.keyCount, kLoopKeys);
    EXPECT_EQ(loop.keys[0].time, 0.0f);
    EXPECT_NEAR(loop.keys[kLoopKeys - 1].time, 1.01f, 1e-6f);
    // Times follow length: the straights (10, 0, 0)-(10000, 0, 0), 9990 units, and
    // (5500, 2500, -200)-(-4500, 2500, -300), 10000.5 units, take time in that ratio.
    for (int k = 1; k < kLoopKeys; ++k) {
        EXPECT_GT(loop.keys[k].time, loop.keys[k - 1].time);
    }
    const float straight = loop.keys[2].time - loop.keys[1].time;
    const float across = loop.keys[9].time - loop.keys[8].time;
    EXPECT_NEAR(across / straight, 10000.5f / 9990.0f, 1e-4f);

    for (int c = 0; c < kCableCount; ++c) {
        const Spline& path = part->cablePaths[c];
        ASSERT_EQ(path.keyCount, kCableKeys);
        for (int e = 0; e < kCableKeys; ++e) {
            const Vec3 centre = part->loopPath.evaluate(float(e * 0.010121212121212123));
            ASSERT_NEAR(distance(path.keys[e].value, centre), 400.0f, 0.5f) << c << " " << e;
        }
    }
    // Evenly spread: neighbours 2 sin(18 degrees) x 400 apart at the first key.
    for (int c = 0; c < kCableCount; ++c) {
        const Vec3 a = part->cablePaths[c].keys[0].value;
        const Vec3 b = part->cablePaths[(c + 1) % kCableCount].keys[0].value;
        EXPECT_NEAR(distance(a, b), 2 * 400 * std::sin(3.14159265f / 10), 0.5f);
    }
}

TEST_F(CablesOnNull, MazeTexturesHoldOnlyCellsAndOpenPassages) {
    for (auto [name, bright] :
         {std::pair{"Part5TunnelTexture0", 204}, {"Part5TunnelTexture1", 153}}) {
        int existed = 0;
        TextureImage* t = gRegistry->acquireTexture(&existed, makeKey(name));
        ASSERT_EQ(existed, 1) << name;
        ASSERT_EQ(t->width, 256u);
        ASSERT_NE(t->levels[0], nullptr); // filed, not yet uploaded
        std::set<int> values;
        int open = 0;
        for (int y = 0; y < 256; ++y) {
            const uint8_t* row = t->levels[0] + y * 256 * 4;
            for (int x = 0; x < 256; ++x) {
                values.insert(row[4 * x]);
                EXPECT_EQ(row[4 * x + 3], row[4 * x]); // alpha too
                if (x == 255) {
                    EXPECT_EQ(row[4 * x], row[4 * 254]);
                }
                // A wall unit between two cells: count the open ones in the top-left pixel.
                if (x % 8 == 4 && y % 8 == 0 && x / 4 < 63) {
                    open += row[4 * x] != 0 ? 1 : 0;
                }
                if (y % 8 == 4 && x % 8 == 0 && y / 4 < 63) {
                    open += row[4 * x] != 0 ? 1 : 0;
                }
            }
        }
        EXPECT_EQ(values, (std::set<int>{0, bright}));
        EXPECT_EQ(open, 32 * 32 - 1); // a spanning tree of the 32 x 32 cells
    }
}

TEST_F(CablesOnNull, TheSeededLoadIsRepeatable) {
    std::vector<CableStream> first(part->streams.begin(), part->streams.end());
    CablesPart again(30.0f);
    ASSERT_EQ(again.load(), 0);
    for (int i = 0; i < kStreamCount; ++i) {
        EXPECT_EQ(again.streams[size_t(i)].cable, first[size_t(i)].cable);
        EXPECT_EQ(again.streams[size_t(i)].position, first[size_t(i)].position);
        EXPECT_EQ(again.streams[size_t(i)].speed, first[size_t(i)].speed);
        EXPECT_GE(std::abs(first[size_t(i)].speed), 0.05f);
        EXPECT_LT(std::abs(first[size_t(i)].speed), 0.1f);
    }
}

TEST_F(CablesOnNull, AStreamAtAnEndReversesAndChangesCableWithOneDraw) {
    for (float start : {0.9995f, 0.0005f}) {
        for (CableStream& s : part->streams) {
            s.position = 0.5f; // all others in the middle: no draws for them
        }
        CableStream& s = part->streams[7];
        s.position = start;
        s.speed = start > 0.5f ? 0.07f : -0.07f;
        demo_random::srand(99);
        // Streams 0..6 come first, three draws for each of their particles.
        for (int i = 0; i < 7 * kStreamsPerCable * 3; ++i) {
            demo_random::rand();
        }
        const int expectedCable = demo_random::rand() % kCableCount;
        // Then the draws for its own and the later clusters' particles.
        for (int i = 0; i < (kStreamCount - 7) * kStreamsPerCable * 3; ++i) {
            demo_random::rand();
        }
        const int nextDraw = demo_random::rand();
        demo_random::srand(99);
        part->updateStreams(0.0f);
        EXPECT_EQ(s.cable, expectedCable);
        EXPECT_EQ(s.speed, start > 0.5f ? -0.07f : 0.07f);
        EXPECT_EQ(s.position, start > 0.5f ? 0.998f : 0.0011f);
        EXPECT_EQ(demo_random::rand(), nextDraw);
        // Its particles sit on a sphere of radius 25 round the point on the new cable.
        const Vec3 centre = part->cablePaths[s.cable].evaluate(s.position);
        for (int k = 0; k < kStreamsPerCable; ++k) {
            const ParticleRecord& r = part->streamParticles.records[size_t(s.firstParticle + k)];
            EXPECT_NEAR(distance(r.position, centre), 25.0f, 1e-2f);
            EXPECT_NE(r.flags & kParticleAlive, 0u);
        }
    }
}

TEST(CablesBeats, LevelStartsAtOneFallsToZeroAndTheLaterBeatWins) {
    EXPECT_EQ(CablesPart::beatLevel(10.0f).level, 0.0f);
    EXPECT_EQ(CablesPart::beatLevel(17.9f).level, 0.0f);
    const BeatLevel start = CablesPart::beatLevel(18.144009f - 0.2f);
    EXPECT_EQ(start.beat, 0);
    EXPECT_NEAR(start.level, 1.0f, 1e-6f);
    // 18.5 lies in the windows of beats 0 (from 17.944) and 1 (from 18.415): beat 1 wins.
    const BeatLevel overlap = CablesPart::beatLevel(18.5f);
    EXPECT_EQ(overlap.beat, 1);
    EXPECT_NEAR(overlap.level, 1 - (18.5 - 18.415002) / 0.9, 1e-4);
    // The last window ends 0.7 s after the last beat.
    EXPECT_NEAR(CablesPart::beatLevel(29.238003f + 0.69f).level, 0.01f / 0.9f, 1e-3f);
    EXPECT_EQ(CablesPart::beatLevel(29.238003f + 0.71f).level, 0.0f);
}

TEST(CablesGreetings, TwentySixLinesOpenWithTheSenders) {
    EXPECT_STREQ(CablesPart::greeting(0), "ztr");
    EXPECT_STREQ(CablesPart::greeting(1), "and vrell");
    EXPECT_STREQ(CablesPart::greeting(2), "would like to greet");
    std::set<std::string> names;
    for (int i = 3; i < kGreetingLines; ++i) {
        const std::string name = CablesPart::greeting(i);
        EXPECT_FALSE(name.empty());
        // The staircase runs right 26 pixels a line: every name must end inside 800 pixels
        // at the 28-point face's widest (about 16 pixels a character).
        EXPECT_LE(26 * i + 5 + 16 * int(name.size()), 800) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 23u);
    EXPECT_STREQ(CablesPart::greeting(26), "");
}

} // namespace
