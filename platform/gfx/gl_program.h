// Fixed-function emulation: the small value that says which GLSL program a draw needs (vertex
// layout, lighting, texture stages, fog, alpha test, coordinate wrapping) and the GLSL 3.30
// sources for it. Pure string building; compiling and caching are the GL device's.
#pragma once

#include "platform/gfx/device_base.h"

#include <cstddef>
#include <string>

namespace gfx::detail {

constexpr uint32_t kGlStages = 4; // stages the GL device runs (caps report 4)
constexpr uint32_t kGlLights = 8; // enabled lights the GL device runs (caps report 8)

// Vertex attribute locations.
constexpr uint32_t kAttribPosition = 0, kAttribNormal = 1, kAttribDiffuse = 2, kAttribSpecular = 3,
                   kAttribTexCoord0 = 4;

struct ProgramKey {
    // bit 0 pre-transformed, 1 normal, 2 diffuse, 3 specular, 4-7 coordinate sets,
    // 8 lighting, 9 specular enable, 10 normalise normals, 11 local viewer, 12 colour vertex,
    // 13-14 diffuse source, 15-16 specular source, 17-18 ambient source, 19-20 emissive source,
    // 21-24 enabled lights, 25 fog depth from the device z (table fog, affine projection)
    uint32_t vertex = 0;
    uint32_t lightTypes = 0; // two bits per enabled light: Direct3D light type
    // bit 0 flat, 1-4 alpha test function (0 = off), 5-6 fog mode, 7 fog from specular alpha,
    // 8-15 wrap bits of coordinate sets 0-3 (u, v), 16 triangles (wrap needs them)
    uint32_t pixel = 0;
    // per stage: colour then alpha, op | arg1 << 5 | arg2 << 11 | arg0 << 17 |
    // coordinate set << 23 | result to temp << 26
    uint32_t stage[kGlStages][2] = {};

    bool operator==(const ProgramKey& o) const;
};

// ProgramKey::pixel bit: the program wraps coordinates per triangle (a geometry stage that
// takes triangles only).
constexpr uint32_t kProgramWrapsTriangles = 1u << 16;

struct ProgramKeyHash {
    size_t operator()(const ProgramKey& k) const;
};

// The key for drawing with state s; triangles says the primitive has faces.
ProgramKey makeProgramKey(const DeviceState& s, bool triangles);

struct ProgramSources {
    std::string vertex, geometry, fragment; // geometry empty when not needed
};
ProgramSources generateProgram(const ProgramKey& key);

// std140 uniform block shared by every program (binding 0); matrices as Direct3D stores them.
struct Globals {
    float worldView[16];
    float projection[16];
    float normalMatrix[16];
    float materialDiffuse[4], materialAmbient[4], materialSpecular[4], materialEmissive[4];
    float ambient[4];   // render-state ambient
    float texFactor[4]; // texture factor
    float fogColour[4];
    float fogParams[4];   // start, end, density, alpha reference (0..255)
    float viewport[4];    // x, y, width, height in pixels of the target
    float pixelParams[4]; // 1 / width, 1 / height (half a pixel in NDC), specular power, 0
    float lightDiffuse[kGlLights][4];
    float lightSpecular[kGlLights][4];
    float lightAmbient[kGlLights][4];
    float lightDirection[kGlLights][4];   // towards the light, camera space, normalised
    float lightPosition[kGlLights][4];    // camera space
    float lightAttenuation[kGlLights][4]; // a0, a1, a2, range
};

// Fills the uniform block from the state; target size in pixels.
void fillGlobals(const DeviceState& s, Globals* g);

} // namespace gfx::detail
