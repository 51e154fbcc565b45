// Motion-compensated prediction kernels: copy or average a 16- or 8-wide block at full or half
// sample positions. Widths are compile-time so the inner loops have no per-pixel branches.
#include "media/mpeg/kernels.h"

namespace mpeg {

namespace {

template <int W, int HalfPel, bool Average>
MPEG_KERNEL_CLONES void predictLoop(uint8_t* dst, const uint8_t* src, ptrdiff_t dstStride,
                                    ptrdiff_t srcStride, int height) {
    for (int y = 0; y < height; ++y, dst += dstStride, src += srcStride) {
        for (int x = 0; x < W; ++x) {
            unsigned p;
            if constexpr (HalfPel == 0)
                p = src[x];
            else if constexpr (HalfPel == 1)
                p = (src[x] + src[x + 1] + 1u) >> 1;
            else if constexpr (HalfPel == 2)
                p = (src[x] + src[x + srcStride] + 1u) >> 1;
            else
                p = (src[x] + src[x + 1] + src[x + srcStride] + src[x + srcStride + 1] + 2u) >> 2;
            if constexpr (Average)
                p = (dst[x] + p + 1u) >> 1;
            dst[x] = static_cast<uint8_t>(p);
        }
    }
}

// Plain entry point: the address of a cloned function is not a constant.
template <int W, int HalfPel, bool Average>
void predict(uint8_t* dst, const uint8_t* src, ptrdiff_t dstStride, ptrdiff_t srcStride,
             int height) {
    predictLoop<W, HalfPel, Average>(dst, src, dstStride, srcStride, height);
}

template <bool Average, int W> void fillWidth(PredictFn (&fns)[4]) {
    fns[0] = predict<W, 0, Average>;
    fns[1] = predict<W, 1, Average>;
    fns[2] = predict<W, 2, Average>;
    fns[3] = predict<W, 3, Average>;
}

} // namespace

namespace detail {
void fillPredict(Kernels& k) {
    fillWidth<false, 16>(k.predict[0][0]);
    fillWidth<false, 8>(k.predict[0][1]);
    fillWidth<true, 16>(k.predict[1][0]);
    fillWidth<true, 8>(k.predict[1][1]);
}
} // namespace detail

} // namespace mpeg
