// The device suite, run on every device the build has: the rendering device (headless GL on
// llvmpipe on Linux, Direct3D 8 on Windows) checked by reading pixels back: clears, texture
// orientation and pixel centres, blending, render targets, culling, shading, fog, lighting,
// alpha test, depth, wrapping, locks and state blocks; the argument checks also on the Null
// device.
#include "gfx_test_util.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace gfx;
using gfxtest::Bgra;
using gfxtest::DeviceTest;
using gfxtest::TlVertex;
using gfxtest::Vertex;

namespace {

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return a << 24 | r << 16 | g << 8 | b;
}

// Argument checks: every device, the Null one included.
class DeviceCheckTest : public DeviceTest {};

} // namespace

INSTANTIATE_TEST_SUITE_P(Rendering, DeviceTest, ::testing::Values(gfxtest::renderingBackend()),
                         gfxtest::backendName);
INSTANTIATE_TEST_SUITE_P(Every, DeviceCheckTest,
                         ::testing::Values(Backend::Null, gfxtest::renderingBackend()),
                         gfxtest::backendName);

TEST_P(DeviceTest, ClearFillsTheBackBufferAndOnlyTheViewport) {
    ASSERT_EQ(dev_->clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0x00000033, 1.0f, 0),
              D3D_OK);
    read();
    EXPECT_EQ(readWidth_, kWidth);
    EXPECT_EQ(readHeight_, kHeight);
    EXPECT_EQ(at(0, 0).b, 0x33);
    EXPECT_EQ(at(0, 0).g, 0);
    EXPECT_EQ(at(kWidth - 1, kHeight - 1).r, 0);

    // A viewport in the top-left corner: only it changes; rows count from the top.
    const Viewport vp{0, 0, 16, 8, 0.0f, 1.0f};
    ASSERT_EQ(dev_->setViewport(&vp), D3D_OK);
    ASSERT_EQ(dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0x00FF0000, 1.0f, 0), D3D_OK);
    // Rectangles are clipped to the viewport.
    const Rect r{8, 4, 100, 100};
    ASSERT_EQ(dev_->clear(1, &r, D3DCLEAR_TARGET, 0x0000FF00, 1.0f, 0), D3D_OK);
    read();
    EXPECT_EQ(at(0, 0).r, 255);
    EXPECT_EQ(at(15, 3).r, 255);
    EXPECT_EQ(at(9, 5).g, 255);
    EXPECT_EQ(at(16, 0).b, 0x33);
    EXPECT_EQ(at(0, 8).b, 0x33);
    EXPECT_EQ(at(20, 20).b, 0x33);
}

TEST_P(DeviceTest, DrawBoundsLimitDrawsButNotClearsUntilLifted) {
    if (GetParam() != Backend::GlHeadless) {
        GTEST_SKIP() << "Direct3D 8 ignores draw bounds and draws everything";
    }
    plainColourState();
    ASSERT_EQ(dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0x00000033, 1.0f, 0), D3D_OK);
    const Rect bounds{8, 4, 20, 12};
    ASSERT_EQ(dev_->setDrawBounds(&bounds), D3D_OK);
    drawFullQuad(0xFFFF0000);
    read();
    // Rows count from the top, as for clears; right and bottom are exclusive.
    EXPECT_EQ(at(8, 4).r, 255);
    EXPECT_EQ(at(19, 11).r, 255);
    for (const auto& [x, y] : {std::pair{7u, 4u}, {8u, 3u}, {20u, 11u}, {19u, 12u}, {0u, 0u}}) {
        EXPECT_EQ(at(x, y).r, 0) << x << "," << y;
        EXPECT_EQ(at(x, y).b, 0x33) << x << "," << y;
    }

    // Clears keep the whole viewport, and leave the bounds in force for the next draw.
    ASSERT_EQ(dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0x0000FF00, 1.0f, 0), D3D_OK);
    drawFullQuad(0xFF0000FF);
    read();
    EXPECT_EQ(at(0, 0).g, 255);
    EXPECT_EQ(at(kWidth - 1, kHeight - 1).g, 255);
    EXPECT_EQ(at(10, 6).b, 255);

    // Empty bounds draw nothing; lifted bounds draw everywhere again.
    const Rect empty{30, 30, 10, 10};
    ASSERT_EQ(dev_->setDrawBounds(&empty), D3D_OK);
    drawFullQuad(0xFFFFFFFF);
    read();
    EXPECT_EQ(at(0, 0).r, 0);
    EXPECT_EQ(at(10, 6).r, 0);
    ASSERT_EQ(dev_->setDrawBounds(nullptr), D3D_OK);
    drawFullQuad(0xFFFFFFFF);
    read();
    EXPECT_EQ(at(0, 0).r, 255);
    EXPECT_EQ(at(kWidth - 1, kHeight - 1).r, 255);
}

TEST_P(DeviceTest, PretransformedQuadReproducesTextureTexelForPixel) {
    // Top row red; elsewhere every texel distinct.
    auto tex = makeTexture(kWidth, kHeight, [](uint32_t x, uint32_t y) {
        return y == 0 ? 0xFFFF0000u : argb(255, x * 3, y * 5, 77);
    });
    dev_->setRenderState(D3DRS_LIGHTING, 0);
    dev_->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    dev_->setTexture(0, tex.get());
    dev_->setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    drawFullQuad();
    read();
    int mismatches = 0;
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            const Bgra p = at(x, y);
            const uint32_t want = y == 0 ? 0xFFFF0000u : argb(255, x * 3, y * 5, 77);
            if (p.r != ((want >> 16) & 255) || p.g != ((want >> 8) & 255) || p.b != (want & 255)) {
                ++mismatches;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(at(10, 0).r, 255);
    EXPECT_EQ(at(10, 0).g, 0);
}

TEST_P(DeviceTest, TextureFactorOverlayAtHalfAlphaDarkensWhiteToHalf) {
    dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0);
    dev_->setRenderState(D3DRS_LIGHTING, 0);
    dev_->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    dev_->setRenderState(D3DRS_TEXTUREFACTOR, 0x80000000);
    dev_->setRenderState(D3DRS_ALPHABLENDENABLE, 1);
    dev_->setRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    dev_->setRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev_->setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev_->setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    dev_->setTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    dev_->setTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    drawFullQuad();
    read();
    for (const Bgra& p : {at(0, 0), at(kWidth / 2, kHeight / 2), at(kWidth - 1, kHeight - 1)}) {
        EXPECT_GE(p.r, 127);
        EXPECT_LE(p.r, 128);
        EXPECT_EQ(p.r, p.b);
    }
}

