// Inverse DCT: a separable double-precision reference and a fast integer version (rows, then
// columns over all eight columns at once, 13-bit constants, two guard bits between passes).
// Input coefficients must lie in [-2048, 2047], as inverse quantisation guarantees.
#include "media/mpeg/kernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mpeg {

namespace {

// c(i) cos(i (j + 1/2) pi / 8), c(0) = 1/sqrt(8), c(i) = 1/2.
struct CosineTable {
    double c[8][8];
    CosineTable() {
        const double pi = std::acos(-1.0);
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 8; ++j)
                c[i][j] =
                    (i == 0 ? 1.0 / std::sqrt(8.0) : 0.5) * std::cos(i * (j + 0.5) * pi / 8.0);
    }
};

const CosineTable& cosineTable() {
    static const CosineTable table;
    return table;
}

constexpr int C1 = detail::kIdctC1;
constexpr int C2 = detail::kIdctC2;
constexpr int C3 = detail::kIdctC3;
constexpr int C4 = detail::kIdctC4;
constexpr int C5 = detail::kIdctC5;
constexpr int C6 = detail::kIdctC6;
constexpr int C7 = detail::kIdctC7;

// Rows: out keeps 2 fractional bits.
inline void idctRows(const int16_t* in, int32_t* out) {
    for (int r = 0; r < 8; ++r) {
        const int16_t* x = in + r * 8;
        int32_t* y = out + r * 8;
        uint64_t lo, hi;
        std::memcpy(&lo, x, 8);
        std::memcpy(&hi, x + 4, 8);
        if (((lo & ~uint64_t{0xFFFF}) | hi) == 0) {
            // Only the DC term: a constant row.
            const int32_t v = (x[0] * C4 + (1 << 10)) >> 11;
            for (int i = 0; i < 8; ++i)
                y[i] = v;
            continue;
        }
        const int32_t e0 = (x[0] + x[4]) * C4;
        const int32_t e1 = (x[0] - x[4]) * C4;
        const int32_t e2 = x[2] * C2 + x[6] * C6;
        const int32_t e3 = x[2] * C6 - x[6] * C2;
        const int32_t E0 = e0 + e2 + (1 << 10), E3 = e0 - e2 + (1 << 10);
        const int32_t E1 = e1 + e3 + (1 << 10), E2 = e1 - e3 + (1 << 10);
        const int32_t O0 = x[1] * C1 + x[3] * C3 + x[5] * C5 + x[7] * C7;
        const int32_t O1 = x[1] * C3 - x[3] * C7 - x[5] * C1 - x[7] * C5;
        const int32_t O2 = x[1] * C5 - x[3] * C1 + x[5] * C7 + x[7] * C3;
        const int32_t O3 = x[1] * C7 - x[3] * C5 + x[5] * C3 - x[7] * C1;
        y[0] = (E0 + O0) >> 11;
        y[7] = (E0 - O0) >> 11;
        y[1] = (E1 + O1) >> 11;
        y[6] = (E1 - O1) >> 11;
        y[2] = (E2 + O2) >> 11;
        y[5] = (E2 - O2) >> 11;
        y[3] = (E3 + O3) >> 11;
        y[4] = (E3 - O3) >> 11;
    }
}

// Columns, all eight at once; out in pixel units, unclamped.
inline void idctColumns(const int32_t* in, int32_t* out) {
    constexpr int kShift = 17;
    constexpr int32_t kRound = 1 << (kShift - 1);
    for (int c = 0; c < 8; ++c) {
        const int32_t x0 = in[c], x1 = in[8 + c], x2 = in[16 + c], x3 = in[24 + c];
        const int32_t x4 = in[32 + c], x5 = in[40 + c], x6 = in[48 + c], x7 = in[56 + c];
        const int32_t e0 = (x0 + x4) * C4;
        const int32_t e1 = (x0 - x4) * C4;
        const int32_t e2 = x2 * C2 + x6 * C6;
        const int32_t e3 = x2 * C6 - x6 * C2;
        const int32_t E0 = e0 + e2 + kRound, E3 = e0 - e2 + kRound;
        const int32_t E1 = e1 + e3 + kRound, E2 = e1 - e3 + kRound;
        const int32_t O0 = x1 * C1 + x3 * C3 + x5 * C5 + x7 * C7;
        const int32_t O1 = x1 * C3 - x3 * C7 - x5 * C1 - x7 * C5;
        const int32_t O2 = x1 * C5 - x3 * C1 + x5 * C7 + x7 * C3;
        const int32_t O3 = x1 * C7 - x3 * C5 + x5 * C3 - x7 * C1;
        out[c] = (E0 + O0) >> kShift;
        out[56 + c] = (E0 - O0) >> kShift;
        out[8 + c] = (E1 + O1) >> kShift;
        out[48 + c] = (E1 - O1) >> kShift;
        out[16 + c] = (E2 + O2) >> kShift;
        out[40 + c] = (E2 - O2) >> kShift;
        out[24 + c] = (E3 + O3) >> kShift;
        out[32 + c] = (E3 - O3) >> kShift;
    }
}

