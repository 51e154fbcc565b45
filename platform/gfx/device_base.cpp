// Device-independent half of the gfx device: state record, state blocks, argument checks and
// main-memory resources shared by the GL and Null implementations. No graphics API here.
#include "platform/gfx/device_base.h"

#include <algorithm>
#include <cstring>

namespace gfx::detail {

uint32_t bytesPerPixel(Format format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D32:
        return 4;
    case D3DFMT_R8G8B8:
        return 3;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D15S1:
        return 2;
    case D3DFMT_A8:
    case D3DFMT_L8:
        return 1;
    default:
        return 0;
    }
}

bool isDepthFormat(Format format) {
    switch (format) {
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D15S1:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D32:
        return true;
    default:
        return false;
    }
}

uint32_t fvfStride(uint32_t fvf) {
    uint32_t size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ:
        size = 12;
        break;
    case D3DFVF_XYZRHW:
        size = 16;
        break;
    case D3DFVF_XYZB1:
    case D3DFVF_XYZB2:
    case D3DFVF_XYZB3:
    case D3DFVF_XYZB4:
    case D3DFVF_XYZB5:
        size = 12 + 4 * (((fvf & D3DFVF_POSITION_MASK) - D3DFVF_XYZ) / 2);
        break;
    default:
        return 0;
    }
    size += (fvf & D3DFVF_NORMAL) ? 12 : 0;
    size += (fvf & D3DFVF_PSIZE) ? 4 : 0;
    size += (fvf & D3DFVF_DIFFUSE) ? 4 : 0;
    size += (fvf & D3DFVF_SPECULAR) ? 4 : 0;
    const uint32_t sets =
        std::min<uint32_t>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT, 8);
    for (uint32_t i = 0; i < sets; ++i) {
        static constexpr uint32_t kFloats[4] = {2, 3, 4, 1};
        size += 4 * kFloats[(fvf >> (16 + 2 * i)) & 3];
    }
    return size;
}

uint32_t verticesFor(uint32_t type, uint32_t n) {
    const uint64_t count = n;
    uint64_t v = 0;
    switch (type) {
    case D3DPT_POINTLIST:
        v = count;
        break;
    case D3DPT_LINELIST:
        v = count * 2;
        break;
    case D3DPT_LINESTRIP:
        v = count + 1;
        break;
    case D3DPT_TRIANGLELIST:
        v = count * 3;
        break;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        v = count + 2;
        break;
    default:
        return 0;
    }
    return v > 0xFFFFFFFFu ? 0 : uint32_t(v);
}

int transformSlot(uint32_t state) {
    if (state < 24) {
        return int(state);
    }
    if (state >= 256 && state < 260) {
        return int(state - 256 + 24);
    }
    return -1;
}

Matrix identityMatrix() {
    Matrix m{};
    for (int i = 0; i < 4; ++i) {
        m.m[i][i] = 1.0f;
    }
    return m;
}

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float s = 0.0f;
            for (int k = 0; k < 4; ++k) {
                s += a.m[i][k] * b.m[k][j];
            }
            r.m[i][j] = s;
        }
    }
    return r;
}

// ---- Textures and surfaces ----

TextureBase::TextureBase(const void* owner, uint32_t width, uint32_t height, uint32_t levels,
                         uint32_t usage, Format format, uint32_t pool)
    : owner_(owner), usage_(usage), format_(format), pool_(pool), bpp_(bytesPerPixel(format)),
      lockable_((usage & D3DUSAGE_RENDERTARGET) == 0) {
    levels_.resize(levels);
    for (uint32_t i = 0; i < levels; ++i) {
        Level& l = levels_[i];
        l.width = std::max(1u, width >> i);
        l.height = std::max(1u, height >> i);
        l.pitch = l.width * bpp_;
    }
}

HRESULT TextureBase::getLevelDesc(uint32_t level, SurfaceDesc* desc) {
    if (desc == nullptr || level >= levels_.size()) {
        return D3DERR_INVALIDCALL;
    }
    const Level& l = levels_[level];
    *desc = {format_, D3DRTYPE_SURFACE, usage_, pool_, l.pitch * l.height, D3DMULTISAMPLE_NONE,
             l.width, l.height};
    return D3D_OK;
}

HRESULT TextureBase::getSurfaceLevel(uint32_t level, Surface** surface) {
    if (surface == nullptr || level >= levels_.size()) {
        return D3DERR_INVALIDCALL;
    }
    *surface = new LevelSurface(this, level);
    return D3D_OK;
}

HRESULT TextureBase::lockRect(uint32_t level, LockedRect* locked, const Rect* rect,
                              uint32_t flags) {
    if (locked == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *locked = {0, nullptr};
    if (level >= levels_.size() || !lockable_ || levels_[level].locked) {
        return D3DERR_INVALIDCALL;
    }
    Level& l = levels_[level];
    Rect r{0, 0, int32_t(l.width), int32_t(l.height)};
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
            rect->top >= rect->bottom || rect->right > int32_t(l.width) ||
            rect->bottom > int32_t(l.height)) {
            return D3DERR_INVALIDCALL;
        }
        r = *rect;
    }
    if (l.bytes.empty()) {
        l.bytes.assign(size_t(l.pitch) * l.height, 0);
        if ((flags & D3DLOCK_DISCARD) == 0) {
            fetch(level, l);
        }
    }
    l.locked = true;
    l.lockReadOnly = (flags & D3DLOCK_READONLY) != 0;
    l.lockTop = uint32_t(r.top);
    l.lockBottom = uint32_t(r.bottom);
    locked->Pitch = int32_t(l.pitch);
    locked->pBits = l.bytes.data() + size_t(r.top) * l.pitch + size_t(r.left) * bpp_;
    return D3D_OK;
}

