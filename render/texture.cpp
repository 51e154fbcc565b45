// Device textures: creation (with the upload of every prepared mip level), release, and the
// lock and unlock operations installed in the record for textures rewritten every frame.
#include "app/demo_app.h"
#include "app/diagnostics.h"
#include "render/driver_internal.h"
#include "scene/texture_registry.h"

#include <cstring>

namespace {

// Lock flag bits of the texture lock operation.
constexpr int kLockDiscard = 1 << 0;
constexpr int kLockReadOnly = 1 << 1;

int lockTexture(TextureImage* t, const int* rect, int flags) {
    gfx::Texture* texture = deviceTextureOf(t);
    if (texture == nullptr) {
        return 1;
    }
    gfx::Rect r{};
    if (rect != nullptr) {
        r = {rect[0], rect[1], rect[2], rect[3]};
    }
    uint32_t lockFlags = ((flags & kLockDiscard) != 0 ? gfx::D3DLOCK_DISCARD : 0) |
                         ((flags & kLockReadOnly) != 0 ? gfx::D3DLOCK_READONLY : 0);
    gfx::LockedRect locked{};
    if (texture->lockRect(0, &locked, rect != nullptr ? &r : nullptr, lockFlags) < 0) {
        return 1;
    }
    t->lockedBits = static_cast<uint8_t*>(locked.pBits);
    t->lockedPitch = locked.Pitch;
    return 0;
}

int unlockTexture(TextureImage* t) {
    gfx::Texture* texture = deviceTextureOf(t);
    t->lockedBits = nullptr;
    t->lockedPitch = 0;
    if (texture == nullptr) {
        return 1;
    }
    return texture->unlockRect(0) < 0 ? 1 : 0;
}

} // namespace

gfx::Texture* deviceTextureOf(const TextureImage* t) {
    if (t == nullptr || t->deviceTexture == nullptr) {
        return nullptr;
    }
    return static_cast<const DeviceTextureCell*>(t->deviceTexture)->texture;
}

int createTextureOp(TextureImage* t, int flags) {
    if (t->deviceTexture != nullptr) {
        return 1;
    }
    t->flags |= kTextureCreated;
    t->lockFn = lockTexture;
    t->unlockFn = unlockTexture;
    auto* cell = new DeviceTextureCell{nullptr};
    t->deviceTexture = cell;

    bool renderTarget = (t->flags & kTextureRenderTarget) != 0;
    bool dynamic = (t->flags & kTextureDynamic) != 0;
    uint32_t usage =
        (renderTarget ? gfx::D3DUSAGE_RENDERTARGET : 0) | (dynamic ? gfx::D3DUSAGE_DYNAMIC : 0);
    uint32_t pool = renderTarget || dynamic ? gfx::D3DPOOL_DEFAULT : gfx::D3DPOOL_MANAGED;
    uint32_t levels = (flags & 1) != 0 ? 0 : t->levelCount;
    gfx::HRESULT created = gApp->device->createTexture(
        t->width, t->height, levels, usage, d3dFormatOf(t->format), pool, &cell->texture);
    checkResult(__FILE__, __LINE__, created);
    // NOTE: a refused creation leaves no texture to copy into; the record stays marked
    // created with an empty cell so that it is neither retried nor drawn.
    uint32_t bpp = bytesPerPixelOf(t->format);
    if (created >= 0 && cell->texture != nullptr && !renderTarget && t->pixels != nullptr) {
        for (uint32_t i = 0; i < t->levelCount; ++i) {
            gfx::LockedRect locked{};
            if (checkResult(__FILE__, __LINE__, cell->texture->lockRect(i, &locked, nullptr, 0)) !=
                0) {
                continue;
            }
            size_t rowBytes = size_t(t->width >> i) * bpp;
            const uint8_t* src = t->levels[i];
            auto* dst = static_cast<uint8_t*>(locked.pBits);
            for (uint32_t y = 0; y < (t->height >> i); ++y) {
                std::memcpy(dst + size_t(y) * size_t(locked.Pitch), src + y * rowBytes, rowBytes);
            }
            cell->texture->unlockRect(i);
        }
    }
    t->freePixels();
    return 0;
}

int releaseTextureOp(TextureImage* t, int) {
    if (t->deviceTexture == nullptr) {
        return 1;
    }
    t->flags &= ~kTextureCreated;
    auto* cell = static_cast<DeviceTextureCell*>(t->deviceTexture);
    if (cell->texture != nullptr) {
        cell->texture->release();
    }
    delete cell;
    t->deviceTexture = nullptr;
    return 0;
}
