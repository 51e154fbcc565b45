#include "scene/image.h"

#include "app/frame_buffer.h"

#include <bit>
#include <cstring>
#include <new>

namespace {

// Unpacks one pixel to blue, green, red, alpha.
void unpack(uint32_t format, const uint8_t* p, const uint8_t* palette, uint8_t out[4]) {
    uint32_t w = 0;
    switch (format) {
    case 10:
        std::memcpy(out, palette + size_t(p[0]) * 4, 4);
        return;
    case 20:
    case 21:
        w = uint32_t(p[0]) | (uint32_t(p[1]) << 8);
        out[0] = uint8_t((w & 0x1F) << 3);
        out[1] = uint8_t((w >> 2) & 0xF8);
        out[2] = uint8_t((w >> 7) & 0xF8);
        out[3] = format == 21 && (w & 0x8000) != 0 ? 0xFF : 0;
        return;
    case 24:
        w = uint32_t(p[0]) | (uint32_t(p[1]) << 8);
        out[0] = uint8_t((w & 0x1F) << 3);
        out[1] = uint8_t((w >> 3) & 0xFC);
        out[2] = uint8_t((w >> 8) & 0xF8);
        out[3] = 0;
        return;
    case 30:
    case 40:
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
        out[3] = 0;
        return;
    case 41:
        std::memcpy(out, p, 4);
        return;
    default:
        std::memset(out, 0, 4);
        return;
    }
}

void pack(uint32_t format, const uint8_t in[4], uint8_t* p) {
    uint32_t b = in[0], g = in[1], r = in[2], a = in[3];
    uint32_t w;
    switch (format) {
    case 20:
    case 21:
        w = (b >> 3) | ((g & 0xF8) << 2) | ((r >> 3) << 10);
        if (format == 21) {
            w |= (a >> 7) << 15;
        }
        p[0] = uint8_t(w);
        p[1] = uint8_t(w >> 8);
        return;
    case 24:
        w = (b >> 3) | (((g >> 2) << 5) & 0x7FF) | ((r >> 3) << 11);
        p[0] = uint8_t(w);
        p[1] = uint8_t(w >> 8);
        return;
    case 30:
    case 40:
        p[0] = uint8_t(b);
        p[1] = uint8_t(g);
        p[2] = uint8_t(r);
        return;
    case 41:
        std::memcpy(p, in, 4);
        return;
    default:
        return;
    }
}

} // namespace

int ceilLog2(float x) {
    uint32_t bits = std::bit_cast<uint32_t>(x - 1.0f);
    return int((bits >> 23) & 0xFF) - 126;
}

int Image::allocate(uint32_t w, uint32_t h, uint32_t fmt) {
    release();
    uint32_t bpp = bytesPerPixelOf(fmt);
    size_t size = size_t(w) * bpp * h;
    pixels = new (std::nothrow) uint8_t[size != 0 ? size : 1]();
    if (pixels == nullptr) {
        return 1;
    }
    if (fmt == 10) {
        palette = new uint8_t[256 * 4]();
    }
    format = fmt;
    width = w;
    height = h;
    bytesPerPixel = bpp;
    pitch = w * bpp;
    ownsPixels = 1;
    return 0;
}

void Image::release() {
    if (ownsPixels != 0) {
        delete[] pixels;
        delete[] palette;
    }
    pixels = nullptr;
    palette = nullptr;
    format = 0;
    width = height = 0;
    pitch = 0;
}

void Image::resize(uint32_t newWidth, uint32_t newHeight) {
    if ((newWidth == width && newHeight == height) || pixels == nullptr || newWidth == 0 ||
        newHeight == 0) {
        return;
    }
    uint32_t bpp = bytesPerPixel;
    auto* block = new uint8_t[size_t(newWidth) * bpp * newHeight];
    uint32_t rowStep = uint32_t((uint64_t(height) << 16) / newHeight);
    uint32_t columnStep = uint32_t((uint64_t(width) << 16) / newWidth);
    uint32_t sy = 0;
    for (uint32_t i = 0; i < newHeight; ++i, sy += rowStep) {
        const uint8_t* src = pixels + size_t(sy >> 16) * pitch;
        uint8_t* dst = block + size_t(i) * newWidth * bpp;
        uint32_t sx = 0;
        for (uint32_t j = 0; j < newWidth; ++j, sx += columnStep) {
            std::memcpy(dst + size_t(j) * bpp, src + size_t(sx >> 16) * bpp, bpp);
        }
    }
    if (ownsPixels != 0) {
        delete[] pixels;
    }
    pixels = block;
    width = newWidth;
    height = newHeight;
    pitch = newWidth * bpp;
    ownsPixels = 1;
}

int Image::convert(uint32_t targetFormat) {
    uint32_t targetBpp = bytesPerPixelOf(targetFormat);
    if (targetFormat == 10 || targetBpp == 0 || pixels == nullptr) {
        return 1;
    }
    auto* block = new uint8_t[size_t(width) * targetBpp * height]();
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* src = pixels + size_t(y) * pitch;
        uint8_t* dst = block + size_t(y) * width * targetBpp;
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t bgra[4];
            unpack(format, src + size_t(x) * bytesPerPixel, palette, bgra);
            pack(targetFormat, bgra, dst + size_t(x) * targetBpp);
        }
    }
    if (ownsPixels != 0) {
        delete[] pixels;
    }
    pixels = block;
    format = targetFormat;
    bytesPerPixel = targetBpp;
    pitch = width * targetBpp;
    ownsPixels = 1;
    return 0;
}
