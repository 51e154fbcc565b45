// The two kernel tables. They differ only in the inverse DCT for now; faster prediction and
// colour kernels go into fastKernels() and are checked against referenceKernels().
#include "media/mpeg/kernels.h"

namespace mpeg {

namespace {
Kernels makeKernels(bool reference) {
    Kernels k{};
    detail::fillIdct(k, reference);
    detail::fillPredict(k);
    detail::fillColour(k);
    return k;
}
} // namespace

const Kernels& referenceKernels() {
    static const Kernels k = makeKernels(true);
    return k;
}

const Kernels& fastKernels() {
    static const Kernels k = makeKernels(false);
    return k;
}

} // namespace mpeg
