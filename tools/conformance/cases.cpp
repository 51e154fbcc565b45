// The case table. Geometry: a lit sphere with vertex colours and two coordinate sets (the
// scenes' meshes), pre-transformed quads (the screen quads, text and overlays) and
// untransformed planes. Textures are generated here, so both devices sample the same texels.
#include "tools/conformance/cases.h"

#include "render/driver_internal.h"
#include "render/material.h"
#include "scene/texture_registry.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace conformance {

namespace {

using namespace gfx;

constexpr float kPi = 3.14159265358979f;
constexpr float kSize = float(kTargetSize);

// Untransformed vertex: position, normal, colour, two coordinate sets.
struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;
    uint32_t colour;
    float u0, v0, u1, v1;
};
constexpr uint32_t kMeshFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX2;

// Pre-transformed vertex: pixels, depth, rhw, colour, two coordinate sets.
struct TlVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u0, v0, u1, v1;
};
constexpr uint32_t kTlFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX2;

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

Matrix identity() {
    Matrix m{};
    for (int i = 0; i < 4; ++i) {
        m.m[i][i] = 1.0f;
    }
    return m;
}

// Left-handed perspective, 60 degrees vertical, square, near 1, far 10.
Matrix perspective() {
    const float zn = 1.0f, zf = 10.0f;
    const float s = 1.0f / std::tan(kPi / 6.0f);
    Matrix m{};
    m.m[0][0] = s;
    m.m[1][1] = s;
    m.m[2][2] = zf / (zf - zn);
    m.m[2][3] = 1.0f;
    m.m[3][2] = -zn * zf / (zf - zn);
    return m;
}

Matrix translation(float x, float y, float z) {
    Matrix m = identity();
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

// A colour that changes over the sphere or quad: hue from s, alpha from t.
uint32_t vertexColour(float s, float t) {
    const float r = 0.5f + 0.5f * std::sin(2.0f * kPi * s);
    const float g = 0.5f + 0.5f * std::sin(2.0f * kPi * (s + 1.0f / 3.0f));
    const float b = 0.5f + 0.5f * std::sin(2.0f * kPi * (s + 2.0f / 3.0f));
    const float a = 0.3f + 0.7f * t;
    return argb(uint32_t(a * 255.0f + 0.5f), uint32_t(r * 255.0f + 0.5f),
                uint32_t(g * 255.0f + 0.5f), uint32_t(b * 255.0f + 0.5f));
}

// Sphere of radius 1.4 at the origin; the outside runs counter-clockwise on screen, as the
// scenes' meshes do (they cull clockwise). seamWraps: the last column of vertices takes u = 0
// again, so the seam's triangles go from 0.9 to 0 (the cylindrical wrap case).
void sphere(std::vector<MeshVertex>* vertices, std::vector<uint16_t>* indices, bool seamWraps) {
    constexpr int kColumns = 16, kRows = 10;
    constexpr float kRadius = 1.4f;
    vertices->clear();
    indices->clear();
    for (int r = 0; r <= kRows; ++r) {
        const float lat = kPi * float(r) / kRows; // 0 at the top
        for (int c = 0; c <= kColumns; ++c) {
            const float lon = 2.0f * kPi * float(c) / kColumns - 0.6f;
            const float nx = std::sin(lat) * std::sin(lon);
            const float ny = std::cos(lat);
            const float nz = -std::sin(lat) * std::cos(lon);
            float u = float(c) / kColumns;
            if (seamWraps && c == kColumns) {
                u = 0.0f;
            }
            const float v = float(r) / kRows;
            vertices->push_back({kRadius * nx, kRadius * ny, kRadius * nz, nx, ny, nz,
                                 vertexColour(float(c) / kColumns, 1.0f - v), seamWraps ? u : 2 * u,
                                 2 * v, 0.5f * u + 0.25f, 3 * v});
        }
    }
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const uint16_t a = uint16_t(r * (kColumns + 1) + c), b = uint16_t(a + 1),
                           d = uint16_t(a + kColumns + 1), e = uint16_t(d + 1);
            // Seen from outside, a -> b runs right and a -> d runs down the sphere.
            const uint16_t tri[6] = {a, b, d, b, e, d};
            indices->insert(indices->end(), tri, tri + 6);
        }
    }
    // Face orientation follows the cross product rule of the left-handed view: make the
    // outside counter-clockwise on screen (cross product pointing inwards).
    for (size_t i = 0; i + 2 < indices->size(); i += 3) {
        const MeshVertex& p = (*vertices)[(*indices)[i]];
        const MeshVertex& q = (*vertices)[(*indices)[i + 1]];
        const MeshVertex& s = (*vertices)[(*indices)[i + 2]];
        const float ax = q.x - p.x, ay = q.y - p.y, az = q.z - p.z;
        const float bx = s.x - p.x, by = s.y - p.y, bz = s.z - p.z;
        const float cx = ay * bz - az * by, cy = az * bx - ax * bz, cz = ax * by - ay * bx;
        const float mx = p.x + q.x + s.x, my = p.y + q.y + s.y, mz = p.z + q.z + s.z;
        if (cx * mx + cy * my + cz * mz > 0.0f) {
            std::swap((*indices)[i + 1], (*indices)[i + 2]);
        }
    }
}

bool ok(HRESULT hr) {
    return hr >= 0;
}

// The view and projection of the mesh cases: camera at the origin looking down +z, sphere 4
// units away.
void meshTransforms(Device* dev) {
    const Matrix id = identity(), proj = perspective(), world = translation(0.0f, 0.0f, 4.0f);
    dev->setTransform(D3DTS_VIEW, &id);
    dev->setTransform(D3DTS_PROJECTION, &proj);
    dev->setTransform(D3DTS_WORLD, &world);
}

// One white directional light from the upper left, in front.
void meshLight(Device* dev) {
    Light l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse = {1.0f, 0.9f, 0.8f, 1.0f};
    l.Ambient = {0.1f, 0.1f, 0.1f, 1.0f};
    l.Direction = {0.5f, -0.6f, 0.62f};
    l.Range = 1000.0f;
    dev->setLight(0, &l);
    dev->lightEnable(0, 1);
}

bool drawSphere(Device* dev, bool seamWraps = false) {
    std::vector<MeshVertex> v;
    std::vector<uint16_t> i;
    sphere(&v, &i, seamWraps);
    return ok(dev->setVertexShader(kMeshFvf)) &&
           ok(dev->drawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, uint32_t(v.size()),
                                          uint32_t(i.size() / 3), i.data(), D3DFMT_INDEX16,
                                          v.data(), sizeof(MeshVertex)));
}

