// A particle pool's device side: set-up with its vertex and index buffers, and drawing, where
// every alive record becomes a quad facing the current scene's camera, written into the
// pool's vertex buffer, then drawn one material group at a time. No depth sorting: quads go
// out in record order.
#include "app/demo_app.h"
#include "render/material.h"
#include "render/render_driver.h"
#include "scene/particles.h"

#include <algorithm>
#include <cstring>

namespace {

// Quad i uses vertices 4i .. 4i + 3 as the triangles (0, 1, 2) and (0, 2, 3).
template <class Index> void fillQuadIndices(Index* out, uint32_t quads) {
    for (uint32_t i = 0; i < quads; ++i) {
        Index base = Index(i * kVerticesPerQuad);
        Index* q = out + size_t(i) * kIndicesPerQuad;
        q[0] = base;
        q[1] = Index(base + 1);
        q[2] = Index(base + 2);
        q[3] = base;
        q[4] = Index(base + 2);
        q[5] = Index(base + 3);
    }
}

} // namespace

ParticleArray::~ParticleArray() = default;

int ParticleArray::init(uint32_t newCapacity, uint32_t newGroupCount) {
    capacity = newCapacity;
    records.assign(capacity, ParticleRecord{});
    freeSlots.resize(capacity);
    for (uint32_t i = 0; i < capacity; ++i) {
        freeSlots[i] = i;
    }
    vertexCount = kVerticesPerQuad * capacity;
    indexCount = kIndicesPerQuad * capacity;
    groupCount = newGroupCount;
    groupMaterials.assign(groupCount, nullptr);
    quadsWritten = 0;
    vertexBuffer.reset();
    indexBuffer.reset();

    gfx::Device* device = gApp != nullptr ? gApp->device : nullptr;
    if (device == nullptr || capacity == 0) {
        return 1;
    }
    uint32_t vertexBytes = vertexCount * vertexStride;
    if (device->createVertexBuffer(vertexBytes, 0, vertexFormat, gfx::D3DPOOL_MANAGED,
                                   vertexBuffer.put()) < 0) {
        vertexBuffer.reset();
        return 1;
    }
    uint8_t* data = nullptr;
    if (vertexBuffer->lock(0, 0, &data, 0) >= 0) {
        std::memset(data, 0, vertexBytes);
        vertexBuffer->unlock();
    }
    const bool wide = indexCount > kMax16BitIndexCount;
    const uint32_t indexBytes = indexCount * (wide ? 4u : 2u);
    if (device->createIndexBuffer(indexBytes, 0, wide ? gfx::D3DFMT_INDEX32 : gfx::D3DFMT_INDEX16,
                                  gfx::D3DPOOL_MANAGED, indexBuffer.put()) < 0) {
        indexBuffer.reset();
        return 1;
    }
    if (indexBuffer->lock(0, 0, &data, 0) < 0) {
        return 1;
    }
    if (wide) {
        fillQuadIndices(reinterpret_cast<uint32_t*>(data), capacity);
    } else {
        fillQuadIndices(reinterpret_cast<uint16_t*>(data), capacity);
    }
    indexBuffer->unlock();
    return 0;
}

namespace {

constexpr gfx::Matrix kIdentity{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

} // namespace

int ParticleArray::draw() {
    gfx::Device* device = gApp != nullptr ? gApp->device : nullptr;
    Scene* scene = gDriver != nullptr ? gDriver->currentScene : nullptr;
    // Buffers that could not be created, or no scene to face: nothing can be drawn.
    if (device == nullptr || scene == nullptr || scene->camera == nullptr || !vertexBuffer ||
        !indexBuffer) {
        return 1;
    }
    const Mat3& axes = scene->camera->orientation;
    const Vec3 right{axes.m[0][0], axes.m[0][1], axes.m[0][2]};
    const Vec3 up{axes.m[1][0], axes.m[1][1], axes.m[1][2]};

    uint8_t* bytes = nullptr;
    if (vertexBuffer->lock(0, 0, &bytes, gfx::D3DLOCK_DISCARD) < 0) {
        return 1;
    }
    auto* out = reinterpret_cast<ParticleVertex*>(bytes);
    uint32_t quads = 0;
    for (const ParticleRecord& r : records) {
        if ((r.flags & kParticleAlive) == 0) {
            continue;
        }
        const Vec3 c = r.position;
        const float s = r.size;
        const Vec3 sr{right.x * s, right.y * s, right.z * s};
        const Vec3 su{up.x * s, up.y * s, up.z * s};
        const uint32_t colour = packColour(r.colour);
        out[0] = {c.x - sr.x + su.x, c.y - sr.y + su.y, c.z - sr.z + su.z, colour, 0, 0};
        out[1] = {c.x - sr.x - su.x, c.y - sr.y - su.y, c.z - sr.z - su.z, colour, 0, 1};
        out[2] = {c.x + sr.x - su.x, c.y + sr.y - su.y, c.z + sr.z - su.z, colour, 1, 1};
        out[3] = {c.x + sr.x + su.x, c.y + sr.y + su.y, c.z + sr.z + su.z, colour, 1, 0};
        out += kVerticesPerQuad;
        ++quads;
    }
    vertexBuffer->unlock();
    quadsWritten = quads;

    device->setTransform(gfx::D3DTS_WORLD, &kIdentity);
    device->setVertexShader(vertexFormat);
    device->setIndices(indexBuffer.get(), 0);
    device->setStreamSource(0, vertexBuffer.get(), vertexStride);

    int result = 0;
    const uint32_t groups = std::max<uint32_t>(groupCount, 1);
    const uint32_t quadsPerGroup = quadsWritten / groups;
    for (uint32_t g = 0; g < groupCount; ++g) {
        applyMaterial(groupMaterials[g]);
        device->setRenderState(gfx::D3DRS_LIGHTING, 0);
        device->setRenderState(gfx::D3DRS_ZWRITEENABLE, 0);
        const uint32_t first = g * quadsPerGroup;
        const uint32_t n = g + 1 == groupCount ? quadsWritten - first : quadsPerGroup;
        if (n == 0) {
            continue; // a draw of no primitives is an invalid call
        }
        if (device->drawIndexedPrimitive(gfx::D3DPT_TRIANGLELIST, first * kVerticesPerQuad,
                                         n * kVerticesPerQuad, first * kIndicesPerQuad,
                                         n * 2) < 0) {
            result = 1;
        }
    }
    device->setRenderState(gfx::D3DRS_ZWRITEENABLE, (scene->flags & kSceneDepthWrite) != 0);
    device->setRenderState(gfx::D3DRS_LIGHTING, 1);
    return result;
}
