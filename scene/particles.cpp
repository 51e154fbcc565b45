// The emitter's emission and ageing. The pool's set-up with its device buffers and its
// drawing are in the render driver (render/particle_draw.cpp), which owns the device side.
#include "scene/particles.h"

#include "scene/rand.h"

#include <cstring>

int ParticleEmitter::spawn(float time, Vec3* position, Vec3*) {
    return positionAt(time, position);
}

int ParticleEmitter::positionAt(float, Vec3*) {
    return 1;
}

void ParticleEmitter::setParameters(const EmitterParameters& p) {
    jitter = p.jitter;
    speedFactor = p.speedFactor;
    lifetime = p.lifetime;
    extra = p.extra;
    size = p.size;
    sizeMin = p.sizeMin;
    sizeMax = p.sizeMax;
    fadeStart = p.fadeStart;
    count = p.count;
    startColour = p.startColour;
    endColour = p.endColour;
}

void ParticleEmitter::attach(ParticleArray* target, uint32_t emitFlags) {
    array = target;
    flags = emitFlags;
    emitInterval = lifetime / float(count);
}

void ParticleEmitter::emit(float t) {
    // NOTE: a zero, negative or undefined interval (lifetime 0) would never move the emission
    // time forward; such an emitter emits nothing.
    if (!(emitInterval > 0.0f) || array == nullptr) {
        return;
    }
    while (nextEmitTime <= t) {
        Vec3 p{0, 0, 0};
        Vec3 d{0, 0, 0};
        if ((flags & kEmitFromSpawn) != 0) {
            spawn(nextEmitTime, &p, &d);
        } else {
            Vec3 later{0, 0, 0};
            positionAt(nextEmitTime, &p);
            positionAt(nextEmitTime + 0.001f, &later);
            d = normalise(later - p);
        }
        // The first draw is the z component, the second y, the third x.
        const float scale = jitter / 32768.0f;
        const float jz = float(demo_random::rand()) * scale;
        const float jy = float(demo_random::rand()) * scale;
        const float jx = float(demo_random::rand()) * scale;
        const Vec3 v = Vec3{d.x + jx, d.y + jy, d.z + jz} * speedFactor;

        ParticleRecord r{};
        r.position = p + v * (t - nextEmitTime);
        r.velocity = v;
        float s = size;
        if ((flags & kEmitRandomSize) != 0) {
            s = sizeMin + float(demo_random::rand()) * (sizeMax - sizeMin) / 32768.0f;
        }
        r.size = r.startSize = s;
        r.colour = r.startColour = startColour;
        r.endColour = endColour;
        r.birthTime = nextEmitTime;
        r.lifetime = lifetime;
        r.extra = extra;
        array->acquire(r);
        nextEmitTime += emitInterval;
    }
}

void ParticleEmitter::step(float t, float dt) {
    if (array == nullptr) {
        return;
    }
    const bool blend = (flags & kEmitBlendColour) != 0;
    const bool fade = blend && (flags & kEmitFadeAlpha) != 0;
    const bool shrink = (flags & kEmitShrink) != 0;
    ParticleRecord* records = array->records.data();
    const uint32_t n = array->capacity;
    for (uint32_t i = 0; i < n; ++i) {
        ParticleRecord& r = records[i];
        if ((r.flags & kParticleAlive) == 0) {
            continue;
        }
        const float age = t - r.birthTime;
        if (!(age <= r.lifetime)) {
            array->release(i);
            continue;
        }
        beforeStep(t, dt, r);
        r.position = r.position + r.velocity * dt;
        // Fraction of life left; a zero lifetime counts as fully spent.
        const float f = r.lifetime > 0.0f ? 1.0f - age / r.lifetime : 0.0f;
        if (blend) {
            const float e = 1.0f - f;
            r.colour.a = e * r.endColour.a + f * r.startColour.a;
            r.colour.r = e * r.endColour.r + f * r.startColour.r;
            r.colour.g = e * r.endColour.g + f * r.startColour.g;
            r.colour.b = e * r.endColour.b + f * r.startColour.b;
            if (fade && e > fadeStart) {
                r.colour.a = (1.0f - e) / (1.0f - fadeStart) * r.colour.a;
            }
        }
        if (shrink) {
            r.size = f * r.startSize;
        }
        afterStep(t, dt, r);
    }
}
