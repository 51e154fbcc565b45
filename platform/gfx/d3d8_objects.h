// The Direct3D 8 device's objects: thin wrappers that hold one reference to the real
// d3d8.dll object each and forward to it. Each also holds its device, so that a resource
// released after our device object is gone never outlives the real device. Our structures share
// Direct3D 8's layouts, so pointers pass straight through (checked by static_assert in
// d3d8_resources.cpp). The wrappers also keep the argument checks of our device interface that
// d3d8.dll does not promise: locks inside the resource, no double lock or unlock, and for index
// buffers a copy of the indices so that draws can be checked against their vertex buffer.
// Include after platform/gfx headers: d3d8.h defines many of the same names as macros.
#pragma once

#include "platform/gfx/gfx.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <d3d8.h>

#include <memory>
#include <vector>

namespace gfx::detail {

// Releases a COM reference when it goes.
template <class T> class ComPtr {
public:
    ComPtr() = default;
    explicit ComPtr(T* adopt) : p_(adopt) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }
    void reset() {
        if (p_ != nullptr) {
            p_->Release();
            p_ = nullptr;
        }
    }
    T** put() {
        reset();
        return &p_;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// Resources in the default pool cannot live through a reset of the real device, while ours
// do (as on the other devices): the device drops their real objects before the reset and
// makes them again after it. Buffers keep their bytes; textures and depth surfaces of this
// pool (render targets, video frames, depth) are drawn or filled again anyway. A resource
// whose real object cannot be made again refuses every call.
class D3d8Recreatable {
public:
    virtual void dropNative() = 0;
    virtual void recreateNative() = 0;

protected:
    ~D3d8Recreatable() = default;
};

// A device's live default-pool resources; shared with them, so that either may go first.
class D3d8DefaultPool {
public:
    void add(D3d8Recreatable* r) { live_.push_back(r); }
    void remove(D3d8Recreatable* r) { std::erase(live_, r); }
    void dropAll() {
        for (D3d8Recreatable* r : live_) {
            r->dropNative();
        }
    }
    void recreateAll() {
        for (D3d8Recreatable* r : live_) {
            r->recreateNative();
        }
    }

private:
    std::vector<D3d8Recreatable*> live_;
};

// Membership of a default pool, left when the resource goes.
class PoolMember {
public:
    PoolMember() = default;
    PoolMember(const PoolMember&) = delete;
    PoolMember& operator=(const PoolMember&) = delete;
    ~PoolMember() {
        if (pool_) {
            pool_->remove(self_);
        }
    }
    void join(std::shared_ptr<D3d8DefaultPool> pool, D3d8Recreatable* self) {
        pool_ = std::move(pool);
        self_ = self;
        pool_->add(self_);
    }

private:
    std::shared_ptr<D3d8DefaultPool> pool_;
    D3d8Recreatable* self_ = nullptr;
};

class D3d8Surface final : public Surface, public D3d8Recreatable {
public:
    explicit D3d8Surface(IDirect3DSurface8* adopt) : surface_(adopt) {
        surface_->GetDevice(device_.put());
    }
    gfx::HRESULT getDesc(SurfaceDesc* desc) override;
    gfx::HRESULT lockRect(LockedRect* locked, const Rect* rect, uint32_t flags) override;
    gfx::HRESULT unlockRect() override;
    IDirect3DSurface8* native() const { return surface_.get(); }
    // A depth surface of its own (not a level or a back buffer) joins its device's pool.
    void joinDefaultPool(std::shared_ptr<D3d8DefaultPool> pool);
    void dropNative() override;
    void recreateNative() override;

private:
    ComPtr<IDirect3DDevice8> device_; // outlives the resource (declared first)
    ComPtr<IDirect3DSurface8> surface_;
    bool locked_ = false;
    D3DSURFACE_DESC desc_{};
    PoolMember member_;
};

class D3d8Texture final : public Texture, public D3d8Recreatable {
public:
    explicit D3d8Texture(IDirect3DTexture8* adopt);
    uint32_t getLevelCount() override;
    gfx::HRESULT getLevelDesc(uint32_t level, SurfaceDesc* desc) override;
    gfx::HRESULT getSurfaceLevel(uint32_t level, Surface** surface) override;
    gfx::HRESULT lockRect(uint32_t level, LockedRect* locked, const Rect* rect,
                          uint32_t flags) override;
    gfx::HRESULT unlockRect(uint32_t level) override;
    IDirect3DTexture8* native() const { return texture_.get(); }
    void joinDefaultPool(std::shared_ptr<D3d8DefaultPool> pool);
    void dropNative() override;
    void recreateNative() override;

private:
    ComPtr<IDirect3DDevice8> device_; // outlives the resource (declared first)
    ComPtr<IDirect3DTexture8> texture_;
    std::vector<bool> locked_; // per level
    D3DSURFACE_DESC desc_{};   // of level 0
    PoolMember member_;
};

// Lock bookkeeping shared by both buffer kinds: the range of the current lock.
struct BufferLock {
    bool locked = false;
    uint32_t offset = 0, size = 0, flags = 0;
    uint8_t* bytes = nullptr;
    // Checks a lock of [from, from + bytesWanted) (0 bytes: to the end) on a buffer of length
    // bytes and records it; false when it is refused.
    bool begin(uint32_t length, uint32_t from, uint32_t bytesWanted, uint32_t how);
};

class D3d8VertexBuffer final : public VertexBuffer, public D3d8Recreatable {
public:
    explicit D3d8VertexBuffer(IDirect3DVertexBuffer8* adopt);
    gfx::HRESULT lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) override;
    gfx::HRESULT unlock() override;
    gfx::HRESULT getDesc(VertexBufferDesc* desc) override;
    IDirect3DVertexBuffer8* native() const { return buffer_.get(); }
    uint32_t length() const { return desc_.Size; }
    void joinDefaultPool(std::shared_ptr<D3d8DefaultPool> pool);
    void dropNative() override;
    void recreateNative() override;

private:
    ComPtr<IDirect3DDevice8> device_; // outlives the resource (declared first)
    ComPtr<IDirect3DVertexBuffer8> buffer_;
    D3DVERTEXBUFFER_DESC desc_{};
    BufferLock lock_;
    std::vector<uint8_t> kept_; // the bytes across a reset
    PoolMember member_;
};

// Keeps a copy of what was written into it, so that a draw can find its highest index without
// reading the real buffer back. The real buffer finds its wrapper again through private data.
class D3d8IndexBuffer final : public IndexBuffer, public D3d8Recreatable {
public:
    explicit D3d8IndexBuffer(IDirect3DIndexBuffer8* adopt);
    ~D3d8IndexBuffer() override;
    D3d8IndexBuffer(const D3d8IndexBuffer&) = delete;
    D3d8IndexBuffer& operator=(const D3d8IndexBuffer&) = delete;
    gfx::HRESULT lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) override;
    gfx::HRESULT unlock() override;
    gfx::HRESULT getDesc(IndexBufferDesc* desc) override;
    IDirect3DIndexBuffer8* native() const { return buffer_.get(); }
    uint32_t length() const { return uint32_t(copy_.size()); }
    uint32_t indexSize() const { return indexSize_; }
    // Highest index among count indices from first (inside the buffer), and of all.
    uint32_t maxIndex(uint32_t first, uint32_t count) const;
    uint32_t maxIndexOfAll();
    // Our wrapper of a real index buffer, or null when it is gone.
    static D3d8IndexBuffer* of(IDirect3DIndexBuffer8* native);
    void joinDefaultPool(std::shared_ptr<D3d8DefaultPool> pool);
    void dropNative() override;
    void recreateNative() override;

private:
    ComPtr<IDirect3DDevice8> device_; // outlives the resource (declared first)
    ComPtr<IDirect3DIndexBuffer8> buffer_;
    D3DINDEXBUFFER_DESC desc_{};
    PoolMember member_;
    uint32_t indexSize_ = 2;
    std::vector<uint8_t> copy_;
    uint32_t maxOfAll_ = 0;
    bool maxStale_ = false;
    BufferLock lock_;
};

// Our objects back to the real ones (null stays null).
inline IDirect3DSurface8* nativeOf(Surface* s) {
    return s != nullptr ? static_cast<D3d8Surface*>(s)->native() : nullptr;
}
inline IDirect3DTexture8* nativeOf(Texture* t) {
    return t != nullptr ? static_cast<D3d8Texture*>(t)->native() : nullptr;
}
inline IDirect3DVertexBuffer8* nativeOf(VertexBuffer* b) {
    return b != nullptr ? static_cast<D3d8VertexBuffer*>(b)->native() : nullptr;
}
inline IDirect3DIndexBuffer8* nativeOf(IndexBuffer* b) {
    return b != nullptr ? static_cast<D3d8IndexBuffer*>(b)->native() : nullptr;
}

} // namespace gfx::detail
