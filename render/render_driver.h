// RenderDriver: the table of rendering operations over the graphics device, plus the little
// shared render state (current target size, current scene, depth-surface cache, lights).
// Every drawing module reaches it through gDriver and calls the operations by name.
#pragma once

#include "app/color.h"

#include <cstdint>
#include <vector>

namespace gfx {
class Surface;
}
struct TriMesh;
struct TriMeshObj;
struct TextureImage;
struct Scene;

struct DepthSurfaceEntry {
    int32_t width;
    int32_t height;
    gfx::Surface* surface;
};

// Flag bits the driver adds to the application's driverBaseFlags (never read).
constexpr uint32_t kDriverBit0 = 1u << 0;
constexpr uint32_t kDriverBit1 = 1u << 1;

struct RenderDriver {
    virtual ~RenderDriver();
    // The three virtual operations, in slot order.
    virtual int setTextureFactor(const ColorF* colour);
    virtual int drawFactorOverlay();
    virtual int drawText(int x, int y, const char* text, const ColorF* colour, unsigned fontSize,
                         const char* fontName);

    uint32_t flags; // the application's driverBaseFlags with bits 0 and 1 set

    // The 17 operations, in table order.
    int (*resize)(int width, int height);
    int (*clearDepth)(float z);
    int (*createMeshBuffers)(TriMesh* mesh, int flags);
    int (*releaseMeshBuffers)(TriMesh* mesh, int flags);
    int (*createObjectHandle)(TriMeshObj* object, int flags);
    int (*releaseObjectHandle)(TriMeshObj* object, int flags);
    int (*drawObject)(TriMeshObj* object);
    int (*createTexture)(TextureImage* texture, int flags);
    int (*releaseTexture)(TextureImage* texture, int flags);
    int (*applyScene)(RenderDriver* driver, Scene* scene, int ignored);
    int (*beginScene)(RenderDriver* driver, Scene* scene);
    int (*endScene)(RenderDriver* driver);
    int (*setRenderTarget)(RenderDriver* driver, TextureImage* target);
    int (*restoreRenderTarget)(RenderDriver* driver);
    int (*drawBlendQuad)(RenderDriver* driver, TextureImage* a, TextureImage* b, int ignored,
                         float vertexShade, float factor, float zoomA, float zoomB);
    int (*drawTextureQuad)(RenderDriver* driver, TextureImage* texture);
    int (*clear)(RenderDriver* driver, const ColorF* colour);

    int32_t enabledLights = 0; // the most lights any scene has enabled so far
    std::vector<DepthSurfaceEntry> depthSurfaces;
    int32_t targetWidth = 0, targetHeight = 0;
    Scene* currentScene = nullptr;
};

// The driver every module draws through.
extern RenderDriver* gDriver;

// Stores the global pointer, flags, target size and the 17 operations; then restores the
// back buffer as the render target. Returns 0.
int fillTable(RenderDriver* driver);
// Nulls the operations from resize to drawBlendQuad.
void clearTable(RenderDriver* driver);
