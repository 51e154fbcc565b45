// ColorF: the colour record every colour that crosses the render driver uses.
// Four floats in 0..1 in the order alpha, red, green, blue.
#pragma once

#include <cstdint>

struct ColorF {
    float a, r, g, b;
};

// Packs to 32-bit ARGB: each channel times 255, truncated, without clamping (as the driver
// always did; values outside 0..1 wrap into neighbouring bytes).
inline uint32_t packColour(const ColorF& c) {
    auto byte = [](float v) { return static_cast<uint32_t>(static_cast<int32_t>(v * 255.0f)); };
    return (byte(c.a) << 24) + (byte(c.r) << 16) + (byte(c.g) << 8) + byte(c.b);
}