TEST_P(DeviceTest, RenderTargetTextureRoundTripsThroughTheBackBuffer) {
    Ref<Texture> target;
    ASSERT_EQ(dev_->createTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                  D3DPOOL_DEFAULT, target.put()),
              D3D_OK);
    Ref<Surface> level, depth, back, backDepth;
    ASSERT_EQ(target->getSurfaceLevel(0, level.put()), D3D_OK);
    ASSERT_EQ(dev_->createDepthStencilSurface(32, 32, D3DFMT_D24S8, 0, depth.put()), D3D_OK);
    ASSERT_EQ(dev_->getRenderTarget(back.put()), D3D_OK);
    ASSERT_EQ(dev_->getDepthStencilSurface(backDepth.put()), D3D_OK);
    // A render target texture cannot be locked.
    LockedRect lr{};
    EXPECT_EQ(target->lockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(lr.pBits, nullptr);

    ASSERT_EQ(dev_->setRenderTarget(level.get(), depth.get()), D3D_OK);
    Viewport vp{};
    dev_->getViewport(&vp);
    EXPECT_EQ(vp.Width, 32u);
    plainColourState();
    dev_->clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF00FF00, 1.0f, 0);
    drawQuad(-0.5f, -0.5f, 15.5f, 15.5f, 0xFFFF0000); // top-left quarter red
    read(level.get());
    EXPECT_EQ(readWidth_, 32u);
    EXPECT_EQ(at(0, 0).r, 255);
    EXPECT_EQ(at(15, 15).r, 255);
    EXPECT_EQ(at(16, 16).g, 255);

    ASSERT_EQ(dev_->setRenderTarget(back.get(), backDepth.get()), D3D_OK);
    dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    dev_->setTexture(0, target.get());
    dev_->setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev_->setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    drawQuad(-0.5f, -0.5f, 31.5f, 31.5f);
    read();
    EXPECT_EQ(at(0, 0).r, 255);
    EXPECT_EQ(at(15, 15).r, 255);
    EXPECT_EQ(at(16, 16).g, 255);
    EXPECT_EQ(at(31, 31).g, 255);
    EXPECT_EQ(at(40, 10).g, 0);
}

TEST_P(DeviceTest, CullModesRemoveTrianglesByTheirWindingOnScreen) {
    plainColourState();
    // Clockwise on screen (y down): top-left, top-right, bottom-left.
    const TlVertex cw[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                            {40, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                            {0, 40, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    const TlVertex ccw[3] = {cw[0], cw[2], cw[1]};
    // The same clockwise triangle, transformed (clip space y up, identity matrices).
    const Vertex cwT[3] = {{-1, 1, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 0},
                           {0, 1, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 0},
                           {-1, 0, 0.5f, 0, 0, -1, 0xFFFFFFFF, 0, 0}};
    struct Case {
        uint32_t cull;
        bool clockwise, transformed, drawn;
    };
    const Case cases[] = {
        {D3DCULL_CCW, true, false, true},   {D3DCULL_CCW, false, false, false},
        {D3DCULL_CW, true, false, false},   {D3DCULL_CW, false, false, true},
        {D3DCULL_NONE, false, false, true}, {D3DCULL_CCW, true, true, true},
        {D3DCULL_CW, true, true, false},
    };
    for (const Case& c : cases) {
        dev_->clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        dev_->setRenderState(D3DRS_CULLMODE, c.cull);
        if (c.transformed) {
            dev_->setVertexShader(gfxtest::kFvf);
            dev_->drawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cwT, sizeof(Vertex));
        } else {
            dev_->setVertexShader(gfxtest::kTlFvf);
            dev_->drawPrimitiveUP(D3DPT_TRIANGLELIST, 1, c.clockwise ? cw : ccw, sizeof(TlVertex));
        }
        read();
        EXPECT_EQ(at(5, 5).r, c.drawn ? 255 : 0) << "cull " << c.cull << " clockwise "
                                                 << c.clockwise << " transformed " << c.transformed;
    }
}

TEST_P(DeviceTest, FlatShadingTakesTheFirstVertexOfEachTriangle) {
    plainColourState();
    dev_->setRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    // A strip of two triangles: first vertices red (triangle 0) and green (triangle 1).
    const TlVertex v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFF0000, 0, 0},
                           {-0.5f, 47.5f, 0.5f, 1, 0xFF00FF00, 0, 0},
                           {63.5f, -0.5f, 0.5f, 1, 0xFF0000FF, 0, 0},
                           {63.5f, 47.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    dev_->setVertexShader(gfxtest::kTlFvf);
    ASSERT_EQ(dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex)), D3D_OK);
    read();
    const Bgra a = at(5, 5), b = at(60, 44);
    EXPECT_EQ(argb(0, a.r, a.g, a.b), 0x00FF0000u);
    EXPECT_EQ(argb(0, b.r, b.g, b.b), 0x0000FF00u);

    // The same with coordinate wrapping on (which reworks each triangle on the way).
    dev_->setRenderState(D3DRS_WRAP0, D3DWRAP_U | D3DWRAP_V);
    dev_->setTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
    dev_->setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    ASSERT_EQ(dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex)), D3D_OK);
    read();
    EXPECT_EQ(argb(0, at(5, 5).r, at(5, 5).g, at(5, 5).b), 0x00FF0000u);
    EXPECT_EQ(argb(0, at(60, 44).r, at(60, 44).g, at(60, 44).b), 0x0000FF00u);
    dev_->setRenderState(D3DRS_WRAP0, 0);

    // Gouraud blends the corners instead.
    dev_->setRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex));
    read();
    const Bgra c = at(20, 20);
    EXPECT_GT(c.r, 0);
    EXPECT_GT(c.g, 0);
    EXPECT_GT(c.b, 0);
}

namespace {

// Orthographic-like projection: clip w = 1, z / far in 0..1.
Matrix depthProjection(float far) {
    Matrix m{};
    m.m[0][0] = 1;
    m.m[1][1] = 1;
    m.m[2][2] = 1.0f / far;
    m.m[3][3] = 1;
    return m;
}

void fullViewQuad(Vertex* v, float z, uint32_t colour) {
    const float xy[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
    for (int i = 0; i < 4; ++i) {
        v[i] = {xy[i][0], xy[i][1], z, 0, 0, -1, colour, float(i & 1), float(i >> 1)};
    }
}

} // namespace

// A perspective projection (w = eye z) with the near plane at 1 and the far one at far.
Matrix perspectiveProjection(float far) {
    Matrix m{};
    m.m[0][0] = 1;
    m.m[1][1] = 1;
    m.m[2][2] = far / (far - 1.0f);
    m.m[2][3] = 1;
    m.m[3][2] = -far / (far - 1.0f);
    return m;
}

TEST_P(DeviceTest, LinearTableFogUsesEyeDepthOrUnderAnAffineProjectionTheDeviceDepth) {
    plainColourState();
    dev_->setRenderState(D3DRS_FOGENABLE, 1);
    dev_->setRenderState(D3DRS_FOGTABLEMODE, D3DFOG_LINEAR);
    dev_->setRenderState(D3DRS_FOGCOLOR, 0x000000FF);
    auto setFloat = [&](uint32_t state, float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        dev_->setRenderState(state, bits);
    };
    dev_->setVertexShader(gfxtest::kFvf);
    const float depths[] = {2.5f, 5.0f, 20.0f};
    const int reds[] = {191, 128, 0};
    // Perspective: fog over eye depths 0..10. Affine (w = 1): over device depths 0..0.1,
    // which is eye depth / 100 here, so the same colours.
    for (const bool perspective : {true, false}) {
        const Matrix proj = perspective ? perspectiveProjection(100.0f) : depthProjection(100.0f);
        dev_->setTransform(D3DTS_PROJECTION, &proj);
        setFloat(D3DRS_FOGSTART, 0.0f);
        setFloat(D3DRS_FOGEND, perspective ? 10.0f : 0.1f);
        for (int i = 0; i < 3; ++i) {
            Vertex v[4];
            fullViewQuad(v, depths[i], 0xFFFF0000);
            if (perspective) {
                for (Vertex& x : v) { // still covering the view
                    x.x *= depths[i];
                    x.y *= depths[i];
                }
            }
            dev_->clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
            ASSERT_EQ(dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex)), D3D_OK);
            read();
            EXPECT_NEAR(at(30, 20).r, reds[i], 2)
                << "depth " << depths[i] << " perspective " << perspective;
            EXPECT_NEAR(at(30, 20).b, 255 - reds[i], 2)
                << "depth " << depths[i] << " perspective " << perspective;
        }
    }
}

