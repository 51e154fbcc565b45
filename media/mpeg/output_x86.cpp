// SSE2 and AVX2 output-stage kernels: the six-tap chroma filters and the colour conversion,
// bit-identical to the plain loops in output.cpp. Every product is formed exactly in 32 bits by
// pmaddwd; coefficients wider than 16 bits are split into a high part (times 256) and a low
// part. Whole vectors cover the samples the plain loop touches; the rest of a row is finished
// by a plain tail, so nothing beyond the plain loop's reads and writes is touched.
#include "media/mpeg/kernels.h"

#include <algorithm>

#if defined(__x86_64__) && defined(__SSE2__)

#include <immintrin.h>

namespace mpeg {

namespace {

inline uint8_t clip8(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

inline __m128i pairOf(int a, int b) {
    return _mm_set1_epi32(
        static_cast<int>((static_cast<uint32_t>(a) & 0xFFFF) | (static_cast<uint32_t>(b) << 16)));
}

// The plain arithmetic, for the pixels after the last whole vector.
inline uint32_t rgbPixel(int y, int cb, int cr, const ColourCoefficients& k) {
    const int l = (y - 16) * 76309;
    const int u = cb - 128, v = cr - 128;
    const uint32_t r = clip8((l + k.crv * v + 32768) >> 16);
    const uint32_t g = clip8((l - k.cgu * u - k.cgv * v + 32768) >> 16);
    const uint32_t b = clip8((l + k.cbu * u + 32786) >> 16);
    return (r << 16) | (g << 8) | b;
}

void yuvToRgbTail(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, int x,
                  int width, const ColourCoefficients& k) {
    for (; x < width; ++x)
        out[x] = rgbPixel(y[x], cb[x], cr[x], k);
}

// a * first + b * second of each 32-bit pair of p, exactly, for |a|, |b| < 2^23.
inline __m128i products(__m128i p, int a, int b) {
    const __m128i high = _mm_madd_epi16(p, pairOf(a >> 8, b >> 8));
    const __m128i low = _mm_madd_epi16(p, pairOf(a & 255, b & 255));
    return _mm_add_epi32(_mm_slli_epi32(high, 8), low);
}

// Four pixels (the 16-bit lanes 0 to 3 of yy, uu, vv; High: lanes 4 to 7) to 32-bit R, G, B.
template <bool High>
inline void rgb4(__m128i yy, __m128i uu, __m128i vv, const ColourCoefficients& k, __m128i& r,
                 __m128i& g, __m128i& b) {
    auto pairs = [](__m128i a, __m128i c) {
        return High ? _mm_unpackhi_epi16(a, c) : _mm_unpacklo_epi16(a, c);
    };
    const __m128i yv = pairs(yy, vv), yu = pairs(yy, uu);
    r = _mm_srai_epi32(_mm_add_epi32(products(yv, 76309, k.crv), _mm_set1_epi32(32768)), 16);
    g = _mm_add_epi32(products(yu, 76309, -k.cgu), products(yv, 0, -k.cgv));
    g = _mm_srai_epi32(_mm_add_epi32(g, _mm_set1_epi32(32768)), 16);
    b = _mm_srai_epi32(_mm_add_epi32(products(yu, 76309, k.cbu), _mm_set1_epi32(32786)), 16);
}

void yuvToRgbSse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, int width,
                  const ColourCoefficients& k) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i c16 = _mm_set1_epi16(16), c128 = _mm_set1_epi16(128);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        auto load = [&](const uint8_t* p) {
            return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + x)),
                                     zero);
        };
        const __m128i yy = _mm_sub_epi16(load(y), c16);
        const __m128i uu = _mm_sub_epi16(load(cb), c128);
        const __m128i vv = _mm_sub_epi16(load(cr), c128);
        __m128i r0, g0, b0, r1, g1, b1;
        rgb4<false>(yy, uu, vv, k, r0, g0, b0);
        rgb4<true>(yy, uu, vv, k, r1, g1, b1);
        // Saturate to bytes, then B, G, R, 0 per pixel.
        const __m128i r8 = _mm_packus_epi16(_mm_packs_epi32(r0, r1), zero);
        const __m128i g8 = _mm_packus_epi16(_mm_packs_epi32(g0, g1), zero);
        const __m128i b8 = _mm_packus_epi16(_mm_packs_epi32(b0, b1), zero);
        const __m128i bg = _mm_unpacklo_epi8(b8, g8), r0z = _mm_unpacklo_epi8(r8, zero);
        __m128i* o = reinterpret_cast<__m128i*>(out + x);
        _mm_storeu_si128(o, _mm_unpacklo_epi16(bg, r0z));
        _mm_storeu_si128(o + 1, _mm_unpackhi_epi16(bg, r0z));
    }
    yuvToRgbTail(y, cb, cr, out, x, width, k);
}

