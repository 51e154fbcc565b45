// The Domino rally: the seeded layout, the falling update and its vertex range, the beat
// windows, and frames of the whole demo on the real device.
#include "demo/domino.h"
#include "demo/maze.h"
#include "platform/files.h"
#include "scene/rand.h"
#include "scene/texture_registry.h"
#include "support/device_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Recorded from the layout of seed 666; a change here means a changed maze or placement.
constexpr size_t kMazeDominoes = 4228;
constexpr float kMazeFinishTime = 17.784f;    // 6 x depth 156 of the exit x 0.019 s
constexpr uint32_t kMazeWallHash = 292703618; // FNV-1a over both wall arrays

uint32_t wallHash(const MazeGrid& grid) {
    uint32_t h = 2166136261u;
    for (uint8_t b : grid.rowWallOpen) {
        h = (h ^ b) * 16777619u;
    }
    for (uint8_t b : grid.columnWallOpen) {
        h = (h ^ b) * 16777619u;
    }
    return h;
}

TEST(DominoMazeGrid, Seed666GivesTheSameSpanningTreeEveryTime) {
    demo_random::srand(kMazeSeed);
    MazeGrid a(kMazeColumns, kMazeRows);
    a.generate();
    demo_random::srand(kMazeSeed);
    MazeGrid b(kMazeColumns, kMazeRows);
    b.generate();
    EXPECT_EQ(a.rowWallOpen, b.rowWallOpen);
    EXPECT_EQ(a.columnWallOpen, b.columnWallOpen);
    EXPECT_EQ(wallHash(a), kMazeWallHash);

    // A spanning tree: cells - 1 open walls, none on the border, every cell reachable.
    int open = 0;
    for (uint8_t w : a.rowWallOpen) {
        open += w;
    }
    for (uint8_t w : a.columnWallOpen) {
        open += w;
    }
    EXPECT_EQ(open, kMazeColumns * kMazeRows - 1);
    for (int x = 0; x < kMazeColumns; ++x) {
        EXPECT_FALSE(a.passage(x, 0, 2));
        EXPECT_FALSE(a.passage(x, kMazeRows - 1, 0));
    }
    std::vector<int> seen(size_t(kMazeColumns * kMazeRows), 0);
    std::vector<int> stack{0};
    seen[0] = 1;
    int reached = 1;
    while (!stack.empty()) {
        const int cell = stack.back();
        stack.pop_back();
        const int x = cell % kMazeColumns, y = cell / kMazeColumns;
        for (int d = 0; d < 4; ++d) {
            if (a.passage(x, y, d)) {
                const int next = (x + kMazeDx[d]) + (y + kMazeDy[d]) * kMazeColumns;
                if (seen[size_t(next)] == 0) {
                    seen[size_t(next)] = 1;
                    ++reached;
                    stack.push_back(next);
                }
            }
        }
    }
    EXPECT_EQ(reached, kMazeColumns * kMazeRows);
}

TEST(DominoMazeGrid, DegenerateGridsFinishWithoutDrawing) {
    demo_random::srand(1);
    MazeGrid line(1, 8);
    line.generate();
    EXPECT_EQ(demo_random::rand(), (int((1u * 214013u + 2531011u) >> 16) & 0x7FFF));
    EXPECT_FALSE(line.passage(0, 0, 0));
    EXPECT_FALSE(line.passage(-1, 0, 1));
    EXPECT_FALSE(line.passage(0, 8, 2));
}

// Fields built on the Null device; their vertex buffers are read back through the mesh's
// own range lock.
class DominoFields : public DataOnNullFixture {
protected:
    void TearDown() override {
        maze.reset();
        spiral.reset();
        DataOnNullFixture::TearDown();
    }
    void buildBoth() {
        maze = std::make_unique<DominoMaze>();
        ASSERT_EQ(maze->build(), 0);
        spiral = std::make_unique<DominoSpiral>();
        spiral->startTime = maze->finishTime;
        ASSERT_EQ(spiral->build(), 0);
    }
    // Positions of every vertex of a field as the device holds them.
    static std::vector<Vec3> positions(DominoRally& field) {
        TriMesh& mesh = field.mesh;
        std::vector<Vec3> out(mesh.vertexCount);
        EXPECT_EQ(mesh.lockVertices(&mesh, 0, mesh.vertexCount), 0);
        for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
            std::memcpy(&out[i], mesh.lockedVertices + size_t(i) * mesh.lockedStride, 12);
        }
        mesh.unlockVertices(&mesh);
        return out;
    }
    // The fall angle of domino i read from its vertices: the left edge (corner 4 to 6) is
    // 6 units along the standing domino's up axis N, tipping towards -F.
    static double angleOf(const DominoRecord& r, const std::vector<Vec3>& v, size_t i) {
        const Vec3 edge = v[8 * i + 6] - v[8 * i + 4];
        const Vec3 n{r.basis[0][1], r.basis[1][1], r.basis[2][1]};
        const Vec3 f{r.basis[0][2], r.basis[1][2], r.basis[2][2]};
        return std::atan2(-dot(edge, f), dot(edge, n));
    }

    std::unique_ptr<DominoMaze> maze;
    std::unique_ptr<DominoSpiral> spiral;
};

