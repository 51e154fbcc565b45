// The Credits: the credits picture scrolls sideways as a relief of particle sources, a grid
// of emitter points on a tilted plane lifted and coloured by the picture's brightness, seen
// from a fixed camera. Nothing but the glowing particles is drawn, on black.
#pragma once

#include "demo/demo_part.h"
#include "scene/camera.h"
#include "scene/image.h"
#include "scene/particles.h"

#include <vector>

// One relief source: position, a float kept 0, colour (alpha, red, green, blue).
struct ReliefPoint {
    Vec3 position;
    float zero;
    ColorF colour;
};

// Relief grid: 60 columns across the view, 25 rows up the plane (the picture's top 25 rows).
constexpr int kReliefColumns = 60;
constexpr int kReliefRows = 25;
// Pixels the picture scrolls per second of local time.
constexpr float kReliefScrollRate = 34.0f;
// Capacity of the particle pool: 15000 alive in steady state, with a margin of 1500.
constexpr uint32_t kCreditsParticleCapacity = 16500;

// Emits from a random relief point, a little way up the plane, drifting with the scroll.
class ReliefEmitter final : public ParticleEmitter {
public:
    int spawn(float time, Vec3* position, Vec3* direction) override;
    void beforeStep(float, float, ParticleRecord&) override {}
    void afterStep(float, float, ParticleRecord&) override {}

    Vec3 baseDirection{0, 1, 0}; // set by the part; emission does not read it
    float speed = 0;
    float spread = 0;
    int columns = kReliefColumns;
    int rows = kReliefRows;
    std::vector<ReliefPoint> points; // row by row, front row first
    ParticleArray particles;
};

class CreditsPart final : public DemoPart {
public:
    explicit CreditsPart(float duration) : DemoPart(duration), creditsImage(1) {}
    int load() override;
    int render(float localTime, float deltaTime) override;
    int release() override { return 0; }

    // Lifts and colours the relief points for the picture scrolled by trunc(localTime x 34)
    // columns. Columns past the picture's width wrap round to its start; rows it lacks, and
    // a picture that could not be loaded, read as black.
    void updateRelief(float localTime);

    ReliefEmitter reliefEmitter;
    Image creditsImage; // "data\credits.jpg", format 30 (blue, green, red)
    Projection projection{};
    Camera camera{};
    Scene scene;
};
