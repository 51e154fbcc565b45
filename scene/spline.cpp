// Kochanek-Bartels key splines. Keys that share a time are tolerated: the tangent weights
// fall back to even spacing and a zero-length segment jumps to its right key.
#include "scene/spline.h"

#include <cmath>

void Spline::setKeyCount(int n) {
    delete[] keys;
    keys = n > 0 ? new SplineKey[size_t(n)]() : nullptr;
    keyCount = n > 0 ? n : 0;
    cursor = 0;
}

void Spline::addKey(Vec3 value, float time) {
    if (cursor < 0 || cursor >= keyCount) {
        return;
    }
    keys[cursor] = SplineKey{time, value, 0, 0, 0, 0, 0, {0, 0, 0}, {0, 0, 0}};
    ++cursor;
}

void Spline::addScalarKey(float value, float time) {
    addKey(Vec3{value, 0, 0}, time);
}

namespace {

// t_a - t_b over t_c - t_d, or `even` (the value for evenly spaced keys) when the
// denominator is zero.
float timeRatio(float numerator, float denominator, float even) {
    return denominator != 0 ? numerator / denominator : even;
}

} // namespace

void Spline::prepare() {
    cursor = 0;
    int n = keyCount;
    if (n <= 0) {
        duration = 0;
        return;
    }
    SplineKey* k = keys;
    duration = int(k[n - 1].time);
    if (n > 2) {
        for (int i = 1; i <= n - 2; ++i) {
            const SplineKey& prev = k[i - 1];
            const SplineKey& next = k[i + 1];
            SplineKey& key = k[i];
            Vec3 d0 = key.value - prev.value;
            Vec3 d1 = next.value - key.value;
            float span = next.time - prev.time;
            float adjIn = 2 * timeRatio(key.time - prev.time, span, 0.5f);
            float adjOut = 2 * timeRatio(next.time - key.time, span, 0.5f);
            float m = std::fabs(key.continuity);
            adjIn = adjIn + m - adjIn * m;
            adjOut = adjOut + m - adjOut * m;
            float t = key.tension, c = key.continuity, b = key.bias;
            key.inTangent =
                (d0 * ((1 - t) * (1 - c) * (1 + b) / 2) + d1 * ((1 - t) * (1 + c) * (1 - b) / 2)) *
                adjIn;
            key.outTangent =
                (d0 * ((1 - t) * (1 + c) * (1 + b) / 2) + d1 * ((1 - t) * (1 - c) * (1 - b) / 2)) *
                adjOut;
        }
        float first = timeRatio(k[1].time - k[0].time, 2 * (k[2].time - k[0].time), 0.25f);
        k[0].outTangent = ((k[1].value - k[0].value) * 1.5f - (k[2].value - k[0].value) * first) *
                          (1 - k[0].tension);
        float last =
            timeRatio(k[n - 1].time - k[n - 2].time, 2 * (k[n - 1].time - k[n - 3].time), 0.25f);
        k[n - 1].inTangent =
            ((k[n - 1].value - k[n - 2].value) * 1.5f - (k[n - 1].value - k[n - 3].value) * last) *
            (1 - k[n - 1].tension);
    } else if (n == 2) {
        Vec3 chord = k[1].value - k[0].value;
        k[0].outTangent = chord * (1 - k[0].tension);
        k[1].inTangent = chord * (1 - k[1].tension);
    }
}

Vec3 Spline::evaluate(float time) {
    int n = keyCount;
    if (n <= 0 || keys == nullptr) {
        return Vec3{0, 0, 0};
    }
    if (n == 1) {
        return keys[0].value;
    }
    if (loop != 0 && duration != 0) {
        float d = float(duration);
        time = time - d * std::trunc(time / d);
    }
    if (cursor < 0 || cursor > n - 2 || time < keys[cursor].time) {
        cursor = 0;
    }
    while (cursor < n - 2 && time > keys[cursor + 1].time) {
        ++cursor;
    }
    const SplineKey& k0 = keys[cursor];
    const SplineKey& k1 = keys[cursor + 1];
    float span = k1.time - k0.time;
    float s = span != 0 ? (time - k0.time) / span : (time >= k1.time ? 1.0f : 0.0f);
    s = ease(s, k0.easeFrom, k1.easeTo);
    float s2 = s * s, s3 = s2 * s;
    float h1 = 2 * s3 - 3 * s2 + 1;
    float h2 = 3 * s2 - 2 * s3;
    float h3 = s3 - 2 * s2 + s;
    float h4 = s3 - s2;
    return k0.value * h1 + k1.value * h2 + k0.outTangent * h3 + k1.inTangent * h4;
}

float Spline::ease(float u, float a, float b) {
    float sum = a + b;
    if (sum == 0) {
        return u;
    }
    if (sum > 1) {
        a /= sum;
        b /= sum;
    }
    float k = 1 / (2 - a - b);
    // NOTE: a zero ease on one side skips that side's quadratic piece; it would divide by
    // zero for parameters outside 0..1 (extrapolation) and at u = 1 exactly.
    if (a != 0 && u < a) {
        return (k / a) * u * u;
    }
    if (b == 0 || u < 1 - b) {
        return k * (2 * u - a);
    }
    return 1 - (k / b) * (1 - u) * (1 - u);
}

void CameraPath::prepare() {
    eye.prepare();
    target.prepare();
    roll.prepare();
}

void CameraPath::apply(Camera* camera, float time) {
    float angle = roll.evaluateScalar(time);
    Vec3 at = target.evaluate(time);
    Vec3 from = eye.evaluate(time);
    camera->lookAt(from, at, angle);
}