__attribute__((target("avx2"))) inline __m256i products256(__m256i p, int a, int b) {
    const __m256i high = _mm256_madd_epi16(
        p, _mm256_set1_epi32(static_cast<int>((static_cast<uint32_t>(a >> 8) & 0xFFFF) |
                                              (static_cast<uint32_t>(b >> 8) << 16))));
    const __m256i low = _mm256_madd_epi16(
        p, _mm256_set1_epi32(static_cast<int>((static_cast<uint32_t>(a & 255)) |
                                              (static_cast<uint32_t>(b & 255) << 16))));
    return _mm256_add_epi32(_mm256_slli_epi32(high, 8), low);
}

__attribute__((target("avx2"))) inline __m256i load16(const uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// 16-bit, in pixel order, clamped to [0, 255].
__attribute__((target("avx2"))) inline __m256i clamp(__m256i lo, __m256i hi) {
    return _mm256_min_epi16(_mm256_max_epi16(_mm256_packs_epi32(lo, hi), _mm256_setzero_si256()),
                            _mm256_set1_epi16(255));
}

// Sixteen pixels per step. The 256-bit unpacks work within 128-bit halves, so the halves hold
// pixels 0-3 and 8-11 (lo) or 4-7 and 12-15 (hi); packing puts them back in order.
__attribute__((target("avx2"))) void yuvToRgbAvx2(const uint8_t* y, const uint8_t* cb,
                                                  const uint8_t* cr, uint32_t* out, int width,
                                                  const ColourCoefficients& k) {
    const __m256i c16 = _mm256_set1_epi16(16), c128 = _mm256_set1_epi16(128);
    const __m256i roundRg = _mm256_set1_epi32(32768), roundB = _mm256_set1_epi32(32786);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m256i yy = _mm256_sub_epi16(load16(y + x), c16);
        const __m256i uu = _mm256_sub_epi16(load16(cb + x), c128);
        const __m256i vv = _mm256_sub_epi16(load16(cr + x), c128);
        __m256i r[2], g[2], b[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i yv = h ? _mm256_unpackhi_epi16(yy, vv) : _mm256_unpacklo_epi16(yy, vv);
            const __m256i yu = h ? _mm256_unpackhi_epi16(yy, uu) : _mm256_unpacklo_epi16(yy, uu);
            r[h] = _mm256_srai_epi32(_mm256_add_epi32(products256(yv, 76309, k.crv), roundRg), 16);
            const __m256i gs =
                _mm256_add_epi32(products256(yu, 76309, -k.cgu), products256(yv, 0, -k.cgv));
            g[h] = _mm256_srai_epi32(_mm256_add_epi32(gs, roundRg), 16);
            b[h] = _mm256_srai_epi32(_mm256_add_epi32(products256(yu, 76309, k.cbu), roundB), 16);
        }
        const __m256i bg =
            _mm256_or_si256(clamp(b[0], b[1]), _mm256_slli_epi16(clamp(g[0], g[1]), 8));
        const __m256i r0 = clamp(r[0], r[1]);
        const __m256i p0 = _mm256_unpacklo_epi16(bg, r0); // pixels 0-3, 8-11
        const __m256i p1 = _mm256_unpackhi_epi16(bg, r0); // pixels 4-7, 12-15
        __m256i* o = reinterpret_cast<__m256i*>(out + x);
        _mm256_storeu_si256(o, _mm256_permute2x128_si256(p0, p1, 0x20));
        _mm256_storeu_si256(o + 1, _mm256_permute2x128_si256(p0, p1, 0x31));
    }
    yuvToRgbSse2(y + x, cb + x, cr + x, out + x, width - x, k);
}

// Six-tap vertical filter, sixteen samples per step.
void chromaVerticalSse2(const uint8_t* const p[6], const int tap[6], uint8_t* dst, int width) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i t01 = pairOf(tap[0], tap[1]), t23 = pairOf(tap[2], tap[3]);
    const __m128i t45 = pairOf(tap[4], tap[5]), round = _mm_set1_epi32(128);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i s[6];
        for (int i = 0; i < 6; ++i)
            s[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p[i] + x));
        __m128i half[2];
        for (int h = 0; h < 2; ++h) {
            __m128i w[6];
            for (int i = 0; i < 6; ++i)
                w[i] = h ? _mm_unpackhi_epi8(s[i], zero) : _mm_unpacklo_epi8(s[i], zero);
            __m128i sum[2];
            for (int q = 0; q < 2; ++q) {
                auto pairs = [&](__m128i a, __m128i b) {
                    return q ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b);
                };
                __m128i v = _mm_add_epi32(_mm_madd_epi16(pairs(w[0], w[1]), t01),
                                          _mm_madd_epi16(pairs(w[2], w[3]), t23));
                v = _mm_add_epi32(v, _mm_madd_epi16(pairs(w[4], w[5]), t45));
                sum[q] = _mm_srai_epi32(_mm_add_epi32(v, round), 8);
            }
            half[h] = _mm_packs_epi32(sum[0], sum[1]);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_packus_epi16(half[0], half[1]));
    }
    for (; x < width; ++x) {
        const int s = tap[0] * p[0][x] + tap[1] * p[1][x] + tap[2] * p[2][x] + tap[3] * p[3][x] +
                      tap[4] * p[4][x] + tap[5] * p[5][x] + 128;
        dst[x] = clip8(s >> 8);
    }
}

