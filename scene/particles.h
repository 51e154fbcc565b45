// Particle pools and steady-rate emitters. A ParticleArray is a fixed-capacity pool of
// particle records with a free-slot stack, drawn as camera-facing quads from one vertex
// buffer rewritten per draw (draw lives with the render driver). A ParticleEmitter feeds an
// array at a steady rate from positions its subclass supplies and ages the particles.
#pragma once

#include "app/color.h"
#include "platform/gfx/gfx.h"
#include "scene/camera.h"

#include <cstdint>
#include <vector>

struct Material;

// Record flag bits (word 26).
constexpr uint32_t kParticleAlive = 1u << 0;

// One particle: 28 words of 32 bits.
struct ParticleRecord {
    Vec3 position;      // the drawn centre, world units
    Vec3 velocity;      // world units per second
    Vec3 owner;         // free for the owner (a local position, for example)
    ColorF colour;      // current colour
    ColorF startColour; // colour at birth
    ColorF endColour;   // colour at the end of life
    float size;         // current half edge of the quad, world units
    float startSize;    // half edge at birth
    float birthTime;    // seconds of emitter time
    float lifetime;     // seconds
    float extra;        // copied from the emitter; not read by the particle code
    uint32_t flags;     // kParticleAlive
    uint32_t ownerWord; // free for the owner (a graph node index, for example)
};
static_assert(sizeof(ParticleRecord) == 28 * 4);

// One drawn vertex: position, packed ARGB colour, one texture-coordinate set.
struct ParticleVertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(ParticleVertex) == 24);

// Each quad has four vertices and two triangles of three indices.
constexpr uint32_t kVerticesPerQuad = 4;
constexpr uint32_t kIndicesPerQuad = 6;
// Indices fit in 16 bits while 6 x capacity does not pass the largest 16-bit value.
constexpr uint32_t kMax16BitIndexCount = 65535;

class ParticleArray {
public:
    ParticleArray() = default;
    ~ParticleArray();
    ParticleArray(const ParticleArray&) = delete;
    ParticleArray& operator=(const ParticleArray&) = delete;

    // Zeroed records, the free-slot stack 0 .. capacity - 1 (capacity - 1 on top), groupCount
    // null materials, and the device buffers (when a device exists). 0, or 1 when a buffer
    // could not be created (the array then keeps its pool but draws nothing). Defined with
    // draw in the render driver (render/particle_draw.cpp).
    int init(uint32_t capacity, uint32_t groupCount);
    // Copies the record into the most recently freed slot and marks it alive; the slot's
    // index, or -1 (nothing copied) when the pool is full.
    int acquire(const ParticleRecord& record) {
        if (freeSlots.empty()) {
            return -1;
        }
        uint32_t index = freeSlots.back();
        freeSlots.pop_back();
        ParticleRecord& slot = records[index];
        slot = record;
        slot.flags |= kParticleAlive;
        return int(index);
    }
    // Clears the alive bit and frees the slot. A slot that is not alive (or not in the pool)
    // is left alone, so a second release cannot put one slot on the stack twice.
    void release(uint32_t index) {
        if (index >= capacity || (records[index].flags & kParticleAlive) == 0) {
            return;
        }
        records[index].flags &= ~kParticleAlive;
        freeSlots.push_back(index);
    }
    // Writes the alive particles as quads facing the current scene's camera and draws them,
    // one call per material group. 0, or 1 when there is nothing to draw with.
    int draw();

    uint32_t capacity = 0;
    std::vector<ParticleRecord> records;
    std::vector<uint32_t> freeSlots; // top of the stack at the back
    uint32_t vertexFormat = gfx::D3DFVF_XYZ | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1;
    uint32_t vertexCount = 0; // 4 x capacity
    uint32_t indexCount = 0;  // 6 x capacity
    uint32_t vertexStride = sizeof(ParticleVertex);
    uint32_t groupCount = 0;
    std::vector<Material*> groupMaterials; // set by the owner after init
    gfx::Ref<gfx::VertexBuffer> vertexBuffer;
    gfx::Ref<gfx::IndexBuffer> indexBuffer;
    uint32_t quadsWritten = 0; // by the last draw
};

// Emitter flag bits.
constexpr uint32_t kEmitFromSpawn = 1u << 0;   // position and direction from spawn
constexpr uint32_t kEmitShrink = 1u << 1;      // size shrinks with age
constexpr uint32_t kEmitBlendColour = 1u << 2; // colour blends from start to end colour
constexpr uint32_t kEmitRandomSize = 1u << 3;  // size drawn in [sizeMin, sizeMax)
constexpr uint32_t kEmitFadeAlpha = 1u << 4;   // alpha fades after fadeStart (with bit 2)

// The run of emitter fields the scenes set in one go, in field order.
struct EmitterParameters {
    float jitter;
    float speedFactor;
    float lifetime;
    float extra;
    float size;
    float sizeMin;
    float sizeMax;
    float fadeStart;
    uint32_t count;
    ColorF startColour;
    ColorF endColour;
};

class ParticleEmitter {
public:
    ParticleEmitter() = default;
    virtual ~ParticleEmitter() = default;
    ParticleEmitter(const ParticleEmitter&) = delete;
    ParticleEmitter& operator=(const ParticleEmitter&) = delete;

    // Where and in which direction a particle emitted at `time` starts; 0 when produced.
    // The base forwards to positionAt. A subclass may also set startColour and endColour
    // here: emit reads them after this call.
    virtual int spawn(float time, Vec3* position, Vec3* direction);
    // Where the source is at `time`; 0 when produced. The base produces nothing (1).
    virtual int positionAt(float time, Vec3* position);
    virtual void beforeStep(float time, float delta, ParticleRecord& record) = 0;
    virtual void afterStep(float time, float delta, ParticleRecord& record) = 0;

    void setParameters(const EmitterParameters& p);
    // Stores both and sets emitInterval = lifetime / count (count particles alive at once).
    void attach(ParticleArray* target, uint32_t emitFlags);
    // Emits every particle due up to emitter time t; a full array drops them silently.
    void emit(float t);
    // Ages every alive particle to emitter time t over the frame delta dt.
    void step(float t, float dt);

    float jitter = 0.3f;        // amplitude of the random part of every direction
    float speedFactor = 200.0f; // velocity = (direction + jitter vector) x speedFactor
    float nextEmitTime = 0.0f;  // seconds of emitter time
    float emitInterval = 0.001f;
    float lifetime = 2.0f; // seconds
    float extra = 0.0f;    // copied into each record's extra word
    float size = 5.0f;     // half edge when sizes are not random
    float sizeMin = 0.0f;
    float sizeMax = 0.0f;
    float fadeStart = 0.0f; // age fraction 0..1 after which alpha fades
    uint32_t count = 1000;  // particles alive at once in steady state
    ColorF startColour{0.0f, 0.15f, 0.4f, 0.15f};
    ColorF endColour{0.0f, 0.0f, 0.0f, 0.0f};
    ParticleArray* array = nullptr;
    uint32_t flags = 0; // kEmit* bits
};
