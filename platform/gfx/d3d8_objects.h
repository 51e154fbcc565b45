// The Direct3D 8 device's objects: thin wrappers that hold one reference to the real
// d3d8.dll object each and forward to it. Each also holds its device, so that a resource
// released after our device object is gone never outlives the real device. Our structures share
// Direct3D 8's layouts, so pointers pass straight through (checked by static_assert in
// d3d8_resources.cpp). Include after platform/gfx headers: d3d8.h defines many of the same names as
// macros.
#pragma once

#include "platform/gfx/gfx.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <d3d8.h>

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

class D3d8Surface final : public Surface {
public:
    explicit D3d8Surface(IDirect3DSurface8* adopt) : surface_(adopt) {
        surface_->GetDevice(device_.put());
    }
    gfx::HRESULT getDesc(SurfaceDesc* desc) override;
    gfx::HRESULT lockRect(LockedRect* locked, const Rect* rect, uint32_t flags) override;
    gfx::HRESULT unlockRect() override;
    IDirect3DSurface8* native() const { return surface_.get(); }

private:
    ComPtr<IDirect3DDevice8> device_; // outlives the resource (declared first)
    ComPtr<IDirect3DSurface8> surface_;
};

class D3d8Texture final : public Texture {
public:
    explicit D3d8Texture(IDirect3DTexture8* adopt) : texture_(adopt) {
        texture_->GetDevice(device_.put());
    }
    uint32_t getLevelCount() override;
    gfx::HRESULT getLevelDesc(uint32_t level, SurfaceDesc* desc) override;
    gfx::HRESULT getSurfaceLevel(uint32_t level, Surface** surface) override;
    gfx::HRESULT lockRect(uint32_t level, LockedRect* locked, const Rect* rect,
                          uint32_t flags) override;
    gfx::HRESULT unlockRect(uint32_t level) override;
    IDirect3DTexture8* native() const { return texture_.get(); }

private:
    ComPtr<IDirect3DDevice8> device_; // outlives the resource (declared first)
    ComPtr<IDirect3DTexture8> texture_;
};

class D3d8VertexBuffer final : public VertexBuffer {
public:
    explicit D3d8VertexBuffer(IDirect3DVertexBuffer8* adopt) : buffer_(adopt) {
        buffer_->GetDevice(device_.put());
    }
    gfx::HRESULT lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) override;
    gfx::HRESULT unlock() override;
    gfx::HRESULT getDesc(VertexBufferDesc* desc) override;
    IDirect3DVertexBuffer8* native() const { return buffer_.get(); }

private:
    ComPtr<IDirect3DDevice8> device_; // outlives the resource (declared first)
    ComPtr<IDirect3DVertexBuffer8> buffer_;
};

class D3d8IndexBuffer final : public IndexBuffer {
public:
    explicit D3d8IndexBuffer(IDirect3DIndexBuffer8* adopt) : buffer_(adopt) {
        buffer_->GetDevice(device_.put());
    }
    gfx::HRESULT lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) override;
    gfx::HRESULT unlock() override;
    gfx::HRESULT getDesc(IndexBufferDesc* desc) override;
    IDirect3DIndexBuffer8* native() const { return buffer_.get(); }

private:
    ComPtr<IDirect3DDevice8> device_; // outlives the resource (declared first)
    ComPtr<IDirect3DIndexBuffer8> buffer_;
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
