#include "scene/camera.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectRow(const Mat3& m, int row, float x, float y, float z) {
    EXPECT_NEAR(m.m[row][0], x, 1e-6) << "row " << row;
    EXPECT_NEAR(m.m[row][1], y, 1e-6) << "row " << row;
    EXPECT_NEAR(m.m[row][2], z, 1e-6) << "row " << row;
}

TEST(Camera, LookAtAlongZIsIdentity) {
    Camera c{};
    c.init(nullptr, 0);
    c.lookAt({0, 0, -100}, {0, 0, 0}, 0);
    expectRow(c.orientation, 0, 1, 0, 0);
    expectRow(c.orientation, 1, 0, 1, 0);
    expectRow(c.orientation, 2, 0, 0, 1);
    EXPECT_EQ(c.position.z, -100.0f);
}

TEST(Camera, LookingStraightUpUsesTheFallbackBasis) {
    Camera c{};
    c.init(nullptr, 0);
    c.lookAt({0, 0, 0}, {0, 50, 0}, 0);
    expectRow(c.orientation, 0, 1, 0, 0);
    expectRow(c.orientation, 1, 0, 0, -1);
    expectRow(c.orientation, 2, 0, 1, 0);
}

TEST(Camera, RollTurnsTheBasis) {
    Camera c{};
    c.init(nullptr, 0);
    c.lookAt({0, 0, -1}, {0, 0, 0}, float(M_PI / 2));
    // Rz(90) x identity: right becomes (0, -1, 0) in its first row? Rz rows are
    // (cos, -sin, 0), (sin, cos, 0): the product's first row is (0, -1, 0).
    expectRow(c.orientation, 0, 0, -1, 0);
    expectRow(c.orientation, 1, 1, 0, 0);
}

TEST(Euler, OrderIsYThenXThenZ) {
    Mat3 m = eulerMatrix(0.3f, 0.5f, 0.7f);
    Mat3 expected = multiply(multiply(eulerMatrix(0, 0.5f, 0), eulerMatrix(0.3f, 0, 0)),
                             eulerMatrix(0, 0, 0.7f));
    for (int i = 0; i < 3; ++i) {
        expectRow(m, i, expected.m[i][0], expected.m[i][1], expected.m[i][2]);
    }
    Mat3 ry = eulerMatrix(0, 0.5f, 0);
    EXPECT_NEAR(ry.m[0][2], std::sin(0.5f), 1e-6);
    EXPECT_NEAR(ry.m[2][0], -std::sin(0.5f), 1e-6);
}

// Velocity smoothing reaches 1 - 1/e of the target after tau seconds at any frame rate.
TEST(CameraMover, SmoothingIsFrameRateIndependent) {
    for (int fps : {30, 60, 144}) {
        CameraMover mover;
        mover.setSmoothing(0, 0.3f);
        mover.thrust = {0, 0, 1};
        mover.speed = 100;
        Camera c{};
        c.init(nullptr, 0);
        float dt = 1.0f / float(fps);
        int frames = int(std::lround(0.3 * fps));
        for (int i = 0; i < frames; ++i) {
            mover.move(&c, dt);
        }
        float reached = mover.velocity.z / 100.0f;
        EXPECT_NEAR(reached, 1.0f - std::exp(-float(frames) * dt / 0.3f), 1e-4) << fps;
        EXPECT_NEAR(reached, 0.632f, 0.02f) << fps;
    }
}

TEST(CameraMover, SmoothingChannelsSetAndClearTheirBits) {
    CameraMover mover;
    mover.setSmoothing(2, 0.2f);
    EXPECT_EQ(mover.flags, 4);
    EXPECT_FLOAT_EQ(mover.turnRate, -5.0f);
    mover.setSmoothing(2, 0);
    EXPECT_EQ(mover.flags, 0);
    EXPECT_EQ(mover.turnRate, 0.0f);
}

TEST(CameraMover, DriftIsNotScaledByTime) {
    CameraMover mover;
    mover.drift = {1, 0, 0};
    mover.speed = 2;
    Camera c{};
    c.init(nullptr, 0);
    mover.move(&c, 0.5f);
    EXPECT_FLOAT_EQ(c.position.x, 2.0f);
    Camera big{};
    big.init(nullptr, kCameraLargeWorld);
    mover.move(&big, 0.5f);
    EXPECT_DOUBLE_EQ(big.positionD[0], 2.0);
    EXPECT_EQ(big.position.x, 0.0f);
}

TEST(Scene, AllocateLightsClearsTheRecords) {
    Scene s;
    s.allocateLights(3);
    ASSERT_EQ(s.lightCount, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(s.lights[i].type, 0u);
        EXPECT_EQ(s.lights[i].enabled, 0);
    }
    s.allocateLights(1);
    EXPECT_EQ(s.lightCount, 1);
    EXPECT_EQ(s.flags, 7u);
}

} // namespace
