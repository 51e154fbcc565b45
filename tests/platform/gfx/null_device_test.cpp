// The Null device and the device-independent rules both implementations share: creation
// arguments, lock memory that survives, checked draws, state defaults and state blocks.
#include "gfx_test_util.h"

using namespace gfx;

namespace {

class NullDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        d3d_ = createDirect3D(D3D_SDK_VERSION, Backend::Null);
        ASSERT_TRUE(d3d_);
        PresentParameters p = gfxtest::presentParameters(800, 600, false);
        Device* d = nullptr;
        ASSERT_EQ(d3d_->createDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &p, &d), D3D_OK);
        dev_.reset(d);
    }
    std::unique_ptr<Direct3D> d3d_;
    std::unique_ptr<Device> dev_;
};

} // namespace

TEST(Direct3DTest, RefusesAWrongSdkVersionWithAReason) {
    EXPECT_EQ(createDirect3D(D3D_SDK_VERSION + 1, Backend::Null), nullptr);
    EXPECT_FALSE(lastError().empty());
    EXPECT_NE(createDirect3D(D3D_SDK_VERSION, Backend::Null), nullptr);
    EXPECT_TRUE(lastError().empty());
}

TEST_F(NullDeviceTest, ReportsTheCapabilitiesTheDriverReads) {
    Caps caps{};
    ASSERT_EQ(dev_->getDeviceCaps(&caps), D3D_OK);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_TRUE(caps.RasterCaps & D3DPRASTERCAPS_WBUFFER);
    EXPECT_TRUE(caps.RasterCaps & D3DPRASTERCAPS_WFOG);
    EXPECT_GE(caps.MaxTextureWidth, 1024u);
    EXPECT_EQ(dev_->getDeviceCaps(nullptr), D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceTest, DefaultsAreDirect3DCreationDefaults) {
    struct Expect {
        uint32_t state, value;
    };
    const Expect rs[] = {{D3DRS_LIGHTING, 1},
                         {D3DRS_CULLMODE, D3DCULL_CCW},
                         {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
                         {D3DRS_FILLMODE, D3DFILL_SOLID},
                         {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
                         {D3DRS_ZWRITEENABLE, 1},
                         {D3DRS_ALPHABLENDENABLE, 0},
                         {D3DRS_SRCBLEND, D3DBLEND_ONE},
                         {D3DRS_DESTBLEND, D3DBLEND_ZERO},
                         {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
                         {D3DRS_COLORVERTEX, 1},
                         {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
                         {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
                         {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
                         {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
                         {D3DRS_AMBIENT, 0}};
    for (const Expect& e : rs) {
        uint32_t v = 0xDEAD;
        ASSERT_EQ(dev_->getRenderState(e.state, &v), D3D_OK);
        EXPECT_EQ(v, e.value) << "render state " << e.state;
    }
    uint32_t v = 0;
    dev_->getTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, uint32_t(D3DTOP_MODULATE));
    dev_->getTextureStageState(0, D3DTSS_ALPHAOP, &v);
    EXPECT_EQ(v, uint32_t(D3DTOP_SELECTARG1));
    dev_->getTextureStageState(1, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, uint32_t(D3DTOP_DISABLE));
    dev_->getTextureStageState(3, D3DTSS_TEXCOORDINDEX, &v);
    EXPECT_EQ(v, 3u);
    Viewport vp{};
    dev_->getViewport(&vp);
    EXPECT_EQ(vp.Width, 800u);
    EXPECT_EQ(vp.Height, 600u);
    EXPECT_EQ(dev_->setRenderState(256, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->setTextureStageState(8, D3DTSS_COLOROP, 0), D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceTest, LockedMemorySurvivesUnlockAndRelock) {
    Ref<Texture> t;
    ASSERT_EQ(dev_->createTexture(64, 32, 2, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, t.put()), D3D_OK);
    LockedRect r{};
    ASSERT_EQ(t->lockRect(1, &r, nullptr, 0), D3D_OK);
    EXPECT_EQ(r.Pitch, 32 * 2);
    static_cast<uint8_t*>(r.pBits)[15 * r.Pitch + 63] = 0x5A;
    ASSERT_EQ(t->unlockRect(1), D3D_OK);
    ASSERT_EQ(t->lockRect(1, &r, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(r.pBits)[15 * r.Pitch + 63], 0x5A);
    t->unlockRect(1);

    // Render targets, the back buffer and depth surfaces lock on the Null device too.
    Ref<Texture> target;
    ASSERT_EQ(dev_->createTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8,
                                  D3DPOOL_DEFAULT, target.put()),
              D3D_OK);
    ASSERT_EQ(target->lockRect(0, &r, nullptr, 0), D3D_OK);
    target->unlockRect(0);
    Ref<Surface> back, depth;
    ASSERT_EQ(dev_->getBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, back.put()), D3D_OK);
    ASSERT_EQ(back->lockRect(&r, nullptr, 0), D3D_OK);
    static_cast<uint8_t*>(r.pBits)[2] = 0x77; // red of pixel 0
    back->unlockRect();
    uint32_t w = 0, h = 0;
    std::string pixels;
    ASSERT_EQ(dev_->readBackBuffer(&w, &h, &pixels), D3D_OK);
    EXPECT_EQ(w, 800u);
    EXPECT_EQ(uint8_t(pixels[2]), 0x77);
    ASSERT_EQ(dev_->createDepthStencilSurface(16, 16, D3DFMT_D16, 0, depth.put()), D3D_OK);
    ASSERT_EQ(depth->lockRect(&r, nullptr, 0), D3D_OK);
    EXPECT_EQ(r.Pitch, 32);
    depth->unlockRect();

    Ref<VertexBuffer> vb;
    ASSERT_EQ(dev_->createVertexBuffer(100, D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, vb.put()),
              D3D_OK);
    uint8_t* p = nullptr;
    ASSERT_EQ(vb->lock(40, 20, &p, 0), D3D_OK);
    p[19] = 0x42;
    vb->unlock();
    ASSERT_EQ(vb->lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(p[59], 0x42);
    vb->unlock();
}

TEST_F(NullDeviceTest, RefusedCreationsAndLocksHandOutNothing) {
    Texture* t = reinterpret_cast<Texture*>(uintptr_t(1));
    EXPECT_EQ(dev_->createTexture(0, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(dev_->createTexture(1u << 20, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->createTexture(16, 16, 1, 0, D3DFMT_P8, D3DPOOL_MANAGED, &t),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->createTexture(16, 16, 6, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
              D3DERR_INVALIDCALL); // more levels than the chain has
    EXPECT_EQ(
        dev_->createTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(t, nullptr);
    VertexBuffer* vb = nullptr;
    EXPECT_EQ(dev_->createVertexBuffer(0, 0, 0, D3DPOOL_MANAGED, &vb), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb, nullptr);
    IndexBuffer* ib = nullptr;
    EXPECT_EQ(dev_->createIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &ib),
              D3DERR_INVALIDCALL);

    Ref<VertexBuffer> buffer;
    ASSERT_EQ(dev_->createVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, buffer.put()), D3D_OK);
    uint8_t* p = reinterpret_cast<uint8_t*>(uintptr_t(1));
    EXPECT_EQ(buffer->lock(60, 8, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(buffer->lock(65, 0, &p, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->unlock(), D3DERR_INVALIDCALL);
    ASSERT_EQ(buffer->lock(0, 0, &p, 0), D3D_OK);
    EXPECT_EQ(buffer->lock(0, 0, &p, 0), D3DERR_INVALIDCALL);
    buffer->unlock();
}

TEST_F(NullDeviceTest, DrawsReadOnlyInsideWhatTheyWereGiven) {
    Ref<VertexBuffer> vb;
    ASSERT_EQ(dev_->createVertexBuffer(3 * 12, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, vb.put()), D3D_OK);
    // No vertex format, no stream: refused.
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev_->setVertexShader(D3DFVF_XYZ), D3D_OK);
    EXPECT_EQ(dev_->setVertexShader(0), D3DERR_INVALIDCALL);
    ASSERT_EQ(dev_->setStreamSource(0, vb.get(), 12), D3D_OK);
    EXPECT_EQ(dev_->setStreamSource(1, vb.get(), 12), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_TRIANGLELIST, 0, 0xFFFFFFFF), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->drawPrimitive(99, 0, 1), D3DERR_INVALIDCALL);
    // A stride smaller than the format's vertex.
    dev_->setStreamSource(0, vb.get(), 8);
    EXPECT_EQ(dev_->drawPrimitive(D3DPT_POINTLIST, 0, 1), D3DERR_INVALIDCALL);
    dev_->setStreamSource(0, vb.get(), 12);

    Ref<IndexBuffer> ib;
    ASSERT_EQ(dev_->createIndexBuffer(6, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, ib.put()), D3D_OK);
    uint8_t* p = nullptr;
    ASSERT_EQ(ib->lock(0, 0, &p, 0), D3D_OK);
    const uint16_t idx[3] = {0, 1, 2};
    std::memcpy(p, idx, sizeof(idx));
    ib->unlock();
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3DERR_INVALIDCALL);
    dev_->setIndices(ib.get(), 0);
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3D_OK);
    ASSERT_EQ(ib->lock(4, 2, &p, 0), D3D_OK);
    const uint16_t tooFar = 3;
    std::memcpy(p, &tooFar, 2);
    ib->unlock();
    EXPECT_EQ(dev_->drawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 0, 1), D3DERR_INVALIDCALL);

    const float tri[9] = {};
    EXPECT_EQ(dev_->drawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, 12), D3DERR_INVALIDCALL);
    EXPECT_EQ(dev_->drawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, 12), D3D_OK);
    const uint32_t idx32[3] = {0, 1, 5};
    EXPECT_EQ(
        dev_->drawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, 1, idx32, D3DFMT_INDEX32, tri, 12),
        D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceTest, BoundResourcesStayAliveUntilUnbound) {
    Texture* raw = nullptr;
    ASSERT_EQ(dev_->createTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &raw), D3D_OK);
    ASSERT_EQ(dev_->setTexture(0, raw), D3D_OK);
    EXPECT_EQ(raw->release(), 1u); // the device still holds it
    Ref<Texture> got;
    ASSERT_EQ(dev_->getTexture(0, got.put()), D3D_OK);
    EXPECT_EQ(got.get(), raw);
    LockedRect r{};
    EXPECT_EQ(got->lockRect(0, &r, nullptr, 0), D3D_OK);
    got->unlockRect(0);

    // Objects from another device are refused.
    std::unique_ptr<Device> other;
    PresentParameters p = gfxtest::presentParameters(16, 16, false);
    Device* d = nullptr;
    ASSERT_EQ(d3d_->createDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &p, &d), D3D_OK);
    other.reset(d);
    EXPECT_EQ(other->setTexture(0, got.get()), D3DERR_INVALIDCALL);
    Ref<Surface> level;
    ASSERT_EQ(got->getSurfaceLevel(0, level.put()), D3D_OK);
    EXPECT_EQ(dev_->setRenderTarget(level.get(), nullptr), D3DERR_INVALIDCALL); // not a target
}

TEST_F(NullDeviceTest, StateBlocksOfEachTypeRestoreWhatTheyHold) {
    dev_->setRenderState(D3DRS_FOGENABLE, 1);   // vertex and pixel... vertex state
    dev_->setRenderState(D3DRS_ALPHAREF, 0x10); // pixel state
    Light light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = {0, -1, 0};
    dev_->setLight(2, &light);
    dev_->lightEnable(2, 1);
    uint32_t pixel = 0, vertex = 0;
    ASSERT_EQ(dev_->createStateBlock(D3DSBT_PIXELSTATE, &pixel), D3D_OK);
    ASSERT_EQ(dev_->createStateBlock(D3DSBT_VERTEXSTATE, &vertex), D3D_OK);
    dev_->setRenderState(D3DRS_FOGENABLE, 0);
    dev_->setRenderState(D3DRS_ALPHAREF, 0x20);
    dev_->lightEnable(2, 0);

    ASSERT_EQ(dev_->applyStateBlock(pixel), D3D_OK);
    uint32_t v = 0;
    dev_->getRenderState(D3DRS_ALPHAREF, &v);
    EXPECT_EQ(v, 0x10u);
    dev_->getRenderState(D3DRS_FOGENABLE, &v);
    EXPECT_EQ(v, 0u);
    ASSERT_EQ(dev_->applyStateBlock(vertex), D3D_OK);
    dev_->getRenderState(D3DRS_FOGENABLE, &v);
    EXPECT_EQ(v, 1u);
    int32_t on = 0;
    ASSERT_EQ(dev_->getLightEnable(2, &on), D3D_OK);
    EXPECT_EQ(on, 1);

    // Recording captures lights and transforms without touching the device.
    ASSERT_EQ(dev_->beginStateBlock(), D3D_OK);
    EXPECT_EQ(dev_->beginStateBlock(), D3DERR_INVALIDCALL);
    Matrix m{};
    m.m[0][0] = 2;
    dev_->setTransform(D3DTS_VIEW, &m);
    dev_->lightEnable(2, 0);
    uint32_t recorded = 0;
    ASSERT_EQ(dev_->endStateBlock(&recorded), D3D_OK);
    Matrix got{};
    dev_->getTransform(D3DTS_VIEW, &got);
    EXPECT_EQ(got.m[0][0], 1.0f);
    ASSERT_EQ(dev_->applyStateBlock(recorded), D3D_OK);
    dev_->getTransform(D3DTS_VIEW, &got);
    EXPECT_EQ(got.m[0][0], 2.0f);
    dev_->getLightEnable(2, &on);
    EXPECT_EQ(on, 0);
    EXPECT_EQ(dev_->createStateBlock(7, &v), D3DERR_INVALIDCALL);
}
