// SSE2 and AVX2 versions of the integer inverse DCT, bit-identical to the plain one: the same
// constants, rounding and shifts, eight transforms at a time with the products formed by pmaddwd
// in 32-bit lanes. The columns are multiplied in 16 bits, so a block whose row pass leaves the
// 16-bit range (only blocks far outside what streams code) goes through the plain version instead.
#include "media/mpeg/kernels.h"

#if defined(__x86_64__) && defined(__SSE2__)

#include <immintrin.h>

namespace mpeg {

namespace {

using namespace detail;

// The 32-bit lanes of a pmaddwd multiplier: a times the first, b times the second of each pair.
inline __m128i pairOf(int a, int b) {
    return _mm_set1_epi32(
        static_cast<int>((static_cast<uint32_t>(a) & 0xFFFF) | (static_cast<uint32_t>(b) << 16)));
}

inline void transpose(__m128i (&r)[8]) {
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// One-dimensional transform of four lanes of x (x[k]: coefficient k; lanes 4 to 7 when High,
// else 0 to 3) into eight 32-bit results, shifted. Full = false: x[4] to x[7] are zero, and the
// products with them are left out.
template <int Shift, bool Full, bool High>
inline void transform4(const __m128i (&x)[8], __m128i (&out)[8]) {
    auto pairs = [](__m128i a, __m128i b) {
        return High ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b);
    };
    const __m128i round = _mm_set1_epi32(1 << (Shift - 1));
    __m128i E0, E1, E2, E3, O0, O1, O2, O3;
    if constexpr (Full) {
        const __m128i x04 = pairs(x[0], x[4]), x26 = pairs(x[2], x[6]);
        const __m128i x13 = pairs(x[1], x[3]), x57 = pairs(x[5], x[7]);
        const __m128i e0 = _mm_madd_epi16(x04, pairOf(kIdctC4, kIdctC4));
        const __m128i e1 = _mm_madd_epi16(x04, pairOf(kIdctC4, -kIdctC4));
        const __m128i e2 = _mm_madd_epi16(x26, pairOf(kIdctC2, kIdctC6));
        const __m128i e3 = _mm_madd_epi16(x26, pairOf(kIdctC6, -kIdctC2));
        E0 = _mm_add_epi32(_mm_add_epi32(e0, e2), round);
        E3 = _mm_add_epi32(_mm_sub_epi32(e0, e2), round);
        E1 = _mm_add_epi32(_mm_add_epi32(e1, e3), round);
        E2 = _mm_add_epi32(_mm_sub_epi32(e1, e3), round);
        O0 = _mm_add_epi32(_mm_madd_epi16(x13, pairOf(kIdctC1, kIdctC3)),
                           _mm_madd_epi16(x57, pairOf(kIdctC5, kIdctC7)));
        O1 = _mm_add_epi32(_mm_madd_epi16(x13, pairOf(kIdctC3, -kIdctC7)),
                           _mm_madd_epi16(x57, pairOf(-kIdctC1, -kIdctC5)));
        O2 = _mm_add_epi32(_mm_madd_epi16(x13, pairOf(kIdctC5, -kIdctC1)),
                           _mm_madd_epi16(x57, pairOf(kIdctC7, kIdctC3)));
        O3 = _mm_add_epi32(_mm_madd_epi16(x13, pairOf(kIdctC7, -kIdctC5)),
                           _mm_madd_epi16(x57, pairOf(kIdctC3, -kIdctC1)));
    } else {
        const __m128i x02 = pairs(x[0], x[2]), x13 = pairs(x[1], x[3]);
        E0 = _mm_add_epi32(_mm_madd_epi16(x02, pairOf(kIdctC4, kIdctC2)), round);
        E3 = _mm_add_epi32(_mm_madd_epi16(x02, pairOf(kIdctC4, -kIdctC2)), round);
        E1 = _mm_add_epi32(_mm_madd_epi16(x02, pairOf(kIdctC4, kIdctC6)), round);
        E2 = _mm_add_epi32(_mm_madd_epi16(x02, pairOf(kIdctC4, -kIdctC6)), round);
        O0 = _mm_madd_epi16(x13, pairOf(kIdctC1, kIdctC3));
        O1 = _mm_madd_epi16(x13, pairOf(kIdctC3, -kIdctC7));
        O2 = _mm_madd_epi16(x13, pairOf(kIdctC5, -kIdctC1));
        O3 = _mm_madd_epi16(x13, pairOf(kIdctC7, -kIdctC5));
    }
    out[0] = _mm_srai_epi32(_mm_add_epi32(E0, O0), Shift);
    out[7] = _mm_srai_epi32(_mm_sub_epi32(E0, O0), Shift);
    out[1] = _mm_srai_epi32(_mm_add_epi32(E1, O1), Shift);
    out[6] = _mm_srai_epi32(_mm_sub_epi32(E1, O1), Shift);
    out[2] = _mm_srai_epi32(_mm_add_epi32(E2, O2), Shift);
    out[5] = _mm_srai_epi32(_mm_sub_epi32(E2, O2), Shift);
    out[3] = _mm_srai_epi32(_mm_add_epi32(E3, O3), Shift);
    out[4] = _mm_srai_epi32(_mm_sub_epi32(E3, O3), Shift);
}

// Transforms the eight lanes of x into y, packed to 16 bits. HighLanes = false: lanes 4 to 7 of
// x are zero, and so are those of y (a transform of zeros rounds to zero). Returns false when a
// result does not fit 16 bits (CheckRange only).
template <int Shift, bool Full, bool HighLanes, bool CheckRange>
inline bool transform8(const __m128i (&x)[8], __m128i (&y)[8]) {
    __m128i lo[8], hi[8];
    transform4<Shift, Full, false>(x, lo);
    if constexpr (HighLanes)
        transform4<Shift, Full, true>(x, hi);
    if constexpr (CheckRange) {
        // v fits 16 bits when v + 2^15 lies in [0, 2^16).
        const __m128i bias = _mm_set1_epi32(0x8000);
        __m128i any = _mm_setzero_si128();
        for (int i = 0; i < 8; ++i) {
            any = _mm_or_si128(any, _mm_add_epi32(lo[i], bias));
            if constexpr (HighLanes)
                any = _mm_or_si128(any, _mm_add_epi32(hi[i], bias));
        }
        any = _mm_srli_epi32(any, 16);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) != 0xFFFF)
            return false;
    }
    for (int i = 0; i < 8; ++i)
        y[i] = _mm_packs_epi32(lo[i], HighLanes ? hi[i] : _mm_setzero_si128());
    return true;
}

