// Output stage: brings the chroma of a decoded frame to full resolution (4:2:0 -> 4:2:2
// vertically, 4:2:2 -> 4:4:4 horizontally, six-tap filters) and converts to 32-bit RGB.
// Does not scale, crop beyond the top-left videoWidth x videoHeight, or dither.
#pragma once

#include "media/mpeg/kernels.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mpeg {

struct PlaneView {
    const uint8_t* data = nullptr;
    ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
};

// A decoded frame in display order, cropped to the stream's picture size.
struct FrameView {
    PlaneView y, cb, cr;
    int chroma_format = 1; // 1: 4:2:0, 2: 4:2:2, 3: 4:4:4
};

ColourCoefficients colourCoefficients(int matrix_coefficients);

struct OutputParameters {
    bool mpeg1 = false;
    bool progressive_frame = true; // picks the 4:2:0 vertical filter
    int matrix_coefficients = 5;
};

class OutputStage {
public:
    // Writes the frame, rows top to bottom, to out, which holds outWidth x outHeight pixels; a
    // larger frame is cropped, a smaller one leaves the rest of out untouched.
    void convert(const FrameView& frame, const OutputParameters& params, uint32_t* out,
                 int outWidth, int outHeight, const Kernels& kernels);

private:
    std::vector<uint8_t> rows_;
};

// Six-tap vertical filters (taps sum to 256) for 4:2:0 -> 4:2:2, exposed for tests.
struct VerticalFilter {
    int first;  // offset of the first tap from the centre row
    int tap[6]; // weights
};
// Filter for output row r (0 or 1 within its pair) of a progressive frame or, for interlaced
// frames, of a field with the given parity (0 top, 1 bottom).
const VerticalFilter& verticalFilter(bool progressive, int parity, int r);

} // namespace mpeg