TEST_P(DeviceTest, DirectionalLightLightsByNormalAndMaterial) {
    dev_->setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev_->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    dev_->setRenderState(D3DRS_AMBIENT, argb(0, 0x20, 0x20, 0x20));
    const Matrix proj = depthProjection(100.0f);
    dev_->setTransform(D3DTS_PROJECTION, &proj);
    Light light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0, 0, 1}; // shining into the screen, onto surfaces facing -z
    ASSERT_EQ(dev_->setLight(0, &light), D3D_OK);
    ASSERT_EQ(dev_->lightEnable(0, 1), D3D_OK);
    Material m{};
    m.Diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
    m.Ambient = {1, 0, 0, 1};
    dev_->setMaterial(&m);
    dev_->setRenderState(D3DRS_COLORVERTEX, 0);
    dev_->setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    dev_->setVertexShader(gfxtest::kFvf);

    Vertex v[4];
    fullViewQuad(v, 5.0f, 0xFF000000);
    dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex));
    read();
    // Ambient 0x20 on the red ambient material plus the full diffuse.
    EXPECT_NEAR(at(30, 20).r, 128 + 32, 2);
    EXPECT_NEAR(at(30, 20).g, 64, 2);
    EXPECT_NEAR(at(30, 20).b, 255, 1);

    // A normal at right angles to the light gets the ambient part only.
    for (Vertex& x : v) {
        x.nx = 1;
        x.nz = 0;
    }
    dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex));
    read();
    EXPECT_NEAR(at(30, 20).r, 32, 2);
    EXPECT_NEAR(at(30, 20).g, 0, 1);

    // Colour vertex on: the diffuse colour comes from the vertex.
    dev_->setRenderState(D3DRS_COLORVERTEX, 1);
    fullViewQuad(v, 5.0f, 0xFF00FF00);
    dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex));
    read();
    EXPECT_NEAR(at(30, 20).g, 255, 1);
    EXPECT_NEAR(at(30, 20).r, 32, 2);

    // Lighting off: the vertex colour as it is.
    dev_->setRenderState(D3DRS_LIGHTING, 0);
    fullViewQuad(v, 5.0f, 0xFF102030);
    dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(Vertex));
    read();
    EXPECT_EQ(at(30, 20).r, 0x10);
    EXPECT_EQ(at(30, 20).b, 0x30);
}

TEST_P(DeviceTest, AlphaTestComparesAlphaWithTheReference) {
    plainColourState();
    dev_->setRenderState(D3DRS_ALPHATESTENABLE, 1);
    dev_->setRenderState(D3DRS_ALPHAREF, 0x80);
    struct Case {
        uint32_t func, alpha;
        bool drawn;
    };
    const Case cases[] = {{D3DCMP_GREATEREQUAL, 0x80, true}, {D3DCMP_GREATEREQUAL, 0x7F, false},
                          {D3DCMP_LESS, 0x7F, true},         {D3DCMP_NEVER, 0xFF, false},
                          {D3DCMP_EQUAL, 0x80, true},        {D3DCMP_ALWAYS, 0x00, true}};
    for (const Case& c : cases) {
        dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        dev_->setRenderState(D3DRS_ALPHAFUNC, c.func);
        drawFullQuad(argb(c.alpha, 255, 255, 255));
        read();
        EXPECT_EQ(at(10, 10).r, c.drawn ? 255 : 0) << "func " << c.func << " alpha " << c.alpha;
    }
}

TEST_P(DeviceTest, DepthTestKeepsTheNearerSurface) {
    plainColourState();
    dev_->clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    dev_->setRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    dev_->setRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    drawQuad(-0.5f, -0.5f, 31.5f, 47.5f, 0xFFFF0000, 0.25f); // near, left half
    drawQuad(-0.5f, -0.5f, 63.5f, 47.5f, 0xFF00FF00, 0.75f); // far, everywhere
    read();
    EXPECT_EQ(at(10, 10).r, 255);
    EXPECT_EQ(at(50, 10).g, 255);
    // w-buffering is accepted and behaves as z-buffering.
    dev_->setRenderState(D3DRS_ZENABLE, D3DZB_USEW);
    drawQuad(-0.5f, -0.5f, 63.5f, 47.5f, 0xFF0000FF, 0.5f);
    read();
    EXPECT_EQ(at(10, 10).r, 255);
    EXPECT_EQ(at(50, 10).b, 255);
}

TEST_P(DeviceTest, WrapStateInterpolatesCoordinatesTheShortWayRound) {
    // Four columns: red, green, blue, white.
    auto tex = makeTexture(4, 1, [](uint32_t x, uint32_t) {
        const uint32_t c[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
        return c[x];
    });
    dev_->setRenderState(D3DRS_LIGHTING, 0);
    dev_->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    dev_->setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev_->setTexture(0, tex.get());
    dev_->setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    // u runs from 0.9 on the left to 0.1 on the right: 0.2 apart the short way.
    TlVertex v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0.9f, 0},
                     {63.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0.1f, 0},
                     {-0.5f, 47.5f, 0.5f, 1, 0xFFFFFFFF, 0.9f, 1},
                     {63.5f, 47.5f, 0.5f, 1, 0xFFFFFFFF, 0.1f, 1}};
    dev_->setVertexShader(gfxtest::kTlFvf);
    dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex));
    read();
    // Straight interpolation passes 0.5 in the middle: blue (column 2).
    EXPECT_EQ(at(30, 24).b, 255);
    EXPECT_EQ(at(30, 24).r, 0);

    dev_->setRenderState(D3DRS_WRAP0, D3DWRAP_U);
    dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex));
    read();
    if (gfxtest::onWinesDirect3D8(GetParam())) {
        // Wine's Direct3D 8 ignores the wrap render states and interpolates straight on,
        // where Direct3D 8 takes the shorter way round the unit cylinder (from 0.9 to 0.1
        // through 1.0): blue stays in the middle.
        EXPECT_EQ(at(30, 24).b, 255);
        EXPECT_EQ(at(30, 24).r, 0);
        return;
    }
    // The short way passes 1.0 (0.0) in the middle: white then red around it.
    const Bgra left = at(29, 24), right = at(34, 24);
    EXPECT_EQ(argb(0, left.r, left.g, left.b), 0x00FFFFFFu);
    EXPECT_EQ(argb(0, right.r, right.g, right.b), 0x00FF0000u);
}