HRESULT TextureBase::unlockRect(uint32_t level) {
    if (level >= levels_.size() || !levels_[level].locked) {
        return D3DERR_INVALIDCALL;
    }
    Level& l = levels_[level];
    l.locked = false;
    if (!l.lockReadOnly) {
        commit(level, l, l.lockTop, l.lockBottom);
    }
    if (!keepsMemory()) {
        std::vector<uint8_t>().swap(l.bytes);
    }
    return D3D_OK;
}

DepthSurfaceBase::DepthSurfaceBase(const void* owner, uint32_t width, uint32_t height,
                                   Format format, bool lockable)
    : owner_(owner), format_(format), lockable_(lockable) {
    level_.width = width;
    level_.height = height;
    level_.pitch = width * bytesPerPixel(format);
}

HRESULT DepthSurfaceBase::getDesc(SurfaceDesc* desc) {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *desc = {format_,
             D3DRTYPE_SURFACE,
             D3DUSAGE_DEPTHSTENCIL,
             D3DPOOL_DEFAULT,
             level_.pitch * level_.height,
             D3DMULTISAMPLE_NONE,
             level_.width,
             level_.height};
    return D3D_OK;
}

HRESULT DepthSurfaceBase::lockRect(LockedRect* locked, const Rect* rect, uint32_t) {
    if (locked == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *locked = {0, nullptr};
    if (!lockable_ || level_.locked) {
        return D3DERR_INVALIDCALL;
    }
    Rect r{0, 0, int32_t(level_.width), int32_t(level_.height)};
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
            rect->top >= rect->bottom || rect->right > r.right || rect->bottom > r.bottom) {
            return D3DERR_INVALIDCALL;
        }
        r = *rect;
    }
    if (level_.bytes.empty()) {
        level_.bytes.assign(size_t(level_.pitch) * level_.height, 0);
    }
    level_.locked = true;
    locked->Pitch = int32_t(level_.pitch);
    locked->pBits = level_.bytes.data() + size_t(r.top) * level_.pitch +
                    size_t(r.left) * bytesPerPixel(format_);
    return D3D_OK;
}

HRESULT DepthSurfaceBase::unlockRect() {
    if (!level_.locked) {
        return D3DERR_INVALIDCALL;
    }
    level_.locked = false;
    return D3D_OK;
}

HRESULT VertexBufferBase::getDesc(VertexBufferDesc* desc) {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *desc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, memory().usage, memory().pool, size(), fvf_};
    return D3D_OK;
}

HRESULT IndexBufferBase::getDesc(IndexBufferDesc* desc) {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *desc = {format_, D3DRTYPE_INDEXBUFFER, memory().usage, memory().pool, size()};
    return D3D_OK;
}

uint32_t IndexBufferBase::maxIndex(uint32_t first, uint32_t count) {
    const uint8_t* p = memory().bytes.data() + size_t(first) * indexSize();
    uint32_t m = 0;
    if (indexSize() == 4) {
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t v;
            std::memcpy(&v, p + 4 * size_t(i), 4);
            m = std::max(m, v);
        }
    } else {
        for (uint32_t i = 0; i < count; ++i) {
            uint16_t v;
            std::memcpy(&v, p + 2 * size_t(i), 2);
            m = std::max<uint32_t>(m, v);
        }
    }
    return m;
}

uint32_t IndexBufferBase::maxIndexOfAll() {
    BufferMemory& mem = memory();
    if (mem.maxIndexStale) {
        mem.maxIndex = maxIndex(0, size() / indexSize());
        mem.maxIndexStale = false;
    }
    return mem.maxIndex;
}

// ---- Device state ----