inline uint8_t clampPixel(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// Stores (Add = false) or adds the residual to the 8x8 destination, clamped to pixel range.
template <bool Add, typename T>
inline void storeBlock(const T* res, uint8_t* dst, ptrdiff_t stride) {
    for (int r = 0; r < 8; ++r, dst += stride)
        for (int c = 0; c < 8; ++c)
            dst[c] = clampPixel((Add ? dst[c] : 0) + res[r * 8 + c]);
}

MPEG_KERNEL_CLONES
void fastPutLoop(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    alignas(32) int32_t tmp[64];
    alignas(32) int32_t res[64];
    idctRows(block, tmp);
    idctColumns(tmp, res);
    std::memset(block, 0, 64 * sizeof(int16_t));
    storeBlock<false>(res, dst, stride);
}

MPEG_KERNEL_CLONES
void fastAddLoop(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    alignas(32) int32_t tmp[64];
    alignas(32) int32_t res[64];
    idctRows(block, tmp);
    idctColumns(tmp, res);
    std::memset(block, 0, 64 * sizeof(int16_t));
    storeBlock<true>(res, dst, stride);
}

// Plain entry points: the address of a cloned function is not a constant.
void fastPut(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    fastPutLoop(block, dst, stride);
}
void fastAdd(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    fastAddLoop(block, dst, stride);
}

// See DcAndLastTerms.
template <bool Add> void dcAndLastStore(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    const int32_t base = detail::dcAndLastBase(block[0]);
    block[0] = 0;
    block[63] = 0;
    int32_t res[64];
    for (int i = 0; i < 64; ++i)
        res[i] = (base + detail::kDcAndLastTerms.t[i]) >> 17;
    storeBlock<Add>(res, dst, stride);
}

template <bool Add> void referenceStore(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    int16_t res[64];
    idctReference(block, res);
    std::memset(block, 0, 64 * sizeof(int16_t));
    storeBlock<Add>(res, dst, stride);
}

} // namespace

void idctReference(const int16_t* block, int16_t* out) {
    const auto& t = cosineTable().c;
    double tmp[8][8];
    // tmp = F * C (rows), then out = C^T * tmp (columns).
    for (int v = 0; v < 8; ++v)
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int u = 0; u < 8; ++u)
                s += block[v * 8 + u] * t[u][x];
            tmp[v][x] = s;
        }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int v = 0; v < 8; ++v)
                s += t[v][y] * tmp[v][x];
            out[y * 8 + x] = static_cast<int16_t>(std::clamp(std::floor(s + 0.5), -256.0, 255.0));
        }
}

void idctFast(const int16_t* block, int16_t* out) {
    alignas(32) int32_t tmp[64];
    alignas(32) int32_t res[64];
    idctRows(block, tmp);
    idctColumns(tmp, res);
    for (int i = 0; i < 64; ++i)
        out[i] = static_cast<int16_t>(std::clamp(res[i], -256, 255));
}

namespace detail {
void idctPutPlain(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    fastPutLoop(block, dst, stride);
}
void idctAddPlain(int16_t* block, uint8_t* dst, ptrdiff_t stride) {
    fastAddLoop(block, dst, stride);
}

void fillIdct(Kernels& k, bool reference) {
    k.idctPut = reference ? referenceStore<false> : fastPut;
    k.idctAdd = reference ? referenceStore<true> : fastAdd;
    k.idctPutDcAndLast = reference ? referenceStore<false> : dcAndLastStore<false>;
    k.idctAddDcAndLast = reference ? referenceStore<true> : dcAndLastStore<true>;
}
} // namespace detail

} // namespace mpeg
