// Inverse quantisation of one coefficient and the mismatch control of a block, for MPEG-1 and
// MPEG-2. Inline, because the coefficient loop calls it for every coefficient; it does not scan
// or store coefficients.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace mpeg {

constexpr int kCoefficientMin = -2048;
constexpr int kCoefficientMax = 2047;

// level: the signed quantised value; weight: the matrix entry; quantiser_scale in MPEG-2 units
// (twice quantiser_scale_code for linear scales, also for MPEG-1).
template <bool Intra, bool Mpeg2>
inline int dequantise(int level, int weight, int quantiser_scale) {
    const int magnitude = std::abs(level);
    int val = Intra ? (magnitude * weight * quantiser_scale) >> 4
                    : ((2 * magnitude + 1) * weight * quantiser_scale) >> 5;
    if constexpr (!Mpeg2) {
        if (val != 0 && (val & 1) == 0)
            val -= 1; // MPEG-1 mismatch control: every coefficient odd
    }
    return level < 0 ? -std::min(val, -kCoefficientMin) : std::min(val, kCoefficientMax);
}

// The same for a level given as magnitude and sign (negative: 0 or 1), without branches on the
// sign, which is as good as random in real streams; scaledWeight is weight * quantiser_scale.
template <bool Intra, bool Mpeg2>
inline int dequantiseSigned(int magnitude, int negative, int scaledWeight) {
    int val = Intra ? (magnitude * scaledWeight) >> 4 : ((2 * magnitude + 1) * scaledWeight) >> 5;
    if constexpr (!Mpeg2)
        val = val ? (val - 1) | 1 : 0; // MPEG-1 mismatch control: every coefficient odd
    val = std::min(val, kCoefficientMax + negative);
    return (val ^ -negative) + negative;
}

// The arithmetic of inverse quantisation alone, for SNR scalability, where the coefficients of
// both layers are summed before saturation and mismatch control. MPEG-1 has no such split: its
// coefficients are made odd and saturated one by one.
template <bool Intra, bool Mpeg2>
inline int dequantiseArithmetic(int level, int weight, int quantiser_scale) {
    if constexpr (!Mpeg2)
        return dequantise<Intra, Mpeg2>(level, weight, quantiser_scale);
    const int magnitude = std::abs(level);
    const int val = Intra ? (magnitude * weight * quantiser_scale) >> 4
                          : ((2 * magnitude + 1) * weight * quantiser_scale) >> 5;
    return level < 0 ? -val : val;
}

// dequantiseArithmetic for a level given as magnitude and sign, scaledWeight as above.
template <bool Intra, bool Mpeg2>
inline int dequantiseArithmeticSigned(int magnitude, int negative, int scaledWeight) {
    if constexpr (!Mpeg2)
        return dequantiseSigned<Intra, Mpeg2>(magnitude, negative, scaledWeight);
    const int val =
        Intra ? (magnitude * scaledWeight) >> 4 : ((2 * magnitude + 1) * scaledWeight) >> 5;
    return negative ? -val : val;
}

// Saturation and MPEG-2 mismatch control of a sum of two layers' coefficients, into block.
inline void saturateSum(const int32_t* sum, int16_t* block) {
    int total = 0;
    for (int k = 0; k < 64; ++k) {
        const int v = std::clamp(sum[k], kCoefficientMin, kCoefficientMax);
        block[k] = static_cast<int16_t>(v);
        total += v;
    }
    if ((total & 1) == 0)
        block[63] ^= 1;
}

// MPEG-2 mismatch control: an even sum of all coefficients toggles the last one. Returns
// whether the block changed.
inline bool mismatchControl(int sum, int16_t* block) {
    if (sum & 1)
        return false;
    block[63] ^= 1;
    return true;
}

} // namespace mpeg