// Two planes behind the sphere (world z 2 to 3 beyond it): the left one counter-clockwise on
// screen, the right one clockwise, so every cull mode shows a different picture.
bool drawBackPlanes(Device* dev) {
    const float z = 3.0f;
    auto vtx = [](float x, float y, float z, float u, float v) {
        return MeshVertex{x, y, z, 0, 0, -1, vertexColour(0.5f * (x + 3) / 3, 0.5f * (y + 3) / 3),
                          u, v, v, u};
    };
    // Left: (-3,3) (-3,-3) (0,3) is counter-clockwise on screen (y up in view space).
    const MeshVertex left[6] = {vtx(-3, 3, z, 0, 0), vtx(-3, -3, z, 0, 1), vtx(0, 3, z, 1, 0),
                                vtx(0, 3, z, 1, 0),  vtx(-3, -3, z, 0, 1), vtx(0, -3, z, 1, 1)};
    const MeshVertex right[6] = {vtx(0, 3, z, 0, 0), vtx(3, 3, z, 1, 0),  vtx(0, -3, z, 0, 1),
                                 vtx(3, 3, z, 1, 0), vtx(3, -3, z, 1, 1), vtx(0, -3, z, 0, 1)};
    return ok(dev->setVertexShader(kMeshFvf)) &&
           ok(dev->drawPrimitiveUP(D3DPT_TRIANGLELIST, 2, left, sizeof(MeshVertex))) &&
           ok(dev->drawPrimitiveUP(D3DPT_TRIANGLELIST, 2, right, sizeof(MeshVertex)));
}

// A pre-transformed quad (x0, y0)-(x1, y1) with coordinates (u0, v0)-(u1, v1) in both sets and
// a colour per corner (top left, top right, bottom left, bottom right).
bool drawTlQuad(Device* dev, float x0, float y0, float x1, float y1, float u0, float v0, float u1,
                float v1, const uint32_t colours[4], float z = 0.5f) {
    const TlVertex v[4] = {{x0, y0, z, 1, colours[0], u0, v0, u0, v0},
                           {x1, y0, z, 1, colours[1], u1, v0, u1, v0},
                           {x0, y1, z, 1, colours[2], u0, v1, u0, v1},
                           {x1, y1, z, 1, colours[3], u1, v1, u1, v1}};
    return ok(dev->setVertexShader(kTlFvf)) &&
           ok(dev->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex)));
}

bool drawTlQuad(Device* dev, float x0, float y0, float x1, float y1, float u0, float v0, float u1,
                float v1, uint32_t colour = 0xFFFFFFFFu, float z = 0.5f) {
    const uint32_t c[4] = {colour, colour, colour, colour};
    return drawTlQuad(dev, x0, y0, x1, y1, u0, v0, u1, v1, c, z);
}

// The whole target, texel for pixel at coordinates 0..1.
bool drawFullQuad(Device* dev, const uint32_t colours[4]) {
    return drawTlQuad(dev, -0.5f, -0.5f, kSize - 0.5f, kSize - 0.5f, 0, 0, 1, 1, colours);
}

const uint32_t kCornerColours[4] = {0xFFFF4020u, 0xC020E040u, 0x804060FFu, 0x20F0F0F0u};

