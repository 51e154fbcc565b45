// The Second part: a fogged field of 484 curved spikes with animated caustics laid over them,
// bubbles rising from twenty sources from 7.2 s, the whole 3D picture rendered into a large
// texture and shown through a gently wobbling grid, and from 15.5 s a keyed face video
// blended in, pulsing. A three-phase camera script flies over the field.
#pragma once

#include "demo/demo_part.h"
#include "media/video_texture.h"
#include "render/grid_renderer.h"
#include "scene/camera.h"
#include "scene/particles.h"
#include "scene/trimesh.h"

#include <array>
#include <memory>

struct TextureImage;

constexpr int kBubbleSources = 20;
constexpr uint32_t kBubbleCapacity = 5500;

// Spike field layout: 22 x 22 spikes, each a tube of 18 rings of 10 vertices.
constexpr int kSpikesPerSide = 22;
constexpr int kSpikeRings = 18;
constexpr int kSpikeSegments = 10;
constexpr uint32_t kSpikeVertices = kSpikeRings * kSpikeSegments;        // 180
constexpr uint32_t kSpikeFaces = (kSpikeRings - 1) * kSpikeSegments * 2; // 340
constexpr uint32_t kSpikeCount = kSpikesPerSide * kSpikesPerSide;        // 484
constexpr uint32_t kSpikeFieldVertices = kSpikeCount * kSpikeVertices;   // 87120
constexpr uint32_t kSpikeFieldFaces = kSpikeCount * kSpikeFaces;         // 164560

struct BubbleSource {
    Vec3 position;
    float speed; // units per second, 300 to 800
};

// Bubbles rise from one of twenty floor sources chosen at random, slightly tilted.
class BubbleEmitter final : public ParticleEmitter {
public:
    int spawn(float time, Vec3* position, Vec3* direction) override;
    void beforeStep(float, float, ParticleRecord&) override {}
    void afterStep(float, float, ParticleRecord&) override {}

    // The emitter's own settings: base direction, speed and spread (spawn uses the
    // sources' speeds and its own tilt instead).
    Vec3 baseDirection{0, 0, 0};
    float speed = 0;
    float spread = 0;
    std::array<BubbleSource, kBubbleSources> sources{};
    ParticleArray particles;
};

// Camera of the script at local time t: eye, target and roll.
struct CameraShot {
    Vec3 eye;
    Vec3 target;
    float roll;
};

class SecondPart final : public DemoPart {
public:
    explicit SecondPart(float duration) : DemoPart(duration) {}
    int load() override;
    int render(float localTime, float deltaTime) override;
    int release() override;

    // The camera script: a straight run over the field, a descending diagonal with roll
    // from 7.2 s, circling the field's centre from 15.5 s.
    static CameraShot cameraShot(float t);
    // Caustics animation frame (0..31) at t: 20 frames a second, wrapping.
    static int causticsFrame(float t);
    // Opacity of the face video at t (0 until 15.5 s).
    static float faceAlpha(float t);

    // Built by load; public for the tests.
    std::unique_ptr<TriMesh> spikesMesh;
    std::unique_ptr<TriMeshObj> spikesObject;
    BubbleEmitter bubbles;
    GridRenderer splinesGrid;
    GridRenderer causticsGrid;
    GridRenderer faceGrid;
    VideoTexture faceVideo;
    TextureImage* splinesTarget = nullptr;
    TextureImage* causticsTarget = nullptr;
    CameraMover mover;
    Projection projection{};
    Camera camera{};
    Scene scene;

private:
    void buildSpikes();
    void buildBubbles();
    void writeGrids(float t);
    void drawSpikeRowsNearestFirst();
};