TEST_F(DominoFields, LayoutIsRepeatableAndRecorded) {
    buildBoth();
    const size_t count = maze->dominoes.size();
    const float finish = maze->finishTime;
    std::vector<float> times;
    for (const DominoRecord& r : maze->dominoes) {
        times.push_back(r.toppleTime);
    }
    DominoMaze again;
    ASSERT_EQ(again.build(), 0);
    EXPECT_EQ(again.dominoes.size(), count);
    EXPECT_EQ(again.finishTime, finish);
    for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(again.dominoes[i].toppleTime, times[i]) << i;
    }
    EXPECT_EQ(count, kMazeDominoes);
    EXPECT_NEAR(finish, kMazeFinishTime, 1e-4f);
    EXPECT_LE(count, kMazeRecordCapacity);
    EXPECT_EQ(maze->mesh.vertexCount, 8 * count);

    // Sorted by topple time; the exit domino past the last row falls at the finish time
    // (dead ends deeper in the tree may still fall later).
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    float exitTime = -1;
    for (const DominoRecord& r : maze->dominoes) {
        if (r.v > 1.0) {
            exitTime = std::max(exitTime, r.toppleTime);
        }
    }
    EXPECT_FLOAT_EQ(exitTime, finish);
    for (const DominoRecord& r : maze->dominoes) {
        EXPECT_GE(r.u, 0.0);
        EXPECT_LE(r.u, 1.0);
        EXPECT_GE(r.v, 0.0);
        EXPECT_LE(r.v, 81.0 / 80.0);
        EXPECT_NEAR(r.du * r.du + r.dv * r.dv, 1.0, 1e-9);
    }

    EXPECT_EQ(spiral->dominoes.size(), 2805u);
    EXPECT_EQ(spiral->mesh.vertexCount, 8u * 2805u);
    EXPECT_EQ(spiral->startTime, finish);
    ASSERT_EQ(spiral->mesh.subsetCount, 2u);
    EXPECT_EQ(spiral->mesh.subsets[0].faceCount, 2u * 2805u);
    EXPECT_EQ(spiral->mesh.subsets[1].firstFace, 2u * 2805u);
    EXPECT_EQ(spiral->mesh.subsets[1].faceCount, 10u * 2805u);
    // Six arms start at once (slot 0) with their farthest feeders: 1 + 2 + ... + 5 feeders
    // fall before them.
    const auto firstArm = std::count_if(spiral->dominoes.begin(), spiral->dominoes.end(),
                                        [](const DominoRecord& r) { return r.toppleTime == 0; });
    const auto feeders = std::count_if(spiral->dominoes.begin(), spiral->dominoes.end(),
                                       [](const DominoRecord& r) { return r.toppleTime < 0; });
    EXPECT_EQ(firstArm, 6 + 5); // each arm's first domino and feeder 0 of arms 1..5
    EXPECT_EQ(feeders, 4 + 3 + 2 + 1);
}

TEST_F(DominoFields, FirstFrameUpdatesTheFallingDominoesAndTheOneBefore) {
    buildBoth();
    const std::vector<Vec3> standing = positions(*maze);
    const float t = 3.0f;
    const FallRange range = maze->updateFalling(t, 0.0f);
    const auto& d = maze->dominoes;
    size_t expectedFirst = 0, expectedEnd = 0;
    for (size_t i = 0; i < d.size(); ++i) {
        if (d[i].toppleTime < t - 0.121f) {
            expectedFirst = i; // the last one before the window
        }
        if (d[i].toppleTime < t) {
            expectedEnd = i + 1;
        }
    }
    EXPECT_EQ(range.first, expectedFirst);
    EXPECT_EQ(range.end, expectedEnd);
    ASSERT_LT(range.first, range.end);
    for (size_t i = range.first + 1; i < range.end; ++i) {
        EXPECT_GE(d[i].toppleTime, t - 0.121f);
    }
    // Inside the range the dominoes lean by their progress; everything else still stands.
    const std::vector<Vec3> after = positions(*maze);
    for (size_t i = 0; i < d.size(); ++i) {
        const double angle = angleOf(d[i], after, i);
        if (i >= range.first && i < range.end) {
            const double p = std::min(1.0, double(t - d[i].toppleTime) / 0.12);
            EXPECT_NEAR(angle, p * kFallAngle, 2e-3) << i;
        } else {
            ASSERT_EQ(std::memcmp(&after[8 * i], &standing[8 * i], 8 * sizeof(Vec3)), 0) << i;
        }
    }
    EXPECT_NEAR(angleOf(d[0], standing, 0), 0.0, 1e-5);
}

// Every lock a field takes, checked against its mesh.
struct LockLog {
    static inline MeshLockFn deviceLock = nullptr;
    static inline uint32_t vertexCount = 0;
    static inline int calls = 0;
    static inline bool outside = false;
    static int lock(TriMesh* mesh, uint32_t first, uint32_t count) {
        ++calls;
        if (count == 0 || first + count > vertexCount || first % 8 != 0 || count % 8 != 0) {
            outside = true;
        }
        return deviceLock(mesh, first, count);
    }
    static void install(TriMesh& mesh) {
        deviceLock = mesh.lockVertices;
        vertexCount = mesh.vertexCount;
        calls = 0;
        outside = false;
        mesh.lockVertices = lock;
    }
};

