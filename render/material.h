// Material application: a Material's colours, render states and textures sent to the device.
// Every call applies everything again; there is no cache of the last material.
#pragma once

struct Material;

// Sets the device material, the lighting, shading, culling, blending and fill states, the
// texture stages the state block uses (the stage after them disabled) and their textures.
// The scene ambient comes from the last applyScene.
void applyMaterial(const Material* material);
