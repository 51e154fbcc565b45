// Pixel kernels (inverse DCT, motion-compensated prediction, colour conversion) behind a small
// function table, so a faster set can be switched in and compared with the plain reference set.
// Kernels do no bounds checking; callers pass positions inside the planes.
#pragma once

#include <cstddef>
#include <cstdint>

// Hot loops get an AVX2 clone picked at load time; the plain clone runs everywhere else.
// GCC on ELF only: clang cannot clone templates, Windows executables have no load-time
// resolvers (ifunc), and sanitizer builds need no speed.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) &&                             \
    !defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)
#define MPEG_KERNEL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define MPEG_KERNEL_CLONES
#endif

namespace mpeg {

// Copies (or averages into dst) a w x h prediction; half-pel flags are baked into the choice.
using PredictFn = void (*)(uint8_t* dst, const uint8_t* src, ptrdiff_t dstStride,
                           ptrdiff_t srcStride, int height);

// Integer coefficients of the YCbCr to RGB matrix, scaled by 2^16.
struct ColourCoefficients {
    int crv, cbu, cgu, cgv;
};

struct Kernels {
    // Inverse DCT of a raster-order 8x8 block; stores (put) or adds (add) the clamped result.
    // Both leave the block zeroed for the next use.
    void (*idctPut)(int16_t* block, uint8_t* dst, ptrdiff_t stride);
    void (*idctAdd)(int16_t* block, uint8_t* dst, ptrdiff_t stride);
    // [average][width 16, 8][half-pel: none, horizontal, vertical, both]
    PredictFn predict[2][2][4];
    // One row of full-resolution Y, Cb, Cr to 32-bit 0x00RRGGBB pixels.
    void (*yuvToRgbRow)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out,
                        int width, const ColourCoefficients& k);
};

// Double-precision inverse DCT and plain loops.
const Kernels& referenceKernels();
// Integer inverse DCT accurate to IEEE 1180; the default.
const Kernels& fastKernels();

// Exposed for the accuracy tests: inverse DCT of block into out, no clamping to pixel range.
void idctReference(const int16_t* block, int16_t* out);
void idctFast(const int16_t* block, int16_t* out);

namespace detail {
// Each kernel file fills its part of a table.
void fillIdct(Kernels& k, bool reference);
void fillPredict(Kernels& k);
void fillColour(Kernels& k);
} // namespace detail

} // namespace mpeg
