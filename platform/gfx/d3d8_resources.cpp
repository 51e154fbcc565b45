// Textures, surfaces and buffers of the Direct3D 8 device: each call forwarded to the real
// object. Our records share Direct3D 8's layouts; the asserts below keep it so.
#include "platform/gfx/d3d8_objects.h"

namespace gfx::detail {

static_assert(sizeof(Rect) == sizeof(RECT));
static_assert(sizeof(LockedRect) == sizeof(D3DLOCKED_RECT));
static_assert(sizeof(SurfaceDesc) == sizeof(D3DSURFACE_DESC));
static_assert(sizeof(VertexBufferDesc) == sizeof(D3DVERTEXBUFFER_DESC));
static_assert(sizeof(IndexBufferDesc) == sizeof(D3DINDEXBUFFER_DESC));
static_assert(offsetof(SurfaceDesc, Width) == offsetof(D3DSURFACE_DESC, Width));
static_assert(offsetof(VertexBufferDesc, FVF) == offsetof(D3DVERTEXBUFFER_DESC, FVF));

gfx::HRESULT D3d8Surface::getDesc(SurfaceDesc* desc) {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return surface_->GetDesc(reinterpret_cast<D3DSURFACE_DESC*>(desc));
}

gfx::HRESULT D3d8Surface::lockRect(LockedRect* locked, const Rect* rect, uint32_t flags) {
    if (locked == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return surface_->LockRect(reinterpret_cast<D3DLOCKED_RECT*>(locked),
                              reinterpret_cast<const RECT*>(rect), flags);
}

gfx::HRESULT D3d8Surface::unlockRect() {
    return surface_->UnlockRect();
}

uint32_t D3d8Texture::getLevelCount() {
    return texture_->GetLevelCount();
}

gfx::HRESULT D3d8Texture::getLevelDesc(uint32_t level, SurfaceDesc* desc) {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return texture_->GetLevelDesc(level, reinterpret_cast<D3DSURFACE_DESC*>(desc));
}

gfx::HRESULT D3d8Texture::getSurfaceLevel(uint32_t level, Surface** surface) {
    if (surface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *surface = nullptr;
    IDirect3DSurface8* native = nullptr;
    ::HRESULT hr = texture_->GetSurfaceLevel(level, &native);
    if (SUCCEEDED(hr)) {
        *surface = new D3d8Surface(native);
    }
    return hr;
}

gfx::HRESULT D3d8Texture::lockRect(uint32_t level, LockedRect* locked, const Rect* rect,
                                   uint32_t flags) {
    if (locked == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return texture_->LockRect(level, reinterpret_cast<D3DLOCKED_RECT*>(locked),
                              reinterpret_cast<const RECT*>(rect), flags);
}

gfx::HRESULT D3d8Texture::unlockRect(uint32_t level) {
    return texture_->UnlockRect(level);
}

gfx::HRESULT D3d8VertexBuffer::lock(uint32_t offset, uint32_t size, uint8_t** data,
                                    uint32_t flags) {
    if (data == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    BYTE* bytes = nullptr;
    ::HRESULT hr = buffer_->Lock(offset, size, &bytes, flags);
    *data = SUCCEEDED(hr) ? bytes : nullptr;
    return hr;
}

gfx::HRESULT D3d8VertexBuffer::unlock() {
    return buffer_->Unlock();
}

gfx::HRESULT D3d8VertexBuffer::getDesc(VertexBufferDesc* desc) {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return buffer_->GetDesc(reinterpret_cast<D3DVERTEXBUFFER_DESC*>(desc));
}

gfx::HRESULT D3d8IndexBuffer::lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) {
    if (data == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    BYTE* bytes = nullptr;
    ::HRESULT hr = buffer_->Lock(offset, size, &bytes, flags);
    *data = SUCCEEDED(hr) ? bytes : nullptr;
    return hr;
}

gfx::HRESULT D3d8IndexBuffer::unlock() {
    return buffer_->Unlock();
}

gfx::HRESULT D3d8IndexBuffer::getDesc(IndexBufferDesc* desc) {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return buffer_->GetDesc(reinterpret_cast<D3DINDEXBUFFER_DESC*>(desc));
}

} // namespace gfx::detail