TEST_F(DominoFields, NormalPacingLaysEveryDominoAtTheRestAngle) {
    buildBoth();
    for (DominoRally* field :
         {static_cast<DominoRally*>(maze.get()), static_cast<DominoRally*>(spiral.get())}) {
        LockLog::install(field->mesh);
        const float end = field->startTime + field->dominoes.back().toppleTime + 0.2f;
        float previous = 0;
        for (int frame = 0;; ++frame) {
            const float t = std::min(float(frame) / 60.0f, end);
            field->updateFalling(t, t - previous);
            previous = t;
            if (t == end) {
                break;
            }
        }
        EXPECT_FALSE(LockLog::outside);
        field->mesh.lockVertices = LockLog::deviceLock;
        const std::vector<Vec3> v = positions(*field);
        for (size_t i = 0; i < field->dominoes.size(); ++i) {
            ASSERT_NEAR(angleOf(field->dominoes[i], v, i), kFallAngle, 2e-4) << i;
        }
    }
}

TEST_F(DominoFields, OddFrameTimesStayInsideTheMeshAndBackwardsRewindsCleanly) {
    buildBoth();
    DominoRally& field = *maze;
    LockLog::install(field.mesh);
    const float last = field.dominoes.back().toppleTime;
    field.updateFalling(0.0f, 0.0f);       // first frame: only feeders would qualify
    field.updateFalling(0.0f, 0.0f);       // repeated time
    field.updateFalling(last + 100, 0.0f); // a jump far past the end
    field.updateFalling(last + 100, 1e6f); // with a huge delta
    field.updateFalling(-5.0f, 0.0f);      // before the start
    field.updateFalling(last * 0.5f, 0.016f);
    field.updateFalling(1e30f, 1e30f);
    EXPECT_GT(LockLog::calls, 0);
    EXPECT_FALSE(LockLog::outside);

    // Back to 2 s after the whole field fell: the buffer is what a fresh run to 2 s leaves.
    field.updateFalling(2.0f, 0.0f);
    field.mesh.lockVertices = LockLog::deviceLock;
    const std::vector<Vec3> rewound = positions(field);
    DominoMaze fresh;
    ASSERT_EQ(fresh.build(), 0);
    for (int frame = 0; frame <= 120; ++frame) {
        fresh.updateFalling(float(frame) / 60.0f, frame == 0 ? 0.0f : 1.0f / 60.0f);
    }
    const std::vector<Vec3> played = positions(fresh);
    ASSERT_EQ(rewound.size(), played.size());
    for (size_t i = 0; i < rewound.size(); ++i) {
        ASSERT_NEAR(rewound[i].x, played[i].x, 1e-3f) << i;
        ASSERT_NEAR(rewound[i].y, played[i].y, 1e-3f) << i;
        ASSERT_NEAR(rewound[i].z, played[i].z, 1e-3f) << i;
    }
}

TEST(DominoBeats, SevenFlashesFireNearTheirTimesButNeverOnThem) {
    // Scan the part in 1 ms steps: each flash is one window under 0.2 s wide, whose
    // centre (the beat itself) is dark.
    std::vector<std::pair<int, int>> windows;
    for (int ms = 0; ms <= 44000; ++ms) {
        if (DominoRallyPart::flashAlpha(float(ms) / 1000.0f) > 0) {
            if (windows.empty() || windows.back().second != ms - 1) {
                windows.push_back({ms, ms});
            } else {
                windows.back().second = ms;
            }
        }
    }
    ASSERT_EQ(windows.size(), 7u);
    for (auto [first, last] : windows) {
        EXPECT_LE(last - first, 200);
        EXPECT_GT(first, 32900);
    }
    EXPECT_EQ(DominoRallyPart::flashAlpha(33.055007934570312f), 0.0f);
    EXPECT_EQ(DominoRallyPart::flashAlpha(41.126014709472656f), 0.0f);
    EXPECT_NEAR(DominoRallyPart::flashAlpha(33.055007934570312f + 0.05f), 0.5f, 1e-3f);
    EXPECT_EQ(DominoRallyPart::flashAlpha(37.402008056640625f - 0.11f), 0.0f);
}

TEST(DominoBeats, PictureFadesInFrom30To33AndPulsesOnItsBeats) {
    EXPECT_FLOAT_EQ(DominoRallyPart::pictureAlpha(31.5f), 0.5f);
    EXPECT_FLOAT_EQ(DominoRallyPart::pictureAlpha(33.0f), 1.0f);
    EXPECT_FLOAT_EQ(DominoRallyPart::pulse(33.730010986328125f), 1.0f);
    EXPECT_NEAR(DominoRallyPart::pulse(33.730010986328125f + 0.1f), 0.5f, 1e-4f);
    EXPECT_EQ(DominoRallyPart::pulse(36.0f), 0.0f);
}

} // namespace
