// Pixel kernels (inverse DCT, motion-compensated prediction, chroma upsampling, colour conversion)
// behind a small function table. The plain kernels are the reference; the SIMD set (SSE2 on
// x86-64, some AVX2 kernels where the processor has it) gives bit-identical output and is the
// default. Kernels do no bounds checking; callers pass positions inside the planes, and every
// kernel reads and writes exactly the samples its plain counterpart does.
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
    // The same for blocks whose only coefficients are the DC term and a 1 in the last position,
    // as MPEG-2 mismatch control leaves a block that had the DC term alone: the integer
    // transform worked out for that case (the reference kernels run their transform).
    void (*idctPutDcAndLast)(int16_t* block, uint8_t* dst, ptrdiff_t stride);
    void (*idctAddDcAndLast)(int16_t* block, uint8_t* dst, ptrdiff_t stride);
    // [average][width 16, 8][half-pel: none, horizontal, vertical, both]
    PredictFn predict[2][2][4];
    // One row of full-resolution Y, Cb, Cr to 32-bit 0x00RRGGBB pixels.
    void (*yuvToRgbRow)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out,
                        int width, const ColourCoefficients& k);
    // Six-tap vertical filter (taps sum to 256) across rows[0..5], width samples into dst.
    void (*chromaVertical)(const uint8_t* const rows[6], const int tap[6], uint8_t* dst, int width);
    // Doubles a chroma row horizontally: (outWidth + 1) / 2 pairs into dst. src has 4
    // replicated samples beyond each end. [0]: MPEG-2 siting (even outputs copy the input),
    // [1]: MPEG-1 siting (both outputs interpolated).
    void (*chromaHorizontal[2])(const uint8_t* src, uint8_t* dst, int outWidth);
};

// Double-precision inverse DCT and plain loops.
const Kernels& referenceKernels();
// Integer inverse DCT accurate to IEEE 1180 and plain loops.
const Kernels& plainKernels();
// The SIMD kernels where the processor has them, else the plain ones; bit-identical to
// plainKernels(). Setting MPEG_PLAIN_KERNELS (to anything but 0) in the environment makes this
// return plainKernels().
const Kernels& fastKernels();
// The SIMD kernels regardless of the environment; plainKernels() where there are none.
const Kernels& simdKernels();
// The SIMD kernels without the AVX2 ones (what a processor without AVX2 runs), for the tests.
const Kernels& simdKernelsWithoutAvx2();
// Whether simdKernels() holds any SIMD kernel, and whether it uses AVX2.
bool haveSimdKernels();
bool haveAvx2Kernels();

// Exposed for the accuracy tests: inverse DCT of block into out, no clamping to pixel range.
void idctReference(const int16_t* block, int16_t* out);
void idctFast(const int16_t* block, int16_t* out);

namespace detail {
// cos(k pi / 16) * 2^13, the constants of the integer inverse DCT.
constexpr int kIdctC1 = 8035, kIdctC2 = 7568, kIdctC3 = 6811, kIdctC4 = 5793, kIdctC5 = 4551,
              kIdctC6 = 3135, kIdctC7 = 1598;
// The integer inverse DCT of a block holding d at position 0 and 1 at position 63. The row pass
// makes row 0 the constant a = (d C4 + 2^10) >> 11 and row 7 the transform of a lone 1,
// last[c] = (2^10 + s[c]) >> 11, where s holds the odd constants as the outputs take them; the
// other rows are zero. The column pass then leaves (a C4 + 2^16 + s[r] last[c]) >> 17: this
// base plus these terms, shifted.
inline int32_t dcAndLastBase(int d) {
    return ((d * kIdctC4 + (1 << 10)) >> 11) * kIdctC4 + (1 << 16);
}
struct DcAndLastTerms {
    static constexpr int kOdd[8] = {kIdctC7, -kIdctC5, kIdctC3, -kIdctC1,
                                    kIdctC1, -kIdctC3, kIdctC5, -kIdctC7};
    alignas(16) int32_t t[64];
    constexpr DcAndLastTerms() : t{} {
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                t[r * 8 + c] = kOdd[r] * (((1 << 10) + kOdd[c]) >> 11);
    }
};
inline constexpr DcAndLastTerms kDcAndLastTerms;
// The plain integer inverse DCT with store or add, for blocks a SIMD version passes back.
void idctPutPlain(int16_t* block, uint8_t* dst, ptrdiff_t stride);
void idctAddPlain(int16_t* block, uint8_t* dst, ptrdiff_t stride);
// Each kernel file fills its part of a table.
void fillIdct(Kernels& k, bool reference);
void fillPredict(Kernels& k);
void fillColour(Kernels& k);
// SIMD versions overwrite the entries they have; false where the build has none.
bool fillIdctSimd(Kernels& k, bool avx2);
bool fillPredictSimd(Kernels& k);
bool fillColourSimd(Kernels& k, bool avx2);
bool cpuHasAvx2();
} // namespace detail

} // namespace mpeg
