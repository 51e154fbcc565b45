// Image: an in-memory picture in one of the program's pixel formats, with nearest-neighbour
// resampling and format conversion. Used by the picture loaders and by the scenes that draw
// textures procedurally. Rows are packed (pitch = width x bytes per pixel).
#pragma once

#include <cstdint>

struct Image {
    uint8_t* pixels = nullptr;  // rows top to bottom, pitch bytes each
    uint8_t* palette = nullptr; // 256 entries of 4 bytes, only for format 10
    uint32_t format = 0;
    uint32_t width = 0, height = 0;
    uint32_t bytesPerPixel = 0;
    uint32_t pitch = 0;
    int ownsPixels = 0;

    explicit Image(int owns = 1) : ownsPixels(owns) {}
    ~Image() { release(); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Releases what it owns, then allocates pitch x height bytes; 1 if that fails.
    int allocate(uint32_t width, uint32_t height, uint32_t format);
    void release();
    // Nearest neighbour in 16.16 fixed point; nothing happens when the size is unchanged.
    void resize(uint32_t newWidth, uint32_t newHeight);
    // 1 (and no change) for target format 10 or an unknown format.
    int convert(uint32_t targetFormat);
};

// Exponent of the smallest power of two not below x: the biased exponent of (x - 1) - 126.
int ceilLog2(float x);
