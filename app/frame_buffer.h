// FrameBuffer: the description of the back buffer kept inside DemoApp, with its lock,
// unlock and clear operations and the optional software pixel buffer that present copies.
#pragma once

#include "app/color.h"

#include <cstdint>

namespace gfx {
class Surface;
}

struct FrameBuffer {
    uint8_t* bits;   // locked or software pixels, null while unlocked
    uint32_t zero;   // always 0
    uint32_t format; // pixel-format code (10, 20, 24, 40, 41, ...)
    uint32_t width;
    uint32_t height;
    uint32_t bytesPerPixel;
    int32_t pitch; // bytes per row while locked
    int (*noop)(FrameBuffer* self);
    int (*lock)(FrameBuffer* self, int flags);
    int (*unlock)(FrameBuffer* self);
    int (*clearColour)(FrameBuffer* self, const ColorF* colour, int ignored);
    int32_t lockCount;
    gfx::Surface* lockedSurface;
    uint8_t* softwarePixels; // null or width * height * bytesPerPixel bytes
    ColorF clearColourValue;
};

// Bytes per pixel of a pixel-format code; 0 for unknown codes.
uint32_t bytesPerPixelOf(uint32_t formatCode);
// Direct3D format of a pixel-format code and back (0 for anything not in the table).
uint32_t d3dFormatOf(uint32_t formatCode);
uint32_t formatCodeOf(uint32_t d3dFormat);

// Fills the operation pointers and zeroes the rest.
void initFrameBuffer(FrameBuffer* fb);
// Frees the software pixels, if any.
void releaseFrameBuffer(FrameBuffer* fb);

struct DemoApp;
namespace gfx {
class Device;
}
// Back-buffer access for lock and present: lock without a system lock, giving bits and pitch.
int lockBackBuffer(gfx::Device* device, gfx::Surface** surface, void** bits, int32_t* pitch);
void unlockBackBuffer(gfx::Surface* surface);
// Copies the software pixels into the back buffer (height rows of width * bytesPerPixel).
int copySoftwarePixelsToBackBuffer(DemoApp* app);
