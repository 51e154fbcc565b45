// Device-independent half of the gfx device: the Direct3D state record (render and stage
// states, transforms, lights, material, viewport, bindings), state blocks, argument checks
// and resources whose pixels and bytes live in main memory. Implementations add rasterising
// by overriding the hooks; nothing here touches a graphics API.
#pragma once

#include "platform/gfx/gfx.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <unordered_map>
#include <vector>

namespace gfx::detail {

constexpr uint32_t kStageCount = 8;         // Direct3D 8 has eight texture-stage slots
constexpr uint32_t kRenderStateCount = 256; // render-state numbers stay below 256
constexpr uint32_t kStageStateCount = 32;   // stage-state numbers stay below 32
constexpr uint32_t kTransformSlots = 28;    // 0..23 as numbered, 24..27 = world matrices 0..3
constexpr uint32_t kMaxLightIndex = 1024;   // bound on light indices, so bad input stays small
constexpr uint32_t kMaxTextureSide = 16384; // never allocate beyond this, whatever a GPU says

// Bytes per pixel of a colour or depth format we keep in memory; 0 when unsupported.
uint32_t bytesPerPixel(Format format);
bool isDepthFormat(Format format);
// Bytes of one vertex of the format; 0 when the format has no position.
uint32_t fvfStride(uint32_t fvf);
// Vertices (or indices) used by primitiveCount primitives of the type; 0 for a bad type.
uint32_t verticesFor(uint32_t type, uint32_t primitiveCount);
// Slot in DeviceState::transforms, or -1.
int transformSlot(uint32_t state);
Matrix identityMatrix();
Matrix multiply(const Matrix& a, const Matrix& b);

// A lockable picture in main memory (one texture level, the back buffer, a depth surface).
struct Level {
    uint32_t width = 0, height = 0, pitch = 0;
    std::vector<uint8_t> bytes; // empty until first locked (or always kept, see keepsMemory)
    bool locked = false;
    bool lockReadOnly = false;
    uint32_t lockTop = 0, lockBottom = 0; // rows touched by the lock
};

// Texture with levels in main memory. Subclasses upload in commit() and may refuse locks.
class TextureBase : public Texture {
public:
    TextureBase(const void* owner, uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                Format format, uint32_t pool);
    uint32_t getLevelCount() override { return uint32_t(levels_.size()); }
    HRESULT getLevelDesc(uint32_t level, SurfaceDesc* desc) override;
    HRESULT getSurfaceLevel(uint32_t level, Surface** surface) override;
    HRESULT lockRect(uint32_t level, LockedRect* locked, const Rect* rect, uint32_t flags) override;
    HRESULT unlockRect(uint32_t level) override;

