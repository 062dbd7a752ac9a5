#include "core/kernels.h"

#include <cstdlib>
#include <string_view>

namespace talvex {

bool avx2KernelsSupported() {
#if TALVEX_AVX2_BUILD
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

KernelPath kernelPath() {
    static const KernelPath path = [] {
        const char* forced = std::getenv("TALVEX_KERNELS");
        if (forced != nullptr && std::string_view(forced) == "portable") return KernelPath::Portable;
        return avx2KernelsSupported() ? KernelPath::Avx2 : KernelPath::Portable;
    }();
    return path;
}

}  // namespace talvex
