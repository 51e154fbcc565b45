// The GL device's state translation: Direct3D enumeration values to GL ones, the sampler
// key of a stage, and the record of the GL state last set, so that unchanged state is not
// sent again. Only the GL device files include this.
#pragma once

#include <GL/glcorearb.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace gfx::detail {

// Direct3D primitive type, blend factor, comparison, stencil operation and texture address
// mode as GL values.
GLenum primitiveMode(uint32_t type);
GLenum blendFactor(uint32_t b);
GLenum compareFunc(uint32_t c);
GLenum stencilOp(uint32_t op);
GLint addressMode(uint32_t a);

// Sampler parameters of one stage.
struct SamplerKey {
    uint32_t mag, min, mip, u, v, maxMip, border;
    bool operator==(const SamplerKey& o) const { return std::memcmp(this, &o, sizeof(*this)) == 0; }
};
struct SamplerKeyHash {
    size_t operator()(const SamplerKey& k) const {
        uint64_t h = 1469598103934665603ull;
        for (uint32_t w : {k.mag, k.min, k.mip, k.u, k.v, k.maxMip, k.border}) {
            h = (h ^ w) * 1099511628211ull;
        }
        return size_t(h);
    }
};

struct Program {
    GLuint name = 0;
};

// GL state as last set, so unchanged state is not sent again. ~0 means unknown.
struct AppliedState {
    int blend = -1;
    GLenum blendSrc = ~0u, blendDst = ~0u, blendEq = ~0u;
    int depthTest = -1, depthWrite = -1;
    GLenum depthFunc = ~0u;
    int cull = -1;
    GLenum cullFace = ~0u;
    GLenum polygonMode = ~0u;
    uint32_t colourMask = ~0u;
    int stencil = -1;
    GLenum stencilFunc = ~0u, sFail = ~0u, sZFail = ~0u, sPass = ~0u;
    GLint stencilRef = -1;
    GLuint stencilMask = 0, stencilWriteMask = 0;
    bool stencilKnown = false;
    GLint vp[4] = {-1, -1, -1, -1};
    float depthRange[2] = {-1.0f, -1.0f};
    GLuint program = ~0u;
    GLuint texture[kGlStages] = {~0u, ~0u, ~0u, ~0u};
    GLuint sampler[kGlStages] = {~0u, ~0u, ~0u, ~0u};
    GLuint drawFramebuffer = ~0u;
    // Vertex input last described to the vertex array.
    GLuint arrayBuffer = ~0u, elementBuffer = ~0u;
    uint32_t fvf = ~0u, stride = ~0u;
    uintptr_t base = ~uintptr_t(0);
    float pointSize = -1.0f;
};

} // namespace gfx::detail