    const void* owner() const { return owner_; }
    Format format() const { return format_; }
    uint32_t usage() const { return usage_; }
    uint32_t width(uint32_t level = 0) const { return levels_[level].width; }
    uint32_t height(uint32_t level = 0) const { return levels_[level].height; }
    uint32_t bpp() const { return bpp_; }
    Level& level(uint32_t i) { return levels_[i]; }
    void setLockable(bool lockable) { lockable_ = lockable; }

protected:
    // Fills a freshly allocated level from the device copy (lock without discard).
    virtual void fetch(uint32_t, Level&) {}
    // Takes the rows [top, bottom) of a level that were written while locked.
    virtual void commit(uint32_t, Level&, uint32_t, uint32_t) {}
    // False: the memory of a level goes after its upload and comes back on the next lock.
    virtual bool keepsMemory() const { return true; }

private:
    const void* owner_;
    uint32_t usage_;
    Format format_;
    uint32_t pool_;
    uint32_t bpp_;
    bool lockable_;
    std::vector<Level> levels_;
};

// One level of a texture as a surface; keeps its texture alive.
class LevelSurface final : public Surface {
public:
    LevelSurface(TextureBase* texture, uint32_t level)
        : texture_(Ref<TextureBase>::share(texture)), level_(level) {}
    HRESULT getDesc(SurfaceDesc* desc) override { return texture_->getLevelDesc(level_, desc); }
    HRESULT lockRect(LockedRect* locked, const Rect* rect, uint32_t flags) override {
        return texture_->lockRect(level_, locked, rect, flags);
    }
    HRESULT unlockRect() override { return texture_->unlockRect(level_); }
    TextureBase* texture() const { return texture_.get(); }
    uint32_t levelIndex() const { return level_; }

private:
    Ref<TextureBase> texture_;
    uint32_t level_;
};

// Depth-stencil surface; lockable memory unless a subclass says otherwise.
class DepthSurfaceBase : public Surface {
public:
    DepthSurfaceBase(const void* owner, uint32_t width, uint32_t height, Format format,
                     bool lockable);
    HRESULT getDesc(SurfaceDesc* desc) override;
    HRESULT lockRect(LockedRect* locked, const Rect* rect, uint32_t flags) override;
    HRESULT unlockRect() override;
    const void* owner() const { return owner_; }
    uint32_t width() const { return level_.width; }
    uint32_t height() const { return level_.height; }
    Format format() const { return format_; }

private:
    const void* owner_;
    Format format_;
    bool lockable_;
    Level level_;
};

// Bytes of a vertex or index buffer in memory; empty while a device holds the only copy (see
// BufferBase::keepsMemory).
struct BufferMemory {
    std::vector<uint8_t> bytes;
    uint32_t usage = 0, pool = 0;
    bool locked = false;
    uint32_t lockOffset = 0, lockSize = 0, lockFlags = 0;
    // Highest index stored (index buffers), recomputed after a write.
    uint32_t maxIndex = 0;
    bool maxIndexStale = true;
};

template <class Interface> class BufferBase : public Interface {
public:
    BufferBase(const void* owner, uint32_t length, uint32_t usage, uint32_t pool)
        : owner_(owner), length_(length) {
        mem_.bytes.assign(length, 0);
        mem_.usage = usage;
        mem_.pool = pool;
    }
    HRESULT lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) override {
        if (data == nullptr || mem_.locked) {
            return D3DERR_INVALIDCALL;
        }
        *data = nullptr;
        const uint64_t length = length_;
        if (size == 0) {
            if (offset > length) {
                return D3DERR_INVALIDCALL;
            }
            size = uint32_t(length - offset);
        }
        if (uint64_t(offset) + size > length) {
            return D3DERR_INVALIDCALL;
        }
        if (mem_.bytes.size() != length_) {
            // Written again after its memory went: from now on it keeps its memory.
            rewritten_ = true;
            mem_.bytes.assign(length_, 0);
            if ((flags & D3DLOCK_DISCARD) == 0) {
                fetch(mem_.bytes);
            }
        }
        mem_.locked = true;
        mem_.lockOffset = offset;
        mem_.lockSize = size;
        mem_.lockFlags = flags;
        *data = mem_.bytes.data() + offset;
        return D3D_OK;
    }
    HRESULT unlock() override {
        if (!mem_.locked) {
            return D3DERR_INVALIDCALL;
        }
        mem_.locked = false;
        if ((mem_.lockFlags & D3DLOCK_READONLY) == 0 && mem_.lockSize > 0) {
            mem_.maxIndexStale = true;
            commit(mem_.lockOffset, mem_.lockSize, (mem_.lockFlags & D3DLOCK_DISCARD) != 0);
        }
        if (!rewritten_ && !keepsMemory()) {
            std::vector<uint8_t>().swap(mem_.bytes);
        }
        return D3D_OK;
    }
    const void* owner() const { return owner_; }
    // NOTE: bytes is empty where keepsMemory() let it go; contents() reads it back.
    BufferMemory& memory() { return mem_; }
    const BufferMemory& memory() const { return mem_; }
    uint32_t size() const { return length_; }

    // The whole contents: the memory, or where that went a copy fetched into scratch.
    const std::vector<uint8_t>& contents(std::vector<uint8_t>* scratch) {
        if (mem_.bytes.size() == length_) {
            return mem_.bytes;
        }
        scratch->assign(length_, 0);
        fetch(*scratch);
        return *scratch;
    }

protected:
    // Takes the bytes [offset, offset + size) written while locked.
    virtual void commit(uint32_t, uint32_t, bool) {}
    // False: the memory goes after the first write and comes back (fetched) on the next lock;
    // a buffer written again keeps it from then on.
    virtual bool keepsMemory() const { return true; }
    // Fills bytes (the buffer's length) from the device copy.
    virtual void fetch(std::vector<uint8_t>&) {}

private:
    const void* owner_;
    uint32_t length_;
    bool rewritten_ = false;
    BufferMemory mem_;
};

class VertexBufferBase : public BufferBase<VertexBuffer> {
public:
    VertexBufferBase(const void* owner, uint32_t length, uint32_t usage, uint32_t fvf,
                     uint32_t pool)
        : BufferBase(owner, length, usage, pool), fvf_(fvf) {}
    HRESULT getDesc(VertexBufferDesc* desc) override;

private:
    uint32_t fvf_;
};

class IndexBufferBase : public BufferBase<IndexBuffer> {
public:
    IndexBufferBase(const void* owner, uint32_t length, uint32_t usage, Format format,
                    uint32_t pool)
        : BufferBase(owner, length, usage, pool), format_(format) {}
    HRESULT getDesc(IndexBufferDesc* desc) override;
    Format format() const { return format_; }
    uint32_t indexSize() const { return format_ == D3DFMT_INDEX32 ? 4 : 2; }
    // Highest index among count indices from first.
    uint32_t maxIndex(uint32_t first, uint32_t count);
    uint32_t maxIndexOfAll();

private:
    Format format_;
};

