// Key splines: timed keys of a three-component value evaluated as Kochanek-Bartels (tension,
// continuity, bias) cubic Hermite curves with per-key ease in/out and an optional loop, and
// the camera path made of three of them. Times outside the keys are extrapolated, not clamped.
#pragma once

#include "scene/camera.h"

#include <cstdint>

struct SplineKey {
    float time; // keys in increasing time
    Vec3 value;
    float tension, continuity, bias;
    float easeTo;    // ease when arriving at this key
    float easeFrom;  // ease when leaving this key
    Vec3 inTangent;  // used by the segment ending here
    Vec3 outTangent; // used by the segment starting here
};

struct Spline {
    int keyCount = 0;
    int cursor = 0;   // next key to add; after prepare, the segment of the last evaluation
    int duration = 0; // the last key's time, truncated
    uint16_t loop = 0;
    SplineKey* keys = nullptr;

    Spline() = default;
    ~Spline() { delete[] keys; }
    Spline(const Spline&) = delete;
    Spline& operator=(const Spline&) = delete;

    // Drops the previous keys and makes room for n (contents undefined until added).
    void setKeyCount(int n);
    // Fills the next key; every other parameter 0. Keys beyond keyCount are ignored.
    void addKey(Vec3 value, float time);
    void addScalarKey(float value, float time);
    // Tangents of every key, duration, cursor back to 0.
    void prepare();
    Vec3 evaluate(float time);
    float evaluateScalar(float time) { return evaluate(time).x; }
    // Remaps the segment parameter u for the ease out of the left key (easeFrom) and into
    // the right key (easeTo).
    static float ease(float u, float easeFrom, float easeTo);
};

// eye and target positions and the roll angle (radians) of a keyframed camera.
struct CameraPath {
    Spline eye;
    Spline target;
    Spline roll;

    void prepare();
    void apply(Camera* camera, float time);
};
