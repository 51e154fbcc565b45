// SSE2 prediction kernels: one row of 16 or 8 samples per step. pavgb rounds up exactly as the
// two-sample averages do; the four-sample average is summed in 16 bits. Each row reads the same
// samples as the plain loop (the half-pel neighbours included) and writes W samples.
#include "media/mpeg/kernels.h"

#if defined(__x86_64__) && defined(__SSE2__)

#include <emmintrin.h>

namespace mpeg {

namespace {

template <int W> inline __m128i load(const uint8_t* p) {
    if constexpr (W == 16)
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    else
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

template <int W> inline void store(uint8_t* p, __m128i v) {
    if constexpr (W == 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    else
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v);
}

template <int W, bool Average> inline void put(uint8_t* dst, __m128i p) {
    if constexpr (Average)
        p = _mm_avg_epu8(load<W>(dst), p);
    store<W>(dst, p);
}

// Sums of horizontally adjacent samples of one row, 16 bits each (hi unused for W = 8).
template <int W> struct PairSums { __m128i lo, hi; };

template <int W> inline PairSums<W> pairSums(const uint8_t* s) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = load<W>(s), b = load<W>(s + 1);
    PairSums<W> r;
    r.lo = _mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    r.hi = W == 16 ? _mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)) : zero;
    return r;
}

template <int W, int HalfPel, bool Average>
void predictSse2(uint8_t* dst, const uint8_t* src, ptrdiff_t dstStride, ptrdiff_t srcStride,
                 int height) {
    if constexpr (HalfPel == 0) {
        for (int y = 0; y < height; ++y, dst += dstStride, src += srcStride)
            put<W, Average>(dst, load<W>(src));
    } else if constexpr (HalfPel == 1) {
        for (int y = 0; y < height; ++y, dst += dstStride, src += srcStride)
            put<W, Average>(dst, _mm_avg_epu8(load<W>(src), load<W>(src + 1)));
    } else if constexpr (HalfPel == 2) {
        __m128i above = load<W>(src);
        for (int y = 0; y < height; ++y, dst += dstStride) {
            src += srcStride;
            const __m128i below = load<W>(src);
            put<W, Average>(dst, _mm_avg_epu8(above, below));
            above = below;
        }
    } else {
        const __m128i two = _mm_set1_epi16(2);
        PairSums<W> above = pairSums<W>(src);
        for (int y = 0; y < height; ++y, dst += dstStride) {
            src += srcStride;
            const PairSums<W> below = pairSums<W>(src);
            const __m128i lo =
                _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(above.lo, below.lo), two), 2);
            const __m128i hi =
                _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(above.hi, below.hi), two), 2);
            put<W, Average>(dst, _mm_packus_epi16(lo, hi));
            above = below;
        }
    }
}

template <bool Average, int W> void fillWidth(PredictFn (&fns)[4]) {
    fns[0] = predictSse2<W, 0, Average>;
    fns[1] = predictSse2<W, 1, Average>;
    fns[2] = predictSse2<W, 2, Average>;
    fns[3] = predictSse2<W, 3, Average>;
}

} // namespace

namespace detail {
bool fillPredictSimd(Kernels& k) {
    fillWidth<false, 16>(k.predict[0][0]);
    fillWidth<false, 8>(k.predict[0][1]);
    fillWidth<true, 16>(k.predict[1][0]);
    fillWidth<true, 8>(k.predict[1][1]);
    return true;
}
} // namespace detail

} // namespace mpeg

#else

namespace mpeg::detail {
bool fillPredictSimd(Kernels&) {
    return false;
}
} // namespace mpeg::detail

#endif