struct LightSlot {
    Light light{};
    bool enabled = false;
};

// Everything a state block can hold.
struct DeviceState {
    std::array<uint32_t, kRenderStateCount> rs{};
    std::array<std::array<uint32_t, kStageStateCount>, kStageCount> tss{};
    std::array<Ref<TextureBase>, kStageCount> textures;
    std::array<Matrix, kTransformSlots> transforms{};
    std::vector<LightSlot> lights;
    Material material{};
    Viewport viewport{};
    uint32_t fvf = 0;
    Ref<VertexBufferBase> stream;
    uint32_t stride = 0;
    Ref<IndexBufferBase> indices;
    uint32_t baseVertex = 0;
};

// Which parts of DeviceState a state block holds.
struct StateMask {
    std::bitset<kRenderStateCount> rs;
    std::array<std::bitset<kStageStateCount>, kStageCount> tss;
    std::bitset<kStageCount> textures;
    std::bitset<kTransformSlots> transforms;
    std::vector<uint8_t> lights; // per index: bit 0 light parameters, bit 1 enable flag
    bool material = false, viewport = false, fvf = false, stream = false, indices = false;
};

struct StateBlock {
    StateMask mask;
    DeviceState values;
};

// Flags telling an implementation what changed since it last looked.
enum DirtyBits : uint32_t {
    kDirtyRenderState = 1,
    kDirtyStageState = 2,
    kDirtyTextures = 4,
    kDirtyTransforms = 8,
    kDirtyLights = 16,
    kDirtyMaterial = 32,
    kDirtyViewport = 64,
    kDirtyVertexInput = 128,
    kDirtyTarget = 256,
    kDirtyAll = 0xFFFFFFFFu,
};

// The Direct3D device's state, state blocks and argument checks; implementations provide
// resources, clears, presentation and the draws (already checked when they are called).
class DeviceBase : public Device {
public:
    explicit DeviceBase(const PresentParameters& params);
    ~DeviceBase() override;

    HRESULT testCooperativeLevel() override { return D3D_OK; }
    HRESULT beginScene() override;
    HRESULT endScene() override;
    HRESULT getBackBuffer(uint32_t index, uint32_t type, Surface** surface) override;
    HRESULT setRenderTarget(Surface* colour, Surface* depth) override;
    HRESULT getRenderTarget(Surface** surface) override;
    HRESULT getDepthStencilSurface(Surface** surface) override;

    HRESULT setTransform(uint32_t state, const Matrix* matrix) override;
    HRESULT getTransform(uint32_t state, Matrix* matrix) override;
    HRESULT multiplyTransform(uint32_t state, const Matrix* matrix) override;
    HRESULT setViewport(const Viewport* viewport) override;
    HRESULT getViewport(Viewport* viewport) override;
    HRESULT setMaterial(const Material* material) override;
    HRESULT getMaterial(Material* material) override;
    HRESULT setLight(uint32_t index, const Light* light) override;
    HRESULT getLight(uint32_t index, Light* light) override;
    HRESULT lightEnable(uint32_t index, int32_t enable) override;
    HRESULT getLightEnable(uint32_t index, int32_t* enable) override;
    HRESULT setRenderState(uint32_t state, uint32_t value) override;
    HRESULT getRenderState(uint32_t state, uint32_t* value) override;
    HRESULT setTextureStageState(uint32_t stage, uint32_t type, uint32_t value) override;
    HRESULT getTextureStageState(uint32_t stage, uint32_t type, uint32_t* value) override;
    HRESULT setTexture(uint32_t stage, Texture* texture) override;
    HRESULT getTexture(uint32_t stage, Texture** texture) override;
    HRESULT setVertexShader(uint32_t fvf) override;
    HRESULT getVertexShader(uint32_t* fvf) override;
    HRESULT setPixelShader(uint32_t handle) override;
    HRESULT setStreamSource(uint32_t stream, VertexBuffer* buffer, uint32_t stride) override;
    HRESULT setIndices(IndexBuffer* buffer, uint32_t baseVertexIndex) override;