// A texture of the format filled level by level from f(level, x, y) -> A8R8G8B8.
template <class F>
Ref<Texture> makeTexture(Device* dev, uint32_t w, uint32_t h, uint32_t levels, Format format, F f) {
    Ref<Texture> t;
    if (!ok(dev->createTexture(w, h, levels, 0, format, D3DPOOL_MANAGED, t.put()))) {
        return {};
    }
    for (uint32_t level = 0; level < t->getLevelCount(); ++level) {
        SurfaceDesc desc{};
        LockedRect r{};
        if (!ok(t->getLevelDesc(level, &desc)) || !ok(t->lockRect(level, &r, nullptr, 0))) {
            return {};
        }
        for (uint32_t y = 0; y < desc.Height; ++y) {
            uint8_t* row = static_cast<uint8_t*>(r.pBits) + size_t(y) * uint32_t(r.Pitch);
            for (uint32_t x = 0; x < desc.Width; ++x) {
                const uint32_t c = f(level, x, y);
                const uint32_t a = c >> 24, red = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
                uint16_t p16 = 0;
                switch (format) {
                case D3DFMT_R5G6B5:
                    p16 = uint16_t(((red >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
                    break;
                case D3DFMT_A4R4G4B4:
                    p16 =
                        uint16_t(((a >> 4) << 12) | ((red >> 4) << 8) | ((g >> 4) << 4) | (b >> 4));
                    break;
                case D3DFMT_A1R5G5B5:
                    p16 = uint16_t(((a >> 7) << 15) | ((red >> 3) << 10) | ((g >> 3) << 5) |
                                   (b >> 3));
                    break;
                default:
                    std::memcpy(row + x * 4, &c, 4);
                    continue;
                }
                std::memcpy(row + x * 2, &p16, 2);
            }
        }
        t->unlockRect(level);
    }
    return t;
}

// Level colours of the mip chain: each level a different hue, so the chosen level shows.
uint32_t levelTint(uint32_t level) {
    static const uint32_t tints[7] = {0xFFFFFFFFu, 0xFFFF6060u, 0xFF60FF60u, 0xFF6060FFu,
                                      0xFFFFFF40u, 0xFF40FFFFu, 0xFFFF40FFu};
    return tints[level % 7];
}

uint32_t modulate(uint32_t a, uint32_t b) {
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) {
        out |= (((a >> s) & 255) * ((b >> s) & 255) / 255) << s;
    }
    return out;
}

// Gradient with a checker and an alpha ramp; tinted per level.
uint32_t patternTexel(uint32_t level, uint32_t x, uint32_t y, uint32_t size) {
    const uint32_t s = std::max(1u, size >> level);
    const uint32_t r = x * 255 / std::max(1u, s - 1), g = y * 255 / std::max(1u, s - 1);
    const uint32_t checker = ((x * 8 / s) + (y * 8 / s)) % 2 ? 255 : 96;
    const uint32_t a = 40 + (x + y) * 215 / std::max(1u, 2 * s - 2);
    return modulate(argb(a, r, g, checker), levelTint(level));
}

// Fill of a stage: colour op with its arguments, alpha op with its arguments.
void stageOps(Device* dev, uint32_t s, uint32_t colourOp, uint32_t c1, uint32_t c2,
              uint32_t alphaOp, uint32_t a1, uint32_t a2) {
    dev->setTextureStageState(s, D3DTSS_COLOROP, colourOp);
    dev->setTextureStageState(s, D3DTSS_COLORARG1, c1);
    dev->setTextureStageState(s, D3DTSS_COLORARG2, c2);
    dev->setTextureStageState(s, D3DTSS_ALPHAOP, alphaOp);
    dev->setTextureStageState(s, D3DTSS_ALPHAARG1, a1);
    dev->setTextureStageState(s, D3DTSS_ALPHAARG2, a2);
}

// Unlit vertex colours through stage 0, nothing after.
void vertexColourStages(Device* dev) {
    stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1,
             D3DTA_DIFFUSE, D3DTA_CURRENT);
    dev->setTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    dev->setTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void blendOver(Device* dev) {
    dev->setRenderState(D3DRS_ALPHABLENDENABLE, 1);
    dev->setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->setRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

// A background to blend onto: four vertical bars of colour with a dark-to-light ramp.
bool drawBackground(Context& ctx) {
    Device* dev = ctx.dev;
    vertexColourStages(dev);
    dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    dev->setRenderState(D3DRS_ALPHABLENDENABLE, 0);
    static const uint32_t bars[4] = {0xFF202020u, 0xFFC03030u, 0xFF30C030u, 0xFF3030C0u};
    bool good = true;
    for (int i = 0; i < 4; ++i) {
        const float x0 = -0.5f + 16.0f * float(i);
        const uint32_t c[4] = {bars[i], bars[i], bars[(i + 1) % 4], 0xFFF0F0F0u};
        good = good && drawTlQuad(dev, x0, -0.5f, x0 + 16.0f, kSize - 0.5f, 0, 0, 1, 1, c);
    }
    dev->setRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    return good;
}

const char* opName(uint32_t op) {
    static const char* names[] = {"",
                                  "disable",
                                  "selectarg1",
                                  "selectarg2",
                                  "modulate",
                                  "modulate2x",
                                  "modulate4x",
                                  "add",
                                  "addsigned",
                                  "addsigned2x",
                                  "subtract",
                                  "addsmooth",
                                  "blenddiffusealpha",
                                  "blendtexturealpha",
                                  "blendfactoralpha",
                                  "blendtexturealphapm",
                                  "blendcurrentalpha",
                                  "premodulate",
                                  "modulatealpha_addcolor",
                                  "modulatecolor_addalpha",
                                  "modulateinvalpha_addcolor",
                                  "modulateinvcolor_addalpha",
                                  "bumpenvmap",
                                  "bumpenvmapluminance",
                                  "dotproduct3",
                                  "multiplyadd",
                                  "lerp"};
    return op < sizeof names / sizeof names[0] ? names[op] : "unknown";
}

// The colour ops every device must do (bump mapping and premodulate are not offered).
const uint32_t kColourOps[] = {D3DTOP_SELECTARG1,
                               D3DTOP_SELECTARG2,
                               D3DTOP_MODULATE,
                               D3DTOP_MODULATE2X,
                               D3DTOP_MODULATE4X,
                               D3DTOP_ADD,
                               D3DTOP_ADDSIGNED,
                               D3DTOP_ADDSIGNED2X,
                               D3DTOP_SUBTRACT,
                               D3DTOP_ADDSMOOTH,
                               D3DTOP_BLENDDIFFUSEALPHA,
                               D3DTOP_BLENDTEXTUREALPHA,
                               D3DTOP_BLENDFACTORALPHA,
                               D3DTOP_BLENDTEXTUREALPHAPM,
                               D3DTOP_BLENDCURRENTALPHA,
                               D3DTOP_MODULATEALPHA_ADDCOLOR,
                               D3DTOP_MODULATECOLOR_ADDALPHA,
                               D3DTOP_MODULATEINVALPHA_ADDCOLOR,
                               D3DTOP_MODULATEINVCOLOR_ADDALPHA,
                               D3DTOP_DOTPRODUCT3,
                               D3DTOP_MULTIPLYADD,
                               D3DTOP_LERP};

// Stage 0: the op on (texture, diffuse) with the texture factor as third argument; stage 1
// modulates by the second texture so a second stage's CURRENT is exercised too. The result's
// alpha decides the blend over the background.
Case colourOpCase(uint32_t op) {
    return {std::string("stage-colour-") + opName(op), [op](Context& ctx) {
                Device* dev = ctx.dev;
                bool good = drawBackground(ctx);
                dev->setRenderState(D3DRS_TEXTUREFACTOR, 0x9060A0E0u);
                dev->setTexture(0, ctx.pattern.get());
                stageOps(dev, 0, op, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1, D3DTA_TEXTURE,
                         D3DTA_DIFFUSE);
                dev->setTextureStageState(0, D3DTSS_COLORARG0, D3DTA_TFACTOR);
                dev->setTexture(1, ctx.detail.get());
                stageOps(dev, 1, D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTOP_SELECTARG1,
                         D3DTA_CURRENT, D3DTA_TEXTURE);
                blendOver(dev);
                dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                return good && drawFullQuad(dev, kCornerColours);
            }};
}

// Alpha ops, seen through the blend: colour is the texture, alpha the op on (texture alpha,
// diffuse alpha).
Case alphaOpCase(uint32_t op) {
    return {std::string("stage-alpha-") + opName(op), [op](Context& ctx) {
                Device* dev = ctx.dev;
                bool good = drawBackground(ctx);
                dev->setRenderState(D3DRS_TEXTUREFACTOR, 0x60A0A0A0u);
                dev->setTexture(0, ctx.pattern.get());
                stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, op, D3DTA_TEXTURE,
                         D3DTA_DIFFUSE);
                dev->setTextureStageState(0, D3DTSS_ALPHAARG0, D3DTA_TFACTOR);
                blendOver(dev);
                dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                return good && drawFullQuad(dev, kCornerColours);
            }};
}

// Argument modifiers and the other argument sources on a modulate.
Case argumentCase(const std::string& name, uint32_t c1, uint32_t c2, uint32_t a1) {
    return {"stage-argument-" + name, [c1, c2, a1](Context& ctx) {
                Device* dev = ctx.dev;
                bool good = drawBackground(ctx);
                dev->setRenderState(D3DRS_TEXTUREFACTOR, 0xB0E08040u);
                dev->setTexture(0, ctx.pattern.get());
                stageOps(dev, 0, D3DTOP_MODULATE, c1, c2, D3DTOP_SELECTARG1, a1, D3DTA_DIFFUSE);
                blendOver(dev);
                dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                return good && drawFullQuad(dev, kCornerColours);
            }};
}

// A textured full quad with the given filters and address mode, coordinates u0..u1 / v0..v1.
Case samplingCase(const std::string& name, uint32_t magFilter, uint32_t minFilter,
                  uint32_t mipFilter, uint32_t address, float u0, float v0, float u1, float v1,
                  uint32_t textureSize) {
    return {name, [=](Context& ctx) {
                Device* dev = ctx.dev;
                Ref<Texture> t =
                    makeTexture(dev, textureSize, textureSize, 1, D3DFMT_A8R8G8B8,
                                [textureSize](uint32_t level, uint32_t x, uint32_t y) {
                                    return patternTexel(level, x, y, textureSize) | 0xFF000000u;
                                });
                if (!t) {
                    return false;
                }
                dev->setTexture(0, t.get());
                stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1,
                         D3DTA_TEXTURE, D3DTA_DIFFUSE);
                dev->setTextureStageState(0, D3DTSS_MAGFILTER, magFilter);
                dev->setTextureStageState(0, D3DTSS_MINFILTER, minFilter);
                dev->setTextureStageState(0, D3DTSS_MIPFILTER, mipFilter);
                dev->setTextureStageState(0, D3DTSS_ADDRESSU, address);
                dev->setTextureStageState(0, D3DTSS_ADDRESSV, address);
                dev->setTextureStageState(0, D3DTSS_BORDERCOLOR, 0xFF10A0F0u);
                dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                return drawTlQuad(dev, -0.5f, -0.5f, kSize - 0.5f, kSize - 0.5f, u0, v0, u1, v1);
            }};
}

// A floor plane running away from the camera, textured with the mip-mapped pattern: the
// level chosen per pixel and the blend between levels show in the tints.
Case mipCase(const std::string& name, uint32_t minFilter, uint32_t mipFilter) {
    return {name, [=](Context& ctx) {
                Device* dev = ctx.dev;
                meshTransforms(dev);
                const Matrix id = identity();
                dev->setTransform(D3DTS_WORLD, &id);
                dev->setTexture(0, ctx.pattern.get());
                stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1,
                         D3DTA_TEXTURE, D3DTA_DIFFUSE);
                dev->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
                dev->setTextureStageState(0, D3DTSS_MINFILTER, minFilter);
                dev->setTextureStageState(0, D3DTSS_MIPFILTER, mipFilter);
                const float y = -1.0f, n = 1.2f, f = 9.0f;
                auto vtx = [](float x, float y, float z, float u, float v) {
                    return MeshVertex{x, y, z, 0, 1, 0, 0xFFFFFFFFu, u, v, u, v};
                };
                // Counter-clockwise on screen; culling is off anyway.
                const MeshVertex v[4] = {vtx(-4, y, f, 0, 0), vtx(4, y, f, 8, 0),
                                         vtx(-1.5f, y, n, 0, 8), vtx(1.5f, y, n, 8, 8)};
                return ok(dev->setVertexShader(kMeshFvf)) &&
                       ok(dev->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(MeshVertex)));
            }};
}

