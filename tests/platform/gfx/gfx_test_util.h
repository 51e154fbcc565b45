// Helpers for the gfx device tests: one fixture over every device the build has (the Null
// device, and the one that renders: headless GL on Linux, Direct3D 8 on Windows; skipping
// when it cannot start), pixel read-back and pre-transformed quads.
#pragma once

#include "platform/gfx/gfx.h"
#ifdef _WIN32
#include "platform/gfx/d3d8_device.h"
#endif

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <ostream>
#include <string>

namespace gfx {
// Devices by name in test output.
inline void PrintTo(Backend backend, std::ostream* os) {
    *os << (backend == Backend::Null ? "Null" : backend == Backend::Direct3D8 ? "Direct3D8" : "GL");
}
} // namespace gfx

namespace gfxtest {

// Pre-transformed vertex with a colour and one coordinate set.
struct TlVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
constexpr uint32_t kTlFvf = gfx::D3DFVF_XYZRHW | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1;

// Untransformed vertex with a normal, a colour and one coordinate set.
struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    uint32_t colour;
    float u, v;
};
constexpr uint32_t kFvf =
    gfx::D3DFVF_XYZ | gfx::D3DFVF_NORMAL | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1;

struct Bgra {
    uint8_t b, g, r, a;
};

inline gfx::PresentParameters presentParameters(uint32_t w, uint32_t h, bool depth) {
    gfx::PresentParameters p{};
    p.BackBufferWidth = w;
    p.BackBufferHeight = h;
    p.BackBufferFormat = gfx::D3DFMT_X8R8G8B8;
    p.BackBufferCount = 1;
    p.SwapEffect = gfx::D3DSWAPEFFECT_DISCARD;
    p.Windowed = 1;
    p.EnableAutoDepthStencil = depth ? 1 : 0;
    p.AutoDepthStencilFormat = gfx::D3DFMT_D24S8;
    return p;
}

// The device of this build that draws pixels.
inline gfx::Backend renderingBackend() {
#ifdef _WIN32
    return gfx::Backend::Direct3D8;
#else
    return gfx::Backend::GlHeadless;
#endif
}

// Test names per device: .../Null, .../GL, .../Direct3D8.
inline std::string backendName(const ::testing::TestParamInfo<gfx::Backend>& info) {
    switch (info.param) {
    case gfx::Backend::Null:
        return "Null";
    case gfx::Backend::Direct3D8:
        return "Direct3D8";
    default:
        return "GL";
    }
}

// True when the Direct3D 8 underneath is Wine's: the few cases where Wine departs from the
// documented rules expect Wine's result there, and only there.
inline bool onWinesDirect3D8(gfx::Backend backend) {
#ifdef _WIN32
    return backend == gfx::Backend::Direct3D8 && gfx::detail::hostIsWine();
#else
    (void)backend;
    return false;
#endif
}

class DeviceTest : public ::testing::TestWithParam<gfx::Backend> {
protected:
    static constexpr uint32_t kWidth = 64, kHeight = 48;

    void SetUp() override {
        d3d_ = gfx::createDirect3D(gfx::D3D_SDK_VERSION, GetParam());
        if (!d3d_) {
            GTEST_SKIP() << "this device cannot start here: " << gfx::lastError();
        }
        gfx::PresentParameters p = presentParameters(kWidth, kHeight, true);
        gfx::Device* d = nullptr;
        ASSERT_EQ(d3d_->createDevice(0, gfx::D3DDEVTYPE_HAL, nullptr,
                                     gfx::D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &d),
                  gfx::D3D_OK)
            << gfx::lastError();
        dev_.reset(d);
    }

    // Reads the back buffer, or the given colour surface.
    void read(gfx::Surface* surface = nullptr) {
        uint32_t w = 0, h = 0;
        const gfx::HRESULT hr = surface != nullptr ? dev_->readSurface(surface, &w, &h, &pixels_)
                                                   : dev_->readBackBuffer(&w, &h, &pixels_);
        ASSERT_EQ(hr, gfx::D3D_OK);
        readWidth_ = w;
        readHeight_ = h;
    }
    Bgra at(uint32_t x, uint32_t y) const {
        Bgra p;
        std::memcpy(&p, pixels_.data() + (size_t(y) * readWidth_ + x) * 4, 4);
        return p;
    }

    // Two triangles covering (x0, y0)-(x1, y1) in pixels, coordinates 0..1.
    void drawQuad(float x0, float y0, float x1, float y1, uint32_t colour = 0xFFFFFFFF,
                  float z = 0.5f) {
        const TlVertex v[4] = {{x0, y0, z, 1, colour, 0, 0},
                               {x1, y0, z, 1, colour, 1, 0},
                               {x0, y1, z, 1, colour, 0, 1},
                               {x1, y1, z, 1, colour, 1, 1}};
        ASSERT_EQ(dev_->setVertexShader(kTlFvf), gfx::D3D_OK);
        ASSERT_EQ(dev_->drawPrimitiveUP(gfx::D3DPT_TRIANGLESTRIP, 2, v, sizeof(TlVertex)),
                  gfx::D3D_OK);
    }
    void drawFullQuad(uint32_t colour = 0xFFFFFFFF) {
        drawQuad(-0.5f, -0.5f, kWidth - 0.5f, kHeight - 0.5f, colour);
    }

    // A texture of one level filled by f(x, y) -> A8R8G8B8.
    template <class F> gfx::Ref<gfx::Texture> makeTexture(uint32_t w, uint32_t h, F f) {
        gfx::Ref<gfx::Texture> t;
        EXPECT_EQ(
            dev_->createTexture(w, h, 1, 0, gfx::D3DFMT_A8R8G8B8, gfx::D3DPOOL_MANAGED, t.put()),
            gfx::D3D_OK);
        gfx::LockedRect r{};
        EXPECT_EQ(t->lockRect(0, &r, nullptr, 0), gfx::D3D_OK);
        for (uint32_t y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(r.pBits) +
                                                    size_t(y) * uint32_t(r.Pitch));
            for (uint32_t x = 0; x < w; ++x) {
                row[x] = f(x, y);
            }
        }
        EXPECT_EQ(t->unlockRect(0), gfx::D3D_OK);
        return t;
    }

    // Unlit, untextured drawing of vertex colours.
    void plainColourState() {
        dev_->setRenderState(gfx::D3DRS_LIGHTING, 0);
        dev_->setRenderState(gfx::D3DRS_ZENABLE, gfx::D3DZB_FALSE);
        dev_->setRenderState(gfx::D3DRS_CULLMODE, gfx::D3DCULL_NONE);
        dev_->setTextureStageState(0, gfx::D3DTSS_COLOROP, gfx::D3DTOP_SELECTARG1);
        dev_->setTextureStageState(0, gfx::D3DTSS_COLORARG1, gfx::D3DTA_DIFFUSE);
        dev_->setTextureStageState(0, gfx::D3DTSS_ALPHAOP, gfx::D3DTOP_SELECTARG1);
        dev_->setTextureStageState(0, gfx::D3DTSS_ALPHAARG1, gfx::D3DTA_DIFFUSE);
    }

    std::unique_ptr<gfx::Direct3D> d3d_;
    std::unique_ptr<gfx::Device> dev_;
    std::string pixels_;
    uint32_t readWidth_ = 0, readHeight_ = 0;
};

} // namespace gfxtest
