// OpenBLAS picks its kernels by processor when it loads, and kernels of
// other vector widths sum in other orders: the last bits move, and with them
// the sign of a printed zero, an iteration count or a near tie. Every
// processor with AVX2 and FMA runs the AVX2 kernels, so that they all print
// the same report; a kernel chosen in the environment stands. OpenBLAS reads
// the variable only when it loads: the program starts itself again
// (main.cpp), the shared library sets it before its own copy loads.
#pragma once

#include <cstdlib>

namespace talvex {

inline constexpr const char* kPinnedBlasCore = "Haswell";

// Sets OPENBLAS_CORETYPE to the pinned kernels; false when it was set
// already, the processor lacks AVX2 or FMA, or the environment refused.
inline bool pinBlasCoreType() {
    if (std::getenv("OPENBLAS_CORETYPE") != nullptr) return false;
    // Called from a library's constructor, possibly before the one that
    // reads the processor's features: read them here.
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) return false;
    return setenv("OPENBLAS_CORETYPE", kPinnedBlasCore, 1) == 0;
}

}  // namespace talvex
