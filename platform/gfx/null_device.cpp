// Null device: the full device interface with no rasteriser. Textures, buffers and surfaces
// (render targets, the back buffer and depth surfaces included) keep lockable main memory;
// draws are checked and then do nothing. Used for logic tests and CPU benchmarks.
#include "platform/gfx/device_base.h"

namespace gfx::detail {

namespace {

constexpr uint32_t kNullMaxTextureSide = 4096;

void fillNullCaps(Caps* caps) {
    *caps = Caps{};
    caps->DeviceType = D3DDEVTYPE_HAL;
    caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_HWRASTERIZATION;
    caps->RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WBUFFER |
                       D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG;
    caps->MaxTextureWidth = caps->MaxTextureHeight = kNullMaxTextureSide;
    caps->MaxActiveLights = 8;
    caps->MaxTextureBlendStages = caps->MaxSimultaneousTextures = 4;
    caps->MaxPrimitiveCount = 0xFFFFF;
    caps->MaxVertexIndex = 0xFFFFF;
    caps->PrimitiveMiscCaps = D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
    caps->TextureCaps =
        D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP;
    caps->MaxStreams = 1;
}

class NullTexture final : public TextureBase {
public:
    using TextureBase::TextureBase;
};

class NullDevice final : public DeviceBase {
public:
    explicit NullDevice(const PresentParameters& p) : DeviceBase(p) { makeBackBuffer(); }

    HRESULT reset(PresentParameters* p) override {
        if (p == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        params_ = *p;
        makeBackBuffer();
        return D3D_OK;
    }
    HRESULT getDeviceCaps(Caps* caps) override {
        if (caps == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        fillNullCaps(caps);
        return D3D_OK;
    }
    HRESULT getDisplayMode(DisplayMode* mode) override {
        if (mode == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *mode = {params_.BackBufferWidth, params_.BackBufferHeight, 60, D3DFMT_X8R8G8B8};
        return D3D_OK;
    }
    HRESULT clear(uint32_t count, const Rect* rects, uint32_t flags, uint32_t, float,
                  uint32_t) override {
        if ((count != 0 && rects == nullptr) || (flags & 7) == 0) {
            return D3DERR_INVALIDCALL;
        }
        return D3D_OK;
    }
    HRESULT present() override { return D3D_OK; }
    HRESULT readBackBuffer(uint32_t* w, uint32_t* h, std::string* pixels) override {
        return readSurface(backBuffer_.get(), w, h, pixels);
    }
    HRESULT readSurface(Surface* surface, uint32_t* w, uint32_t* h, std::string* pixels) override {
        auto* s = dynamic_cast<LevelSurface*>(surface);
        if (s == nullptr || w == nullptr || h == nullptr || pixels == nullptr ||
            s->texture()->owner() != this) {
            return D3DERR_INVALIDCALL;
        }
        Level& l = s->texture()->level(s->levelIndex());
        *w = l.width;
        *h = l.height;
        if (l.bytes.empty()) {
            pixels->assign(size_t(l.width) * l.height * 4, '\0');
            return D3D_OK;
        }
        convertToBgra(s->texture()->format(), l.bytes.data(), l.pitch, l.width, l.height, pixels);
        return D3D_OK;
    }

protected:
    uint32_t maxTextureSide() const override { return kNullMaxTextureSide; }
    HRESULT makeTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                        Format format, uint32_t pool, Texture** texture) override {
        auto* t = new NullTexture(this, width, height, levels, usage, format, pool);
        t->setLockable(true);
        *texture = t;
        return D3D_OK;
    }
    VertexBuffer* makeVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf,
                                   uint32_t pool) override {
        return new VertexBufferBase(this, length, usage, fvf, pool);
    }
    IndexBuffer* makeIndexBuffer(uint32_t length, uint32_t usage, Format format,
                                 uint32_t pool) override {
        return new IndexBufferBase(this, length, usage, format, pool);
    }
    Surface* makeDepthSurface(uint32_t width, uint32_t height, Format format) override {
        return new DepthSurfaceBase(this, width, height, format, true);
    }

    HRESULT drawArrays(uint32_t, uint32_t, uint32_t) override { return D3D_OK; }
    HRESULT drawIndexed(uint32_t, uint32_t, uint32_t) override { return D3D_OK; }
    HRESULT drawClient(uint32_t, uint32_t, const void*, uint32_t, uint32_t, const void*,
                       uint32_t) override {
        return D3D_OK;
    }

private:
    void makeBackBuffer() {
        uint32_t w = std::max(1u, std::min(params_.BackBufferWidth, kNullMaxTextureSide));
        uint32_t h = std::max(1u, std::min(params_.BackBufferHeight, kNullMaxTextureSide));
        params_.BackBufferWidth = w;
        params_.BackBufferHeight = h;
        Format f =
            bytesPerPixel(params_.BackBufferFormat) != 0 && !isDepthFormat(params_.BackBufferFormat)
                ? params_.BackBufferFormat
                : D3DFMT_X8R8G8B8;
        auto* colour = new NullTexture(this, w, h, 1, D3DUSAGE_RENDERTARGET, f, D3DPOOL_DEFAULT);
        colour->setLockable(true);
        Ref<Surface> surface(new LevelSurface(colour, 0));
        colour->release();
        Ref<Surface> depth;
        if (params_.EnableAutoDepthStencil) {
            depth = Ref<Surface>(new DepthSurfaceBase(this, w, h, D3DFMT_D24S8, true));
        }
        setBackBuffer(std::move(surface), std::move(depth));
        resetState();
    }
};

class NullDirect3D final : public Direct3D {
public:
    HRESULT getAdapterDisplayMode(uint32_t adapter, DisplayMode* mode) override {
        if (adapter != 0 || mode == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *mode = {800, 600, 60, D3DFMT_X8R8G8B8};
        return D3D_OK;
    }
    HRESULT getDeviceCaps(uint32_t adapter, uint32_t, Caps* caps) override {
        if (adapter != 0 || caps == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        fillNullCaps(caps);
        return D3D_OK;
    }
    HRESULT createDevice(uint32_t adapter, uint32_t, platform::Window*, uint32_t,
                         PresentParameters* p, Device** device) override {
        if (adapter != 0 || p == nullptr || device == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        *device = new NullDevice(*p);
        return D3D_OK;
    }
};

} // namespace

std::unique_ptr<Direct3D> createNullDirect3D() {
    return std::make_unique<NullDirect3D>();
}

} // namespace gfx::detail
