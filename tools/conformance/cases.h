// The conformance cases: small draws through the device interface into a 64 x 64 target,
// each read back as one picture. The same table runs on the OpenGL device (Linux) and the
// Direct3D 8 device (Windows build); the pictures are compared outside (scripts/conformance.sh).
// Every case sets the states it relies on from a fixed baseline, so cases do not depend on
// their order.
#pragma once

#include "platform/gfx/gfx.h"

#include <functional>
#include <string>
#include <vector>

struct Material;

namespace conformance {

constexpr uint32_t kTargetSize = 64;

// What a case draws with: the device and the target it reads back.
struct Context {
    gfx::Device* dev = nullptr;
    gfx::Ref<gfx::Texture> target;        // kTargetSize square render target
    gfx::Ref<gfx::Surface> targetSurface; // its level 0
    gfx::Ref<gfx::Surface> depth;         // kTargetSize square D24S8
    gfx::Ref<gfx::Texture> pattern;       // 64 x 64 gradient and checker, full mip chain
    gfx::Ref<gfx::Texture> detail;        // 16 x 16 second-stage texture
};

struct Case {
    std::string name;
    std::function<bool(Context&)> draw; // false when a call the case relies on failed
};

// Creates the target, its depth surface and the shared textures; false with a message.
bool prepare(Context& ctx, std::string* error);

// Every case that needs only the device (filters, address modes, centres, targets, clears,
// formats, stage ops, culling, shading, fill, alpha test, fog, the text state block).
std::vector<Case> deviceCases();

// One case per material: the material applied exactly as the scenes apply it, drawn on a lit
// sphere with vertex colours in front of a background of both windings. The case keeps the
// pointer; the material must outlive the case.
Case materialCase(const std::string& name, const Material* material);

// Resets every state the cases touch to the baseline and binds the target with its depth.
void baseline(Context& ctx);

// A file-name-safe form of a registry name ("data\logo.jpg" -> "data_logo_jpg").
std::string safeName(const std::string& name);

} // namespace conformance
