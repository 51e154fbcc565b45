// Back-buffer access for the frame buffer's lock and for present's copy of software pixels.
#include "app/demo_app.h"
#include "app/frame_buffer.h"

#include <cstring>

int lockBackBuffer(gfx::Device* device, gfx::Surface** surface, void** bits, int32_t* pitch) {
    gfx::Surface* back = nullptr;
    if (device->getBackBuffer(0, gfx::D3DBACKBUFFER_TYPE_MONO, &back) < 0 || back == nullptr) {
        return 1;
    }
    gfx::LockedRect locked{};
    if (back->lockRect(&locked, nullptr, gfx::D3DLOCK_NOSYSLOCK) < 0) {
        back->release();
        return 1;
    }
    *surface = back;
    *bits = locked.pBits;
    *pitch = locked.Pitch;
    return 0;
}

void unlockBackBuffer(gfx::Surface* surface) {
    surface->unlockRect();
    surface->release();
}

int copySoftwarePixelsToBackBuffer(DemoApp* app) {
    FrameBuffer& fb = app->frameBuffer;
    gfx::Surface* surface = nullptr;
    void* bits = nullptr;
    int32_t pitch = 0;
    if (app->device == nullptr || lockBackBuffer(app->device, &surface, &bits, &pitch) != 0) {
        return 1;
    }
    size_t rowBytes = size_t(fb.width) * fb.bytesPerPixel;
    for (uint32_t y = 0; y < fb.height; ++y) {
        std::memcpy(static_cast<uint8_t*>(bits) + size_t(y) * size_t(pitch),
                    fb.softwarePixels + y * rowBytes, rowBytes);
    }
    unlockBackBuffer(surface);
    return 0;
}