TEST_P(DeviceTest, IndexedTriangleListsWrapAsClientDrawsDoAndFollowRewrites) {
    // Eight columns from red to white, so a wrong wrap shows in the colours.
    auto tex =
        makeTexture(8, 1, [](uint32_t x, uint32_t) { return 0xFF000000u | (x * 0x1F2431u); });
    dev_->setRenderState(D3DRS_LIGHTING, 0);
    dev_->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    dev_->setRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    dev_->setTexture(0, tex.get());
    dev_->setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev_->setRenderState(D3DRS_WRAP0, D3DWRAP_U | D3DWRAP_V);
    // A 3 x 3 grid whose coordinates cross the seam in u and v; the middle vertex is shared
    // by triangles that wrap it differently.
    TlVertex grid[9];
    auto layout = [&](float shift) {
        for (uint32_t i = 0; i < 9; ++i) {
            const float x = float(i % 3), y = float(i / 3);
            grid[i] = {-0.5f + 32 * x,
                       -0.5f + 24 * y,
                       0.5f,
                       1,
                       0xFFFFFFFF,
                       std::fmod(0.8f + shift + 0.15f * x + 0.02f * y, 1.0f),
                       std::fmod(0.9f + 0.1f * y + 0.03f * x, 1.0f)};
        }
    };
    layout(0);
    const uint16_t indices[24] = {0, 1, 3, 1, 4, 3, 1, 2, 4, 2, 5, 4,
                                  3, 4, 6, 4, 7, 6, 4, 5, 7, 5, 8, 7};
    Ref<VertexBuffer> vb;
    ASSERT_EQ(dev_->createVertexBuffer(sizeof(grid), 0, gfxtest::kTlFvf, D3DPOOL_MANAGED, vb.put()),
              D3D_OK);
    Ref<IndexBuffer> ib;
    ASSERT_EQ(
        dev_->createIndexBuffer(sizeof(indices), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.put()),
        D3D_OK);
    uint8_t* p = nullptr;
    ASSERT_EQ(ib->lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, indices, sizeof(indices));
    ib->unlock();
    dev_->setVertexShader(gfxtest::kTlFvf);
    dev_->setStreamSource(0, vb.get(), sizeof(TlVertex));
    dev_->setIndices(ib.get(), 0);
    // Client-memory draws keep the per-triangle geometry stage: the reference.
    auto compare = [&](uint32_t start, uint32_t triangles) {
        ASSERT_EQ(vb->lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, grid, sizeof(grid));
        vb->unlock();
        // The client draw below unbinds both, as Direct3D 8 does.
        dev_->setStreamSource(0, vb.get(), sizeof(TlVertex));
        dev_->setIndices(ib.get(), 0);
        dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        ASSERT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 9, start, triangles), D3D_OK);
        read();
        const std::string indexed = pixels_;
        dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        ASSERT_EQ(dev_->drawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 9, triangles, indices + start,
                                               D3DFMT_INDEX16, grid, sizeof(TlVertex)),
                  D3D_OK);
        read();
        int differing = 0, drawn = 0;
        for (size_t i = 0; i < indexed.size(); ++i) {
            const int d = std::abs(int(uint8_t(indexed[i])) - int(uint8_t(pixels_[i])));
            EXPECT_LE(d, 1) << "byte " << i; // the same but for rounding in the last place
            differing += d != 0 ? 1 : 0;
            drawn += pixels_[i] != 0 ? 1 : 0;
        }
        EXPECT_LT(differing, int(indexed.size() / 100));
        EXPECT_GT(drawn, 1000);
    };
    compare(0, 8);
    compare(6, 4);
    // New coordinates in the same buffers wrap anew.
    layout(0.1f);
    compare(0, 8);
    dev_->setRenderState(D3DRS_WRAP0, 0);
}

TEST_P(DeviceCheckTest, TextureLevelsLockAndReadBackAfterUpload) {
    Ref<Texture> t;
    ASSERT_EQ(dev_->createTexture(16, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, t.put()), D3D_OK);
    EXPECT_EQ(t->getLevelCount(), 5u);
    SurfaceDesc d{};
    ASSERT_EQ(t->getLevelDesc(1, &d), D3D_OK);
    EXPECT_EQ(d.Width, 8u);
    EXPECT_EQ(d.Height, 4u);
    // Sub-rectangle lock: pointer at (top, left) with the level's pitch.
    LockedRect whole{}, part{};
    ASSERT_EQ(t->lockRect(1, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(t->lockRect(1, &part, nullptr, 0), D3DERR_INVALIDCALL); // already locked
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(whole.pBits) + y * whole.Pitch)[x] =
                argb(255, uint32_t(x), uint32_t(y), 9);
        }
    }
    ASSERT_EQ(t->unlockRect(1), D3D_OK);
    EXPECT_EQ(t->unlockRect(1), D3DERR_INVALIDCALL);
    const Rect r{2, 1, 6, 3};
    ASSERT_EQ(t->lockRect(1, &part, &r, D3DLOCK_READONLY), D3D_OK);
    uint32_t texel;
    std::memcpy(&texel, part.pBits, 4);
    EXPECT_EQ(texel, argb(255, 2, 1, 9));
    EXPECT_EQ(t->unlockRect(1), D3D_OK);
    const Rect outside{0, 0, 9, 4};
    EXPECT_EQ(t->lockRect(1, &part, &outside, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(part.pBits, nullptr);
    EXPECT_EQ(t->lockRect(5, &part, nullptr, 0), D3DERR_INVALIDCALL);
}

TEST_P(DeviceCheckTest, LocksAndDrawsStayInsideTheirBuffers) {
    dev_->setVertexShader(gfxtest::kTlFvf);
    Ref<VertexBuffer> vb;
    ASSERT_EQ(dev_->createVertexBuffer(8 * sizeof(TlVertex), 0, gfxtest::kTlFvf, D3DPOOL_MANAGED,
                                       vb.put()),
              D3D_OK);
    uint8_t* p = reinterpret_cast<uint8_t*>(uintptr_t(1));
    EXPECT_EQ(vb->lock(8 * sizeof(TlVertex), 1, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(vb->lock(8 * sizeof(TlVertex) + 1, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->unlock(), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->lock(0, 0, &p, 0), D3D_OK);
    std::memset(p, 0, 8 * sizeof(TlVertex));
    EXPECT_EQ(vb->lock(0, 0, &p, 0), D3DERR_INVALIDCALL); // already locked
    ASSERT_EQ(vb->unlock(), D3D_OK);

    ASSERT_EQ(dev_->setStreamSource(0, vb.get(), sizeof(TlVertex)), D3D_OK);
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), D3D_OK);
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLESTRIP, 5, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLELIST, 0, 3), D3DERR_INVALIDCALL);

    // Six indices naming vertices 0..3: a start past them, a base vertex pushing them beyond
    // the buffer, or an index beyond it, is refused.
    Ref<IndexBuffer> ib;
    ASSERT_EQ(dev_->createIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.put()), D3D_OK);
    ASSERT_EQ(ib->lock(0, 0, &p, 0), D3D_OK);
    const uint16_t idx[6] = {0, 1, 2, 2, 1, 3};
    std::memcpy(p, idx, sizeof(idx));
    ASSERT_EQ(ib->unlock(), D3D_OK);
    EXPECT_EQ(ib->unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(ib->lock(10, 4, &p, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev_->setIndices(ib.get(), 4), D3D_OK);
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 3, 2), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev_->setIndices(ib.get(), 5), D3D_OK);
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev_->setIndices(ib.get(), 0), D3D_OK);
    ASSERT_EQ(ib->lock(10, 2, &p, 0), D3D_OK);
    const uint16_t beyond = 8;
    std::memcpy(p, &beyond, 2);
    ASSERT_EQ(ib->unlock(), D3D_OK);
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 9, 0, 2), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 1), D3D_OK);

    // A draw from client memory unbinds stream 0, an indexed one the indices too, as in
    // Direct3D 8: buffer draws after them are refused until the buffers are set again.
    const TlVertex tri[3] = {};
    ASSERT_EQ(dev_->drawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(TlVertex)), D3D_OK);
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev_->setStreamSource(0, vb.get(), sizeof(TlVertex)), D3D_OK);
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 1), D3D_OK);
    EXPECT_EQ(dev_->drawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 2, idx, D3DFMT_INDEX16, tri,
                                           sizeof(TlVertex)),
              D3DERR_INVALIDCALL); // index 3 names a vertex beyond the three vouched for
    ASSERT_EQ(dev_->drawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, idx, D3DFMT_INDEX16, tri,
                                           sizeof(TlVertex)),
              D3D_OK);
    ASSERT_EQ(dev_->setStreamSource(0, vb.get(), sizeof(TlVertex)), D3D_OK);
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 1), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev_->setIndices(ib.get(), 0), D3D_OK);
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 1), D3D_OK);
}

