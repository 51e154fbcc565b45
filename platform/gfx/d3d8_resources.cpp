// Textures, surfaces and buffers of the Direct3D 8 device: each call checked as the other
// devices check it, then forwarded to the real object. Our records share Direct3D 8's layouts;
// the asserts below keep it so.
#include "platform/gfx/d3d8_objects.h"

#include <algorithm>
#include <cstring>

namespace gfx::detail {

static_assert(sizeof(Rect) == sizeof(RECT));
static_assert(sizeof(LockedRect) == sizeof(D3DLOCKED_RECT));
static_assert(sizeof(SurfaceDesc) == sizeof(D3DSURFACE_DESC));
static_assert(sizeof(VertexBufferDesc) == sizeof(D3DVERTEXBUFFER_DESC));
static_assert(sizeof(IndexBufferDesc) == sizeof(D3DINDEXBUFFER_DESC));
static_assert(offsetof(SurfaceDesc, Width) == offsetof(D3DSURFACE_DESC, Width));
static_assert(offsetof(VertexBufferDesc, FVF) == offsetof(D3DVERTEXBUFFER_DESC, FVF));

namespace {

// A lock rectangle inside a width x height picture (null: all of it).
bool rectInside(const Rect* rect, uint32_t width, uint32_t height) {
    return rect == nullptr || (rect->left >= 0 && rect->top >= 0 && rect->left < rect->right &&
                               rect->top < rect->bottom && rect->right <= int32_t(width) &&
                               rect->bottom <= int32_t(height));
}

// Identifies our wrapper pointer in an index buffer's private data.
constexpr GUID kWrapperGuid = {
    0x6d1c0f3a, 0x52e4, 0x4b8f, {0x9a, 0x61, 0x3e, 0x27, 0xc4, 0x8b, 0x10, 0xd5}};

} // namespace

bool BufferLock::begin(uint32_t length, uint32_t from, uint32_t bytesWanted, uint32_t how) {
    if (locked) {
        return false;
    }
    if (bytesWanted == 0) {
        if (from > length) {
            return false;
        }
        bytesWanted = length - from;
    }
    if (uint64_t(from) + bytesWanted > length) {
        return false;
    }
    locked = true;
    offset = from;
    size = bytesWanted;
    flags = how;
    bytes = nullptr;
    return true;
}

void D3d8Surface::joinDefaultPool(std::shared_ptr<D3d8DefaultPool> pool) {
    surface_->GetDesc(&desc_);
    member_.join(std::move(pool), this);
}

void D3d8Surface::dropNative() {
    surface_.reset();
    locked_ = false;
}

void D3d8Surface::recreateNative() {
    device_->CreateDepthStencilSurface(desc_.Width, desc_.Height, desc_.Format,
                                       desc_.MultiSampleType, surface_.put());
}

gfx::HRESULT D3d8Surface::getDesc(SurfaceDesc* desc) {
    if (desc == nullptr || !surface_) {
        return D3DERR_INVALIDCALL;
    }
    return surface_->GetDesc(reinterpret_cast<D3DSURFACE_DESC*>(desc));
}

gfx::HRESULT D3d8Surface::lockRect(LockedRect* locked, const Rect* rect, uint32_t flags) {
    if (locked == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *locked = {0, nullptr};
    D3DSURFACE_DESC desc{};
    if (locked_ || !surface_ || FAILED(surface_->GetDesc(&desc)) ||
        !rectInside(rect, desc.Width, desc.Height)) {
        return D3DERR_INVALIDCALL;
    }
    ::HRESULT hr = surface_->LockRect(reinterpret_cast<D3DLOCKED_RECT*>(locked),
                                      reinterpret_cast<const RECT*>(rect), flags);
    locked_ = SUCCEEDED(hr);
    return hr;
}

gfx::HRESULT D3d8Surface::unlockRect() {
    if (!locked_) {
        return D3DERR_INVALIDCALL;
    }
    locked_ = false;
    return surface_->UnlockRect();
}

D3d8Texture::D3d8Texture(IDirect3DTexture8* adopt) : texture_(adopt) {
    texture_->GetDevice(device_.put());
    locked_.assign(texture_->GetLevelCount(), false);
    texture_->GetLevelDesc(0, &desc_);
}

void D3d8Texture::joinDefaultPool(std::shared_ptr<D3d8DefaultPool> pool) {
    member_.join(std::move(pool), this);
}

void D3d8Texture::dropNative() {
    texture_.reset();
    std::fill(locked_.begin(), locked_.end(), false);
}

void D3d8Texture::recreateNative() {
    device_->CreateTexture(desc_.Width, desc_.Height, UINT(locked_.size()), desc_.Usage,
                           desc_.Format, desc_.Pool, texture_.put());
}

uint32_t D3d8Texture::getLevelCount() {
    return texture_ ? texture_->GetLevelCount() : 0;
}

gfx::HRESULT D3d8Texture::getLevelDesc(uint32_t level, SurfaceDesc* desc) {
    if (desc == nullptr || !texture_) {
        return D3DERR_INVALIDCALL;
    }
    return texture_->GetLevelDesc(level, reinterpret_cast<D3DSURFACE_DESC*>(desc));
}

gfx::HRESULT D3d8Texture::getSurfaceLevel(uint32_t level, Surface** surface) {
    if (surface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *surface = nullptr;
    if (!texture_) {
        return D3DERR_INVALIDCALL;
    }
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
    *locked = {0, nullptr};
    D3DSURFACE_DESC desc{};
    if (level >= locked_.size() || locked_[level] || !texture_ ||
        FAILED(texture_->GetLevelDesc(level, &desc)) ||
        !rectInside(rect, desc.Width, desc.Height)) {
        return D3DERR_INVALIDCALL;
    }
    ::HRESULT hr = texture_->LockRect(level, reinterpret_cast<D3DLOCKED_RECT*>(locked),
                                      reinterpret_cast<const RECT*>(rect), flags);
    locked_[level] = SUCCEEDED(hr);
    return hr;
}

gfx::HRESULT D3d8Texture::unlockRect(uint32_t level) {
    if (level >= locked_.size() || !locked_[level]) {
        return D3DERR_INVALIDCALL;
    }
    locked_[level] = false;
    return texture_->UnlockRect(level);
}

D3d8VertexBuffer::D3d8VertexBuffer(IDirect3DVertexBuffer8* adopt) : buffer_(adopt) {
    buffer_->GetDevice(device_.put());
    buffer_->GetDesc(&desc_);
}

void D3d8VertexBuffer::joinDefaultPool(std::shared_ptr<D3d8DefaultPool> pool) {
    member_.join(std::move(pool), this);
}

void D3d8VertexBuffer::dropNative() {
    kept_.clear();
    BYTE* bytes = nullptr;
    if (buffer_ && !lock_.locked && SUCCEEDED(buffer_->Lock(0, 0, &bytes, D3DLOCK_READONLY))) {
        kept_.assign(bytes, bytes + desc_.Size);
        buffer_->Unlock();
    }
    buffer_.reset();
    lock_.locked = false;
}

void D3d8VertexBuffer::recreateNative() {
    if (FAILED(device_->CreateVertexBuffer(desc_.Size, desc_.Usage, desc_.FVF, desc_.Pool,
                                           buffer_.put()))) {
        return;
    }
    BYTE* bytes = nullptr;
    if (kept_.size() == desc_.Size && SUCCEEDED(buffer_->Lock(0, 0, &bytes, 0))) {
        std::memcpy(bytes, kept_.data(), kept_.size());
        buffer_->Unlock();
    }
    kept_.clear();
}

gfx::HRESULT D3d8VertexBuffer::lock(uint32_t offset, uint32_t size, uint8_t** data,
                                    uint32_t flags) {
    if (data == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *data = nullptr;
    if (!buffer_ || !lock_.begin(length(), offset, size, flags)) {
        return D3DERR_INVALIDCALL;
    }
    BYTE* bytes = nullptr;
    ::HRESULT hr = buffer_->Lock(lock_.offset, lock_.size, &bytes, flags);
    lock_.locked = SUCCEEDED(hr);
    *data = SUCCEEDED(hr) ? bytes : nullptr;
    return hr;
}

gfx::HRESULT D3d8VertexBuffer::unlock() {
    if (!lock_.locked) {
        return D3DERR_INVALIDCALL;
    }
    lock_.locked = false;
    return buffer_->Unlock();
}

gfx::HRESULT D3d8VertexBuffer::getDesc(VertexBufferDesc* desc) {
    if (desc == nullptr || !buffer_) {
        return D3DERR_INVALIDCALL;
    }
    return buffer_->GetDesc(reinterpret_cast<D3DVERTEXBUFFER_DESC*>(desc));
}

D3d8IndexBuffer::D3d8IndexBuffer(IDirect3DIndexBuffer8* adopt) : buffer_(adopt) {
    buffer_->GetDevice(device_.put());
    if (SUCCEEDED(buffer_->GetDesc(&desc_))) {
        indexSize_ = desc_.Format == ::D3DFMT_INDEX32 ? 4 : 2;
        copy_.assign(desc_.Size, 0);
    }
    D3d8IndexBuffer* self = this;
    buffer_->SetPrivateData(kWrapperGuid, &self, sizeof self, 0);
}

D3d8IndexBuffer::~D3d8IndexBuffer() {
    // The real buffer may live on in the device's bindings; it must not point back here.
    if (buffer_) {
        buffer_->FreePrivateData(kWrapperGuid);
    }
}

void D3d8IndexBuffer::joinDefaultPool(std::shared_ptr<D3d8DefaultPool> pool) {
    member_.join(std::move(pool), this);
}

void D3d8IndexBuffer::dropNative() {
    if (buffer_) {
        buffer_->FreePrivateData(kWrapperGuid);
    }
    buffer_.reset();
    lock_.locked = false;
}

// The indices come back from our copy.
void D3d8IndexBuffer::recreateNative() {
    if (FAILED(device_->CreateIndexBuffer(desc_.Size, desc_.Usage, desc_.Format, desc_.Pool,
                                          buffer_.put()))) {
        return;
    }
    BYTE* bytes = nullptr;
    if (SUCCEEDED(buffer_->Lock(0, 0, &bytes, 0))) {
        std::memcpy(bytes, copy_.data(), copy_.size());
        buffer_->Unlock();
    }
    D3d8IndexBuffer* self = this;
    buffer_->SetPrivateData(kWrapperGuid, &self, sizeof self, 0);
}

D3d8IndexBuffer* D3d8IndexBuffer::of(IDirect3DIndexBuffer8* native) {
    D3d8IndexBuffer* wrapper = nullptr;
    DWORD size = sizeof wrapper;
    if (native == nullptr || FAILED(native->GetPrivateData(kWrapperGuid, &wrapper, &size)) ||
        size != sizeof wrapper) {
        return nullptr;
    }
    return wrapper;
}

gfx::HRESULT D3d8IndexBuffer::lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags) {
    if (data == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *data = nullptr;
    if (!buffer_ || !lock_.begin(length(), offset, size, flags)) {
        return D3DERR_INVALIDCALL;
    }
    BYTE* bytes = nullptr;
    ::HRESULT hr = buffer_->Lock(lock_.offset, lock_.size, &bytes, flags);
    lock_.locked = SUCCEEDED(hr);
    lock_.bytes = SUCCEEDED(hr) ? bytes : nullptr;
    *data = lock_.bytes;
    return hr;
}

gfx::HRESULT D3d8IndexBuffer::unlock() {
    if (!lock_.locked) {
        return D3DERR_INVALIDCALL;
    }
    lock_.locked = false;
    // What was written is taken before the real buffer lets go of the memory.
    if ((lock_.flags & D3DLOCK_READONLY) == 0 && lock_.bytes != nullptr && lock_.size > 0) {
        std::memcpy(copy_.data() + lock_.offset, lock_.bytes, lock_.size);
        maxStale_ = true;
    }
    return buffer_->Unlock();
}

uint32_t D3d8IndexBuffer::maxIndex(uint32_t first, uint32_t count) const {
    const uint8_t* p = copy_.data() + size_t(first) * indexSize_;
    uint32_t m = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t v = 0;
        if (indexSize_ == 4) {
            std::memcpy(&v, p + 4 * size_t(i), 4);
        } else {
            uint16_t v16 = 0;
            std::memcpy(&v16, p + 2 * size_t(i), 2);
            v = v16;
        }
        m = std::max(m, v);
    }
    return m;
}

uint32_t D3d8IndexBuffer::maxIndexOfAll() {
    if (maxStale_) {
        maxOfAll_ = maxIndex(0, length() / indexSize_);
        maxStale_ = false;
    }
    return maxOfAll_;
}

gfx::HRESULT D3d8IndexBuffer::getDesc(IndexBufferDesc* desc) {
    if (desc == nullptr || !buffer_) {
        return D3DERR_INVALIDCALL;
    }
    return buffer_->GetDesc(reinterpret_cast<D3DINDEXBUFFER_DESC*>(desc));
}

} // namespace gfx::detail
