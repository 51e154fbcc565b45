// Full-view quads drawn with pre-transformed vertices: a texture, a blend of one or two
// textures with zoom, and the translucent texture-factor overlay used for fades and flashes.
#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "render/driver_internal.h"
#include "render/render_driver.h"
#include "scene/texture_registry.h"

namespace {

struct QuadVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u0, v0, u1, v1;
};
static_assert(sizeof(QuadVertex) == 36);

constexpr uint32_t kQuadFvf = gfx::D3DFVF_XYZRHW | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX2;

// The quad covers the current scene's projection rectangle (the target when there is none).
void quadCorners(const RenderDriver* driver, QuadVertex v[4]) {
    float left = 0, top = 0, right = float(driver->targetWidth),
          bottom = float(driver->targetHeight);
    if (driver->currentScene != nullptr && driver->currentScene->camera != nullptr &&
        driver->currentScene->camera->projection != nullptr) {
        const Projection* p = driver->currentScene->camera->projection;
        left = p->left;
        top = p->top;
        right = p->right;
        bottom = p->bottom;
    }
    v[0] = {left, top, 0, 1, 0xFFFFFFFFu, 0, 0, 0, 0};
    v[1] = {right, top, 0, 1, 0xFFFFFFFFu, 1, 0, 1, 0};
    v[2] = {right, bottom, 0, 1, 0xFFFFFFFFu, 1, 1, 1, 1};
    v[3] = {left, bottom, 0, 1, 0xFFFFFFFFu, 0, 1, 0, 1};
}

// Draws the fan with the common frame around it: solid, no depth, no lighting, no culling.
void drawQuad(const RenderDriver* driver, const QuadVertex v[4]) {
    gfx::Device* dev = gApp->device;
    uint32_t cull = gfx::D3DCULL_CCW;
    dev->getRenderState(gfx::D3DRS_CULLMODE, &cull);
    dev->setRenderState(gfx::D3DRS_FILLMODE, gfx::D3DFILL_SOLID);
    checkResult(__FILE__, __LINE__, dev->setVertexShader(kQuadFvf));
    checkResult(__FILE__, __LINE__, dev->setRenderState(gfx::D3DRS_ZENABLE, gfx::D3DZB_FALSE));
    dev->setRenderState(gfx::D3DRS_LIGHTING, 0);
    dev->setRenderState(gfx::D3DRS_CULLMODE, gfx::D3DCULL_NONE);
    dev->drawPrimitiveUP(gfx::D3DPT_TRIANGLEFAN, 2, v, sizeof(QuadVertex));
    dev->setRenderState(gfx::D3DRS_CULLMODE, cull);
    dev->setRenderState(gfx::D3DRS_LIGHTING, 1);
    uint32_t depth =
        driver->currentScene != nullptr ? (driver->currentScene->flags & kSceneDepthTest) : 0u;
    checkResult(__FILE__, __LINE__, dev->setRenderState(gfx::D3DRS_ZENABLE, depth));
}

void stage(gfx::Device* dev, uint32_t s, uint32_t colourOp, uint32_t colourArg1,
           uint32_t colourArg2, uint32_t alphaOp, uint32_t alphaArg1) {
    dev->setTextureStageState(s, gfx::D3DTSS_COLOROP, colourOp);
    dev->setTextureStageState(s, gfx::D3DTSS_COLORARG1, colourArg1);
    dev->setTextureStageState(s, gfx::D3DTSS_COLORARG2, colourArg2);
    dev->setTextureStageState(s, gfx::D3DTSS_ALPHAOP, alphaOp);
    dev->setTextureStageState(s, gfx::D3DTSS_ALPHAARG1, alphaArg1);
}

uint32_t replicate(float value) {
    uint32_t b = uint32_t(int32_t(value * 255.0f)) & 0xFFu;
    return b * 0x01010101u;
}

} // namespace

int drawTextureQuadOp(RenderDriver* driver, TextureImage* texture) {
    gfx::Device* dev = gApp->device;
    QuadVertex v[4];
    quadCorners(driver, v);
    dev->setTexture(0, deviceTextureOf(texture));
    stage(dev, 0, gfx::D3DTOP_SELECTARG1, gfx::D3DTA_TEXTURE, gfx::D3DTA_CURRENT,
          gfx::D3DTOP_DISABLE, gfx::D3DTA_TEXTURE);
    dev->setTextureStageState(0, gfx::D3DTSS_TEXCOORDINDEX, 0);
    dev->setTextureStageState(1, gfx::D3DTSS_COLOROP, gfx::D3DTOP_DISABLE);
    dev->setRenderState(gfx::D3DRS_ALPHABLENDENABLE, 0);
    drawQuad(driver, v);
    return 0;
}

