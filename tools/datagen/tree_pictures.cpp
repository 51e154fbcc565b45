// The Tree's pictures: tileable bark for the branches ("wood.jpg", u around, v along), a
// hanging leaf with its alpha ("leaf.jpg", stem at the top edge), and the frame laid over the
// view ("tree-bg.jpg", opaque border, clear window). No lighting is baked into them.
#include "tools/datagen/groups.h"

#include <algorithm>
#include <cmath>

namespace datagen {

namespace {

constexpr float kPi = 3.14159265f;
constexpr uint32_t kBarkSize = 256;
constexpr uint32_t kLeafSize = 128;
constexpr uint32_t kFrameSize = 512;
// The frame's window: 44 texels in from each edge, corners rounded with radius 60.
constexpr float kFrameMargin = 44.0f;
constexpr float kFrameCorner = 60.0f;
constexpr float kFrameSoftEdge = 6.0f;

uint8_t toByte(float v) {
    return uint8_t(std::clamp(std::lround(v), 0L, 255L));
}

// Furrowed bark: eight warped ridges around, grain along; tiles in both directions.
Picture drawBark() {
    Picture p(kBarkSize, kBarkSize);
    for (uint32_t y = 0; y < kBarkSize; ++y) {
        for (uint32_t x = 0; x < kBarkSize; ++x) {
            const float fx = float(x) / float(kBarkSize), fy = float(y) / float(kBarkSize);
            const float warp = valueNoise(fx * 8, fy * 8, 8, 11);
            const float ridge = std::fabs(std::sin(kPi * (8 * fx + 0.9f * warp)));
            const float grain = valueNoise(fx * 32, fy * 32, 32, 12);
            const float patch = valueNoise(fx * 4, fy * 4, 4, 13);
            const float light = 0.35f + 0.5f * std::pow(ridge, 0.6f) + 0.15f * grain;
            p.put(int(x), int(y), toByte((100 + 30 * patch) * light),
                  toByte((70 + 15 * patch) * light), toByte(45 * light));
        }
    }
    return p;
}

// Half width of the leaf blade at s = 0 (stem end) .. 1 (tip), in texels.
float bladeHalfWidth(float s) {
    if (s <= 0 || s >= 1) {
        return 0;
    }
    return 50.0f * std::pow(std::sin(kPi * s), 0.8f) * (1.0f - 0.25f * s);
}

// A leaf hanging from the top edge: a short stem, then the blade down to the bottom.
void drawLeaf(Picture& colour, Picture& alpha) {
    constexpr float kCentre = 64.0f, kBladeTop = 14.0f, kBladeLength = 110.0f;
    colour.fill(40, 90, 25); // the blade's own green, so filtering shows no fringe
    alpha.fill(0, 0, 0);
    for (uint32_t y = 0; y < kLeafSize; ++y) {
        for (uint32_t x = 0; x < kLeafSize; ++x) {
            const float px = float(x) + 0.5f, py = float(y) + 0.5f;
            const float s = (py - kBladeTop) / kBladeLength;
            const float half = bladeHalfWidth(s);
            const float dx = std::fabs(px - kCentre);
            float cover = std::clamp(half - dx + 0.5f, 0.0f, 1.0f);
            if (py < kBladeTop + 4) {
                cover = std::max(cover, std::clamp(2.0f - dx, 0.0f, 1.0f)); // the stem
            }
            // Veins: the midrib and side veins slanting towards the tip.
            const float side = py - kBladeTop - dx * 0.6f;
            const float vein = std::max(
                std::clamp(1.5f - dx, 0.0f, 1.0f),
                0.6f * std::clamp(1.2f - std::fabs(std::fmod(side + 100, 14.0f) - 7), 0.0f, 1.0f));
            const float shade = 0.75f + 0.25f * valueNoise(px / 16, py / 16, 8, 21) -
                                0.2f * (half > 0 ? dx / half : 1.0f);
            colour.put(int(x), int(y), toByte((50 + 70 * vein) * shade),
                       toByte((120 + 80 * vein) * shade), toByte((30 + 40 * vein) * shade));
            alpha.put(int(x), int(y), toByte(255 * cover), 0, 0);
        }
    }
}

// Distance outside the rounded window (negative inside).
float windowDistance(float x, float y) {
    const float lo = kFrameMargin + kFrameCorner, hi = float(kFrameSize) - lo;
    const float qx = std::max({lo - x, x - hi, 0.0f});
    const float qy = std::max({lo - y, y - hi, 0.0f});
    const float inner =
        std::min(std::max(std::max(lo - x, x - hi), std::max(lo - y, y - hi)), 0.0f);
    return std::sqrt(qx * qx + qy * qy) + inner - kFrameCorner;
}

// A dark green border with a lighter bevel at the window and leaf shapes in the corners.
void drawFrame(Picture& colour, Picture& alpha) {
    for (uint32_t y = 0; y < kFrameSize; ++y) {
        for (uint32_t x = 0; x < kFrameSize; ++x) {
            const float px = float(x) + 0.5f, py = float(y) + 0.5f;
            const float d = windowDistance(px, py);
            const float n = valueNoise(px / 32, py / 32, 16, 31);
            const float bevel = std::clamp(1.0f - std::fabs(d - 4) / 4, 0.0f, 1.0f);
            colour.put(int(x), int(y), toByte(20 + 25 * n + 120 * bevel),
                       toByte(45 + 40 * n + 110 * bevel), toByte(25 + 15 * n + 60 * bevel));
            // Opaque border, a soft step at the window, a faint shadow just inside it.
            const float a = d >= 0 ? 1.0f
                                   : std::max(std::clamp(1 + d / kFrameSoftEdge, 0.0f, 1.0f),
                                              0.35f * std::clamp(1 + d / 30, 0.0f, 1.0f));
            alpha.put(int(x), int(y), toByte(255 * a), 0, 0);
        }
    }
    // Leaf silhouettes scattered round the corners, on the border only.
    uint32_t state = 7;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return float(state >> 8) / float(1u << 24);
    };
    for (int corner = 0; corner < 4; ++corner) {
        const float cx = corner % 2 == 0 ? 30.0f : float(kFrameSize) - 30.0f;
        const float cy = corner / 2 == 0 ? 30.0f : float(kFrameSize) - 30.0f;
        for (int i = 0; i < 14; ++i) {
            const float x = cx + (next() - 0.5f) * 90, y = cy + (next() - 0.5f) * 90;
            if (windowDistance(x, y) < 10) {
                continue;
            }
            const uint8_t g = uint8_t(90 + next() * 80);
            colour.disc(x, y, 6 + next() * 8, uint8_t(g / 3), g, uint8_t(g / 4));
        }
    }
}

} // namespace

void drawTreePictures(PictureSink& sink) {
    sink.add("wood.jpg", drawBark());

    Picture leaf(kLeafSize, kLeafSize), leafAlpha(kLeafSize, kLeafSize, true);
    drawLeaf(leaf, leafAlpha);
    sink.add("leaf.jpg", leaf);
    sink.add("leaf_alpha.jpg", leafAlpha);

    Picture frame(kFrameSize, kFrameSize), frameAlpha(kFrameSize, kFrameSize, true);
    drawFrame(frame, frameAlpha);
    sink.add("tree-bg.jpg", frame);
    sink.add("tree-bg-alpha.jpg", frameAlpha);
}

} // namespace datagen
