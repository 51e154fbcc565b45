// Camera, projection and scene records, the smoothed flying-camera controller, and the small
// 3-vector and 3 x 3 matrix helpers they use. World space is left-handed, +z forward; an
// orientation matrix holds right, up and forward as its rows.
#pragma once

#include "app/color.h"

#include <cstdint>

struct FrameBuffer;
struct Material;
class TextureRegistry;

struct Vec3 {
    float x, y, z;
};

// Nine floats, row by row.
struct Mat3 {
    float m[3][3];
};

Vec3 operator+(Vec3 a, Vec3 b);
Vec3 operator-(Vec3 a, Vec3 b);
Vec3 operator*(Vec3 a, float s);
float dot(Vec3 a, Vec3 b);
Vec3 cross(Vec3 a, Vec3 b);
// Divides by the length (no zero check).
Vec3 normalise(Vec3 v);
// right = up x forward, normalised; up' = forward x right. A degenerate right gives
// (1, 0, 0) and up (0, 0, -1).
void makeBasis(Vec3 forward, Vec3 up, Vec3* right, Vec3* upOut);
Mat3 multiply(const Mat3& a, const Mat3& b);
Mat3 identity3();
// Ry(y) Rx(x) Rz(z), radians.
Mat3 eulerMatrix(float x, float y, float z);

struct Projection {
    float left, top, right, bottom; // viewport in pixels
    float initialLeft, initialTop, initialRight, initialBottom;
    float centreX, centreY; // written at apply
    float focalX, focalY;   // written at apply
    float nearPlane, farPlane;
    float fov; // horizontal, degrees
    float pixelAspect;
    FrameBuffer* frameBuffer;
    int mode; // bit 1: the viewport follows the current render target

    void init(FrameBuffer* frameBuffer, float fov, float nearPlane, float farPlane);
};

constexpr int kCameraLargeWorld = 1 << 0;

struct Camera {
    double positionD[3];
    Vec3 position;
    Mat3 orientation; // rows right, up, forward
    Projection* projection;
    int flags;

    void init(Projection* projection, int flags);
    void lookAt(Vec3 eye, Vec3 target, float roll);
};

// Read by the driver word by word: type, three unread words, direction, ambient, diffuse,
// attenuation, then the enabled byte.
struct SceneLight {
    uint32_t type; // 1 directional
    uint32_t unused[3];
    Vec3 direction;
    ColorF ambient;
    ColorF diffuse;
    float attenuation[3]; // constant, linear, quadratic
    uint8_t enabled;
    uint8_t padding[3];
};

// Scene flag bits.
constexpr uint32_t kSceneDepthTest = 1u << 0;
constexpr uint32_t kSceneDepthWrite = 1u << 1;
constexpr uint32_t kSceneBit2 = 1u << 2; // set at creation, never read
constexpr uint32_t kSceneBit3 = 1u << 3; // set by the Second part and the Tree, never read
constexpr uint32_t kSceneWrapU0 = 1u << 4;
constexpr uint32_t kSceneWrapU1 = 1u << 5;
// What a scene is created with (7).
constexpr uint32_t kSceneCreated = kSceneDepthTest | kSceneDepthWrite | kSceneBit2;

struct Scene {
    Camera* camera = nullptr;
    SceneLight* lights = nullptr;
    int lightCount = 0;
    uint32_t flags = kSceneCreated;
    Material* defaultMaterial = nullptr;
    ColorF ambient{0, 0, 0, 0};
    int fogMode = 0; // 1 linear table fog
    ColorF fogColour{0, 0, 0, 0};
    int unused = 0;
    float fogStart = 0, fogEnd = 0;
    TextureRegistry* registry = nullptr;

    Scene() = default;
    ~Scene() { delete[] lights; }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    void allocateLights(int n);
};

// Camera mover flag bits 0-2: smoothing on for a channel (setSmoothing's channel number).
constexpr int kMoverSmoothVelocity = 1 << 0;
constexpr int kMoverSmoothSecond = 1 << 1;
constexpr int kMoverSmoothTurn = 1 << 2;

struct CameraMover {
    float velocityRate = 0; // -1 / tau (flags bit 0)
    float secondRate = 0;   // -1 / tau (flags bit 1), not used by move
    float turnRate = 0;     // -1 / tau (flags bit 2)
    Vec3 thrust{0, 0, 0};   // desired velocity direction, camera axes
    Vec3 drift{0, 0, 0};    // displacement per move, camera axes, not scaled by dt
    Vec3 turn{0, 0, 0};     // desired Euler rates
    float speed = 1;
    float reserved = 1;
    float turnSpeed = 1;
    Vec3 velocity{0, 0, 0};
    Vec3 worldDrift{0, 0, 0};
    Vec3 angularVelocity{0, 0, 0};
    int flags = 0; // bits 0-2 smoothing channels; 3 mouse look; 4 ignore next mouse move

    void setSmoothing(int channel, float tau);
    void move(Camera* camera, float dt);
};
