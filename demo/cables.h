// Cables and greetings: ten glowing maze-textured tubes wound in a helix round one closed
// loop, particle clusters bouncing along them, a particle flow along the loop, the camera
// riding the first cable, and a staircase of greetings lit on the beats. No physics: the
// clusters are placed directly each frame; only the flow particles are simulated.
#pragma once

#include "demo/demo_part.h"
#include "demo/domino.h"
#include "render/grid_renderer.h"
#include "scene/camera.h"
#include "scene/particles.h"
#include "scene/spline.h"
#include "scene/trimesh.h"

#include <array>
#include <cstdint>

constexpr int kCableCount = 10;
// Keys per cable path, and rings of 16 vertices per cable tube.
constexpr int kCableKeys = 100;
constexpr int kCableRings = 801;
constexpr int kCableSides = 16;
constexpr int kLoopKeys = 14;
// 500 clusters of 20 particles travelling the cables.
constexpr int kStreamCount = 500;
constexpr int kStreamsPerCable = 20; // particles per cluster
constexpr uint32_t kStreamParticleCapacity = kStreamCount * kStreamsPerCable;
// The flow: 100 points on the loop; 5000 particles alive at once plus a margin of 500.
constexpr int kFlowPoints = 100;
constexpr uint32_t kFlowParticleCapacity = 5500;
constexpr int kBeatCount = 25;
constexpr int kGreetingLines = 26;
// Seed of the part's layout.
constexpr uint32_t kCablesSeed = 4919;

// One cluster: its particles, the cable it rides, where on it (0..1) and how fast (per s).
struct CableStream {
    int firstParticle;
    int cable;
    float position;
    float speed;
};

struct FlowPoint {
    float position; // 0..1 on the loop path
    float speed;    // path parameter per second
};

// Emits from random flow points along the loop path, in the direction of travel.
class FlowEmitter final : public ParticleEmitter {
public:
    int spawn(float time, Vec3* position, Vec3* direction) override;
    void beforeStep(float, float, ParticleRecord&) override {}
    void afterStep(float, float, ParticleRecord&) override {}
    // Moves every flow point on by its speed, wrapping round the loop.
    void advance(float deltaTime);

    // The emitter's own settings, filed with the part's values but not read by spawn.
    float directionScale = 0;
    float reserved = 0;
    float speed = 0;
    float spread = 0;
    Spline* loopPath = nullptr; // not owned
    std::array<FlowPoint, kFlowPoints> points{};
    ParticleArray particles;
};

// A beat window's state at some time: the beat (index) and a level falling from 1 to 0.
struct BeatLevel {
    int beat;
    float level;
};

class CablesPart final : public DemoPart {
public:
    explicit CablesPart(float duration);
    ~CablesPart() override;
    int load() override;
    int render(float localTime, float deltaTime) override;
    int release() override;

    // The latest beat whose window holds t, with its level; level 0 for none.
    static BeatLevel beatLevel(float t);
    // The greeting lines, top left first.
    static const char* greeting(int line);
    // Bounces the clusters at the cable ends and places their particles.
    void updateStreams(float deltaTime);

    Spline loopPath;
    Spline cablePaths[kCableCount];
    TriMesh cableMeshes[kCableCount];
    TriMeshObj cableObjects[kCableCount];
    ParticleArray streamParticles;
    int streamsPerCable = kStreamsPerCable;
    int streamCount = kStreamCount;
    uint32_t streamCapacity = kStreamParticleCapacity;
    std::array<CableStream, kStreamCount> streams{};
    FlowEmitter flowEmitter;
    CameraPath cameraRig;
    GridRenderer picture;
    Projection projection{};
    Camera camera{};
    Scene scene;
    FalloffParams falloff{};

private:
    void buildLoopPath();
    void buildCablePaths();
    void buildCableMeshes();
    void buildMazeTextures();
    void drawGreetings(const BeatLevel& beat);
};