// Lit sphere in front of the back planes with fog on (table mode linear, eye-space depth).
Case fogCase(const std::string& name, float start, float end, uint32_t colour, bool lit) {
    return {name, [=](Context& ctx) {
                Device* dev = ctx.dev;
                meshTransforms(dev);
                meshLight(dev);
                gfx::Material m{};
                m.Diffuse = {0.9f, 0.8f, 0.7f, 1.0f};
                m.Ambient = {0.3f, 0.3f, 0.3f, 1.0f};
                dev->setMaterial(&m);
                dev->setRenderState(D3DRS_LIGHTING, lit ? 1 : 0);
                dev->setRenderState(D3DRS_COLORVERTEX, lit ? 0 : 1);
                dev->setRenderState(D3DRS_AMBIENT, 0xFF404040u);
                dev->setTexture(0, ctx.pattern.get());
                stageOps(dev, 0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1,
                         D3DTA_DIFFUSE, D3DTA_CURRENT);
                dev->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
                dev->setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
                dev->setRenderState(D3DRS_FOGENABLE, 1);
                dev->setRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
                dev->setRenderState(D3DRS_FOGCOLOR, colour);
                dev->setRenderState(D3DRS_FOGSTART, std::bit_cast<uint32_t>(start));
                dev->setRenderState(D3DRS_FOGEND, std::bit_cast<uint32_t>(end));
                return drawBackPlanes(dev) && drawSphere(dev);
            }};
}

// Three triangles of each winding on screen, vertex colours, the given cull, shade and fill.
Case rasterCase(const std::string& name, uint32_t cull, uint32_t shade, uint32_t fill) {
    return {name, [=](Context& ctx) {
                Device* dev = ctx.dev;
                vertexColourStages(dev);
                dev->setRenderState(D3DRS_CULLMODE, cull);
                dev->setRenderState(D3DRS_SHADEMODE, shade);
                dev->setRenderState(D3DRS_FILLMODE, fill);
                dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                std::vector<TlVertex> v;
                for (int i = 0; i < 3; ++i) {
                    const float x = 3.0f + 20.0f * float(i), y0 = 2.5f, y1 = 30.0f;
                    const uint32_t a = vertexColour(0.1f * float(i), 1), b = 0xFFFFFFFFu,
                                   c = vertexColour(0.5f + 0.1f * float(i), 1);
                    // Top row clockwise on screen (y down), bottom row counter-clockwise.
                    v.push_back({x, y0, 0.5f, 1, a, 0, 0, 0, 0});
                    v.push_back({x + 17.3f, y0 + 3.1f, 0.5f, 1, b, 0, 0, 0, 0});
                    v.push_back({x + 4.7f, y1 - 3.0f * float(i), 0.5f, 1, c, 0, 0, 0, 0});
                    v.push_back({x, y1 + 3.0f, 0.5f, 1, c, 0, 0, 0, 0});
                    v.push_back({x + 6.2f, y1 + 30.0f, 0.5f, 1, a, 0, 0, 0, 0});
                    v.push_back({x + 17.7f, y1 + 9.6f, 0.5f, 1, b, 0, 0, 0, 0});
                }
                return ok(dev->setVertexShader(kTlFvf)) &&
                       ok(dev->drawPrimitiveUP(D3DPT_TRIANGLELIST, uint32_t(v.size() / 3), v.data(),
                                               sizeof(TlVertex)));
            }};
}

Case alphaTestCase(const std::string& name, uint32_t func, uint32_t ref) {
    return {name, [=](Context& ctx) {
                Device* dev = ctx.dev;
                bool good = drawBackground(ctx);
                vertexColourStages(dev);
                dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                dev->setRenderState(D3DRS_ALPHATESTENABLE, 1);
                dev->setRenderState(D3DRS_ALPHAFUNC, func);
                dev->setRenderState(D3DRS_ALPHAREF, ref);
                // Alpha runs 0 to 255 from left to right, one step of 4 per pixel.
                const uint32_t c[4] = {0x00FF8040u, 0xFCFF8040u, 0x00FF8040u, 0xFCFF8040u};
                return good &&
                       drawTlQuad(dev, -0.5f, -0.5f, kSize - 0.5f, kSize - 0.5f, 0, 0, 1, 1, c);
            }};
}

// Lighting without the materials: material colours against vertex colours, flat and Gouraud,
// the vertex colour as diffuse source, ambient only.
Case lightingCase(const std::string& name, bool colourVertex, uint32_t shade, uint32_t ambient) {
    return {name, [=](Context& ctx) {
                Device* dev = ctx.dev;
                meshTransforms(dev);
                meshLight(dev);
                gfx::Material m{};
                m.Diffuse = {0.8f, 0.6f, 0.9f, 1.0f};
                m.Ambient = {0.5f, 0.7f, 0.3f, 1.0f};
                m.Emissive = {0.05f, 0.0f, 0.1f, 0.0f};
                dev->setMaterial(&m);
                dev->setRenderState(D3DRS_LIGHTING, 1);
                dev->setRenderState(D3DRS_COLORVERTEX, colourVertex ? 1 : 0);
                dev->setRenderState(D3DRS_DIFFUSEMATERIALSOURCE,
                                    colourVertex ? D3DMCS_COLOR1 : D3DMCS_MATERIAL);
                dev->setRenderState(D3DRS_AMBIENT, ambient);
                dev->setRenderState(D3DRS_SHADEMODE, shade);
                stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1,
                         D3DTA_DIFFUSE, D3DTA_CURRENT);
                return drawBackPlanes(dev) && drawSphere(dev);
            }};
}