// HighRows, HighColumns: whether coefficient rows / columns 4 to 7 may be nonzero.
template <bool HighRows, bool HighColumns>
inline bool transformBlock(__m128i (&x)[8], __m128i (&rows)[8]) {
    transpose(x); // x[k]: coefficient k of every row
    __m128i t[8];
    if (!transform8<11, HighColumns, HighRows, true>(x, t))
        return false;
    transpose(t); // t[r]: row r of the intermediate, lanes the columns
    transform8<17, HighRows, true, false>(t, rows);
    return true;
}

// Loads a block; tells whether coefficient rows / columns 4 to 7 hold anything.
inline void loadBlock(const int16_t* block, __m128i (&x)[8], bool& highRows, bool& highColumns) {
    for (int i = 0; i < 8; ++i)
        x[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_or_si128(_mm_or_si128(x[0], x[1]), _mm_or_si128(x[2], x[3]));
    const __m128i high = _mm_or_si128(_mm_or_si128(x[4], x[5]), _mm_or_si128(x[6], x[7]));
    highRows = _mm_movemask_epi8(_mm_cmpeq_epi16(high, zero)) != 0xFFFF;
    highColumns =
        (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_or_si128(low, high), zero)) & 0xFF00) != 0xFF00;
}

// Written out store by store: as a loop the compiler makes it a memset, which becomes a string
// store whose start-up costs more than the 128 bytes.
inline void clearBlock(int16_t* block) {
    __m128i* b = reinterpret_cast<__m128i*>(block);
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(b + 0, zero);
    _mm_storeu_si128(b + 1, zero);
    _mm_storeu_si128(b + 2, zero);
    _mm_storeu_si128(b + 3, zero);
    _mm_storeu_si128(b + 4, zero);
    _mm_storeu_si128(b + 5, zero);
    _mm_storeu_si128(b + 6, zero);
    _mm_storeu_si128(b + 7, zero);
}

