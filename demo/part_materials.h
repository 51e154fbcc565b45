// Material filing shared by the scenes: most of their materials are white colour blocks
// with one linear-filtered, wrapping texture stage on texture 0; only the stage's
// operations, the state flags and the texture differ.
#pragma once

#include "scene/texture_registry.h"

#include <cstdint>

struct Material;
struct MaterialColours;
struct TriMesh;
struct TriMeshObj;
struct RenderStateBlock;
struct TextureImage;

// Texture-stage argument codes of the material blocks.
constexpr uint32_t kArgFactor = 0, kArgDiffuse = 4, kArgTexture = 6, kArgCurrent = 7;

// State flags: lighting mode in bits 2-3, blending in bit 0, vertex colours in bit 8.
constexpr uint32_t kStatesUnlit = kStateUnlit;
constexpr uint32_t kStatesFlat = kStateFlatLighting;
constexpr uint32_t kStatesGouraud = kStateGouraudLighting;

struct StageSetup {
    uint32_t colourOp, colourArg1, colourArg2;
    uint32_t alphaOp, alphaArg1, alphaArg2;
};

// White ambient and diffuse, no emissive, no specular; blending source alpha over inverse
// source alpha when the flags ask for it; one stage as given.
void fillSingleStageBlocks(MaterialColours& colours, RenderStateBlock& states, uint32_t flags,
                           const StageSetup& stage);

// Acquires the material under name, points it at the blocks (copied by the registry) and
// the texture, and commits it.
Material* fileMaterial(const char* name, MaterialColours& colours, RenderStateBlock& states,
                       TextureImage* texture);

// Acquires the material under name, fills it as above with the texture, commits it.
Material* fileSingleStageMaterial(const char* name, uint32_t flags, const StageSetup& stage,
                                  TextureImage* texture);

// Acquires the texture under name and, the first time, makes it a size x size render target
// of the format (no pixels of its own).
TextureImage* renderTarget(const char* name, uint32_t size, uint32_t format);

// Reports a load failure at level 1 and asks the application to quit; loading goes on.
void reportAndQuit(const char* message);

// Creates the mesh's device buffers, then the object's handle; a failure is reported
// ("failed loading trimesh" / "failed loading trimeshobj") and the application asked to quit.
void uploadObject(TriMesh& mesh, TriMeshObj& object);

// A full-view overlay of the grey level at the given opacity (white for grey 1).
void drawOverlay(float alpha, float grey);