// Textures of the given format, texel for pixel, blended over the background so alpha shows.
Case formatCase(const std::string& name, Format format) {
    return {name, [=](Context& ctx) {
                Device* dev = ctx.dev;
                Ref<Texture> t =
                    makeTexture(dev, 64, 64, 1, format, [](uint32_t level, uint32_t x, uint32_t y) {
                        return patternTexel(level, x, y, 64);
                    });
                if (!t) {
                    return false;
                }
                bool good = drawBackground(ctx);
                dev->setTexture(0, t.get());
                stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1,
                         D3DTA_TEXTURE, D3DTA_DIFFUSE);
                blendOver(dev);
                dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                const uint32_t white[4] = {~0u, ~0u, ~0u, ~0u};
                return good && drawFullQuad(dev, white);
            }};
}

// The text state block as render/text.cpp records it, over a glyph-like alpha texture, with
// the states it sets spoiled first so the block must restore them.
Case textCase(const std::string& name, bool linear) {
    return {name, [=](Context& ctx) {
                Device* dev = ctx.dev;
                Ref<Texture> glyphs = makeTexture(
                    dev, 64, 64, 1, D3DFMT_A8R8G8B8, [](uint32_t, uint32_t x, uint32_t y) {
                        // Rings of falling alpha, as anti-aliased strokes have.
                        const int dx = int(x % 16) - 8, dy = int(y % 16) - 8;
                        const int d = std::abs(dx * dx + dy * dy - 30);
                        const uint32_t a = d >= 32 ? 0 : uint32_t(255 - d * 8);
                        return (a << 24) | 0x00FFFFFFu;
                    });
                if (!glyphs) {
                    return false;
                }
                bool good = drawBackground(ctx);
                if (!ok(dev->beginStateBlock())) {
                    return false;
                }
                dev->setTexture(0, glyphs.get());
                dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                dev->setRenderState(D3DRS_ALPHABLENDENABLE, 1);
                dev->setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
                dev->setRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
                dev->setRenderState(D3DRS_ALPHATESTENABLE, 1);
                dev->setRenderState(D3DRS_ALPHAREF, 8);
                dev->setRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
                dev->setRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
                dev->setRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
                dev->setRenderState(D3DRS_STENCILENABLE, 0);
                dev->setRenderState(D3DRS_CLIPPING, 1);
                dev->setRenderState(D3DRS_EDGEANTIALIAS, 0);
                dev->setRenderState(D3DRS_CLIPPLANEENABLE, 0);
                dev->setRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
                dev->setRenderState(D3DRS_INDEXEDVERTEXBLENDENABLE, 0);
                dev->setRenderState(D3DRS_FOGENABLE, 0);
                stageOps(dev, 0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_MODULATE,
                         D3DTA_TEXTURE, D3DTA_DIFFUSE);
                dev->setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
                dev->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
                dev->setTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
                dev->setTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
                dev->setTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
                dev->setTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
                dev->setTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
                uint32_t token = 0;
                if (!ok(dev->endStateBlock(&token)) || token == 0) {
                    return false;
                }
                // Spoil what the block sets.
                dev->setTexture(0, ctx.pattern.get());
                dev->setRenderState(D3DRS_ALPHABLENDENABLE, 0);
                dev->setRenderState(D3DRS_ALPHATESTENABLE, 0);
                dev->setRenderState(D3DRS_CULLMODE, D3DCULL_CW);
                dev->setRenderState(D3DRS_FOGENABLE, 1);
                stageOps(dev, 0, D3DTOP_ADD, D3DTA_TFACTOR, D3DTA_DIFFUSE, D3DTOP_SELECTARG2,
                         D3DTA_TFACTOR, D3DTA_DIFFUSE);
                good = good && ok(dev->applyStateBlock(token));
                dev->deleteStateBlock(token);
                if (linear) {
                    dev->setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
                    dev->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
                }
                // Text quads run clockwise on screen (top left, top right, bottom left...),
                // which CULL_CCW keeps; one quad scaled up as titles are.
                const uint32_t colours[4] = {0xFFFFE080u, 0xFFFFE080u, 0xC080C0FFu, 0xC080C0FFu};
                good = good &&
                       drawTlQuad(dev, 2.0f, 2.0f, 34.0f, 34.0f, 0, 0, 0.5f, 0.5f, colours, 0.9f);
                good = good && drawTlQuad(dev, 30.0f, 20.0f, 62.0f, 62.0f, 0.25f, 0.25f, 0.5f, 0.5f,
                                          0xFFFFFFFFu, 0.9f);
                return good;
            }};
}

// Render targets and their depth surfaces: a sphere into target A with depth A, something
// into target B with depth B, back to A where a plane must be cut by the sphere's depth, and
// both targets shown side by side on the case's target.
bool renderTargets(Context& ctx, bool secondDepth) {
    Device* dev = ctx.dev;
    Ref<Texture> a, b;
    Ref<Surface> aSurface, bSurface, aDepth, bDepth;
    if (!ok(dev->createTexture(32, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                               a.put())) ||
        !ok(dev->createTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                               b.put())) ||
        !ok(a->getSurfaceLevel(0, aSurface.put())) || !ok(b->getSurfaceLevel(0, bSurface.put())) ||
        !ok(dev->createDepthStencilSurface(32, 64, D3DFMT_D24S8, 0, aDepth.put())) ||
        !ok(dev->createDepthStencilSurface(32, 32, D3DFMT_D24S8, 0, bDepth.put()))) {
        return false;
    }
    bool good = ok(dev->setRenderTarget(aSurface.get(), aDepth.get()));
    good = good &&
           ok(dev->clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF203040u, 1.0f, 0));
    meshTransforms(dev);
    meshLight(dev);
    gfx::Material m{};
    m.Diffuse = {1, 1, 1, 1};
    dev->setMaterial(&m);
    dev->setRenderState(D3DRS_LIGHTING, 1);
    dev->setRenderState(D3DRS_COLORVERTEX, 1);
    dev->setRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1);
    stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_CURRENT, D3DTOP_SELECTARG1,
             D3DTA_DIFFUSE, D3DTA_CURRENT);
    good = good && drawSphere(dev);

    good = good && ok(dev->setRenderTarget(bSurface.get(), secondDepth ? bDepth.get() : nullptr));
    good = good && ok(dev->clear(0, nullptr, D3DCLEAR_TARGET | (secondDepth ? D3DCLEAR_ZBUFFER : 0),
                                 0xFF604020u, 0.0f, 0));
    good = good && drawSphere(dev);

    // Back to A: a plane through the sphere's middle, tested against A's depth.
    good = good && ok(dev->setRenderTarget(aSurface.get(), aDepth.get()));
    dev->setRenderState(D3DRS_LIGHTING, 0);
    const Matrix id = identity();
    dev->setTransform(D3DTS_WORLD, &id);
    auto vtx = [](float x, float y, float z) {
        return MeshVertex{x, y, z, 0, 0, -1, 0xFFE0E0E0u, 0, 0, 0, 0};
    };
    const MeshVertex plane[4] = {vtx(-3, 3, 3.4f), vtx(3, 3, 4.6f), vtx(-3, -3, 3.4f),
                                 vtx(3, -3, 4.6f)};
    good = good && ok(dev->setVertexShader(kMeshFvf)) &&
           ok(dev->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, plane, sizeof(MeshVertex)));

    // Show both on the case's target: A on the left half, B on the top right quarter.
    good = good && ok(dev->setRenderTarget(ctx.targetSurface.get(), ctx.depth.get()));
    dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1,
             D3DTA_TEXTURE, D3DTA_DIFFUSE);
    dev->setTexture(0, a.get());
    good = good && drawTlQuad(dev, -0.5f, -0.5f, 31.5f, 63.5f, 0, 0, 1, 1);
    dev->setTexture(0, b.get());
    good = good && drawTlQuad(dev, 31.5f, -0.5f, 63.5f, 31.5f, 0, 0, 1, 1);
    dev->setTexture(0, nullptr);
    return good;
}

