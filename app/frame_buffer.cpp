#include "app/frame_buffer.h"

#include "app/demo_app.h"
#include "platform/gfx/gfx.h"

#include <cstring>

namespace {

struct FormatEntry {
    uint32_t code;
    uint32_t d3dFormat;
    uint32_t bytesPerPixel;
};

// The program's pixel-format codes, their device formats and sizes.
constexpr FormatEntry kFormats[] = {
    {10, gfx::D3DFMT_P8, 1},       {11, gfx::D3DFMT_UNKNOWN, 1},  {20, gfx::D3DFMT_X1R5G5B5, 2},
    {21, gfx::D3DFMT_A1R5G5B5, 2}, {22, gfx::D3DFMT_A4R4G4B4, 2}, {24, gfx::D3DFMT_R5G6B5, 2},
    {30, gfx::D3DFMT_R8G8B8, 3},   {40, gfx::D3DFMT_X8R8G8B8, 4}, {41, gfx::D3DFMT_A8R8G8B8, 4},
    {100, gfx::D3DFMT_D16, 2},     {101, gfx::D3DFMT_D24S8, 4},
};

int fbNoop(FrameBuffer*) {
    return 0;
}

// Fills the software pixels with the stored clear colour in the frame-buffer format.
void fillSoftware(FrameBuffer* fb) {
    uint32_t argb = packColour(fb->clearColourValue);
    size_t count = size_t(fb->width) * fb->height;
    if (fb->format == 24) {
        uint16_t rgb565 =
            uint16_t(((argb >> 8) & 0xF800) | ((argb >> 5) & 0x07E0) | ((argb >> 3) & 0x001F));
        auto* p = reinterpret_cast<uint16_t*>(fb->softwarePixels);
        for (size_t i = 0; i < count; ++i) {
            p[i] = rgb565;
        }
    } else if (fb->format == 40 || fb->format == 41) {
        auto* p = reinterpret_cast<uint32_t*>(fb->softwarePixels);
        for (size_t i = 0; i < count; ++i) {
            p[i] = argb;
        }
    }
}

int fbLock(FrameBuffer* fb, int flags) {
    if (fb->lockCount++ > 0) {
        return 0;
    }
    if (fb->softwarePixels == nullptr && (flags & 3) != 3) {
        gfx::Device* device = gApp != nullptr ? gApp->device : nullptr;
        gfx::Surface* surface = nullptr;
        void* bits = nullptr;
        int32_t pitch = 0;
        if (device == nullptr || lockBackBuffer(device, &surface, &bits, &pitch) != 0) {
            --fb->lockCount;
            return 1;
        }
        fb->lockedSurface = surface;
        fb->bits = static_cast<uint8_t*>(bits);
        fb->pitch = pitch;
        return 0;
    }
    if (fb->softwarePixels == nullptr) {
        size_t size = size_t(fb->width) * fb->height * fb->bytesPerPixel;
        fb->softwarePixels = new uint8_t[size];
        std::memset(fb->softwarePixels, 0, size);
        fillSoftware(fb);
    }
    fb->bits = fb->softwarePixels;
    fb->pitch = int32_t(fb->width * fb->bytesPerPixel);
    return 0;
}

int fbUnlock(FrameBuffer* fb) {
    if (fb->lockCount <= 0) {
        return 4;
    }
    if (--fb->lockCount > 0) {
        return 0;
    }
    fb->bits = nullptr;
    fb->pitch = 0;
    if (fb->lockedSurface != nullptr) {
        unlockBackBuffer(fb->lockedSurface);
        fb->lockedSurface = nullptr;
    }
    return 0;
}

int fbClearColour(FrameBuffer* fb, const ColorF* colour, int) {
    if (gApp != nullptr && gApp->device != nullptr) {
        gApp->device->clear(0, nullptr, gfx::D3DCLEAR_TARGET, packColour(*colour), 0.0f, 0);
    }
    fb->clearColourValue = *colour;
    return 0;
}

} // namespace

uint32_t bytesPerPixelOf(uint32_t formatCode) {
    for (const FormatEntry& e : kFormats) {
        if (e.code == formatCode) {
            return e.bytesPerPixel;
        }
    }
    return 0;
}

uint32_t d3dFormatOf(uint32_t formatCode) {
    for (const FormatEntry& e : kFormats) {
        if (e.code == formatCode) {
            return e.d3dFormat;
        }
    }
    return 0;
}

uint32_t formatCodeOf(uint32_t d3dFormat) {
    for (const FormatEntry& e : kFormats) {
        if (e.d3dFormat == d3dFormat && d3dFormat != 0) {
            return e.code;
        }
    }
    return 0;
}

void initFrameBuffer(FrameBuffer* fb) {
    *fb = FrameBuffer{};
    fb->noop = fbNoop;
    fb->lock = fbLock;
    fb->unlock = fbUnlock;
    fb->clearColour = fbClearColour;
}

void releaseFrameBuffer(FrameBuffer* fb) {
    delete[] fb->softwarePixels;
    fb->softwarePixels = nullptr;
}