inline void putRows(const __m128i (&rows)[8], uint8_t* dst, ptrdiff_t stride) {
    for (int r = 0; r < 8; ++r, dst += stride)
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(rows[r], rows[r]));
}

inline void addRows(const __m128i (&rows)[8], uint8_t* dst, ptrdiff_t stride) {
    const __m128i zero = _mm_setzero_si128();
    for (int r = 0; r < 8; ++r, dst += stride) {
        const __m128i d =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst)), zero);
        const __m128i s = _mm_add_epi16(d, rows[r]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(s, s));
    }
}

// Residual rows of the block, or false when it needs the plain transform. Clears the block.
inline bool idctRowsOut(int16_t* block, __m128i (&rows)[8]) {
    __m128i x[8];
    bool highRows, highColumns;
    loadBlock(block, x, highRows, highColumns);
    bool ok;
    if (highRows)
        ok = highColumns ? transformBlock<true, true>(x, rows)
                         : transformBlock<true, false>(x, rows);
    else
        ok = highColumns ? transformBlock<false, true>(x, rows)
                         : transformBlock<false, false>(x, rows);
    if (ok)
        clearBlock(block);
    return ok;
}

// See DcAndLastTerms.
template <bool Add> void dcAndLastSse2(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    const __m128i base = _mm_set1_epi32(dcAndLastBase(block[0]));
    block[0] = 0;
    block[63] = 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i* terms = reinterpret_cast<const __m128i*>(kDcAndLastTerms.t);
    for (int r = 0; r < 8; ++r, dst += stride) {
        const __m128i lo = _mm_srai_epi32(_mm_add_epi32(base, _mm_load_si128(terms + 2 * r)), 17);
        const __m128i hi =
            _mm_srai_epi32(_mm_add_epi32(base, _mm_load_si128(terms + 2 * r + 1)), 17);
        __m128i row = _mm_packs_epi32(lo, hi);
        if constexpr (Add)
            row = _mm_add_epi16(
                row,
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst)), zero));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(row, row));
    }
}

void idctPutSse2(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    __m128i rows[8];
    if (idctRowsOut(block, rows))
        putRows(rows, dst, stride);
    else
        idctPutPlain(block, dst, stride);
}

void idctAddSse2(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    __m128i rows[8];
    if (idctRowsOut(block, rows))
        addRows(rows, dst, stride);
    else
        idctAddPlain(block, dst, stride);
}

// AVX2: every block transforms all eight lanes of a pass in one 256-bit register (lanes 0 to 3
// in the low half, 4 to 7 in the high half), with no 128-bit transposes; even with rows 4 to 7
// empty that beats the SSE2 way, which skips them. With those rows empty the column pass leaves
// out the products with them.
#define MPEG_AVX2 __attribute__((target("avx2")))

MPEG_AVX2 inline __m256i pairOf256(int a, int b) {
    return _mm256_set1_epi32(
        static_cast<int>((static_cast<uint32_t>(a) & 0xFFFF) | (static_cast<uint32_t>(b) << 16)));
}