// Clears limited to the viewport: colour and depth cleared in a small viewport, rectangles
// partly outside it, then a full-target quad at mid depth shows where depth was cleared.
bool viewportClears(Context& ctx) {
    Device* dev = ctx.dev;
    const Viewport small{8, 12, 40, 30, 0.0f, 1.0f};
    bool good = ok(dev->setViewport(&small));
    good = good &&
           ok(dev->clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFC02020u, 0.25f, 0));
    const Rect rects[2] = {{0, 0, 20, 20}, {40, 30, 64, 64}};
    good = good && ok(dev->clear(2, rects, D3DCLEAR_TARGET, 0xFF20C020u, 1.0f, 0));
    const Viewport full{0, 0, kTargetSize, kTargetSize, 0.0f, 1.0f};
    good = good && ok(dev->setViewport(&full));
    vertexColourStages(dev);
    dev->setRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    dev->setRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    good = good && drawFullQuad(dev, kCornerColours);
    // A viewport with its own depth range: z 0.5 lands at 0.6, behind the cleared 0.25.
    const Viewport ranged{24, 4, 36, 56, 0.2f, 0.9f};
    good = good && ok(dev->setViewport(&ranged));
    good = good && ok(dev->clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.55f, 0));
    const uint32_t c[4] = {0xFF0000FFu, 0xFF0000FFu, 0xFFFFFF00u, 0xFFFFFF00u};
    good = good && drawTlQuad(dev, 24 - 0.5f, 4 - 0.5f, 60 - 0.5f, 60 - 0.5f, 0, 0, 1, 1, c, 0.5f);
    return good;
}

} // namespace

std::string safeName(const std::string& name) {
    std::string out;
    for (char c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_';
        out += keep ? c : '_';
    }
    return out.empty() ? "_" : out;
}

bool prepare(Context& ctx, std::string* error) {
    Device* dev = ctx.dev;
    if (!ok(dev->createTexture(kTargetSize, kTargetSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                               D3DPOOL_DEFAULT, ctx.target.put())) ||
        !ok(ctx.target->getSurfaceLevel(0, ctx.targetSurface.put())) ||
        !ok(dev->createDepthStencilSurface(kTargetSize, kTargetSize, D3DFMT_D24S8, 0,
                                           ctx.depth.put()))) {
        *error = "cannot create the 64 x 64 target and its depth surface";
        return false;
    }
    ctx.pattern =
        makeTexture(dev, 64, 64, 0, D3DFMT_A8R8G8B8, [](uint32_t level, uint32_t x, uint32_t y) {
            return patternTexel(level, x, y, 64);
        });
    ctx.detail = makeTexture(dev, 16, 16, 1, D3DFMT_A8R8G8B8, [](uint32_t, uint32_t x, uint32_t y) {
        const uint32_t v = 140 + ((x ^ y) & 7) * 16;
        return argb(200 + (x & 3) * 18, v, 255 - x * 6, 160 + y * 6);
    });
    if (!ctx.pattern || !ctx.detail) {
        *error = "cannot create the pattern textures";
        return false;
    }
    return true;
}