int RenderDriver::drawFactorOverlay() {
    gfx::Device* dev = gApp->device;
    QuadVertex v[4];
    quadCorners(this, v);
    dev->setTexture(0, nullptr);
    stage(dev, 0, gfx::D3DTOP_SELECTARG1, gfx::D3DTA_TFACTOR, gfx::D3DTA_CURRENT,
          gfx::D3DTOP_SELECTARG1, gfx::D3DTA_TFACTOR);
    dev->setTextureStageState(1, gfx::D3DTSS_COLOROP, gfx::D3DTOP_DISABLE);
    dev->setRenderState(gfx::D3DRS_ALPHABLENDENABLE, 1);
    dev->setRenderState(gfx::D3DRS_SRCBLEND, gfx::D3DBLEND_SRCALPHA);
    dev->setRenderState(gfx::D3DRS_DESTBLEND, gfx::D3DBLEND_INVSRCALPHA);
    drawQuad(this, v);
    return 0;
}

int drawBlendQuadOp(RenderDriver* driver, TextureImage* a, TextureImage* b, int, float vertexShade,
                    float factor, float zoomA, float zoomB) {
    gfx::Device* dev = gApp->device;
    QuadVertex v[4];
    quadCorners(driver, v);
    uint32_t shade = replicate(vertexShade);
    float a0 = 0.5f - 0.5f / zoomA, a1 = 0.5f + 0.5f / zoomA;
    float b0 = 0.5f - 0.5f / zoomB, b1 = 0.5f + 0.5f / zoomB;
    const float ua[4] = {a0, a1, a1, a0}, va[4] = {a0, a0, a1, a1};
    const float ub[4] = {b0, b1, b1, b0}, vb[4] = {b0, b0, b1, b1};
    for (int i = 0; i < 4; ++i) {
        v[i].diffuse = shade;
        v[i].u0 = ua[i];
        v[i].v0 = va[i];
        v[i].u1 = ub[i];
        v[i].v1 = vb[i];
    }
    dev->setRenderState(gfx::D3DRS_TEXTUREFACTOR, replicate(factor));
    if (b != nullptr) {
        if ((a->flags & kTextureCreated) == 0 || (b->flags & kTextureCreated) == 0) {
            return 1;
        }
        dev->setTexture(0, deviceTextureOf(a));
        dev->setTexture(1, deviceTextureOf(b));
        stage(dev, 0, gfx::D3DTOP_MODULATE, gfx::D3DTA_TEXTURE, gfx::D3DTA_DIFFUSE,
              gfx::D3DTOP_SELECTARG1, gfx::D3DTA_TFACTOR);
        dev->setTextureStageState(0, gfx::D3DTSS_TEXCOORDINDEX, 0);
        stage(dev, 1, gfx::D3DTOP_MODULATEALPHA_ADDCOLOR, gfx::D3DTA_CURRENT, gfx::D3DTA_TEXTURE,
              gfx::D3DTOP_SELECTARG1, gfx::D3DTA_CURRENT);
        dev->setTextureStageState(1, gfx::D3DTSS_TEXCOORDINDEX, 1);
        dev->setTextureStageState(2, gfx::D3DTSS_COLOROP, gfx::D3DTOP_DISABLE);
        dev->setRenderState(gfx::D3DRS_ALPHABLENDENABLE, 0);
    } else {
        if ((a->flags & kTextureCreated) == 0) {
            return 1;
        }
        dev->setTexture(0, deviceTextureOf(a));
        stage(dev, 0, gfx::D3DTOP_SELECTARG1, gfx::D3DTA_TEXTURE, gfx::D3DTA_CURRENT,
              gfx::D3DTOP_SELECTARG1, gfx::D3DTA_TFACTOR);
        dev->setTextureStageState(0, gfx::D3DTSS_TEXCOORDINDEX, 0);
        dev->setTextureStageState(1, gfx::D3DTSS_COLOROP, gfx::D3DTOP_DISABLE);
        dev->setRenderState(gfx::D3DRS_ALPHABLENDENABLE, 1);
        dev->setRenderState(gfx::D3DRS_SRCBLEND, gfx::D3DBLEND_SRCALPHA);
        dev->setRenderState(gfx::D3DRS_DESTBLEND, gfx::D3DBLEND_INVSRCALPHA);
    }
    drawQuad(driver, v);
    return 0;
}