// The one-dimensional transform of eight lanes, from the input pairs (0, 4), (2, 6), (1, 3) and
// (5, 7), each register holding the 16-bit pairs (a, b) of lanes 0 to 3 in its low half and of
// lanes 4 to 7 in its high half. Not Full: inputs 4 to 7 are zero, x04 holds the pairs (0, 2)
// and x26, x57 are unused.
template <int Shift, bool Full>
MPEG_AVX2 inline void transformPairsAvx2(__m256i x04, __m256i x26, __m256i x13, __m256i x57,
                                         __m256i (&out)[8]) {
    const __m256i round = _mm256_set1_epi32(1 << (Shift - 1));
    __m256i E0, E1, E2, E3, O0, O1, O2, O3;
    if constexpr (Full) {
        const __m256i e0 = _mm256_madd_epi16(x04, pairOf256(kIdctC4, kIdctC4));
        const __m256i e1 = _mm256_madd_epi16(x04, pairOf256(kIdctC4, -kIdctC4));
        const __m256i e2 = _mm256_madd_epi16(x26, pairOf256(kIdctC2, kIdctC6));
        const __m256i e3 = _mm256_madd_epi16(x26, pairOf256(kIdctC6, -kIdctC2));
        E0 = _mm256_add_epi32(_mm256_add_epi32(e0, e2), round);
        E3 = _mm256_add_epi32(_mm256_sub_epi32(e0, e2), round);
        E1 = _mm256_add_epi32(_mm256_add_epi32(e1, e3), round);
        E2 = _mm256_add_epi32(_mm256_sub_epi32(e1, e3), round);
        O0 = _mm256_add_epi32(_mm256_madd_epi16(x13, pairOf256(kIdctC1, kIdctC3)),
                              _mm256_madd_epi16(x57, pairOf256(kIdctC5, kIdctC7)));
        O1 = _mm256_add_epi32(_mm256_madd_epi16(x13, pairOf256(kIdctC3, -kIdctC7)),
                              _mm256_madd_epi16(x57, pairOf256(-kIdctC1, -kIdctC5)));
        O2 = _mm256_add_epi32(_mm256_madd_epi16(x13, pairOf256(kIdctC5, -kIdctC1)),
                              _mm256_madd_epi16(x57, pairOf256(kIdctC7, kIdctC3)));
        O3 = _mm256_add_epi32(_mm256_madd_epi16(x13, pairOf256(kIdctC7, -kIdctC5)),
                              _mm256_madd_epi16(x57, pairOf256(kIdctC3, -kIdctC1)));
    } else { // x04 holds inputs 0 and 2 here
        const __m256i x02 = x04;
        E0 = _mm256_add_epi32(_mm256_madd_epi16(x02, pairOf256(kIdctC4, kIdctC2)), round);
        E3 = _mm256_add_epi32(_mm256_madd_epi16(x02, pairOf256(kIdctC4, -kIdctC2)), round);
        E1 = _mm256_add_epi32(_mm256_madd_epi16(x02, pairOf256(kIdctC4, kIdctC6)), round);
        E2 = _mm256_add_epi32(_mm256_madd_epi16(x02, pairOf256(kIdctC4, -kIdctC6)), round);
        O0 = _mm256_madd_epi16(x13, pairOf256(kIdctC1, kIdctC3));
        O1 = _mm256_madd_epi16(x13, pairOf256(kIdctC3, -kIdctC7));
        O2 = _mm256_madd_epi16(x13, pairOf256(kIdctC5, -kIdctC1));
        O3 = _mm256_madd_epi16(x13, pairOf256(kIdctC7, -kIdctC5));
    }
    out[0] = _mm256_srai_epi32(_mm256_add_epi32(E0, O0), Shift);
    out[7] = _mm256_srai_epi32(_mm256_sub_epi32(E0, O0), Shift);
    out[1] = _mm256_srai_epi32(_mm256_add_epi32(E1, O1), Shift);
    out[6] = _mm256_srai_epi32(_mm256_sub_epi32(E1, O1), Shift);
    out[2] = _mm256_srai_epi32(_mm256_add_epi32(E2, O2), Shift);
    out[5] = _mm256_srai_epi32(_mm256_sub_epi32(E2, O2), Shift);
    out[3] = _mm256_srai_epi32(_mm256_add_epi32(E3, O3), Shift);
    out[4] = _mm256_srai_epi32(_mm256_sub_epi32(E3, O3), Shift);
}