void baseline(Context& ctx) {
    Device* dev = ctx.dev;
    dev->setRenderTarget(ctx.targetSurface.get(), ctx.depth.get());
    const Viewport full{0, 0, kTargetSize, kTargetSize, 0.0f, 1.0f};
    dev->setViewport(&full);
    const Matrix id = identity();
    dev->setTransform(D3DTS_WORLD, &id);
    dev->setTransform(D3DTS_VIEW, &id);
    dev->setTransform(D3DTS_PROJECTION, &id);
    static const std::pair<uint32_t, uint32_t> states[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE},
        {D3DRS_ZWRITEENABLE, 1},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_CULLMODE, D3DCULL_NONE},
        {D3DRS_LIGHTING, 0},
        {D3DRS_ALPHABLENDENABLE, 0},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_ALPHATESTENABLE, 0},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_ALPHAREF, 0},
        {D3DRS_FOGENABLE, 0},
        {D3DRS_FOGTABLEMODE, D3DFOG_NONE},
        {D3DRS_AMBIENT, 0},
        {D3DRS_COLORVERTEX, 1},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARENABLE, 0},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu},
        {D3DRS_WRAP0, 0},
        {D3DRS_WRAP1, 0},
        {D3DRS_STENCILENABLE, 0},
        {D3DRS_NORMALIZENORMALS, 0},
    };
    for (const auto& [state, value] : states) {
        dev->setRenderState(state, value);
    }
    for (uint32_t s = 0; s < 4; ++s) {
        dev->setTexture(s, nullptr);
        dev->setTextureStageState(s, D3DTSS_COLOROP, s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE);
        dev->setTextureStageState(s, D3DTSS_ALPHAOP, s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE);
        dev->setTextureStageState(s, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        dev->setTextureStageState(s, D3DTSS_COLORARG2, D3DTA_CURRENT);
        dev->setTextureStageState(s, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        dev->setTextureStageState(s, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
        dev->setTextureStageState(s, D3DTSS_TEXCOORDINDEX, s);
        dev->setTextureStageState(s, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
        dev->setTextureStageState(s, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP);
        dev->setTextureStageState(s, D3DTSS_MAGFILTER, D3DTEXF_POINT);
        dev->setTextureStageState(s, D3DTSS_MINFILTER, D3DTEXF_POINT);
        dev->setTextureStageState(s, D3DTSS_MIPFILTER, D3DTEXF_NONE);
        dev->setTextureStageState(s, D3DTSS_MAXMIPLEVEL, 0);
        dev->setTextureStageState(s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    }
    for (uint32_t i = 0; i < 8; ++i) {
        dev->lightEnable(i, 0);
    }
    gfx::Material m{};
    m.Diffuse = {1, 1, 1, 1};
    m.Ambient = {1, 1, 1, 1};
    dev->setMaterial(&m);
    dev->clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF304050u, 1.0f, 0);
}

Case materialCase(const std::string& name, const ::Material* material) {
    return {"material-" + safeName(name), [material](Context& ctx) {
                Device* dev = ctx.dev;
                bool good = drawBackground(ctx);
                meshTransforms(dev);
                meshLight(dev);
                // The scene ambient and texture factor the scenes set around their materials.
                gSceneAmbient = 0xFF303840u;
                dev->setRenderState(D3DRS_TEXTUREFACTOR, 0xA0C08040u);
                applyMaterial(material);
                // Render targets and video frames have no fixed content: the pattern
                // stands in for them.
                const RenderStateBlock& states = *material->states;
                for (uint32_t s = 0; s < std::min(states.stageCount, 4u); ++s) {
                    const int32_t index = states.textureIndex[s];
                    const TextureImage* t = index == 0   ? material->texture
                                            : index == 1 ? material->secondTexture
                                                         : nullptr;
                    if (index >= 0 && uint32_t(index) < states.textureCount && t != nullptr &&
                        ((t->flags & (kTextureRenderTarget | kTextureDynamic)) != 0 ||
                         deviceTextureOf(t) == nullptr)) {
                        dev->setTexture(s, ctx.pattern.get());
                    }
                }
                return good && drawBackPlanes(dev) && drawSphere(dev);
            }};
}

std::vector<Case> deviceCases() {
    std::vector<Case> cases;
    // Stage ops, arguments and modifiers.
    for (uint32_t op : kColourOps) {
        cases.push_back(colourOpCase(op));
    }
    for (uint32_t op : kColourOps) {
        // Dot product and the four "add" forms exist as colour ops only.
        const bool colourOnly = op == D3DTOP_DOTPRODUCT3 || op == D3DTOP_MODULATEALPHA_ADDCOLOR ||
                                op == D3DTOP_MODULATECOLOR_ADDALPHA ||
                                op == D3DTOP_MODULATEINVALPHA_ADDCOLOR ||
                                op == D3DTOP_MODULATEINVCOLOR_ADDALPHA;
        if (!colourOnly) {
            cases.push_back(alphaOpCase(op));
        }
    }
    cases.push_back(argumentCase("complement", D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE,
                                 D3DTA_TEXTURE | D3DTA_COMPLEMENT));
    cases.push_back(argumentCase("alphareplicate", D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE,
                                 D3DTA_DIFFUSE, D3DTA_DIFFUSE));
    cases.push_back(argumentCase("complement-alphareplicate",
                                 D3DTA_DIFFUSE | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE,
                                 D3DTA_TEXTURE, D3DTA_TFACTOR | D3DTA_COMPLEMENT));
    cases.push_back(argumentCase("tfactor", D3DTA_TFACTOR, D3DTA_TEXTURE, D3DTA_TFACTOR));
    cases.push_back(argumentCase("current-stage0", D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_CURRENT));
    cases.push_back({"stage-no-texture", [](Context& ctx) {
                         // No texture bound: the stage samples opaque white.
                         Device* dev = ctx.dev;
                         stageOps(dev, 0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                                  D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                         dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                         return drawFullQuad(dev, kCornerColours);
                     }});
    cases.push_back({"stage-alpha-disable", [](Context& ctx) {
                         // Alpha op DISABLE on stage 1 passes stage 0's alpha through.
                         Device* dev = ctx.dev;
                         bool good = drawBackground(ctx);
                         dev->setTexture(0, ctx.pattern.get());
                         dev->setTexture(1, ctx.detail.get());
                         stageOps(dev, 0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                                  D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                         stageOps(dev, 1, D3DTOP_ADD, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTOP_DISABLE,
                                  D3DTA_TEXTURE, D3DTA_CURRENT);
                         blendOver(dev);
                         dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                         return good && drawFullQuad(dev, kCornerColours);
                     }});

    // Blend factors the scenes use, and the rest of the common ones.
    const std::pair<uint32_t, uint32_t> blends[] = {
        {D3DBLEND_ONE, D3DBLEND_ONE},
        {D3DBLEND_SRCALPHA, D3DBLEND_ONE},
        {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},
        {D3DBLEND_DESTCOLOR, D3DBLEND_ZERO},
        {D3DBLEND_INVDESTCOLOR, D3DBLEND_ONE},
        {D3DBLEND_ONE, D3DBLEND_INVSRCCOLOR},
        {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
        {D3DBLEND_INVSRCALPHA, D3DBLEND_SRCALPHA},
    };
    for (const auto& [src, dst] : blends) {
        cases.push_back({"blend-" + std::to_string(src) + "-" + std::to_string(dst),
                         [src = src, dst = dst](Context& ctx) {
                             Device* dev = ctx.dev;
                             bool good = drawBackground(ctx);
                             dev->setTexture(0, ctx.pattern.get());
                             stageOps(dev, 0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                                      D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                             dev->setRenderState(D3DRS_ALPHABLENDENABLE, 1);
                             dev->setRenderState(D3DRS_SRCBLEND, src);
                             dev->setRenderState(D3DRS_DESTBLEND, dst);
                             dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                             return good && drawFullQuad(dev, kCornerColours);
                         }});
    }

    // Filtering and addressing.
    cases.push_back(samplingCase("filter-point-magnify", D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE,
                                 D3DTADDRESS_WRAP, 0, 0, 1, 1, 16));
    cases.push_back(samplingCase("filter-linear-magnify", D3DTEXF_LINEAR, D3DTEXF_LINEAR,
                                 D3DTEXF_NONE, D3DTADDRESS_WRAP, 0, 0, 1, 1, 16));
    cases.push_back(samplingCase("filter-point-minify", D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE,
                                 D3DTADDRESS_WRAP, 0, 0, 1, 1, 256));
    cases.push_back(samplingCase("filter-linear-minify", D3DTEXF_LINEAR, D3DTEXF_LINEAR,
                                 D3DTEXF_NONE, D3DTADDRESS_WRAP, 0, 0, 1, 1, 128));
    cases.push_back(mipCase("filter-mip-none", D3DTEXF_LINEAR, D3DTEXF_NONE));
    cases.push_back(mipCase("filter-mip-point", D3DTEXF_LINEAR, D3DTEXF_POINT));
    cases.push_back(mipCase("filter-mip-linear", D3DTEXF_LINEAR, D3DTEXF_LINEAR));
    cases.push_back(mipCase("filter-mip-point-min-point", D3DTEXF_POINT, D3DTEXF_POINT));
    const std::pair<const char*, uint32_t> modes[] = {{"wrap", D3DTADDRESS_WRAP},
                                                      {"mirror", D3DTADDRESS_MIRROR},
                                                      {"clamp", D3DTADDRESS_CLAMP},
                                                      {"border", D3DTADDRESS_BORDER}};
    for (const auto& [mode, value] : modes) {
        cases.push_back(samplingCase(std::string("address-") + mode, D3DTEXF_POINT, D3DTEXF_POINT,
                                     D3DTEXF_NONE, value, -1.0f, -0.75f, 2.0f, 2.25f, 8));
        cases.push_back(samplingCase(std::string("address-") + mode + "-linear", D3DTEXF_LINEAR,
                                     D3DTEXF_LINEAR, D3DTEXF_NONE, value, -1.0f, -0.75f, 2.0f,
                                     2.25f, 8));
    }

    // Pixel and texel centres.
    cases.push_back(samplingCase("centres-pixel-point", D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE,
                                 D3DTADDRESS_CLAMP, 0, 0, 1, 1, 64));
    cases.push_back({"centres-texel-linear", [](Context& ctx) {
                         // The quad on whole pixel numbers: every pixel centre samples halfway
                         // between two texels.
                         Device* dev = ctx.dev;
                         dev->setTexture(0, ctx.pattern.get());
                         stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                                  D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                         dev->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
                         dev->setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
                         dev->setTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
                         dev->setTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
                         dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                         return drawTlQuad(dev, 0, 0, kSize, kSize, 0, 0, 1, 1);
                     }});
    cases.push_back({"centres-quarter-point", [](Context& ctx) {
                         // A quarter pixel off the centres: point sampling must still pick
                         // texel for pixel.
                         Device* dev = ctx.dev;
                         dev->setTexture(0, ctx.pattern.get());
                         stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                                  D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                         dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                         return drawTlQuad(dev, -0.25f, -0.25f, kSize - 0.25f, kSize - 0.25f, 0, 0,
                                           1, 1);
                     }});
    cases.push_back(
        {"centres-transformed-linear", [](Context& ctx) {
             // Clip space -1..1 through the viewport: pixel centres on the integer
             // coordinates of the target, so again halfway between texels.
             Device* dev = ctx.dev;
             dev->setTexture(0, ctx.pattern.get());
             stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG1,
                      D3DTA_TEXTURE, D3DTA_DIFFUSE);
             dev->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
             dev->setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
             dev->setTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
             dev->setTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
             dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
             auto vtx = [](float x, float y, float u, float v) {
                 return MeshVertex{x, y, 0.5f, 0, 0, -1, 0xFFFFFFFFu, u, v, u, v};
             };
             const MeshVertex v[4] = {vtx(-1, 1, 0, 0), vtx(1, 1, 1, 0), vtx(-1, -1, 0, 1),
                                      vtx(1, -1, 1, 1)};
             return ok(dev->setVertexShader(kMeshFvf)) &&
                    ok(dev->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(MeshVertex)));
         }});
    cases.push_back({"centres-edges", [](Context& ctx) {
                         // Quads whose edges fall exactly on pixel centres and between them:
                         // the top-left fill rule decides.
                         Device* dev = ctx.dev;
                         vertexColourStages(dev);
                         dev->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
                         bool good = true;
                         for (int i = 0; i < 4; ++i) {
                             const float o = 0.25f * float(i);
                             const float x = 4.0f + 15.0f * float(i);
                             good = good && drawTlQuad(dev, x + o, 4.0f + o, x + 8.0f + o,
                                                       30.0f + o, 0, 0, 1, 1, 0xFFFF8000u);
                             good = good && drawTlQuad(dev, x - 0.5f, 34.0f - 0.5f, x + 8.5f, 60.5f,
                                                       0, 0, 1, 1, 0xFF00C0FFu);
                         }
                         return good;
                     }});

    // Render targets, depth surfaces and viewport clears.
    cases.push_back({"target-own-depth", [](Context& ctx) { return renderTargets(ctx, true); }});
    cases.push_back({"target-no-depth", [](Context& ctx) { return renderTargets(ctx, false); }});
    cases.push_back({"clear-viewport", viewportClears});

    // Formats.
    cases.push_back(formatCase("format-8888", D3DFMT_A8R8G8B8));
    cases.push_back(formatCase("format-565", D3DFMT_R5G6B5));
    cases.push_back(formatCase("format-4444", D3DFMT_A4R4G4B4));
    cases.push_back(formatCase("format-1555", D3DFMT_A1R5G5B5));

    // Culling, shading, fill.
    const std::pair<const char*, uint32_t> culls[] = {
        {"none", D3DCULL_NONE}, {"cw", D3DCULL_CW}, {"ccw", D3DCULL_CCW}};
    for (const auto& [n, cull] : culls) {
        cases.push_back(
            rasterCase(std::string("cull-") + n, cull, D3DSHADE_GOURAUD, D3DFILL_SOLID));
    }
    cases.push_back(rasterCase("shade-flat", D3DCULL_NONE, D3DSHADE_FLAT, D3DFILL_SOLID));
    cases.push_back(
        rasterCase("fill-wireframe", D3DCULL_NONE, D3DSHADE_GOURAUD, D3DFILL_WIREFRAME));
    cases.push_back(
        rasterCase("fill-wireframe-flat-cw", D3DCULL_CW, D3DSHADE_FLAT, D3DFILL_WIREFRAME));
    cases.push_back({"fill-wireframe-sphere", [](Context& ctx) {
                         Device* dev = ctx.dev;
                         meshTransforms(dev);
                         vertexColourStages(dev);
                         dev->setRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
                         dev->setRenderState(D3DRS_CULLMODE, D3DCULL_CW);
                         return drawSphere(dev);
                     }});

    // Alpha test.
    const std::pair<const char*, uint32_t> funcs[] = {
        {"less", D3DCMP_LESS},           {"equal", D3DCMP_EQUAL},
        {"lessequal", D3DCMP_LESSEQUAL}, {"greater", D3DCMP_GREATER},
        {"notequal", D3DCMP_NOTEQUAL},   {"greaterequal", D3DCMP_GREATEREQUAL}};
    for (const auto& [n, func] : funcs) {
        cases.push_back(alphaTestCase(std::string("alphatest-") + n, func, 0x80));
    }
    cases.push_back(alphaTestCase("alphatest-greaterequal-8", D3DCMP_GREATEREQUAL, 8));

    // Lighting and fog.
    cases.push_back(lightingCase("light-material-gouraud", false, D3DSHADE_GOURAUD, 0xFF202020u));
    cases.push_back(lightingCase("light-material-flat", false, D3DSHADE_FLAT, 0xFF202020u));
    cases.push_back(lightingCase("light-vertex-gouraud", true, D3DSHADE_GOURAUD, 0xFF404060u));
    cases.push_back(lightingCase("light-vertex-flat", true, D3DSHADE_FLAT, 0xFF404060u));
    cases.push_back(fogCase("fog-linear-lit", 3.0f, 6.5f, 0x00406080u, true));
    cases.push_back(fogCase("fog-linear-unlit", 2.8f, 7.0f, 0x00C0A080u, false));
    cases.push_back(fogCase("fog-linear-near", 1.0f, 4.0f, 0x00000000u, true));
    cases.push_back({"wrap-u-sphere", [](Context& ctx) {
                         // Cylindrical wrap in u: the seam's triangles interpolate the short
                         // way round.
                         Device* dev = ctx.dev;
                         meshTransforms(dev);
                         dev->setTexture(0, ctx.pattern.get());
                         stageOps(dev, 0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE,
                                  D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE);
                         dev->setRenderState(D3DRS_WRAP0, D3DWRAP_U);
                         dev->setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
                         // Turned so the seam faces the camera.
                         Matrix world = translation(0.0f, 0.0f, 4.0f);
                         const float a = -0.6f;
                         world.m[0][0] = std::cos(a);
                         world.m[0][2] = -std::sin(a);
                         world.m[2][0] = std::sin(a);
                         world.m[2][2] = std::cos(a);
                         dev->setTransform(D3DTS_WORLD, &world);
                         return drawSphere(dev, true);
                     }});

    // The text state block.
    cases.push_back(textCase("text-state-block", false));
    cases.push_back(textCase("text-state-block-linear", true));
    return cases;
}

} // namespace conformance
