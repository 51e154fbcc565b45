// The kernel tables: reference (double-precision IDCT), plain and SIMD. The SIMD table starts as
// a copy of the plain one and each kernel file replaces the entries it has for this processor.
#include "media/mpeg/kernels.h"

#include <cstdlib>
#include <cstring>

namespace mpeg {

namespace {

Kernels makePlain(bool reference) {
    Kernels k{};
    detail::fillIdct(k, reference);
    detail::fillPredict(k);
    detail::fillColour(k);
    return k;
}

struct SimdTable {
    Kernels kernels;
    bool any = false;
    bool avx2 = false;
    explicit SimdTable(bool allowAvx2) : kernels(makePlain(false)) {
        avx2 = allowAvx2 && detail::cpuHasAvx2();
        any = detail::fillIdctSimd(kernels, avx2);
        any = detail::fillPredictSimd(kernels) || any;
        any = detail::fillColourSimd(kernels, avx2) || any;
        avx2 = avx2 && any;
    }
};

const SimdTable& simdTable() {
    static const SimdTable t(true);
    return t;
}

bool plainForcedByEnvironment() {
    const char* v = std::getenv("MPEG_PLAIN_KERNELS");
    return v && *v && std::strcmp(v, "0") != 0;
}

} // namespace

const Kernels& referenceKernels() {
    static const Kernels k = makePlain(true);
    return k;
}

const Kernels& plainKernels() {
    static const Kernels k = makePlain(false);
    return k;
}

const Kernels& simdKernels() {
    return simdTable().any ? simdTable().kernels : plainKernels();
}

const Kernels& simdKernelsWithoutAvx2() {
    static const SimdTable t(false);
    return t.any ? t.kernels : plainKernels();
}

const Kernels& fastKernels() {
    static const bool plain = plainForcedByEnvironment();
    return plain ? plainKernels() : simdKernels();
}

bool haveSimdKernels() {
    return simdTable().any;
}

bool haveAvx2Kernels() {
    return simdTable().avx2;
}

} // namespace mpeg