// v holds row a in its low half and row b in its high half: the pairs of a and b as
// transformPairsAvx2 takes them.
MPEG_AVX2 inline __m256i rowPairs(__m256i v) {
    const __m256i interleave =
        _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9, 2, 3, 10,
                         11, 4, 5, 12, 13, 6, 7, 14, 15);
    return _mm256_shuffle_epi8(_mm256_permute4x64_epi64(v, 0xD8), interleave);
}

// A block; HighRows and HighColumns as in transformBlock. The result goes to
// out[k] as rows 2k (low half) and 2k + 1 (high half), 16 bits a sample.
template <bool HighRows, bool HighColumns>
MPEG_AVX2 inline bool transformBlockAvx2(const __m128i (&x)[8], __m256i (&out)[4]) {
    // The row pass's input pairs straight from the rows: rows r and r + 4 side by side, each
    // row's coefficients shuffled into the pairs (0, 4), (2, 6), (1, 3), (5, 7) (HighColumns) or
    // (0, 2), (1, 3), and the 32-bit pairs transposed within the halves.
    const __m256i order =
        HighColumns ? _mm256_setr_epi8(0, 1, 8, 9, 4, 5, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15, 0, 1,
                                       8, 9, 4, 5, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15)
                    : _mm256_setr_epi8(0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1,
                                       4, 5, 2, 3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m256i y[4];
    for (int r = 0; r < 4; ++r)
        y[r] = _mm256_shuffle_epi8(_mm256_set_m128i(x[r + 4], x[r]), order);
    const __m256i u0 = _mm256_unpacklo_epi32(y[0], y[1]), u1 = _mm256_unpacklo_epi32(y[2], y[3]);
    const __m256i u2 = _mm256_unpackhi_epi32(y[0], y[1]), u3 = _mm256_unpackhi_epi32(y[2], y[3]);
    const __m256i first = _mm256_unpacklo_epi64(u0, u1), second = _mm256_unpackhi_epi64(u0, u1);
    const __m256i third = _mm256_unpacklo_epi64(u2, u3), fourth = _mm256_unpackhi_epi64(u2, u3);
    __m256i o[8];
    if constexpr (HighColumns)
        transformPairsAvx2<11, true>(first, second, third, fourth, o);
    else
        transformPairsAvx2<11, false>(first, _mm256_setzero_si256(), second, _mm256_setzero_si256(),
                                      o);
    // v fits 16 bits when v + 2^15 lies in [0, 2^16).
    const __m256i bias = _mm256_set1_epi32(0x8000);
    __m256i any = _mm256_setzero_si256();
    for (int i = 0; i < 8; ++i)
        any = _mm256_or_si256(any, _mm256_add_epi32(o[i], bias));
    any = _mm256_srli_epi32(any, 16);
    if (!_mm256_testz_si256(any, any))
        return false;
    // o[n]: output n of rows 0 to 3 (low half) and 4 to 7 (high half). Packed two outputs to a
    // register and transposed within the halves into rows r and r + 4 side by side.
    const __m256i p01 = _mm256_packs_epi32(o[0], o[1]), p23 = _mm256_packs_epi32(o[2], o[3]);
    const __m256i p45 = _mm256_packs_epi32(o[4], o[5]), p67 = _mm256_packs_epi32(o[6], o[7]);
    const __m256i a = _mm256_unpacklo_epi16(p01, p23), b = _mm256_unpackhi_epi16(p01, p23);
    const __m256i c = _mm256_unpacklo_epi16(p45, p67), d = _mm256_unpackhi_epi16(p45, p67);
    const __m256i ab0 = _mm256_unpacklo_epi16(a, b), ab1 = _mm256_unpackhi_epi16(a, b);
    const __m256i cd0 = _mm256_unpacklo_epi16(c, d), cd1 = _mm256_unpackhi_epi16(c, d);
    const __m256i rows04 = _mm256_unpacklo_epi64(ab0, cd0);
    const __m256i rows15 = _mm256_unpackhi_epi64(ab0, cd0);
    const __m256i rows26 = _mm256_unpacklo_epi64(ab1, cd1);
    const __m256i rows37 = _mm256_unpackhi_epi64(ab1, cd1);
    if constexpr (HighRows)
        transformPairsAvx2<17, true>(rowPairs(rows04), rowPairs(rows26),
                                     rowPairs(_mm256_permute2x128_si256(rows15, rows37, 0x20)),
                                     rowPairs(_mm256_permute2x128_si256(rows15, rows37, 0x31)), o);
    else // rows 4 to 7 of the intermediate are zero: the pairs (0, 2) and (1, 3) only
        transformPairsAvx2<17, false>(
            rowPairs(_mm256_permute2x128_si256(rows04, rows26, 0x20)), _mm256_setzero_si256(),
            rowPairs(_mm256_permute2x128_si256(rows15, rows37, 0x20)), _mm256_setzero_si256(), o);
    // o[r]: row r, columns 0 to 3 in the low half and 4 to 7 in the high half.
    for (int k = 0; k < 4; ++k)
        out[k] = _mm256_permute4x64_epi64(_mm256_packs_epi32(o[2 * k], o[2 * k + 1]), 0xD8);
    return true;
}

// Eight samples of rows 0 and 1 of p, 16 bits each, in the low and the high half.
MPEG_AVX2 inline __m256i twoRowsOfPixels(const uint8_t* p, ptrdiff_t stride) {
    const __m128i row0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    const __m128i row1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + stride));
    return _mm256_cvtepu8_epi16(_mm_unpacklo_epi64(row0, row1));
}

