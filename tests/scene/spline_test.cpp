// Kochanek-Bartels key splines: interpolation, tangents, looping, easing, the segment cursor
// and degenerate key sets.
#include "scene/spline.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectVec(Vec3 a, Vec3 b, float tolerance = 1e-4f) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

// Keys at times 0..n-1 with values i^2 in x and 10 - i in y.
void parabola(Spline& s, int n) {
    s.setKeyCount(n);
    for (int i = 0; i < n; ++i) {
        s.addKey({float(i * i), float(10 - i), 1}, float(i));
    }
    s.prepare();
}

TEST(Spline, TwoKeysInterpolateAlongTheChord) {
    Spline s;
    s.setKeyCount(2);
    s.addKey({0, 0, 0}, 0);
    s.addKey({10, 0, 0}, 1);
    s.prepare();
    expectVec(s.keys[0].outTangent, {10, 0, 0});
    expectVec(s.keys[1].inTangent, {10, 0, 0});
    expectVec(s.evaluate(0.5f), {5, 0, 0});
    expectVec(s.evaluate(0.25f), {2.5f, 0, 0});
    EXPECT_EQ(s.duration, 1);
}

TEST(Spline, PassesThroughEveryKeyWithCatmullRomTangents) {
    Spline s;
    parabola(s, 6);
    EXPECT_EQ(s.duration, 5);
    EXPECT_EQ(s.cursor, 0);
    for (int i = 0; i < 6; ++i) {
        expectVec(s.evaluate(float(i)), s.keys[i].value);
    }
    // Evenly spaced keys with zero parameters: both tangents are half the neighbour chord.
    expectVec(s.keys[2].inTangent, {4, -1, 0});
    expectVec(s.keys[2].outTangent, {4, -1, 0});
}

TEST(Spline, LoopWrapsTimeIntoItsDuration) {
    Spline s;
    s.setKeyCount(3);
    s.addKey({0, 0, 0}, 0);
    s.addKey({3, 7, 0}, 2);
    s.addKey({1, 1, 1}, 4);
    s.prepare();
    s.loop = 1;
    Vec3 at1 = s.evaluate(1);
    expectVec(s.evaluate(5), at1);
    expectVec(s.evaluate(9), at1);
}

TEST(Spline, EaseRemapsTheSegmentParameter) {
    EXPECT_FLOAT_EQ(Spline::ease(0.5f, 0, 0), 0.5f);
    EXPECT_FLOAT_EQ(Spline::ease(0.25f, 0.5f, 0.5f), 0.125f);
    EXPECT_FLOAT_EQ(Spline::ease(0.75f, 0.5f, 0.5f), 0.875f);
    // Eases that add up to more than 1 are scaled down to a sum of 1.
    EXPECT_FLOAT_EQ(Spline::ease(0.25f, 1, 1), 0.125f);
    // One-sided eases stay finite at the segment end and outside it.
    EXPECT_FLOAT_EQ(Spline::ease(1, 0.5f, 0), 1.0f);
    EXPECT_TRUE(std::isfinite(Spline::ease(-0.5f, 0, 0.5f)));
    EXPECT_TRUE(std::isfinite(Spline::ease(1.5f, 0.5f, 0)));
}

TEST(Spline, EasedKeysAreStillReached) {
    Spline s;
    parabola(s, 3);
    s.keys[0].easeFrom = 0.5f;
    s.keys[1].easeTo = 0.5f;
    expectVec(s.evaluate(0), s.keys[0].value);
    expectVec(s.evaluate(1), s.keys[1].value);
    // Leaving key 0 slowly: a quarter of the way in time covers less than a plain segment.
    Spline plain;
    parabola(plain, 3);
    EXPECT_LT(std::fabs(s.evaluate(0.1f).y - 10), std::fabs(plain.evaluate(0.1f).y - 10));
}

TEST(Spline, OneKeyIsConstant) {
    Spline s;
    s.setKeyCount(1);
    s.addScalarKey(7, 3);
    s.prepare();
    expectVec(s.evaluate(-100), {7, 0, 0});
    expectVec(s.evaluate(3), {7, 0, 0});
    EXPECT_FLOAT_EQ(s.evaluateScalar(1e6f), 7);
}

TEST(Spline, EvaluatingEarlierRestartsTheSearch) {
    Spline s, fresh;
    parabola(s, 6);
    parabola(fresh, 6);
    s.evaluate(4.5f);
    EXPECT_EQ(s.cursor, 4);
    expectVec(s.evaluate(0.5f), fresh.evaluate(0.5f));
    EXPECT_EQ(s.cursor, 0);
    // An exact key time stays in the earlier segment.
    s.evaluate(2);
    EXPECT_EQ(s.cursor, 1);
}

TEST(Spline, TimesOutsideTheKeysExtendTheEndSegments) {
    Spline s;
    s.setKeyCount(2);
    s.addKey({0, 0, 0}, 0);
    s.addKey({10, 0, 0}, 1);
    s.prepare();
    // With chord tangents the segment is linear, so it extends linearly.
    expectVec(s.evaluate(2), {20, 0, 0});
    expectVec(s.evaluate(-1), {-10, 0, 0});
}

TEST(Spline, KeysWithEqualTimesStayFinite) {
    Spline s;
    s.setKeyCount(4);
    s.addKey({0, 0, 0}, 1);
    s.addKey({5, 0, 0}, 1);
    s.addKey({9, 0, 0}, 1);
    s.addKey({10, 0, 0}, 2);
    s.prepare();
    for (float t : {0.0f, 1.0f, 1.5f, 2.0f, 3.0f}) {
        Vec3 v = s.evaluate(t);
        EXPECT_TRUE(std::isfinite(v.x)) << t;
    }
    expectVec(s.evaluate(2), {10, 0, 0});

    Spline flat; // every key at 0: loop with duration 0 must not divide either
    flat.setKeyCount(2);
    flat.addKey({1, 0, 0}, 0);
    flat.addKey({2, 0, 0}, 0);
    flat.prepare();
    flat.loop = 1;
    EXPECT_TRUE(std::isfinite(flat.evaluate(0.5f).x));
}

TEST(Spline, UnpreparedOrEmptySplinesAreHarmless) {
    Spline empty;
    expectVec(empty.evaluate(1), {0, 0, 0});
    Spline s;
    s.setKeyCount(3);
    s.addKey({0, 0, 0}, 0);
    s.addKey({1, 0, 0}, 1);
    s.addKey({2, 0, 0}, 2);
    s.addKey({3, 0, 0}, 3);                         // one more than sized for: ignored
    EXPECT_TRUE(std::isfinite(s.evaluate(1.5f).x)); // cursor still at the end of the keys
}

TEST(CameraPath, PlacesTheCameraOnTheEyeLookingAtTheTarget) {
    CameraPath path;
    path.eye.setKeyCount(2);
    path.eye.addKey({0, 0, -10}, 0);
    path.eye.addKey({0, 0, -20}, 1);
    path.target.setKeyCount(1);
    path.target.addKey({0, 0, 0}, 0);
    path.roll.setKeyCount(1);
    path.roll.addScalarKey(0, 0);
    path.prepare();
    Camera camera{};
    camera.init(nullptr, 0);
    path.apply(&camera, 0.5f);
    expectVec(camera.position, {0, 0, -15});
    expectVec(
        Vec3{camera.orientation.m[2][0], camera.orientation.m[2][1], camera.orientation.m[2][2]},
        {0, 0, 1});
}

} // namespace
