// Pieces of the render driver shared between its source files: the cell that holds a device
// texture, and the table operations defined outside render_driver.cpp.
#pragma once

#include "platform/gfx/gfx.h"
#include "scene/camera.h"

struct TextureImage;
struct RenderDriver;

// TextureImage::deviceTexture points at one of these once the texture exists on the device.
struct DeviceTextureCell {
    gfx::Texture* texture;
};

// The device texture of a record, or null.
gfx::Texture* deviceTextureOf(const TextureImage* texture);

int createTextureOp(TextureImage* texture, int flags);
int releaseTextureOp(TextureImage* texture, int flags);
int drawBlendQuadOp(RenderDriver* driver, TextureImage* a, TextureImage* b, int ignored,
                    float vertexShade, float factor, float zoomA, float zoomB);
int drawTextureQuadOp(RenderDriver* driver, TextureImage* texture);

// The projection last applied (for culling) and the scene ambient colour, packed.
extern Projection gCurrentProjection;
extern uint32_t gSceneAmbient;