inline __m128i load8(const uint8_t* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                             _mm_setzero_si128());
}

// Sum of the products of the pairs (a, b) with (ta, tb) over eight 16-bit lanes, + 128, >> 8,
// saturated to bytes in the low eight bytes.
inline __m128i filterPairs(const __m128i (&a)[3], const __m128i (&b)[3], const __m128i (&t)[3]) {
    __m128i sum[2];
    for (int q = 0; q < 2; ++q) {
        __m128i v = _mm_set1_epi32(128);
        for (int i = 0; i < 3; ++i) {
            const __m128i ab = q ? _mm_unpackhi_epi16(a[i], b[i]) : _mm_unpacklo_epi16(a[i], b[i]);
            v = _mm_add_epi32(v, _mm_madd_epi16(ab, t[i]));
        }
        sum[q] = _mm_srai_epi32(v, 8);
    }
    return _mm_packus_epi16(_mm_packs_epi32(sum[0], sum[1]), _mm_setzero_si128());
}

// MPEG-2 siting: even outputs copy, odd ones interpolate; eight pairs per step.
void chromaHorizontalMpeg2Sse2(const uint8_t* s, uint8_t* dst, int outWidth) {
    const int pairs = (outWidth + 1) / 2;
    const __m128i t[3] = {pairOf(21, -52), pairOf(159, 0), pairOf(0, 0)};
    const __m128i zero = _mm_setzero_si128();
    int j = 0;
    for (; j + 8 <= pairs; j += 8) {
        const __m128i centre = load8(s + j);
        const __m128i a[3] = {_mm_add_epi16(load8(s + j - 2), load8(s + j + 3)),
                              _mm_add_epi16(centre, load8(s + j + 1)), zero};
        const __m128i b[3] = {_mm_add_epi16(load8(s + j - 1), load8(s + j + 2)), zero, zero};
        const __m128i odd = filterPairs(a, b, t);
        const __m128i even = _mm_packus_epi16(centre, zero);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * j), _mm_unpacklo_epi8(even, odd));
    }
    for (; j < pairs; ++j) {
        const int b =
            21 * (s[j - 2] + s[j + 3]) - 52 * (s[j - 1] + s[j + 2]) + 159 * (s[j] + s[j + 1]);
        dst[2 * j] = s[j];
        dst[2 * j + 1] = clip8((b + 128) >> 8);
    }
}

// MPEG-1 siting: both outputs of a pair interpolate; eight pairs per step.
void chromaHorizontalMpeg1Sse2(const uint8_t* s, uint8_t* dst, int outWidth) {
    const int pairs = (outWidth + 1) / 2;
    const __m128i ta[3] = {pairOf(5, -21), pairOf(70, 228), pairOf(-37, 11)};
    const __m128i tb[3] = {pairOf(11, -37), pairOf(228, 70), pairOf(-21, 5)};
    int j = 0;
    for (; j + 8 <= pairs; j += 8) {
        __m128i v[7]; // s[j - 3 + i]
        for (int i = 0; i < 7; ++i)
            v[i] = load8(s + j - 3 + i);
        const __m128i aFirst[3] = {v[0], v[2], v[4]}, aSecond[3] = {v[1], v[3], v[5]};
        const __m128i bFirst[3] = {v[1], v[3], v[5]}, bSecond[3] = {v[2], v[4], v[6]};
        const __m128i even = filterPairs(aFirst, aSecond, ta);
        const __m128i odd = filterPairs(bFirst, bSecond, tb);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * j), _mm_unpacklo_epi8(even, odd));
    }
    for (; j < pairs; ++j) {
        const int a = 5 * s[j - 3] - 21 * s[j - 2] + 70 * s[j - 1] + 228 * s[j] - 37 * s[j + 1] +
                      11 * s[j + 2];
        const int b = 11 * s[j - 2] - 37 * s[j - 1] + 228 * s[j] + 70 * s[j + 1] - 21 * s[j + 2] +
                      5 * s[j + 3];
        dst[2 * j] = clip8((a + 128) >> 8);
        dst[2 * j + 1] = clip8((b + 128) >> 8);
    }
}

} // namespace

namespace detail {

bool cpuHasAvx2() {
    return __builtin_cpu_supports("avx2");
}

bool fillColourSimd(Kernels& k, bool avx2) {
    k.yuvToRgbRow = avx2 ? yuvToRgbAvx2 : yuvToRgbSse2;
    k.chromaVertical = chromaVerticalSse2;
    k.chromaHorizontal[0] = chromaHorizontalMpeg2Sse2;
    k.chromaHorizontal[1] = chromaHorizontalMpeg1Sse2;
    return true;
}

} // namespace detail

} // namespace mpeg

#else

namespace mpeg::detail {
bool cpuHasAvx2() {
    return false;
}
bool fillColourSimd(Kernels&, bool) {
    return false;
}
} // namespace mpeg::detail

#endif
