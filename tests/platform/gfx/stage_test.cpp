// Texture-stage operations and arguments on the rendering device, one table row per operation:
// a full-view quad whose stage 0 combines known texture, diffuse, factor and specular
// colours; alpha results are made visible by a second stage that replicates alpha.
#include "gfx_test_util.h"

#include <algorithm>
#include <cmath>

using namespace gfx;

namespace {

struct C4 {
    float r, g, b, a;
};

C4 fromArgb(uint32_t c) {
    return {float((c >> 16) & 255) / 255.0f, float((c >> 8) & 255) / 255.0f,
            float(c & 255) / 255.0f, float(c >> 24) / 255.0f};
}

// The inputs every row sees.
constexpr uint32_t kDiffuse = 0x80408CC0;  // a 0x80, r 0x40, g 0x8C, b 0xC0
constexpr uint32_t kFactor = 0x408020FF;   // a 0x40
constexpr uint32_t kTexel = 0xC01060A0;    // a 0xC0
constexpr uint32_t kSpecular = 0xFF303030; // a 0xFF

struct TlSpecVertex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float u, v;
};
constexpr uint32_t kSpecFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

using Expect = C4 (*)(C4 a1, C4 a2, C4 a0);

struct OpCase {
    const char* name;
    uint32_t op, arg1, arg2, arg0;
    Expect expect; // per channel, before clamping
};

C4 each(C4 a, C4 b, C4 c, float (*f)(float, float, float)) {
    return {f(a.r, b.r, c.r), f(a.g, b.g, c.g), f(a.b, b.b, c.b), f(a.a, b.a, c.a)};
}

const C4 kTex = fromArgb(kTexel), kDif = fromArgb(kDiffuse), kFac = fromArgb(kFactor);

// Arguments: 1 = texture, 2 = diffuse unless a row says otherwise.
const OpCase kOps[] = {
    {"SELECTARG1", D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4, C4) { return a; }},
    {"SELECTARG2", D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4, C4 b, C4) { return b; }},
    {"MODULATE", D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4 c) { return each(a, b, c, [](float x, float y, float) { return x * y; }); }},
    {"MODULATE2X", D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c, [](float x, float y, float) { return 2 * x * y; });
     }},
    {"MODULATE4X", D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c, [](float x, float y, float) { return 4 * x * y; });
     }},
    {"ADD", D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4 c) { return each(a, b, c, [](float x, float y, float) { return x + y; }); }},
    {"ADDSIGNED", D3DTOP_ADDSIGNED, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c, [](float x, float y, float) { return x + y - 0.5f; });
     }},
    {"ADDSIGNED2X", D3DTOP_ADDSIGNED2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c, [](float x, float y, float) { return 2 * (x + y - 0.5f); });
     }},
    {"SUBTRACT", D3DTOP_SUBTRACT, D3DTA_DIFFUSE, D3DTA_TEXTURE, 0,
     [](C4 a, C4 b, C4 c) { return each(a, b, c, [](float x, float y, float) { return x - y; }); }},
    {"ADDSMOOTH", D3DTOP_ADDSMOOTH, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c, [](float x, float y, float) { return x + y - x * y; });
     }},
    {"BLENDDIFFUSEALPHA", D3DTOP_BLENDDIFFUSEALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR, 0,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c,
                     [](float x, float y, float) { return x * kDif.a + y * (1 - kDif.a); });
     }},
    {"BLENDTEXTUREALPHA", D3DTOP_BLENDTEXTUREALPHA, D3DTA_TFACTOR, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c,
                     [](float x, float y, float) { return x * kTex.a + y * (1 - kTex.a); });
     }},
    {"BLENDFACTORALPHA", D3DTOP_BLENDFACTORALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c,
                     [](float x, float y, float) { return x * kFac.a + y * (1 - kFac.a); });
     }},
    {"BLENDCURRENTALPHA", D3DTOP_BLENDCURRENTALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR, 0,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c, [](float x, float y, float) {
             return x * kDif.a + y * (1 - kDif.a); // stage 0's current is the diffuse colour
         });
     }},
    {"BLENDTEXTUREALPHAPM", D3DTOP_BLENDTEXTUREALPHAPM, D3DTA_TFACTOR, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c, [](float x, float y, float) { return x + y * (1 - kTex.a); });
     }},
    {"MODULATEALPHA_ADDCOLOR", D3DTOP_MODULATEALPHA_ADDCOLOR, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4) {
         return C4{a.r + a.a * b.r, a.g + a.a * b.g, a.b + a.a * b.b, 0};
     }},
    {"MODULATECOLOR_ADDALPHA", D3DTOP_MODULATECOLOR_ADDALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4) {
         return C4{a.r * b.r + a.a, a.g * b.g + a.a, a.b * b.b + a.a, 0};
     }},
    {"MODULATEINVALPHA_ADDCOLOR", D3DTOP_MODULATEINVALPHA_ADDCOLOR, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4) {
         return C4{(1 - a.a) * b.r + a.r, (1 - a.a) * b.g + a.g, (1 - a.a) * b.b + a.b, 0};
     }},
    {"MODULATEINVCOLOR_ADDALPHA", D3DTOP_MODULATEINVCOLOR_ADDALPHA, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4) {
         return C4{(1 - a.r) * b.r + a.a, (1 - a.g) * b.g + a.a, (1 - a.b) * b.b + a.a, 0};
     }},
    {"DOTPRODUCT3", D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4) {
         const float d = 4 * ((a.r - 0.5f) * (b.r - 0.5f) + (a.g - 0.5f) * (b.g - 0.5f) +
                              (a.b - 0.5f) * (b.b - 0.5f));
         return C4{d, d, d, d};
     }},
    {"MULTIPLYADD", D3DTOP_MULTIPLYADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_SPECULAR,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c, [](float x, float y, float z) { return z + x * y; });
     }},
    {"LERP", D3DTOP_LERP, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR,
     [](C4 a, C4 b, C4 c) {
         return each(a, b, c, [](float x, float y, float z) { return z * x + (1 - z) * y; });
     }},
    {"COMPLEMENT", D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, 0,
     [](C4 a, C4, C4) { return a; }}, // argValue applies the modifier
    {"ALPHAREPLICATE", D3DTOP_MODULATE, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE, 0,
     [](C4 a, C4 b, C4) {
         return C4{a.r * b.r, a.g * b.g, a.b * b.b, a.a * b.a};
     }},
};

