// Resources whose pixels and bytes live in main memory: texture levels and their surfaces,
// depth surfaces, vertex and index buffers. Implementations subclass them to mirror the
// memory on a device; the locks and their checks are here.
#include "platform/gfx/device_base.h"

#include <algorithm>
#include <cstring>

namespace gfx::detail {

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

} // namespace gfx::detail
