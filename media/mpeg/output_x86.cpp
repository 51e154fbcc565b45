// SIMD output stage (placeholder).
#include "media/mpeg/kernels.h"

namespace mpeg::detail {
bool cpuHasAvx2() {
#if defined(__x86_64__) && defined(__GNUC__)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}
bool fillColourSimd(Kernels&, bool) {
    return false;
}
} // namespace mpeg::detail