namespace {

// Render states that belong to the pixel and to the vertex part of the pipeline (state
// blocks of type PIXELSTATE and VERTEXSTATE).
constexpr uint32_t kPixelStates[] = {D3DRS_ZENABLE,
                                     D3DRS_FILLMODE,
                                     D3DRS_SHADEMODE,
                                     D3DRS_LINEPATTERN,
                                     D3DRS_ZWRITEENABLE,
                                     D3DRS_ALPHATESTENABLE,
                                     D3DRS_LASTPIXEL,
                                     D3DRS_SRCBLEND,
                                     D3DRS_DESTBLEND,
                                     D3DRS_ZFUNC,
                                     D3DRS_ALPHAREF,
                                     D3DRS_ALPHAFUNC,
                                     D3DRS_DITHERENABLE,
                                     D3DRS_FOGSTART,
                                     D3DRS_FOGEND,
                                     D3DRS_FOGDENSITY,
                                     D3DRS_ALPHABLENDENABLE,
                                     D3DRS_EDGEANTIALIAS,
                                     D3DRS_ZBIAS,
                                     D3DRS_STENCILENABLE,
                                     D3DRS_STENCILFAIL,
                                     D3DRS_STENCILZFAIL,
                                     D3DRS_STENCILPASS,
                                     D3DRS_STENCILFUNC,
                                     D3DRS_STENCILREF,
                                     D3DRS_STENCILMASK,
                                     D3DRS_STENCILWRITEMASK,
                                     D3DRS_TEXTUREFACTOR,
                                     D3DRS_WRAP0,
                                     D3DRS_WRAP1,
                                     D3DRS_WRAP2,
                                     D3DRS_WRAP3,
                                     D3DRS_WRAP4,
                                     D3DRS_WRAP5,
                                     D3DRS_WRAP6,
                                     D3DRS_WRAP7,
                                     D3DRS_COLORWRITEENABLE,
                                     D3DRS_BLENDOP,
                                     D3DRS_FOGTABLEMODE,
                                     D3DRS_FOGCOLOR};
constexpr uint32_t kVertexStates[] = {D3DRS_SHADEMODE,
                                      D3DRS_SPECULARENABLE,
                                      D3DRS_CULLMODE,
                                      D3DRS_FOGENABLE,
                                      D3DRS_FOGCOLOR,
                                      D3DRS_FOGTABLEMODE,
                                      D3DRS_FOGSTART,
                                      D3DRS_FOGEND,
                                      D3DRS_FOGDENSITY,
                                      D3DRS_RANGEFOGENABLE,
                                      D3DRS_AMBIENT,
                                      D3DRS_COLORVERTEX,
                                      D3DRS_FOGVERTEXMODE,
                                      D3DRS_CLIPPING,
                                      D3DRS_LIGHTING,
                                      D3DRS_NORMALIZENORMALS,
                                      D3DRS_LOCALVIEWER,
                                      D3DRS_DIFFUSEMATERIALSOURCE,
                                      D3DRS_SPECULARMATERIALSOURCE,
                                      D3DRS_AMBIENTMATERIALSOURCE,
                                      D3DRS_EMISSIVEMATERIALSOURCE,
                                      D3DRS_VERTEXBLEND,
                                      D3DRS_CLIPPLANEENABLE,
                                      D3DRS_POINTSIZE,
                                      D3DRS_POINTSIZE_MIN,
                                      D3DRS_POINTSPRITEENABLE,
                                      D3DRS_POINTSCALEENABLE,
                                      D3DRS_POINTSCALE_A,
                                      D3DRS_POINTSCALE_B,
                                      D3DRS_POINTSCALE_C,
                                      D3DRS_MULTISAMPLEANTIALIAS,
                                      D3DRS_MULTISAMPLEMASK,
                                      D3DRS_PATCHEDGESTYLE,
                                      D3DRS_PATCHSEGMENTS,
                                      D3DRS_POINTSIZE_MAX,
                                      D3DRS_INDEXEDVERTEXBLENDENABLE,
                                      D3DRS_TWEENFACTOR};

uint32_t floatBits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

void setDefaults(DeviceState& s, uint32_t width, uint32_t height) {
    s.rs.fill(0);
    s.rs[D3DRS_ZENABLE] = D3DZB_FALSE; // true only with an automatic depth surface
    s.rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    s.rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    s.rs[D3DRS_LINEPATTERN] = 0;
    s.rs[D3DRS_ZWRITEENABLE] = 1;
    s.rs[D3DRS_ALPHATESTENABLE] = 0;
    s.rs[D3DRS_LASTPIXEL] = 1;
    s.rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    s.rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    s.rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    s.rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    s.rs[D3DRS_ALPHAREF] = 0;
    s.rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    s.rs[D3DRS_FOGCOLOR] = 0;
    s.rs[D3DRS_FOGTABLEMODE] = D3DFOG_NONE;
    s.rs[D3DRS_FOGSTART] = floatBits(0.0f);
    s.rs[D3DRS_FOGEND] = floatBits(1.0f);
    s.rs[D3DRS_FOGDENSITY] = floatBits(1.0f);
    s.rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    s.rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    s.rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    s.rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    s.rs[D3DRS_STENCILMASK] = 0xFFFFFFFFu;
    s.rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
    s.rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    s.rs[D3DRS_CLIPPING] = 1;
    s.rs[D3DRS_LIGHTING] = 1;
    s.rs[D3DRS_AMBIENT] = 0;
    s.rs[D3DRS_FOGVERTEXMODE] = D3DFOG_NONE;
    s.rs[D3DRS_COLORVERTEX] = 1;
    s.rs[D3DRS_LOCALVIEWER] = 1;
    s.rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    s.rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    s.rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    s.rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    s.rs[D3DRS_POINTSIZE] = floatBits(1.0f);
    s.rs[D3DRS_POINTSIZE_MAX] = floatBits(64.0f);
    s.rs[D3DRS_POINTSCALE_A] = floatBits(1.0f);
    s.rs[D3DRS_MULTISAMPLEANTIALIAS] = 1;
    s.rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFFu;
    s.rs[D3DRS_PATCHSEGMENTS] = floatBits(1.0f);
    s.rs[D3DRS_COLORWRITEENABLE] = 0xF;
    s.rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    for (uint32_t i = 0; i < kStageCount; ++i) {
        auto& t = s.tss[i];
        t.fill(0);
        t[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = i;
        t[D3DTSS_ADDRESSU] = t[D3DTSS_ADDRESSV] = t[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
        t[D3DTSS_MAGFILTER] = t[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        t[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        t[D3DTSS_MAXANISOTROPY] = 1;
        t[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        s.textures[i].reset();
    }
    for (auto& m : s.transforms) {
        m = identityMatrix();
    }
    s.lights.clear();
    s.material = Material{};
    s.viewport = {0, 0, width, height, 0.0f, 1.0f};
    s.fvf = 0;
    s.stream.reset();
    s.stride = 0;
    s.indices.reset();
    s.baseVertex = 0;
}

} // namespace

DeviceBase::DeviceBase(const PresentParameters& params) : params_(params) {}

DeviceBase::~DeviceBase() = default;

void DeviceBase::resetState() {
    setDefaults(state_, params_.BackBufferWidth, params_.BackBufferHeight);
    if (autoDepth_) {
        state_.rs[D3DRS_ZENABLE] = D3DZB_TRUE;
    }
    colourTarget_ = backBuffer_;
    depthTarget_ = autoDepth_;
    recording_ = false;
    recordingBlock_ = StateBlock{};
    inScene_ = false;
    dirty_ = kDirtyAll;
}

void DeviceBase::setBackBuffer(Ref<Surface> colour, Ref<Surface> depth) {
    backBuffer_ = std::move(colour);
    autoDepth_ = std::move(depth);
}

void DeviceBase::targetSize(uint32_t* width, uint32_t* height) {
    SurfaceDesc d{};
    if (colourTarget_ && colourTarget_->getDesc(&d) == D3D_OK) {
        *width = d.Width;
        *height = d.Height;
    } else {
        *width = params_.BackBufferWidth;
        *height = params_.BackBufferHeight;
    }
}

TextureBase* DeviceBase::ownTexture(Texture* texture) const {
    auto* t = dynamic_cast<TextureBase*>(texture);
    return t != nullptr && t->owner() == this ? t : nullptr;
}

LevelSurface* DeviceBase::ownColourSurface(Surface* surface) const {
    auto* s = dynamic_cast<LevelSurface*>(surface);
    if (s == nullptr || s->texture()->owner() != this ||
        (s->texture()->usage() & D3DUSAGE_RENDERTARGET) == 0) {
        return nullptr;
    }
    return s;
}

DepthSurfaceBase* DeviceBase::ownDepthSurface(Surface* surface) const {
    auto* s = dynamic_cast<DepthSurfaceBase*>(surface);
    return s != nullptr && s->owner() == this ? s : nullptr;
}

HRESULT DeviceBase::beginScene() {
    if (inScene_) {
        return D3DERR_INVALIDCALL;
    }
    inScene_ = true;
    return D3D_OK;
}

HRESULT DeviceBase::endScene() {
    if (!inScene_) {
        return D3DERR_INVALIDCALL;
    }
    inScene_ = false;
    return D3D_OK;
}

HRESULT DeviceBase::getBackBuffer(uint32_t index, uint32_t, Surface** surface) {
    if (surface == nullptr || index != 0 || !backBuffer_) {
        return D3DERR_INVALIDCALL;
    }
    *surface = Ref<Surface>(backBuffer_).detach();
    return D3D_OK;
}

HRESULT DeviceBase::setRenderTarget(Surface* colour, Surface* depth) {
    LevelSurface* c = nullptr;
    if (colour != nullptr && (c = ownColourSurface(colour)) == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (depth != nullptr && ownDepthSurface(depth) == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (colour != nullptr) {
        colourTarget_ = Ref<Surface>::share(colour);
    }
    depthTarget_ = Ref<Surface>::share(depth);
    uint32_t w, h;
    targetSize(&w, &h);
    state_.viewport = {0, 0, w, h, 0.0f, 1.0f};
    dirty_ |= kDirtyTarget | kDirtyViewport;
    return D3D_OK;
}

HRESULT DeviceBase::getRenderTarget(Surface** surface) {
    if (surface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *surface = Ref<Surface>(colourTarget_).detach();
    return *surface != nullptr ? D3D_OK : D3DERR_NOTFOUND;
}

HRESULT DeviceBase::getDepthStencilSurface(Surface** surface) {
    if (surface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *surface = Ref<Surface>(depthTarget_).detach();
    return *surface != nullptr ? D3D_OK : D3DERR_NOTFOUND;
}

HRESULT DeviceBase::setTransform(uint32_t stateType, const Matrix* matrix) {
    const int slot = transformSlot(stateType);
    if (slot < 0 || matrix == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recordingBlock_.mask.transforms.set(size_t(slot));
    }
    target().transforms[size_t(slot)] = *matrix;
    dirty_ |= kDirtyTransforms;
    return D3D_OK;
}

HRESULT DeviceBase::getTransform(uint32_t stateType, Matrix* matrix) {
    const int slot = transformSlot(stateType);
    if (slot < 0 || matrix == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *matrix = state_.transforms[size_t(slot)];
    return D3D_OK;
}

HRESULT DeviceBase::multiplyTransform(uint32_t stateType, const Matrix* matrix) {
    const int slot = transformSlot(stateType);
    if (slot < 0 || matrix == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const Matrix m = multiply(target().transforms[size_t(slot)], *matrix);
    return setTransform(stateType, &m);
}

HRESULT DeviceBase::setViewport(const Viewport* viewport) {
    if (viewport == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    uint32_t w, h;
    targetSize(&w, &h);
    if (viewport->Width == 0 || viewport->Height == 0 || viewport->X >= w || viewport->Y >= h ||
        viewport->Width > w - viewport->X || viewport->Height > h - viewport->Y ||
        !(viewport->MinZ >= 0.0f && viewport->MinZ <= 1.0f) ||
        !(viewport->MaxZ >= 0.0f && viewport->MaxZ <= 1.0f)) {
        return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recordingBlock_.mask.viewport = true;
    }
    target().viewport = *viewport;
    dirty_ |= kDirtyViewport;
    return D3D_OK;
}

HRESULT DeviceBase::getViewport(Viewport* viewport) {
    if (viewport == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *viewport = state_.viewport;
    return D3D_OK;
}

HRESULT DeviceBase::setMaterial(const Material* material) {
    if (material == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recordingBlock_.mask.material = true;
    }
    target().material = *material;
    dirty_ |= kDirtyMaterial;
    return D3D_OK;
}

HRESULT DeviceBase::getMaterial(Material* material) {
    if (material == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *material = state_.material;
    return D3D_OK;
}

HRESULT DeviceBase::setLight(uint32_t index, const Light* light) {
    if (light == nullptr || index >= kMaxLightIndex || light->Type < D3DLIGHT_POINT ||
        light->Type > D3DLIGHT_DIRECTIONAL) {
        return D3DERR_INVALIDCALL;
    }
    DeviceState& s = target();
    if (s.lights.size() <= index) {
        s.lights.resize(index + 1);
    }
    s.lights[index].light = *light;
    if (recording_) {
        auto& bits = recordingBlock_.mask.lights;
        bits.resize(std::max<size_t>(bits.size(), index + 1));
        bits[index] |= 1;
    }
    dirty_ |= kDirtyLights;
    return D3D_OK;
}

HRESULT DeviceBase::getLight(uint32_t index, Light* light) {
    if (light == nullptr || index >= state_.lights.size()) {
        return D3DERR_INVALIDCALL;
    }
    *light = state_.lights[index].light;
    return D3D_OK;
}

HRESULT DeviceBase::lightEnable(uint32_t index, int32_t enable) {
    if (index >= kMaxLightIndex) {
        return D3DERR_INVALIDCALL;
    }
    DeviceState& s = target();
    if (s.lights.size() <= index) {
        // Enabling a light never set gives Direct3D's default: white directional along +z.
        s.lights.resize(index + 1);
        Light& l = s.lights[index].light;
        l.Type = D3DLIGHT_DIRECTIONAL;
        l.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        l.Direction = {0.0f, 0.0f, 1.0f};
    }
    s.lights[index].enabled = enable != 0;
    if (recording_) {
        auto& bits = recordingBlock_.mask.lights;
        bits.resize(std::max<size_t>(bits.size(), index + 1));
        bits[index] |= 2;
    }
    dirty_ |= kDirtyLights;
    return D3D_OK;
}

HRESULT DeviceBase::getLightEnable(uint32_t index, int32_t* enable) {
    if (enable == nullptr || index >= state_.lights.size()) {
        return D3DERR_INVALIDCALL;
    }
    *enable = state_.lights[index].enabled ? 1 : 0;
    return D3D_OK;
}

HRESULT DeviceBase::setRenderState(uint32_t stateType, uint32_t value) {
    if (stateType >= kRenderStateCount) {
        return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recordingBlock_.mask.rs.set(stateType);
        recordingBlock_.values.rs[stateType] = value;
        return D3D_OK;
    }
    if (state_.rs[stateType] != value) {
        state_.rs[stateType] = value;
        dirty_ |= kDirtyRenderState;
    }
    return D3D_OK;
}

HRESULT DeviceBase::getRenderState(uint32_t stateType, uint32_t* value) {
    if (stateType >= kRenderStateCount || value == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *value = state_.rs[stateType];
    return D3D_OK;
}

HRESULT DeviceBase::setTextureStageState(uint32_t stage, uint32_t type, uint32_t value) {
    if (stage >= kStageCount || type >= kStageStateCount) {
        return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recordingBlock_.mask.tss[stage].set(type);
        recordingBlock_.values.tss[stage][type] = value;
        return D3D_OK;
    }
    if (state_.tss[stage][type] != value) {
        state_.tss[stage][type] = value;
        dirty_ |= kDirtyStageState;
    }
    return D3D_OK;
}

HRESULT DeviceBase::getTextureStageState(uint32_t stage, uint32_t type, uint32_t* value) {
    if (stage >= kStageCount || type >= kStageStateCount || value == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *value = state_.tss[stage][type];
    return D3D_OK;
}

HRESULT DeviceBase::setTexture(uint32_t stage, Texture* texture) {
    TextureBase* t = nullptr;
    if (stage >= kStageCount || (texture != nullptr && (t = ownTexture(texture)) == nullptr)) {
        return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recordingBlock_.mask.textures.set(stage);
    }
    target().textures[stage] = Ref<TextureBase>::share(t);
    dirty_ |= kDirtyTextures;
    return D3D_OK;
}

HRESULT DeviceBase::getTexture(uint32_t stage, Texture** texture) {
    if (stage >= kStageCount || texture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *texture = Ref<TextureBase>(state_.textures[stage]).detach();
    return D3D_OK;
}

HRESULT DeviceBase::setVertexShader(uint32_t fvf) {
    if (fvfStride(fvf) == 0) {
        return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recordingBlock_.mask.fvf = true;
    }
    target().fvf = fvf;
    dirty_ |= kDirtyVertexInput;
    return D3D_OK;
}

HRESULT DeviceBase::getVertexShader(uint32_t* fvf) {
    if (fvf == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *fvf = state_.fvf;
    return D3D_OK;
}

HRESULT DeviceBase::setPixelShader(uint32_t handle) {
    return handle == 0 ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT DeviceBase::setStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) {
    auto* b = dynamic_cast<VertexBufferBase*>(buffer);
    if (stream != 0 || (buffer != nullptr && (b == nullptr || b->owner() != this))) {
        return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recordingBlock_.mask.stream = true;
    }
    target().stream = Ref<VertexBufferBase>::share(b);
    target().stride = stride;
    dirty_ |= kDirtyVertexInput;
    return D3D_OK;
}

HRESULT DeviceBase::setIndices(IndexBuffer* buffer, uint32_t baseVertexIndex) {
    auto* b = dynamic_cast<IndexBufferBase*>(buffer);
    if (buffer != nullptr && (b == nullptr || b->owner() != this)) {
        return D3DERR_INVALIDCALL;
    }
    if (recording_) {
        recordingBlock_.mask.indices = true;
    }
    target().indices = Ref<IndexBufferBase>::share(b);
    target().baseVertex = baseVertexIndex;
    dirty_ |= kDirtyVertexInput;
    return D3D_OK;
}

// ---- Draws: every read they imply must stay inside what the caller gave ----

HRESULT DeviceBase::drawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitiveCount) {
    if (primitiveCount == 0) {
        return verticesFor(type, 1) != 0 ? D3D_OK : D3DERR_INVALIDCALL;
    }
    const uint32_t count = verticesFor(type, primitiveCount);
    const DeviceState& s = state_;
    if (count == 0 || !s.stream || s.fvf == 0 || s.stride < fvfStride(s.fvf)) {
        return D3DERR_INVALIDCALL;
    }
    const uint64_t end = (uint64_t(startVertex) + count - 1) * s.stride + fvfStride(s.fvf);
    if (end > s.stream->size()) {
        return D3DERR_INVALIDCALL;
    }
    return drawArrays(type, startVertex, count);
}

HRESULT DeviceBase::drawIndexedPrimitive(uint32_t type, uint32_t, uint32_t, uint32_t startIndex,
                                         uint32_t primitiveCount) {
    if (primitiveCount == 0) {
        return verticesFor(type, 1) != 0 ? D3D_OK : D3DERR_INVALIDCALL;
    }
    const uint32_t count = verticesFor(type, primitiveCount);
    const DeviceState& s = state_;
    if (count == 0 || !s.stream || !s.indices || s.fvf == 0 || s.stride < fvfStride(s.fvf)) {
        return D3DERR_INVALIDCALL;
    }
    IndexBufferBase& ib = *s.indices;
    if ((uint64_t(startIndex) + count) * ib.indexSize() > ib.size()) {
        return D3DERR_INVALIDCALL;
    }
    const uint64_t vertexBytes = s.stream->size();
    auto fits = [&](uint32_t maxIndex) {
        return (uint64_t(s.baseVertex) + maxIndex) * s.stride + fvfStride(s.fvf) <= vertexBytes;
    };
    if (!fits(ib.maxIndexOfAll()) && !fits(ib.maxIndex(startIndex, count))) {
        return D3DERR_INVALIDCALL;
    }
    return drawIndexed(type, startIndex, count);
}

HRESULT DeviceBase::drawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* vertices,
                                    uint32_t stride) {
    const uint32_t count = verticesFor(type, primitiveCount);
    if (count == 0 || vertices == nullptr || state_.fvf == 0 || stride < fvfStride(state_.fvf)) {
        return D3DERR_INVALIDCALL;
    }
    return drawClient(type, count, vertices, count, stride, nullptr, 0);
}

HRESULT DeviceBase::drawIndexedPrimitiveUP(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                                           uint32_t primitiveCount, const void* indices,
                                           Format indexFormat, const void* vertices,
                                           uint32_t stride) {
    const uint32_t count = verticesFor(type, primitiveCount);
    if (count == 0 || vertices == nullptr || indices == nullptr || state_.fvf == 0 ||
        stride < fvfStride(state_.fvf) ||
        (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32)) {
        return D3DERR_INVALIDCALL;
    }
    const uint32_t indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    uint32_t maxIndex = 0;
    const auto* p = static_cast<const uint8_t*>(indices);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t v = 0;
        if (indexSize == 4) {
            std::memcpy(&v, p + 4 * size_t(i), 4);
        } else {
            uint16_t v16;
            std::memcpy(&v16, p + 2 * size_t(i), 2);
            v = v16;
        }
        maxIndex = std::max(maxIndex, v);
    }
    // The caller vouches for vertices [0, minIndex + numVertices); nothing beyond is read.
    if (uint64_t(maxIndex) >= uint64_t(minIndex) + numVertices) {
        return D3DERR_INVALIDCALL;
    }
    return drawClient(type, count, vertices, maxIndex + 1, stride, indices, indexSize);
}

// ---- State blocks ----

void DeviceBase::captureInto(StateBlock& b) {
    const StateMask& m = b.mask;
    DeviceState& v = b.values;
    for (uint32_t i = 0; i < kRenderStateCount; ++i) {
        if (m.rs.test(i)) {
            v.rs[i] = state_.rs[i];
        }
    }
    for (uint32_t s = 0; s < kStageCount; ++s) {
        for (uint32_t i = 0; i < kStageStateCount; ++i) {
            if (m.tss[s].test(i)) {
                v.tss[s][i] = state_.tss[s][i];
            }
        }
        if (m.textures.test(s)) {
            v.textures[s] = state_.textures[s];
        }
    }
    for (uint32_t i = 0; i < kTransformSlots; ++i) {
        if (m.transforms.test(i)) {
            v.transforms[i] = state_.transforms[i];
        }
    }
    if (v.lights.size() < m.lights.size()) {
        v.lights.resize(m.lights.size());
    }
    for (size_t i = 0; i < m.lights.size(); ++i) {
        const LightSlot current = i < state_.lights.size() ? state_.lights[i] : LightSlot{};
        if (m.lights[i] & 1) {
            v.lights[i].light = current.light;
        }
        if (m.lights[i] & 2) {
            v.lights[i].enabled = current.enabled;
        }
    }
    if (m.material) {
        v.material = state_.material;
    }
    if (m.viewport) {
        v.viewport = state_.viewport;
    }
    if (m.fvf) {
        v.fvf = state_.fvf;
    }
    if (m.stream) {
        v.stream = state_.stream;
        v.stride = state_.stride;
    }
    if (m.indices) {
        v.indices = state_.indices;
        v.baseVertex = state_.baseVertex;
    }
}

void DeviceBase::applyFrom(const StateBlock& b) {
    const StateMask& m = b.mask;
    const DeviceState& v = b.values;
    for (uint32_t i = 0; i < kRenderStateCount; ++i) {
        if (m.rs.test(i)) {
            setRenderState(i, v.rs[i]);
        }
    }
    for (uint32_t s = 0; s < kStageCount; ++s) {
        for (uint32_t i = 0; i < kStageStateCount; ++i) {
            if (m.tss[s].test(i)) {
                setTextureStageState(s, i, v.tss[s][i]);
            }
        }
        if (m.textures.test(s)) {
            state_.textures[s] = v.textures[s];
            dirty_ |= kDirtyTextures;
        }
    }
    for (uint32_t i = 0; i < kTransformSlots; ++i) {
        if (m.transforms.test(i)) {
            state_.transforms[i] = v.transforms[i];
            dirty_ |= kDirtyTransforms;
        }
    }
    for (size_t i = 0; i < m.lights.size(); ++i) {
        if (m.lights[i] == 0) {
            continue;
        }
        if (state_.lights.size() <= i) {
            // A light the device never had takes the block's parameters (enabling an unset
            // light while recording gave it the default light).
            state_.lights.resize(i + 1);
            state_.lights[i].light = v.lights[i].light;
        }
        if (m.lights[i] & 1) {
            state_.lights[i].light = v.lights[i].light;
        }
        if (m.lights[i] & 2) {
            state_.lights[i].enabled = v.lights[i].enabled;
        }
        dirty_ |= kDirtyLights;
    }
    if (m.material) {
        state_.material = v.material;
        dirty_ |= kDirtyMaterial;
    }
    if (m.viewport) {
        state_.viewport = v.viewport;
        dirty_ |= kDirtyViewport;
    }
    if (m.fvf) {
        state_.fvf = v.fvf;
    }
    if (m.stream) {
        state_.stream = v.stream;
        state_.stride = v.stride;
    }
    if (m.indices) {
        state_.indices = v.indices;
        state_.baseVertex = v.baseVertex;
    }
    dirty_ |= kDirtyVertexInput;
}

HRESULT DeviceBase::beginStateBlock() {
    if (recording_) {
        return D3DERR_INVALIDCALL;
    }
    recording_ = true;
    recordingBlock_ = StateBlock{};
    // Values not recorded are never read; starting from the current ones keeps lights and
    // multiplyTransform consistent while recording.
    recordingBlock_.values.lights = state_.lights;
    recordingBlock_.values.transforms = state_.transforms;
    return D3D_OK;
}

HRESULT DeviceBase::endStateBlock(uint32_t* token) {
    if (!recording_ || token == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    recording_ = false;
    *token = nextToken_++;
    blocks_.emplace(*token, std::move(recordingBlock_));
    recordingBlock_ = StateBlock{};
    return D3D_OK;
}

HRESULT DeviceBase::applyStateBlock(uint32_t token) {
    auto it = blocks_.find(token);
    if (recording_ || it == blocks_.end()) {
        return D3DERR_INVALIDCALL;
    }
    applyFrom(it->second);
    return D3D_OK;
}

HRESULT DeviceBase::captureStateBlock(uint32_t token) {
    auto it = blocks_.find(token);
    if (recording_ || it == blocks_.end()) {
        return D3DERR_INVALIDCALL;
    }
    captureInto(it->second);
    return D3D_OK;
}

HRESULT DeviceBase::deleteStateBlock(uint32_t token) {
    if (recording_ || blocks_.erase(token) == 0) {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT DeviceBase::createStateBlock(uint32_t type, uint32_t* token) {
    if (token == nullptr || recording_ ||
        (type != D3DSBT_ALL && type != D3DSBT_PIXELSTATE && type != D3DSBT_VERTEXSTATE)) {
        return D3DERR_INVALIDCALL;
    }
    StateBlock b;
    StateMask& m = b.mask;
    const bool all = type == D3DSBT_ALL;
    const bool pixel = type == D3DSBT_PIXELSTATE;
    const bool vertex = type == D3DSBT_VERTEXSTATE;
    if (all) {
        m.rs.set();
        m.textures.set();
        m.transforms.set();
        m.material = m.viewport = m.stream = m.indices = true;
    }
    if (pixel) {
        for (uint32_t rs : kPixelStates) {
            m.rs.set(rs);
        }
    }
    if (vertex) {
        for (uint32_t rs : kVertexStates) {
            m.rs.set(rs);
        }
    }
    for (uint32_t s = 0; s < kStageCount; ++s) {
        if (all || pixel) {
            m.tss[s].set();
        }
        if (pixel) {
            m.tss[s].reset(D3DTSS_TEXCOORDINDEX);
            m.tss[s].reset(D3DTSS_TEXTURETRANSFORMFLAGS);
        }
        if (vertex) {
            m.tss[s].set(D3DTSS_TEXCOORDINDEX);
            m.tss[s].set(D3DTSS_TEXTURETRANSFORMFLAGS);
        }
    }
    if (all || vertex) {
        m.lights.assign(state_.lights.size(), 3);
        m.fvf = true;
    }
    captureInto(b);
    *token = nextToken_++;
    blocks_.emplace(*token, std::move(b));
    return D3D_OK;
}

} // namespace gfx::detail

namespace gfx::detail {

HRESULT checkTextureArgs(uint32_t width, uint32_t height, uint32_t* levels, uint32_t usage,
                         Format format, uint32_t pool, uint32_t maxSide) {
    if (levels == nullptr || width == 0 || height == 0 || width > maxSide || height > maxSide ||
        bytesPerPixel(format) == 0 || isDepthFormat(format) ||
        (usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY |
                   D3DUSAGE_SOFTWAREPROCESSING)) != 0 ||
        pool > D3DPOOL_SCRATCH) {
        return D3DERR_INVALIDCALL;
    }
    if ((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) != 0 && pool != D3DPOOL_DEFAULT) {
        return D3DERR_INVALIDCALL;
    }
    uint32_t chain = 1;
    for (uint32_t side = std::max(width, height); side > 1; side >>= 1) {
        ++chain;
    }
    if (*levels == 0) {
        *levels = chain;
    }
    if (*levels > chain) {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

namespace {

uint8_t expand(uint32_t value, uint32_t bits) {
    const uint32_t max = (1u << bits) - 1;
    return uint8_t((value * 255 + max / 2) / max);
}

} // namespace

void convertToBgra(Format format, const uint8_t* src, uint32_t pitch, uint32_t width,
                   uint32_t height, std::string* out) {
    out->assign(size_t(width) * height * 4, '\0');
    auto* dst = reinterpret_cast<uint8_t*>(out->data());
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = src + size_t(y) * pitch;
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* d = dst + (size_t(y) * width + x) * 4;
            uint16_t p16 = 0;
            if (bytesPerPixel(format) == 2) {
                std::memcpy(&p16, row + 2 * size_t(x), 2);
            }
            switch (format) {
            case D3DFMT_A8R8G8B8:
                std::memcpy(d, row + 4 * size_t(x), 4);
                break;
            case D3DFMT_X8R8G8B8:
                std::memcpy(d, row + 4 * size_t(x), 3);
                d[3] = 255;
                break;
            case D3DFMT_R8G8B8:
                std::memcpy(d, row + 3 * size_t(x), 3);
                d[3] = 255;
                break;
            case D3DFMT_R5G6B5:
                d[0] = expand(p16 & 31, 5);
                d[1] = expand((p16 >> 5) & 63, 6);
                d[2] = expand(p16 >> 11, 5);
                d[3] = 255;
                break;
            case D3DFMT_X1R5G5B5:
            case D3DFMT_A1R5G5B5:
                d[0] = expand(p16 & 31, 5);
                d[1] = expand((p16 >> 5) & 31, 5);
                d[2] = expand((p16 >> 10) & 31, 5);
                d[3] = format == D3DFMT_X1R5G5B5 || (p16 & 0x8000) ? 255 : 0;
                break;
            case D3DFMT_A4R4G4B4:
                d[0] = expand(p16 & 15, 4);
                d[1] = expand((p16 >> 4) & 15, 4);
                d[2] = expand((p16 >> 8) & 15, 4);
                d[3] = expand(p16 >> 12, 4);
                break;
            case D3DFMT_A8:
                d[3] = row[x];
                break;
            case D3DFMT_L8:
                d[0] = d[1] = d[2] = row[x];
                d[3] = 255;
                break;
            default:
                break;
            }
        }
    }
}

} // namespace gfx::detail