C4 argValue(uint32_t arg) {
    C4 v{};
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_TEXTURE:
        v = kTex;
        break;
    case D3DTA_TFACTOR:
        v = kFac;
        break;
    case D3DTA_SPECULAR:
        v = fromArgb(kSpecular);
        break;
    default:
        v = kDif;
        break;
    }
    if (arg & D3DTA_ALPHAREPLICATE) {
        v = {v.a, v.a, v.a, v.a};
    }
    if (arg & D3DTA_COMPLEMENT) {
        v = {1 - v.r, 1 - v.g, 1 - v.b, 1 - v.a};
    }
    return v;
}

int expected(float x) {
    return int(std::lround(std::clamp(x, 0.0f, 1.0f) * 255.0f));
}

class StageTest : public gfxtest::DeviceTest {
protected:
    void prepare() {
        texture_ = makeTexture(1, 1, [](uint32_t, uint32_t) { return kTexel; });
        dev_->setTexture(0, texture_.get());
        dev_->setRenderState(D3DRS_LIGHTING, 0);
        dev_->setRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        dev_->setRenderState(D3DRS_TEXTUREFACTOR, kFactor);
        dev_->setVertexShader(kSpecFvf);
    }
    void draw() {
        const float w = kWidth - 0.5f, h = kHeight - 0.5f;
        const TlSpecVertex v[4] = {{-0.5f, -0.5f, 0.5f, 1, kDiffuse, kSpecular, 0, 0},
                                   {w, -0.5f, 0.5f, 1, kDiffuse, kSpecular, 1, 0},
                                   {-0.5f, h, 0.5f, 1, kDiffuse, kSpecular, 0, 1},
                                   {w, h, 0.5f, 1, kDiffuse, kSpecular, 1, 1}};
        ASSERT_EQ(dev_->drawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlSpecVertex)), D3D_OK);
        read();
    }
    void stage(uint32_t i, uint32_t op, uint32_t a1, uint32_t a2, uint32_t a0, bool alpha) {
        dev_->setTextureStageState(i, alpha ? D3DTSS_ALPHAOP : D3DTSS_COLOROP, op);
        dev_->setTextureStageState(i, alpha ? D3DTSS_ALPHAARG1 : D3DTSS_COLORARG1, a1);
        dev_->setTextureStageState(i, alpha ? D3DTSS_ALPHAARG2 : D3DTSS_COLORARG2, a2);
        dev_->setTextureStageState(i, alpha ? D3DTSS_ALPHAARG0 : D3DTSS_COLORARG0, a0);
    }
    Ref<Texture> texture_;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Rendering, StageTest, ::testing::Values(gfxtest::renderingBackend()),
                         gfxtest::backendName);