    HRESULT drawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitiveCount) override;
    HRESULT drawIndexedPrimitive(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                                 uint32_t startIndex, uint32_t primitiveCount) override;
    HRESULT drawPrimitiveUP(uint32_t type, uint32_t primitiveCount, const void* vertices,
                            uint32_t stride) override;
    HRESULT drawIndexedPrimitiveUP(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                                   uint32_t primitiveCount, const void* indices, Format indexFormat,
                                   const void* vertices, uint32_t stride) override;

    // Creation: the arguments are checked here, once for every implementation; the make
    // hooks below only build what passed.
    HRESULT createTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                          Format format, uint32_t pool, Texture** texture) final;
    HRESULT createVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                               VertexBuffer** buffer) final;
    HRESULT createIndexBuffer(uint32_t length, uint32_t usage, Format format, uint32_t pool,
                              IndexBuffer** buffer) final;
    HRESULT createDepthStencilSurface(uint32_t width, uint32_t height, Format format,
                                      uint32_t multiSample, Surface** surface) final;

    HRESULT beginStateBlock() override;
    HRESULT endStateBlock(uint32_t* token) override;
    HRESULT applyStateBlock(uint32_t token) override;
    HRESULT captureStateBlock(uint32_t token) override;
    HRESULT deleteStateBlock(uint32_t token) override;
    HRESULT createStateBlock(uint32_t type, uint32_t* token) override;

    const DeviceState& state() const { return state_; }
    const PresentParameters& presentParameters() const { return params_; }

protected:
    static constexpr uint32_t kMaxBufferBytes = 256u << 20; // no buffer of the demo comes close

    // The largest texture or depth-surface side this device makes.
    virtual uint32_t maxTextureSide() const = 0;
    // Resources for checked arguments (levels already the real count). A texture may still
    // be refused with an error code (a format the implementation cannot hold).
    virtual HRESULT makeTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage,
                                Format format, uint32_t pool, Texture** texture) = 0;
    virtual VertexBuffer* makeVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf,
                                           uint32_t pool) = 0;
    virtual IndexBuffer* makeIndexBuffer(uint32_t length, uint32_t usage, Format format,
                                         uint32_t pool) = 0;
    virtual Surface* makeDepthSurface(uint32_t width, uint32_t height, Format format) = 0;

    // Checked draws. Arrays: vertices [first, first + count) of stream 0. Indexed: count
    // indices from firstIndex of the index buffer, each plus baseVertex.
    virtual HRESULT drawArrays(uint32_t type, uint32_t first, uint32_t count) = 0;
    virtual HRESULT drawIndexed(uint32_t type, uint32_t firstIndex, uint32_t count) = 0;
    // Client memory: vertexCount vertices; indices null for a plain draw.
    virtual HRESULT drawClient(uint32_t type, uint32_t count, const void* vertices,
                               uint32_t vertexCount, uint32_t stride, const void* indices,
                               uint32_t indexSize) = 0;
    // Creation defaults; viewport = the whole back buffer; the back buffer and auto depth
    // surface become the targets.
    void resetState();
    void setBackBuffer(Ref<Surface> colour, Ref<Surface> depth);
    // Size of the current colour target.
    void targetSize(uint32_t* width, uint32_t* height);
    // Our own resources, or null for anything else (another device's, or a foreign type).
    TextureBase* ownTexture(Texture* texture) const;
    LevelSurface* ownColourSurface(Surface* surface) const;
    DepthSurfaceBase* ownDepthSurface(Surface* surface) const;

    PresentParameters params_;
    DeviceState state_;
    uint32_t dirty_ = kDirtyAll;
    Ref<Surface> backBuffer_;
    Ref<Surface> autoDepth_;
    Ref<Surface> colourTarget_;
    Ref<Surface> depthTarget_;
    bool inScene_ = false;

private:
    DeviceState& target() { return recording_ ? recordingBlock_.values : state_; }
    void unbindAfterClientDraw(bool indexed);
    void captureInto(StateBlock& block);
    void applyFrom(const StateBlock& block);

    bool recording_ = false;
    StateBlock recordingBlock_;
    std::unordered_map<uint32_t, StateBlock> blocks_;
    uint32_t nextToken_ = 1;
};

} // namespace gfx::detail

namespace gfx::detail {

// Checks texture creation arguments; turns levels 0 into the full chain length.
HRESULT checkTextureArgs(uint32_t width, uint32_t height, uint32_t* levels, uint32_t usage,
                         Format format, uint32_t pool, uint32_t maxSide);
// Converts rows of a colour format to B, G, R, A bytes (alpha 255 where the format has none).
void convertToBgra(Format format, const uint8_t* src, uint32_t pitch, uint32_t width,
                   uint32_t height, std::string* out);
void setLastError(std::string text);
std::unique_ptr<Direct3D> createNullDirect3D();
// Null with lastError() set when OpenGL cannot start.
std::unique_ptr<Direct3D> createGlDirect3D(bool headless);
// The build's own device for a backend other than Null (direct3d_gl.cpp on Linux,
// direct3d_win32.cpp on Windows); null with lastError() set when it cannot start.
std::unique_ptr<Direct3D> createPlatformDirect3D(Backend backend);

} // namespace gfx::detail
