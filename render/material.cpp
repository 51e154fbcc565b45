// Applies a Material to the device: colours, states, stages and textures, all of them on
// every call. Texture-stage argument codes are the system's own and are mapped here.
#include "render/material.h"

#include "app/demo_app.h"
#include "render/driver_internal.h"
#include "scene/texture_registry.h"

namespace {

// At most this many stages are described by a state block.
constexpr uint32_t kMaxStages = 4;

gfx::ColorValue toDevice(const ColorF& c) {
    return gfx::ColorValue{c.r, c.g, c.b, c.a};
}

TextureImage* stageTexture(const Material* material, const RenderStateBlock& states,
                           uint32_t stage) {
    int32_t index = states.textureIndex[stage];
    if (index < 0 || uint32_t(index) >= states.textureCount) {
        return nullptr;
    }
    switch (index) {
    case 0:
        return material->texture;
    case 1:
        return material->secondTexture;
    default:
        return nullptr;
    }
}

} // namespace

void applyMaterial(const Material* material) {
    if (material == nullptr || material->colours == nullptr || material->states == nullptr) {
        return;
    }
    gfx::Device* dev = gApp->device;
    const MaterialColours& colours = *material->colours;
    const RenderStateBlock& states = *material->states;
    uint32_t lighting = states.flags & kStateLightingMask;

    gfx::Material m{};
    m.Diffuse = toDevice(colours.diffuse);
    m.Ambient = toDevice(colours.ambient);
    if ((colours.flags & kColoursSpecular) != 0) {
        m.Specular = toDevice(colours.specular);
        m.Power = colours.power;
    }
    // An unlit material shows its texture and vertex colours at full brightness.
    m.Emissive = lighting != 0 ? toDevice(colours.emissive) : gfx::ColorValue{1, 1, 1, 1};
    dev->setMaterial(&m);

    if (lighting != 0) {
        dev->setRenderState(gfx::D3DRS_AMBIENT, gSceneAmbient);
        dev->setRenderState(gfx::D3DRS_SHADEMODE, lighting == kStateFlatLighting
                                                      ? gfx::D3DSHADE_FLAT
                                                      : gfx::D3DSHADE_GOURAUD);
    } else {
        dev->setRenderState(gfx::D3DRS_AMBIENT, 0xFFFFFFFFu);
        dev->setRenderState(gfx::D3DRS_SHADEMODE, gfx::D3DSHADE_FLAT);
    }
    if ((states.flags & kStateVertexDiffuse) != 0) {
        dev->setRenderState(gfx::D3DRS_COLORVERTEX, 1);
        dev->setRenderState(gfx::D3DRS_DIFFUSEMATERIALSOURCE, gfx::D3DMCS_COLOR1);
        dev->setRenderState(gfx::D3DRS_LIGHTING, 0);
    } else {
        dev->setRenderState(gfx::D3DRS_DIFFUSEMATERIALSOURCE, gfx::D3DMCS_MATERIAL);
        dev->setRenderState(gfx::D3DRS_LIGHTING, 1);
        dev->setRenderState(gfx::D3DRS_COLORVERTEX, 0);
    }
    dev->setRenderState(gfx::D3DRS_CULLMODE, (states.flags & kStateNoCulling) != 0
                                                 ? gfx::D3DCULL_NONE
                                                 : gfx::D3DCULL_CW);
    if ((states.flags & kStateAlphaBlend) != 0) {
        dev->setRenderState(gfx::D3DRS_ALPHABLENDENABLE, 1);
        dev->setRenderState(gfx::D3DRS_SRCBLEND, states.sourceBlend);
        dev->setRenderState(gfx::D3DRS_DESTBLEND, states.destinationBlend);
    } else {
        dev->setRenderState(gfx::D3DRS_ALPHABLENDENABLE, 0);
    }

    uint32_t stageCount = states.stageCount < kMaxStages ? states.stageCount : kMaxStages;
    for (uint32_t s = 0; s < stageCount; ++s) {
        const StageSampling& sampling = states.stages[s];
        dev->setTextureStageState(s, gfx::D3DTSS_MAGFILTER, sampling.magFilter);
        dev->setTextureStageState(s, gfx::D3DTSS_MINFILTER, sampling.minFilter);
        dev->setTextureStageState(s, gfx::D3DTSS_MIPFILTER, sampling.mipFilter);
        dev->setTextureStageState(s, gfx::D3DTSS_MAXMIPLEVEL, sampling.maxMipLevel);
        dev->setTextureStageState(s, gfx::D3DTSS_MAXANISOTROPY, sampling.maxAnisotropy);
        dev->setTextureStageState(s, gfx::D3DTSS_TEXCOORDINDEX, sampling.texCoordIndex);
        dev->setTextureStageState(s, gfx::D3DTSS_ADDRESSU, sampling.addressU);
        dev->setTextureStageState(s, gfx::D3DTSS_ADDRESSV, sampling.addressV);
        dev->setTextureStageState(s, gfx::D3DTSS_COLORARG1, textureArgument(states.colourArg1[s]));
        dev->setTextureStageState(s, gfx::D3DTSS_COLORARG2, textureArgument(states.colourArg2[s]));
        dev->setTextureStageState(s, gfx::D3DTSS_COLOROP, states.colourOp[s]);
        dev->setTextureStageState(s, gfx::D3DTSS_ALPHAARG1, textureArgument(states.alphaArg1[s]));
        dev->setTextureStageState(s, gfx::D3DTSS_ALPHAARG2, textureArgument(states.alphaArg2[s]));
        dev->setTextureStageState(s, gfx::D3DTSS_ALPHAOP, states.alphaOp[s]);
    }
    dev->setTextureStageState(stageCount, gfx::D3DTSS_COLOROP, gfx::D3DTOP_DISABLE);
    dev->setRenderState(gfx::D3DRS_FILLMODE, (states.flags & kStateWireframe) != 0
                                                 ? gfx::D3DFILL_WIREFRAME
                                                 : gfx::D3DFILL_SOLID);

    for (uint32_t s = 0; s < stageCount; ++s) {
        TextureImage* texture = stageTexture(material, states, s);
        dev->setTexture(s, texture != nullptr ? deviceTextureOf(texture) : nullptr);
    }
}
