// The Domino rally's pictures: "tunnel.jpg", riveted steel panels that tile round the pipe
// and along it, and "ice-dragon.jpg", a pale dragon coiled on deep blue ice, which the spiral
// field shows domino by domino and the closing picture shows whole. Both 256 / 512 square.
#include "tools/datagen/groups.h"

#include <algorithm>
#include <cmath>

namespace datagen {

namespace {

constexpr float kPi = 3.14159265f;
constexpr uint32_t kTunnelSize = 256;
constexpr uint32_t kDragonSize = 512;
// Panels per tile side: the tunnel maps u once round and v four times along each stretch.
constexpr int kPanels = 4;

uint8_t clampByte(float v) {
    return uint8_t(std::clamp(v, 0.0f, 255.0f));
}

Picture drawTunnel() {
    Picture p(kTunnelSize, kTunnelSize);
    const float panel = float(kTunnelSize) / kPanels;
    for (uint32_t y = 0; y < kTunnelSize; ++y) {
        for (uint32_t x = 0; x < kTunnelSize; ++x) {
            const float fx = std::fmod(float(x), panel), fy = std::fmod(float(y), panel);
            const float edge = std::min(std::min(fx, panel - 1 - fx), std::min(fy, panel - 1 - fy));
            const float grain = valueNoise(float(x) / 8, float(y) / 32, 32, 7) * 0.6f +
                                valueNoise(float(x) / 32, float(y) / 32, 8, 8) * 0.4f;
            float shade = 90 + 70 * grain;
            if (edge < 3) {
                shade *= 0.35f; // dark seams
            } else if (edge < 6) {
                shade *= 1.25f; // bevel highlight
            }
            p.put(int(x), int(y), clampByte(shade * 0.8f), clampByte(shade * 0.9f),
                  clampByte(shade * 1.05f));
        }
    }
    // Rivets at the panel corners.
    for (int i = 0; i < kPanels; ++i) {
        for (int j = 0; j < kPanels; ++j) {
            for (float dx : {10.0f, panel - 10}) {
                for (float dy : {10.0f, panel - 10}) {
                    p.disc(float(i) * panel + dx, float(j) * panel + dy, 3.5f, 210, 215, 225);
                }
            }
        }
    }
    return p;
}

Picture drawIceDragon() {
    const float n = float(kDragonSize);
    Picture p(kDragonSize, kDragonSize);
    // Deep blue ice with cracks of light.
    for (uint32_t y = 0; y < kDragonSize; ++y) {
        for (uint32_t x = 0; x < kDragonSize; ++x) {
            const float dx = float(x) / n - 0.5f, dy = float(y) / n - 0.5f;
            const float r = std::sqrt(dx * dx + dy * dy);
            const float ice = valueNoise(float(x) / 24, float(y) / 24, 64, 31);
            const float crack = std::abs(valueNoise(float(x) / 40, float(y) / 40, 64, 32) - 0.5f);
            const float glow = crack < 0.02f ? 90.0f * (1 - crack / 0.02f) : 0.0f;
            p.put(int(x), int(y), clampByte(10 + 30 * ice + glow * 0.6f),
                  clampByte(40 + 60 * ice + glow * 0.8f - 60 * r),
                  clampByte(110 + 90 * ice + glow - 80 * r));
        }
    }
    // The body: a tapering coil of discs, from the tail at the centre outwards to the neck.
    float headX = 0, headY = 0, headAngle = 0;
    constexpr int kBodyDiscs = 420;
    for (int i = 0; i < kBodyDiscs; ++i) {
        const float s = float(i) / (kBodyDiscs - 1);
        const float angle = s * 3.3f * kPi;
        const float radius = n * (0.06f + 0.30f * s);
        const float x = n * 0.5f + radius * std::cos(angle);
        const float y = n * 0.52f + radius * std::sin(angle) * 0.85f;
        const float thickness = n * (0.008f + 0.035f * s);
        const uint8_t shade = uint8_t(200 + 55 * s);
        p.disc(x, y, thickness, uint8_t(shade * 0.85f), shade, 255);
        // Spines along the back every few discs.
        if (i % 12 == 0 && i > 30) {
            const float ox = std::cos(angle), oy = std::sin(angle) * 0.85f;
            p.disc(x + ox * thickness * 1.2f, y + oy * thickness * 1.2f, thickness * 0.35f, 120,
                   210, 255);
        }
        headX = x;
        headY = y;
        headAngle = angle;
    }
    // Head, jaw, eye and a breath of frost.
    const float tx = -std::sin(headAngle), ty = std::cos(headAngle) * 0.85f;
    p.disc(headX + tx * n * 0.05f, headY + ty * n * 0.05f, n * 0.055f, 230, 245, 255);
    p.disc(headX + tx * n * 0.11f, headY + ty * n * 0.11f, n * 0.035f, 215, 235, 255);
    p.disc(headX + tx * n * 0.06f - ty * n * 0.02f, headY + ty * n * 0.06f + tx * n * 0.02f,
           n * 0.012f, 20, 40, 120);
    for (int k = 0; k < 60; ++k) {
        const float s = float(k) / 60;
        const float bx = headX + tx * n * (0.15f + 0.3f * s);
        const float by = headY + ty * n * (0.15f + 0.3f * s) + std::sin(s * 9) * n * 0.02f;
        p.disc(bx, by, n * (0.01f + 0.03f * s), 160, 220, 255);
    }
    return p;
}

} // namespace

void drawDominoPictures(PictureSink& sink) {
    sink.add("tunnel.jpg", drawTunnel());
    sink.add("ice-dragon.jpg", drawIceDragon());
}

} // namespace datagen