// Stores (Add: adds to dst) rows 0 to 3 from a and b as transformBlockAvx2 leaves them.
template <bool Add>
MPEG_AVX2 inline void storeFourRows(__m256i a, __m256i b, uint8_t* dst, ptrdiff_t stride) {
    if constexpr (Add) {
        a = _mm256_add_epi16(a, twoRowsOfPixels(dst, stride));
        b = _mm256_add_epi16(b, twoRowsOfPixels(dst + 2 * stride, stride));
    }
    // Halves: rows 0 and 2, rows 1 and 3.
    const __m256i p = _mm256_packus_epi16(a, b);
    const __m128i rows02 = _mm256_castsi256_si128(p), rows13 = _mm256_extracti128_si256(p, 1);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), rows02);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + stride), rows13);
    // The high halves through the unaligned 64-bit store: rows need not be 8-byte aligned.
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 2 * stride),
                     _mm_unpackhi_epi64(rows02, rows02));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 3 * stride),
                     _mm_unpackhi_epi64(rows13, rows13));
}

template <bool Add> MPEG_AVX2 inline void idctAvx2(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    __m128i x[8];
    bool highRows, highColumns;
    loadBlock(block, x, highRows, highColumns);
    __m256i pairs[4];
    const bool ok = highRows ? (highColumns ? transformBlockAvx2<true, true>(x, pairs)
                                            : transformBlockAvx2<true, false>(x, pairs))
                             : (highColumns ? transformBlockAvx2<false, true>(x, pairs)
                                            : transformBlockAvx2<false, false>(x, pairs));
    if (!ok) {
        (Add ? idctAddPlain : idctPutPlain)(block, dst, stride);
        return;
    }
    clearBlock(block);
    storeFourRows<Add>(pairs[0], pairs[1], dst, stride);
    storeFourRows<Add>(pairs[2], pairs[3], dst + 4 * stride, stride);
}

MPEG_AVX2 void idctPutAvx2(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    idctAvx2<false>(block, dst, stride);
}

MPEG_AVX2 void idctAddAvx2(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    idctAvx2<true>(block, dst, stride);
}

} // namespace

namespace detail {
bool fillIdctSimd(Kernels& k, bool avx2) {
    k.idctPut = avx2 ? idctPutAvx2 : idctPutSse2;
    k.idctAdd = avx2 ? idctAddAvx2 : idctAddSse2;
    k.idctPutDcAndLast = dcAndLastSse2<false>;
    k.idctAddDcAndLast = dcAndLastSse2<true>;
    return true;
}
} // namespace detail

} // namespace mpeg

#else

namespace mpeg::detail {
bool fillIdctSimd(Kernels&, bool) {
    return false;
}
} // namespace mpeg::detail

#endif