TEST_P(DeviceTest, VertexBufferRangeLocksUpdateOnlyTheirVertices) {
    plainColourState();
    Ref<VertexBuffer> vb;
    ASSERT_EQ(dev_->createVertexBuffer(8 * sizeof(TlVertex), D3DUSAGE_WRITEONLY, gfxtest::kTlFvf,
                                       D3DPOOL_MANAGED, vb.put()),
              D3D_OK);
    // Two quads: left half and right half, as two strips of four vertices.
    uint8_t* p = nullptr;
    ASSERT_EQ(vb->lock(0, 0, &p, 0), D3D_OK);
    auto* v = reinterpret_cast<TlVertex*>(p);
    for (int q = 0; q < 2; ++q) {
        const float x0 = q == 0 ? -0.5f : 31.5f, x1 = x0 + 32.0f;
        v[4 * q + 0] = {x0, -0.5f, 0.5f, 1, 0xFFFF0000, 0, 0};
        v[4 * q + 1] = {x1, -0.5f, 0.5f, 1, 0xFFFF0000, 0, 0};
        v[4 * q + 2] = {x0, 47.5f, 0.5f, 1, 0xFFFF0000, 0, 0};
        v[4 * q + 3] = {x1, 47.5f, 0.5f, 1, 0xFFFF0000, 0, 0};
    }
    ASSERT_EQ(vb->unlock(), D3D_OK);
    // Recolour the second quad through a range lock.
    ASSERT_EQ(vb->lock(4 * sizeof(TlVertex), 4 * sizeof(TlVertex), &p, 0), D3D_OK);
    for (int i = 0; i < 4; ++i) {
        reinterpret_cast<TlVertex*>(p)[i].colour = 0xFF00FF00;
    }
    ASSERT_EQ(vb->unlock(), D3D_OK);
    EXPECT_EQ(vb->lock(8 * sizeof(TlVertex), 1, &p, 0), D3DERR_INVALIDCALL);

    dev_->setVertexShader(gfxtest::kTlFvf);
    ASSERT_EQ(dev_->setStreamSource(0, vb.get(), sizeof(TlVertex)), D3D_OK);
    ASSERT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    ASSERT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), D3D_OK);
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLESTRIP, 5, 2), D3DERR_INVALIDCALL);
    read();
    EXPECT_EQ(at(10, 10).r, 255);
    EXPECT_EQ(at(50, 10).g, 255);
    EXPECT_EQ(at(50, 10).r, 0);
}

