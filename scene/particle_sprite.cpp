// Value noise, its table and the glow sprite generator. The table is built once and kept for
// the program's life; sprites are painted per pixel with no caching between calls.
#include "scene/particle_sprite.h"

#include "scene/image.h"

#include <cmath>
#include <cstdint>
#include <memory>

namespace {

std::unique_ptr<float[]> gNoiseTable; // lives for the program; null until first built

// Integer hash to a value in (-1, 1], in wrapping 32-bit arithmetic.
float hashValue(int32_t n) {
    uint32_t u = uint32_t(n);
    u = (u << 13) ^ u;
    uint32_t h = (u * (u * u * 15731u + 789221u) - 771171059u) & 0x7FFFFFFFu;
    return 1.0f - float(h) / 1073741824.0f;
}

} // namespace

float noise1(float x) {
    int32_t i = int32_t(std::floor(x));
    float a0 = hashValue(int32_t(uint32_t(i) * 71u));
    float a1 = hashValue(int32_t((uint32_t(i) + 1u) * 71u));
    return a0 + (a1 - a0) * (x - float(i));
}

void buildNoiseTable() {
    if (!gNoiseTable) {
        gNoiseTable = std::make_unique<float[]>(kNoiseTableSize);
    }
    for (int i = 0; i < kNoiseTableSize; ++i) {
        gNoiseTable[i] = noise1(float(i) * 0.01f);
    }
}

const float* noiseTable() {
    return gNoiseTable.get();
}

void renderParticleSprite(Image& image, float red, float green, float blue) {
    if (!gNoiseTable) {
        buildNoiseTable();
    }
    if (image.pixels == nullptr || image.bytesPerPixel != 4) {
        return;
    }
    const float* table = gNoiseTable.get();
    const int w = int(image.width);
    const int h = int(image.height);
    for (int row = 0; row < h; ++row) {
        const int y = h / 2 - row;
        uint8_t* p = image.pixels + size_t(row) * image.pitch;
        for (int x = -w / 2; x < w - w / 2; ++x, p += 4) {
            const float rho = std::sqrt(float(x * x + y * y)) * 2.0f / float(w);
            float t = 1.5f * std::exp(-2.0f * rho) - 0.2f;
            if (t < 0) {
                t = 0;
            }
            const float cube = -64.0f * rho * rho * rho;
            const float k = cube > -7.0f ? 0.7f * std::exp(cube) : 0.0f;
            float r = t * red + k, g = t * green + k, b = t * blue + k;
            if (r >= 1 && g >= 1 && b >= 1) {
                p[0] = p[1] = p[2] = 0xFF;
                p[3] = 0;
                continue;
            }
            float ring = 0;
            if (rho >= 0.48f && rho <= 0.52f) {
                const float q = std::fabs(rho - 0.5f) * 50.0f;
                ring = 0.2f * (1.0f - q * q * (3.0f - 2.0f * q));
            }
            // a lies in 0 .. 2 pi, so trunc(a * 500) stays below the table's 6284 entries.
            const float a = std::atan2(float(x), float(y)) + float(M_PI);
            int index = int(a * 500.0f);
            if (index >= kNoiseTableSize) {
                index = kNoiseTableSize - 1;
            }
            const float n = table[index] + a * 0.0636619781853956f;
            const float f = std::fmod(n + 1.0f, 1.0f);
            const float rays = (2 * f - 1) * (2 * f - 1) / (15 * rho * rho + 1);
            r = std::fmin(r + red * ring + rays, 1.0f);
            g = std::fmin(g + green * ring + rays, 1.0f);
            b = std::fmin(b + blue * ring + rays, 1.0f);
            p[0] = uint8_t(int(b * 255.0f));
            p[1] = uint8_t(int(g * 255.0f));
            p[2] = uint8_t(int(r * 255.0f));
            p[3] = 0;
        }
    }
}
