// Per-pixel comparison of two pictures of the same size (top-down B, G, R, A rows; alpha is
// ignored, as in the PNGs the pictures come from): how many pixels agree within a tolerance,
// the PSNR and the largest difference, outside masked rectangles. Also composes the
// side-by-side picture (first | second | difference) written for a failing comparison.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace conformance {

// Half-open pixel rectangle [x0, x1) x [y0, y1) left out of the comparison (text, say).
struct MaskRect {
    int32_t x0, y0, x1, y1;
};

struct Picture {
    uint32_t width = 0, height = 0;
    std::string bgra; // width * height * 4 bytes
};

struct Comparison {
    uint64_t compared = 0; // pixels outside the masks
    uint64_t within = 0;   // of those, every colour channel within the tolerance
    double fractionWithin = 1.0;
    double psnr = 0.0;     // dB over the compared colour channels; kIdentical when equal
    int maxDifference = 0; // largest channel difference, 0..255
};

// PSNR reported for identical pictures (no finite value exists).
constexpr double kIdentical = 99.0;

// Compares a and b, which must have the same size (false and error otherwise).
bool compare(const Picture& a, const Picture& b, int tolerance, const std::vector<MaskRect>& masks,
             Comparison* result, std::string* error);

// True when at least minFraction of the compared pixels are within the tolerance.
inline bool passes(const Comparison& c, double minFraction) {
    return c.fractionWithin >= minFraction;
}

// a | b | difference, three pictures wide. The difference shows each channel's absolute
// difference times gain (clamped); pixels beyond the tolerance are marked red where the
// difference is too faint to see, masked pixels are dark blue.
Picture sideBySide(const Picture& a, const Picture& b, int tolerance,
                   const std::vector<MaskRect>& masks, int gain = 8);

// The difference picture alone (as in sideBySide's third panel).
Picture difference(const Picture& a, const Picture& b, int tolerance,
                   const std::vector<MaskRect>& masks, int gain = 8);

// Parses "X0,Y0,X1,Y1"; false for anything else.
bool parseMask(const std::string& text, MaskRect* mask);

} // namespace conformance
