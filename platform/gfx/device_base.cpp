// The Direct3D device's state shared by the GL and Null implementations: render and stage
// states, transforms, lights, material, viewport, bindings and targets, the creation
// argument checks and the draw checks. Formats, main-memory resources and state blocks are in
// their own files beside this one. No graphics API here.
#include "platform/gfx/device_base.h"

#include <algorithm>
#include <cstring>

namespace gfx::detail {

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

// ---- Device state ----

namespace {

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

// ---- Creation: every implementation's arguments checked here ----

HRESULT DeviceBase::createTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                                  Format format, uint32_t pool, Texture** texture) {
    if (texture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *texture = nullptr;
    const HRESULT hr =
        checkTextureArgs(width, height, &levels, usage, format, pool, maxTextureSide());
    if (hr != D3D_OK) {
        return hr;
    }
    return makeTexture(width, height, levels, usage, format, pool, texture);
}

HRESULT DeviceBase::createVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                                       VertexBuffer** buffer) {
    if (buffer == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *buffer = nullptr;
    if (length == 0 || length > kMaxBufferBytes) {
        return D3DERR_INVALIDCALL;
    }
    *buffer = makeVertexBuffer(length, usage, fvf, pool);
    return D3D_OK;
}

HRESULT DeviceBase::createIndexBuffer(uint32_t length, uint32_t usage, Format format, uint32_t pool,
                                      IndexBuffer** buffer) {
    if (buffer == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *buffer = nullptr;
    if (length == 0 || length > kMaxBufferBytes ||
        (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) {
        return D3DERR_INVALIDCALL;
    }
    *buffer = makeIndexBuffer(length, usage, format, pool);
    return D3D_OK;
}

HRESULT DeviceBase::createDepthStencilSurface(uint32_t width, uint32_t height, Format format,
                                              uint32_t, Surface** surface) {
    if (surface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *surface = nullptr;
    const uint32_t maxSide = maxTextureSide();
    if (width == 0 || height == 0 || width > maxSide || height > maxSide ||
        !isDepthFormat(format)) {
        return D3DERR_INVALIDCALL;
    }
    *surface = makeDepthSurface(width, height, format);
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
    const HRESULT hr = drawClient(type, count, vertices, count, stride, nullptr, 0);
    unbindAfterClientDraw(false);
    return hr;
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
    const HRESULT hr = drawClient(type, count, vertices, maxIndex + 1, stride, indices, indexSize);
    unbindAfterClientDraw(true);
    return hr;
}

// As in Direct3D 8: a draw from client memory leaves stream 0 unbound, an indexed one the
// indices as well; a buffer draw after it needs them set again.
void DeviceBase::unbindAfterClientDraw(bool indexed) {
    state_.stream.reset();
    state_.stride = 0;
    if (indexed) {
        state_.indices.reset();
        state_.baseVertex = 0;
    }
    dirty_ |= kDirtyVertexInput;
}

} // namespace gfx::detail