TEST_P(DeviceTest, StaticVertexBuffersReadBackWhatWasWrittenAfterUpload) {
    // A static buffer's bytes stay on the device after the first write: later locks read
    // them back, and a range lock keeps the bytes around its range.
    for (const uint32_t usage : {0u, uint32_t(D3DUSAGE_DYNAMIC)}) {
        Ref<VertexBuffer> vb;
        ASSERT_EQ(dev_->createVertexBuffer(4 * sizeof(TlVertex), usage, gfxtest::kTlFvf,
                                           D3DPOOL_MANAGED, vb.put()),
                  D3D_OK);
        std::vector<uint8_t> expected(4 * sizeof(TlVertex));
        for (size_t i = 0; i < expected.size(); ++i) {
            expected[i] = uint8_t(7 * i + 1);
        }
        uint8_t* p = nullptr;
        ASSERT_EQ(vb->lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, expected.data(), expected.size());
        ASSERT_EQ(vb->unlock(), D3D_OK);
        ASSERT_EQ(vb->lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(std::vector<uint8_t>(p, p + expected.size()), expected) << "usage " << usage;
        ASSERT_EQ(vb->unlock(), D3D_OK);
        ASSERT_EQ(vb->lock(8, 4, &p, 0), D3D_OK);
        std::memset(p, 0xAB, 4);
        ASSERT_EQ(vb->unlock(), D3D_OK);
        std::fill(expected.begin() + 8, expected.begin() + 12, uint8_t(0xAB));
        ASSERT_EQ(vb->lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
        EXPECT_EQ(std::vector<uint8_t>(p, p + expected.size()), expected) << "usage " << usage;
        ASSERT_EQ(vb->unlock(), D3D_OK);
        EXPECT_EQ(vb->lock(4 * sizeof(TlVertex), 1, &p, 0), D3DERR_INVALIDCALL);
    }
}

TEST_P(DeviceTest, IndexedDrawsWith16And32BitIndicesAndClientMemory) {
    plainColourState();
    const TlVertex v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFF0000FF, 0, 0},
                           {63.5f, -0.5f, 0.5f, 1, 0xFF0000FF, 0, 0},
                           {-0.5f, 47.5f, 0.5f, 1, 0xFF0000FF, 0, 0},
                           {63.5f, 47.5f, 0.5f, 1, 0xFF0000FF, 0, 0}};
    Ref<VertexBuffer> vb;
    ASSERT_EQ(dev_->createVertexBuffer(sizeof(v), 0, gfxtest::kTlFvf, D3DPOOL_MANAGED, vb.put()),
              D3D_OK);
    uint8_t* p = nullptr;
    ASSERT_EQ(vb->lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, v, sizeof(v));
    vb->unlock();
    dev_->setVertexShader(gfxtest::kTlFvf);
    dev_->setStreamSource(0, vb.get(), sizeof(TlVertex));
    for (Format f : {D3DFMT_INDEX16, D3DFMT_INDEX32}) {
        const uint32_t size = f == D3DFMT_INDEX16 ? 2 : 4;
        Ref<IndexBuffer> ib;
        ASSERT_EQ(dev_->createIndexBuffer(6 * size, 0, f, D3DPOOL_MANAGED, ib.put()), D3D_OK);
        ASSERT_EQ(ib->lock(0, 0, &p, 0), D3D_OK);
        const uint32_t idx[6] = {0, 1, 2, 2, 1, 3};
        for (int i = 0; i < 6; ++i) {
            std::memcpy(p + i * size, &idx[i], size); // little-endian low bytes
        }
        ib->unlock();
        dev_->setIndices(ib.get(), 0);
        dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        ASSERT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
        read();
        EXPECT_EQ(at(5, 40).b, 255);
        EXPECT_EQ(at(60, 5).b, 255);
        // Reading indices past the end, or indices naming vertices beyond the stream, fails.
        EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 3, 2), D3DERR_INVALIDCALL);
        dev_->setIndices(ib.get(), 1);
        EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3DERR_INVALIDCALL);
    }
    const uint16_t idx16[6] = {0, 1, 2, 2, 1, 3};
    dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    ASSERT_EQ(dev_->drawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 4, 2, idx16, D3DFMT_INDEX16, v,
                                           sizeof(TlVertex)),
              D3D_OK);
    read();
    EXPECT_EQ(at(60, 40).b, 255);
    EXPECT_EQ(dev_->drawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 2, idx16, D3DFMT_INDEX16, v,
                                           sizeof(TlVertex)),
              D3DERR_INVALIDCALL);
}

TEST_P(DeviceTest, StateBlocksRecordCaptureAndApply) {
    plainColourState();
    ASSERT_EQ(dev_->beginStateBlock(), D3D_OK);
    dev_->setRenderState(D3DRS_TEXTUREFACTOR, 0xFFFF0000);
    dev_->setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    uint32_t block = 0;
    ASSERT_EQ(dev_->endStateBlock(&block), D3D_OK);
    uint32_t value = 0;
    // Recording does not change the device.
    dev_->getRenderState(D3DRS_TEXTUREFACTOR, &value);
    EXPECT_EQ(value, 0xFFFFFFFFu);

    ASSERT_EQ(dev_->applyStateBlock(block), D3D_OK);
    drawFullQuad(0xFF00FF00);
    read();
    EXPECT_EQ(at(10, 10).r, 255);
    EXPECT_EQ(at(10, 10).g, 0);

    // Capture takes the current values of the states the block holds.
    dev_->setRenderState(D3DRS_TEXTUREFACTOR, 0xFF0000FF);
    ASSERT_EQ(dev_->captureStateBlock(block), D3D_OK);
    uint32_t all = 0;
    ASSERT_EQ(dev_->createStateBlock(D3DSBT_ALL, &all), D3D_OK);
    dev_->setRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    dev_->setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    ASSERT_EQ(dev_->applyStateBlock(block), D3D_OK);
    dev_->getRenderState(D3DRS_TEXTUREFACTOR, &value);
    EXPECT_EQ(value, 0xFF0000FFu);
    dev_->setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    ASSERT_EQ(dev_->applyStateBlock(all), D3D_OK);
    dev_->getTextureStageState(0, D3DTSS_COLORARG1, &value);
    EXPECT_EQ(value, uint32_t(D3DTA_TFACTOR));
    drawFullQuad(0xFF00FF00);
    read();
    EXPECT_EQ(at(10, 10).b, 255);

    EXPECT_EQ(dev_->deleteStateBlock(block), D3D_OK);
    EXPECT_EQ(dev_->applyStateBlock(block), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->endStateBlock(&block), D3DERR_INVALIDCALL);
}

TEST_P(DeviceTest, LockableBackBufferAndResetKeepResourcesAlive) {
    Ref<Texture> t;
    ASSERT_EQ(dev_->createTexture(8, 8, 1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED, t.put()), D3D_OK);
    gfx::PresentParameters p = gfxtest::presentParameters(32, 16, false);
    p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    ASSERT_EQ(dev_->reset(&p), D3D_OK);
    uint32_t zenable = 1;
    dev_->getRenderState(D3DRS_ZENABLE, &zenable);
    EXPECT_EQ(zenable, 0u);
    Ref<Surface> back;
    ASSERT_EQ(dev_->getBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.put()), D3D_OK);
    dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0);
    LockedRect r{};
    ASSERT_EQ(back->lockRect(&r, nullptr, D3DLOCK_NOSYSLOCK), D3D_OK);
    EXPECT_EQ(r.Pitch, 32 * 4);
    uint32_t px;
    std::memcpy(&px, r.pBits, 4);
    EXPECT_EQ(px & 0xFFFFFF, 0x123456u);
    std::memset(static_cast<uint8_t*>(r.pBits) + 5 * r.Pitch, 0xFF, size_t(r.Pitch));
    ASSERT_EQ(back->unlockRect(), D3D_OK);
    read();
    EXPECT_EQ(readWidth_, 32u);
    EXPECT_EQ(at(3, 5).r, 255);
    EXPECT_EQ(at(3, 4).r, 0x12);
    // The texture made before the reset still locks.
    ASSERT_EQ(t->lockRect(0, &r, nullptr, 0), D3D_OK);
    EXPECT_EQ(t->unlockRect(0), D3D_OK);
}

