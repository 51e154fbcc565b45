// Output stage. Chroma rows are upsampled one output row at a time into a small scratch buffer
// with replicated edges, so the filter loops carry no bounds checks.
#include "media/mpeg/output.h"

#include <algorithm>
#include <cmath>

namespace mpeg {

namespace {

constexpr int kPad = 4; // replicated samples on each side of a scratch row

inline uint8_t clip8(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// Lanczos (a = 3) weights for a sample at phase (in input samples) relative to the centre.
VerticalFilter makeFilter(double phase) {
    VerticalFilter f{};
    f.first = phase < 0 ? -3 : -2;
    const double pi = std::acos(-1.0);
    double w[6], sum = 0;
    for (int i = 0; i < 6; ++i) {
        double x = (f.first + i) - phase;
        double v = 1.0;
        if (std::fabs(x) > 1e-9)
            v = 3.0 * std::sin(pi * x) * std::sin(pi * x / 3.0) / (pi * pi * x * x);
        w[i] = v;
        sum += v;
    }
    int total = 0, centre = -f.first;
    for (int i = 0; i < 6; ++i) {
        f.tap[i] = static_cast<int>(std::lround(256.0 * w[i] / sum));
        total += f.tap[i];
    }
    f.tap[centre] += 256 - total;
    return f;
}

struct VerticalFilters {
    VerticalFilter progressive[2];
    VerticalFilter interlaced[2][2];
    VerticalFilters() {
        progressive[0] = makeFilter(-0.25);
        progressive[1] = makeFilter(0.25);
        // Field chroma sits a quarter (top) or three quarters (bottom) of the way between two
        // field luma rows.
        interlaced[0][0] = makeFilter(-0.125);
        interlaced[0][1] = makeFilter(0.375);
        interlaced[1][0] = makeFilter(-0.375);
        interlaced[1][1] = makeFilter(0.125);
    }
};

const VerticalFilters& filters() {
    static const VerticalFilters f;
    return f;
}

MPEG_KERNEL_CLONES
void yuvToRgbRowLoop(const uint8_t* __restrict y, const uint8_t* __restrict cb,
                     const uint8_t* __restrict cr, uint32_t* __restrict out, int width,
                     const ColourCoefficients& k) {
    for (int x = 0; x < width; ++x) {
        const int l = (y[x] - 16) * 76309;
        const int u = cb[x] - 128, v = cr[x] - 128;
        const uint32_t r = clip8((l + k.crv * v + 32768) >> 16);
        const uint32_t g = clip8((l - k.cgu * u - k.cgv * v + 32768) >> 16);
        const uint32_t b = clip8((l + k.cbu * u + 32786) >> 16);
        out[x] = (r << 16) | (g << 8) | b;
    }
}

// Six-tap filter across six rows.
MPEG_KERNEL_CLONES
void filterRows(const uint8_t* __restrict p0, const uint8_t* __restrict p1,
                const uint8_t* __restrict p2, const uint8_t* __restrict p3,
                const uint8_t* __restrict p4, const uint8_t* __restrict p5, const int* tap,
                uint8_t* __restrict dst, int width) {
    const int t0 = tap[0], t1 = tap[1], t2 = tap[2], t3 = tap[3], t4 = tap[4], t5 = tap[5];
    for (int x = 0; x < width; ++x) {
        const int s =
            t0 * p0[x] + t1 * p1[x] + t2 * p2[x] + t3 * p3[x] + t4 * p4[x] + t5 * p5[x] + 128;
        dst[x] = clip8(s >> 8);
    }
}

// Vertical 4:2:0 -> 4:2:2 for one output row, into dst[0..width).
void verticalRow(const PlaneView& c, int outRow, bool progressive, uint8_t* dst,
                 const Kernels& kernels) {
    int rows[6];
    const VerticalFilter* f;
    if (progressive) {
        const int j = outRow >> 1;
        f = &filters().progressive[outRow & 1];
        for (int i = 0; i < 6; ++i)
            rows[i] = std::clamp(j + f->first + i, 0, c.height - 1);
    } else {
        const int parity = outRow & 1;
        const int fieldRow = outRow >> 1;
        const int j = fieldRow >> 1;
        const int fieldHeight = std::max(1, (c.height - parity + 1) / 2);
        f = &filters().interlaced[parity][fieldRow & 1];
        for (int i = 0; i < 6; ++i) {
            int k = std::clamp(j + f->first + i, 0, fieldHeight - 1);
            rows[i] = std::min(2 * k + parity, c.height - 1);
        }
    }
    const uint8_t* p[6];
    for (int i = 0; i < 6; ++i)
        p[i] = c.data + rows[i] * c.stride;
    kernels.chromaVertical(p, f->tap, dst, c.width);
}

// Horizontal 4:2:2 -> 4:4:4. src has kPad replicated samples on both sides.
template <bool Mpeg1>
MPEG_KERNEL_CLONES void horizontalRow(const uint8_t* __restrict s, uint8_t* __restrict dst,
                                      int outWidth) {
    const int pairs = (outWidth + 1) / 2;
    if constexpr (Mpeg1) {
        for (int j = 0; j < pairs; ++j) {
            const int a = 5 * s[j - 3] - 21 * s[j - 2] + 70 * s[j - 1] + 228 * s[j] -
                          37 * s[j + 1] + 11 * s[j + 2];
            const int b = 11 * s[j - 2] - 37 * s[j - 1] + 228 * s[j] + 70 * s[j + 1] -
                          21 * s[j + 2] + 5 * s[j + 3];
            dst[2 * j] = clip8((a + 128) >> 8);
            dst[2 * j + 1] = clip8((b + 128) >> 8);
        }
    } else {
        for (int j = 0; j < pairs; ++j) {
            const int b =
                21 * (s[j - 2] + s[j + 3]) - 52 * (s[j - 1] + s[j + 2]) + 159 * (s[j] + s[j + 1]);
            dst[2 * j] = s[j];
            dst[2 * j + 1] = clip8((b + 128) >> 8);
        }
    }
}

void padRow(uint8_t* row, int width) {
    for (int i = 1; i <= kPad; ++i) {
        row[-i] = row[0];
        row[width - 1 + i] = row[width - 1];
    }
}

} // namespace

ColourCoefficients colourCoefficients(int matrix_coefficients) {
    switch (matrix_coefficients) {
    case 0:
    case 1:
        return {117504, 138453, 13954, 34903};
    case 4:
        return {104448, 132798, 24759, 53109};
    case 7:
        return {117579, 136230, 16907, 35559};
    default: // 2, 3, 5, 6 and anything reserved
        return {104597, 132201, 25675, 53279};
    }
}

const VerticalFilter& verticalFilter(bool progressive, int parity, int r) {
    return progressive ? filters().progressive[r & 1] : filters().interlaced[parity & 1][r & 1];
}

void OutputStage::convert(const FrameView& frame, const OutputParameters& params, uint32_t* out,
                          int outWidth, int outHeight, const Kernels& kernels) {
    const int width = std::min(frame.y.width, outWidth);
    const int height = std::min(frame.y.height, outHeight);
    if (width <= 0 || height <= 0)
        return;
    const ColourCoefficients k = colourCoefficients(params.matrix_coefficients);
    const int cw = frame.cb.width;
    // Scratch: two vertically filtered chroma rows (padded) and two full-width chroma rows.
    const size_t padded = static_cast<size_t>(cw) + 2 * kPad;
    rows_.resize(2 * padded + 2 * (static_cast<size_t>(width) + 1));
    uint8_t* vcb = rows_.data() + kPad;
    uint8_t* vcr = vcb + padded;
    uint8_t* fcb = rows_.data() + 2 * padded;
    uint8_t* fcr = fcb + width + 1;

    for (int y = 0; y < height; ++y) {
        const uint8_t* cbRow;
        const uint8_t* crRow;
        if (frame.chroma_format == 3) {
            cbRow = frame.cb.data + y * frame.cb.stride;
            crRow = frame.cr.data + y * frame.cr.stride;
        } else {
            if (frame.chroma_format == 1) {
                verticalRow(frame.cb, y, params.progressive_frame, vcb, kernels);
                verticalRow(frame.cr, y, params.progressive_frame, vcr, kernels);
            } else {
                std::copy_n(frame.cb.data + y * frame.cb.stride, cw, vcb);
                std::copy_n(frame.cr.data + y * frame.cr.stride, cw, vcr);
            }
            padRow(vcb, cw);
            padRow(vcr, cw);
            kernels.chromaHorizontal[params.mpeg1 ? 1 : 0](vcb, fcb, width);
            kernels.chromaHorizontal[params.mpeg1 ? 1 : 0](vcr, fcr, width);
            cbRow = fcb;
            crRow = fcr;
        }
        kernels.yuvToRgbRow(frame.y.data + y * frame.y.stride, cbRow, crRow,
                            out + static_cast<size_t>(y) * outWidth, width, k);
    }
}

namespace detail {
void fillColour(Kernels& k) {
    // Through a plain function: the address of a cloned function is not a constant.
    k.yuvToRgbRow = [](const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out,
                       int width,
                       const ColourCoefficients& c) { yuvToRgbRowLoop(y, cb, cr, out, width, c); };
    k.chromaVertical = [](const uint8_t* const p[6], const int tap[6], uint8_t* dst, int width) {
        filterRows(p[0], p[1], p[2], p[3], p[4], p[5], tap, dst, width);
    };
    k.chromaHorizontal[0] = [](const uint8_t* src, uint8_t* dst, int outWidth) {
        horizontalRow<false>(src, dst, outWidth);
    };
    k.chromaHorizontal[1] = [](const uint8_t* src, uint8_t* dst, int outWidth) {
        horizontalRow<true>(src, dst, outWidth);
    };
}
} // namespace detail

} // namespace mpeg
