#include "demo/part_materials.h"

#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "demo/sequencer.h"
#include "platform/gfx/gfx.h"
#include "render/render_driver.h"
#include "scene/texture_registry.h"
#include "scene/trimesh.h"

void fillSingleStageBlocks(MaterialColours& colours, RenderStateBlock& states, uint32_t flags,
                           const StageSetup& stage) {
    colours = MaterialColours{};
    colours.ambient = {1, 1, 1, 1};
    colours.diffuse = {1, 1, 1, 1};
    colours.emissive = {0, 0, 0, 0};
    states = RenderStateBlock{};
    states.flags = flags;
    states.sourceBlend = gfx::D3DBLEND_SRCALPHA;
    states.destinationBlend = gfx::D3DBLEND_INVSRCALPHA;
    states.stageCount = 1;
    states.textureIndex[0] = 0;
    states.textureIndex[1] = states.textureIndex[2] = states.textureIndex[3] = -1;
    states.colourOp[0] = stage.colourOp;
    states.colourArg1[0] = stage.colourArg1;
    states.colourArg2[0] = stage.colourArg2;
    states.alphaOp[0] = stage.alphaOp;
    states.alphaArg1[0] = stage.alphaArg1;
    states.alphaArg2[0] = stage.alphaArg2;
    StageSampling& s = states.stages[0];
    s.texCoordIndex = 0;
    s.addressU = s.addressV = gfx::D3DTADDRESS_WRAP;
    s.magFilter = s.minFilter = s.mipFilter = gfx::D3DTEXF_LINEAR;
    s.maxMipLevel = 0;
    s.maxAnisotropy = 1;
    states.textureCount = 1;
}

Material* fileMaterial(const char* name, MaterialColours& colours, RenderStateBlock& states,
                       TextureImage* texture) {
    int existed = 0;
    Material* material = gRegistry->acquireMaterial(&existed, makeKey(name));
    material->colours = &colours;
    material->states = &states;
    material->texture = texture;
    material->secondTexture = nullptr;
    gRegistry->commitMaterial(*material);
    return material;
}

Material* fileSingleStageMaterial(const char* name, uint32_t flags, const StageSetup& stage,
                                  TextureImage* texture) {
    MaterialColours colours;
    RenderStateBlock states;
    fillSingleStageBlocks(colours, states, flags, stage);
    return fileMaterial(name, colours, states, texture);
}

void reportAndQuit(const char* message) {
    if (gLogger != nullptr) {
        gLogger->report(1, message);
    }
    gApp->services.quit(0);
}

void uploadObject(TriMesh& mesh, TriMeshObj& object) {
    if (gDriver->createMeshBuffers(&mesh, 0) != 0) {
        reportAndQuit("failed loading trimesh");
    } else if (gDriver->createObjectHandle(&object, 0) != 0) {
        reportAndQuit("failed loading trimeshobj");
    }
}

void drawOverlay(float alpha, float grey) {
    const ColorF c{alpha, grey, grey, grey};
    gDriver->setTextureFactor(&c);
    gDriver->drawFactorOverlay();
}

TextureImage* renderTarget(const char* name, uint32_t size, uint32_t format) {
    int existed = 0;
    TextureImage* t = gRegistry->acquireTexture(&existed, makeKey(name));
    if (existed == 0 && t->allocate(size, size, format, 0) == 0) {
        t->freePixels(); // a target has no picture to upload
        t->flags |= kTextureRenderTarget;
    }
    return t;
}