TEST_P(DeviceTest, DefaultPoolResourcesLiveThroughAReset) {
    plainColourState();
    Ref<Texture> target;
    ASSERT_EQ(dev_->createTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                  D3DPOOL_DEFAULT, target.put()),
              D3D_OK);
    Ref<Surface> depth;
    ASSERT_EQ(dev_->createDepthStencilSurface(32, 32, D3DFMT_D24S8, 0, depth.put()), D3D_OK);
    // A quad over the left half of the target, from buffers written before the reset.
    const TlVertex quad[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFF00FF00, 0, 0},
                              {15.5f, -0.5f, 0.5f, 1, 0xFF00FF00, 0, 0},
                              {-0.5f, 31.5f, 0.5f, 1, 0xFF00FF00, 0, 0},
                              {15.5f, 31.5f, 0.5f, 1, 0xFF00FF00, 0, 0}};
    const uint16_t idx[6] = {0, 1, 2, 2, 1, 3};
    Ref<VertexBuffer> vb;
    ASSERT_EQ(dev_->createVertexBuffer(sizeof(quad), D3DUSAGE_DYNAMIC, gfxtest::kTlFvf,
                                       D3DPOOL_DEFAULT, vb.put()),
              D3D_OK);
    Ref<IndexBuffer> ib;
    ASSERT_EQ(dev_->createIndexBuffer(sizeof(idx), 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, ib.put()),
              D3D_OK);
    uint8_t* p = nullptr;
    ASSERT_EQ(vb->lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, quad, sizeof(quad));
    ASSERT_EQ(vb->unlock(), D3D_OK);
    ASSERT_EQ(ib->lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, idx, sizeof(idx));
    ASSERT_EQ(ib->unlock(), D3D_OK);
    {
        // The reset comes while they are the target.
        Ref<Surface> level;
        ASSERT_EQ(target->getSurfaceLevel(0, level.put()), D3D_OK);
        ASSERT_EQ(dev_->setRenderTarget(level.get(), depth.get()), D3D_OK);
        dev_->clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFF0000, 1.0f, 0);
    }

    gfx::PresentParameters params = gfxtest::presentParameters(32, 16, true);
    ASSERT_EQ(dev_->reset(&params), D3D_OK);
    plainColourState();
    Ref<Surface> level;
    ASSERT_EQ(target->getSurfaceLevel(0, level.put()), D3D_OK);
    ASSERT_EQ(dev_->setRenderTarget(level.get(), depth.get()), D3D_OK);
    dev_->clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF0000FF, 1.0f, 0);
    dev_->setVertexShader(gfxtest::kTlFvf);
    ASSERT_EQ(dev_->setStreamSource(0, vb.get(), sizeof(TlVertex)), D3D_OK);
    ASSERT_EQ(dev_->setIndices(ib.get(), 0), D3D_OK);
    ASSERT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
    read(level.get());
    EXPECT_EQ(readWidth_, 32u);
    EXPECT_EQ(at(5, 20).g, 255);
    EXPECT_EQ(at(25, 20).b, 255);
    EXPECT_EQ(at(25, 20).g, 0);
}

TEST_P(DeviceTest, SamplerStatesFilterAddressAndChooseMipLevels) {
    plainColourState();
    dev_->setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev_->setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    // Black and white halves, magnified across the view.
    auto halves =
        makeTexture(2, 1, [](uint32_t x, uint32_t) { return x == 0 ? 0xFF000000u : 0xFFFFFFFFu; });
    dev_->setTexture(0, halves.get());
    drawFullQuad();
    read();
    EXPECT_EQ(at(31, 10).r, 0);
    EXPECT_EQ(at(32, 10).r, 255);
    dev_->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    dev_->setTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    drawFullQuad();
    read();
    EXPECT_NEAR(at(32, 10).r, 128, 8); // halfway between the texel centres
    EXPECT_EQ(at(0, 10).r, 0);         // clamped at the edge, not wrapped to white

    // Coordinates 0..2: wrap repeats the texture, clamp stretches the last texel.
    dev_->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_POINT);
    const TlVertex v[4] = {{-0.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                           {63.5f, -0.5f, 0.5f, 1, 0xFFFFFFFF, 2, 0},
                           {-0.5f, 47.5f, 0.5f, 1, 0xFFFFFFFF, 0, 1},
                           {63.5f, 47.5f, 0.5f, 1, 0xFFFFFFFF, 2, 1}};
    dev_->setVertexShader(gfxtest::kTlFvf);
    dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex));
    read();
    EXPECT_EQ(at(40, 10).r, 255);
    dev_->setTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
    dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex));
    read();
    EXPECT_EQ(at(40, 10).r, 0); // u = 1.25: black half of the second copy
    dev_->setTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_MIRROR);
    dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex));
    read();
    EXPECT_EQ(at(40, 10).r, 255); // mirrored: white comes first again

    // Two levels: red 64 x 48, green 32 x 24. Drawn at half size, the mip filter picks.
    Ref<Texture> mips;
    ASSERT_EQ(dev_->createTexture(64, 48, 2, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, mips.put()),
              D3D_OK);
    for (uint32_t level = 0; level < 2; ++level) {
        LockedRect r{};
        ASSERT_EQ(mips->lockRect(level, &r, nullptr, 0), D3D_OK);
        for (uint32_t y = 0; y < (48u >> level); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(r.pBits) + y * r.Pitch);
            for (uint32_t x = 0; x < (64u >> level); ++x) {
                row[x] = level == 0 ? 0xFFFF0000u : 0xFF00FF00u;
            }
        }
        mips->unlockRect(level);
    }
    dev_->setTexture(0, mips.get());
    dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    drawQuad(-0.5f, -0.5f, 31.5f, 23.5f);
    read();
    EXPECT_EQ(at(10, 10).r, 255); // no mip filter: level 0
    dev_->setTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_POINT);
    drawQuad(-0.5f, -0.5f, 31.5f, 23.5f);
    read();
    EXPECT_EQ(at(10, 10).g, 255);
    EXPECT_EQ(at(10, 10).r, 0);

    // One level: minified, a mip filter changes nothing; a texture with levels drawn next
    // with the same states still goes to its second level.
    auto stripes = makeTexture(64, 48, [](uint32_t x, uint32_t y) {
        return (x * 7 + y * 3) % 5 < 2 ? 0xFF204060u : 0xFFE0C0A0u;
    });
    dev_->setTexture(0, stripes.get());
    dev_->setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    dev_->setTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    dev_->setTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_NONE);
    drawQuad(-0.5f, -0.5f, 21.5f, 15.5f);
    read();
    const std::string plain = pixels_;
    dev_->setTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
    drawQuad(-0.5f, -0.5f, 21.5f, 15.5f);
    read();
    EXPECT_EQ(pixels_, plain);
    dev_->setTexture(0, mips.get());
    drawQuad(-0.5f, -0.5f, 31.5f, 23.5f);
    read();
    EXPECT_EQ(at(10, 10).g, 255);
    EXPECT_EQ(at(10, 10).r, 0);

    // One level with point minification and linear magnification: the level of detail still
    // chooses between them.
    dev_->setTexture(0, halves.get());
    dev_->setTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_POINT);
    dev_->setTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    drawFullQuad();
    read();
    EXPECT_NEAR(at(32, 10).r, 128, 8); // magnified: linear
    drawQuad(-0.5f, -0.5f, 0.5f, 0.5f);
    read();
    EXPECT_TRUE(at(0, 0).r == 0 || at(0, 0).r == 255); // minified: one texel or the other
}

TEST_P(DeviceTest, WriteMasksHoldAcrossClears) {
    plainColourState();
    dev_->setRenderState(D3DRS_COLORWRITEENABLE, D3DCOLORWRITEENABLE_RED);
    drawFullQuad(0xFFFFFFFF);
    // A clear writes everything, whatever the masks; the next draw is masked again.
    dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    drawFullQuad(0xFFFFFFFF);
    read();
    EXPECT_EQ(at(10, 10).r, 255);
    EXPECT_EQ(at(10, 10).g, 0);
}

