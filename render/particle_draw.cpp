// Drawing a particle pool: every alive record becomes a quad facing the current scene's
// camera, written into the pool's vertex buffer, then drawn one material group at a time.
// No depth sorting: quads go out in record order.
#include "app/demo_app.h"
#include "render/material.h"
#include "render/render_driver.h"
#include "scene/particles.h"

#include <algorithm>

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