TEST_P(StageTest, ColourOperationsFollowTheirFormulas) {
    prepare();
    for (const OpCase& c : kOps) {
        stage(0, c.op, c.arg1, c.arg2, c.arg0, false);
        draw();
        const C4 e = c.expect(argValue(c.arg1), argValue(c.arg2), argValue(c.arg0));
        const gfxtest::Bgra p = at(kWidth / 2, kHeight / 2);
        EXPECT_NEAR(p.r, expected(e.r), 2) << c.name;
        EXPECT_NEAR(p.g, expected(e.g), 2) << c.name;
        EXPECT_NEAR(p.b, expected(e.b), 2) << c.name;
    }
}

TEST_P(StageTest, AlphaOperationsFollowTheirFormulas) {
    prepare();
    const bool wine = gfxtest::onWinesDirect3D8(GetParam());
    // Stage 1 shows the alpha of stage 0 in every colour channel.
    stage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE, 0, false);
    stage(1, D3DTOP_SELECTARG1, D3DTA_CURRENT | D3DTA_ALPHAREPLICATE, D3DTA_CURRENT, 0, false);
    stage(1, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_CURRENT, 0, true);
    for (const OpCase& c : kOps) {
        if (c.op >= D3DTOP_MODULATEALPHA_ADDCOLOR && c.op <= D3DTOP_DOTPRODUCT3) {
            continue; // colour-only operations
        }
        if (wine && (c.op == D3DTOP_BLENDTEXTUREALPHA || c.op == D3DTOP_BLENDFACTORALPHA ||
                     c.op == D3DTOP_BLENDTEXTUREALPHAPM)) {
            // Direct3D 8 blends A1 a + A2 (1 - a) with the stage's texture alpha or the
            // factor alpha (PM: A1 + A2 (1 - texture alpha)) in the alpha operations as in
            // the colour ones. Wine's Direct3D 8 does so in the colour operations only: as
            // alpha operations its results depend on what was drawn before (here they give
            // the second argument, drawn alone 0), so they are not checked there.
            continue;
        }
        stage(0, c.op, c.arg1, c.arg2, c.arg0, true);
        draw();
        const C4 e = c.expect(argValue(c.arg1), argValue(c.arg2), argValue(c.arg0));
        EXPECT_NEAR(at(5, 5).r, expected(e.a), 2) << c.name;
    }
    // Alpha DISABLE on an enabled stage passes the current alpha through.
    stage(0, D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, true);
    draw();
    EXPECT_NEAR(at(5, 5).r, 0x80, 1);
}

TEST_P(StageTest, StagesCascadeThroughCurrentAndTemp) {
    prepare();
    // Stage 0 -> temp (texture), stage 1 = diffuse (current is still diffuse),
    // stage 2 = temp * current.
    stage(0, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, false);
    dev_->setTextureStageState(0, D3DTSS_RESULTARG, D3DTA_TEMP);
    stage(1, D3DTOP_SELECTARG1, D3DTA_CURRENT, D3DTA_DIFFUSE, 0, false);
    stage(2, D3DTOP_MODULATE, D3DTA_TEMP, D3DTA_CURRENT, 0, false);
    draw();
    EXPECT_NEAR(at(5, 5).r, expected(kTex.r * kDif.r), 2);
    EXPECT_NEAR(at(5, 5).g, expected(kTex.g * kDif.g), 2);
    // A disabled stage ends the cascade: stage 2 no longer counts.
    dev_->setTextureStageState(0, D3DTSS_RESULTARG, D3DTA_CURRENT);
    stage(1, D3DTOP_DISABLE, D3DTA_CURRENT, D3DTA_DIFFUSE, 0, false);
    draw();
    EXPECT_NEAR(at(5, 5).b, 0xA0, 1);
    // No texture bound: the stage samples opaque white.
    dev_->setTexture(0, nullptr);
    stage(0, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0, false);
    draw();
    EXPECT_NEAR(at(5, 5).g, 0x8C, 1);
}

TEST_P(StageTest, SpecularEnableAddsTheSpecularColourAfterTheStages) {
    prepare();
    stage(0, D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE, 0, false);
    draw();
    EXPECT_NEAR(at(5, 5).r, 0x40, 1);
    dev_->setRenderState(D3DRS_SPECULARENABLE, 1);
    draw();
    EXPECT_NEAR(at(5, 5).r, 0x40 + 0x30, 1);
    EXPECT_NEAR(at(5, 5).b, 0xC0 + 0x30, 1);
}