TEST_P(DeviceTest, IndexedWireframeDrawsTheLinesOfPolygonModeWhateverTheIndices) {
    plainColourState();
    // Additive, so an edge shared by two triangles shows brighter and a missing or extra
    // line shows.
    dev_->setRenderState(D3DRS_ALPHABLENDENABLE, 1);
    dev_->setRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    dev_->setRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    dev_->setRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    // A 4 x 3 grid of uneven corners and colours, two clockwise triangles per cell.
    TlVertex v[12];
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 4; ++x) {
            const uint32_t i = y * 4 + x;
            v[i] = {2.3f + 19.0f * float(x) + 1.7f * float(y),
                    1.6f + 21.0f * float(y) + 0.9f * float(x),
                    0.5f,
                    1,
                    argb(255, 40 + 50 * x, 30 + 60 * y, 90 + 10 * i),
                    0,
                    0};
        }
    }
    std::vector<uint16_t> indices;
    for (uint16_t y = 0; y < 2; ++y) {
        for (uint16_t x = 0; x < 3; ++x) {
            const uint16_t a = uint16_t(y * 4 + x), b = uint16_t(a + 1), c = uint16_t(a + 4),
                           d = uint16_t(a + 5);
            indices.insert(indices.end(), {a, b, c, b, d, c});
        }
    }
    Ref<IndexBuffer> ib;
    ASSERT_EQ(dev_->createIndexBuffer(uint32_t(indices.size() * 2), 0, D3DFMT_INDEX16,
                                      D3DPOOL_MANAGED, ib.put()),
              D3D_OK);
    auto fill = [&] {
        uint8_t* p = nullptr;
        ASSERT_EQ(ib->lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, indices.data(), indices.size() * 2);
        ASSERT_EQ(ib->unlock(), D3D_OK);
    };
    fill();
    Ref<VertexBuffer> vb;
    ASSERT_EQ(dev_->createVertexBuffer(sizeof(v), 0, gfxtest::kTlFvf, D3DPOOL_MANAGED, vb.put()),
              D3D_OK);
    uint8_t* p = nullptr;
    ASSERT_EQ(vb->lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, v, sizeof(v));
    vb->unlock();
    dev_->setVertexShader(gfxtest::kTlFvf);
    dev_->setStreamSource(0, vb.get(), sizeof(TlVertex));
    dev_->setIndices(ib.get(), 0);
    // Counter-clockwise culling removes none of these triangles.
    auto render = [&](uint32_t cull, uint32_t start, uint32_t triangles) {
        dev_->clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        dev_->setRenderState(D3DRS_CULLMODE, cull);
        EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 12, start, triangles), D3D_OK);
        read();
        return pixels_;
    };
    auto lit = [](const std::string& pixels) {
        int n = 0;
        for (size_t i = 0; i < pixels.size(); i += 4) {
            n += pixels[i] != 0 || pixels[i + 1] != 0 || pixels[i + 2] != 0 ? 1 : 0;
        }
        return n;
    };
    const std::string all = render(D3DCULL_NONE, 0, 12);
    EXPECT_GT(lit(all), 200);
    EXPECT_TRUE(all == render(D3DCULL_CCW, 0, 12));
    const std::string part = render(D3DCULL_NONE, 6, 5);
    EXPECT_TRUE(part == render(D3DCULL_CCW, 6, 5));
    EXPECT_LT(lit(part), lit(all));
    // New indices (the cells in another order, one triangle repeated) draw the new lines.
    std::rotate(indices.begin(), indices.begin() + 9, indices.end());
    std::copy(indices.begin(), indices.begin() + 3, indices.begin() + 3);
    fill();
    const std::string changed = render(D3DCULL_NONE, 0, 12);
    EXPECT_TRUE(changed == render(D3DCULL_CCW, 0, 12));
    EXPECT_FALSE(changed == all);
    dev_->setRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    dev_->setRenderState(D3DRS_ALPHABLENDENABLE, 0);
}

TEST_P(DeviceTest, WireframeDrawsEdgesOnlyAndDynamicTexturesTakeEachRewrite) {
    plainColourState();
    dev_->setRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    drawQuad(4.0f, 4.0f, 40.0f, 40.0f, 0xFFFFFFFF); // edges through pixel centres
    read();
    EXPECT_EQ(at(20, 12).r, 0); // inside both triangles, away from the diagonal
    int lit = 0;
    for (uint32_t x = 0; x < kWidth; ++x) {
        lit += at(x, 4).r == 255 ? 1 : 0;
    }
    EXPECT_GT(lit, 30); // the top edge
    dev_->setRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);

    Ref<Texture> video;
    ASSERT_EQ(dev_->createTexture(4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                  video.put()),
              D3D_OK);
    dev_->setTexture(0, video.get());
    dev_->setTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    dev_->setTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    auto fill = [&](const Rect* rect, uint32_t colour) {
        LockedRect r{};
        ASSERT_EQ(video->lockRect(0, &r, rect, rect != nullptr ? 0 : D3DLOCK_DISCARD), D3D_OK);
        const int rows = rect != nullptr ? rect->bottom - rect->top : 4;
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < 4; ++x) {
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(r.pBits) + y * r.Pitch)[x] =
                    colour;
            }
        }
        ASSERT_EQ(video->unlockRect(0), D3D_OK);
    };
    for (uint32_t colour : {0xFF0000FFu, 0xFF00FF00u}) {
        fill(nullptr, colour);
        drawFullQuad();
        read();
        const Bgra p = at(30, 30);
        EXPECT_EQ(argb(0, p.r, p.g, p.b), colour & 0xFFFFFF);
    }

    // Rewritten between draws with nothing read back in between: each band keeps the
    // picture it was drawn with. Then a one-row rewrite lands on the latest picture.
    const uint32_t bands[4] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u};
    for (int i = 0; i < 4; ++i) {
        fill(nullptr, bands[i]);
        drawQuad(float(16 * i) - 0.5f, -0.5f, float(16 * i) + 15.5f, 23.5f);
    }
    const Rect lastRow{0, 3, 4, 4};
    fill(&lastRow, 0xFFFFFFFFu);
    drawQuad(-0.5f, 23.5f, 63.5f, 47.5f);
    read();
    for (int i = 0; i < 4; ++i) {
        const Bgra p = at(16 * i + 8, 10);
        EXPECT_EQ(argb(0, p.r, p.g, p.b), bands[i] & 0xFFFFFF) << "band " << i;
    }
    const Bgra top = at(30, 26), bottom = at(30, 46);
    EXPECT_EQ(argb(0, top.r, top.g, top.b), 0xFFFF00u); // rows 0..2: the last whole picture
    EXPECT_EQ(argb(0, bottom.r, bottom.g, bottom.b), 0xFFFFFFu);
}
