// The emitter: steady-rate emission and its backlog, the jitter's draw order, ageing to the
// end of life, colour blending and fading.
#include "scene/particles.h"
#include "scene/rand.h"

#include <gtest/gtest.h>

namespace {

// Emits from a fixed point in a fixed direction.
class FixedEmitter final : public ParticleEmitter {
public:
    int spawn(float, Vec3* position, Vec3* direction) override {
        *position = {10, 20, 30};
        *direction = heading;
        ++spawned;
        return 0;
    }
    void beforeStep(float, float, ParticleRecord&) override { ++stepped; }
    void afterStep(float, float, ParticleRecord&) override {}

    Vec3 heading{1, 0, 0};
    int spawned = 0, stepped = 0;
};

int alive(const ParticleArray& pool) {
    int n = 0;
    for (const ParticleRecord& r : pool.records) {
        n += (r.flags & kParticleAlive) != 0 ? 1 : 0;
    }
    return n;
}

TEST(Emitter, SteadyStateFitsTheArrayAndABacklogIsPlacedInFlight) {
    FixedEmitter e;
    e.jitter = 0;
    e.speedFactor = 100;
    e.lifetime = 5;
    e.count = 5000;
    ParticleArray pool;
    pool.init(5500, 1);
    e.attach(&pool, kEmitFromSpawn);
    EXPECT_FLOAT_EQ(e.emitInterval, 0.001f);

    // A jump to 0.5 s emits the whole backlog; each particle is where it would be had it
    // flown since its own emission time.
    e.emit(0.5f);
    EXPECT_NEAR(e.spawned, 501, 1);
    const ParticleRecord& oldest = pool.records[5499];
    EXPECT_FLOAT_EQ(oldest.birthTime, 0.0f);
    EXPECT_NEAR(oldest.position.x, 10 + 100 * 0.5f, 1e-3);

    // At 60 frames a second about count particles stay alive and none is dropped.
    float t = 0.5f;
    for (int frame = 0; frame < 60 * 8; ++frame) {
        t += 1.0f / 60;
        e.emit(t);
        e.step(t, 1.0f / 60);
    }
    EXPECT_NEAR(alive(pool), 5000, 20);
}

TEST(Emitter, JitterDrawsZYXThenTheRandomSize) {
    FixedEmitter e;
    e.heading = {0, 0, 0};
    e.jitter = 1.0f;
    e.speedFactor = 1.0f;
    e.sizeMin = 10;
    e.sizeMax = 20;
    ParticleArray pool;
    pool.init(1, 1);
    e.attach(&pool, kEmitFromSpawn | kEmitRandomSize);
    demo_random::srand(1234);
    int r[4];
    for (int& x : r) {
        x = demo_random::rand();
    }
    demo_random::srand(1234);
    e.emit(0.0f);
    const ParticleRecord& p = pool.records[0];
    EXPECT_FLOAT_EQ(p.velocity.z, float(r[0]) / 32768.0f);
    EXPECT_FLOAT_EQ(p.velocity.y, float(r[1]) / 32768.0f);
    EXPECT_FLOAT_EQ(p.velocity.x, float(r[2]) / 32768.0f);
    EXPECT_FLOAT_EQ(p.size, 10 + float(r[3]) * 10 / 32768.0f);
}

TEST(Emitter, AParticleAsOldAsItsLifetimeIsSteppedOnceMore) {
    FixedEmitter e;
    ParticleArray pool;
    pool.init(2, 1);
    e.attach(&pool, kEmitShrink);
    ParticleRecord r{};
    r.birthTime = 1.0f;
    r.lifetime = 0.5f;
    r.velocity = {2, 0, 0};
    r.size = r.startSize = 8;
    const int slot = pool.acquire(r);
    e.step(1.5f, 0.25f); // age == lifetime: still moved
    EXPECT_NE(pool.records[slot].flags & kParticleAlive, 0u);
    EXPECT_FLOAT_EQ(pool.records[slot].position.x, 0.5f);
    EXPECT_FLOAT_EQ(pool.records[slot].size, 0.0f); // no life left
    e.step(1.5001f, 0.0001f);                       // past it: released, not moved
    EXPECT_EQ(pool.records[slot].flags & kParticleAlive, 0u);
    EXPECT_EQ(e.stepped, 1);
    EXPECT_EQ(pool.acquire(r), slot); // the freed slot is back on the stack
}

// Alpha after ageing one particle (start and end alpha 1) to a given fraction of its life.
ColorF colourAt(uint32_t flags, float ageFraction) {
    FixedEmitter e;
    e.fadeStart = 0.8f;
    ParticleArray pool;
    pool.init(1, 1);
    e.attach(&pool, flags);
    ParticleRecord r{};
    r.lifetime = 1.0f;
    r.startColour = {1.0f, 1.0f, 0.5f, 0.0f};
    r.endColour = {1.0f, 0.0f, 0.5f, 1.0f};
    pool.acquire(r);
    e.step(ageFraction, 0.01f);
    return pool.records[0].colour;
}

TEST(Emitter, Flags13NeverFadeAnd29FadeAfterFadeStart) {
    EXPECT_FLOAT_EQ(colourAt(13, 0.5f).r, 0.5f); // halfway from start to end
    EXPECT_FLOAT_EQ(colourAt(13, 0.5f).b, 0.5f);
    EXPECT_FLOAT_EQ(colourAt(13, 0.9f).a, 1.0f);
    EXPECT_FLOAT_EQ(colourAt(13, 1.0f).a, 1.0f);
    EXPECT_FLOAT_EQ(colourAt(29, 0.5f).a, 1.0f);
    EXPECT_NEAR(colourAt(29, 0.9f).a, 0.5f, 1e-5); // (1 - 0.9) / (1 - 0.8)
    EXPECT_NEAR(colourAt(29, 1.0f).a, 0.0f, 1e-6);
}

TEST(Emitter, ZeroLifetimeEmitsNothingInsteadOfSpinning) {
    FixedEmitter e;
    e.lifetime = 0;
    ParticleArray pool;
    pool.init(4, 1);
    e.attach(&pool, kEmitFromSpawn);
    e.emit(1.0f);
    EXPECT_EQ(e.spawned, 0);
}

} // namespace
