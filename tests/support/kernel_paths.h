// The builds of the vector kernels a test can run here.
#pragma once

#include <vector>

#include "core/kernels.h"

namespace talvex::testing {

// The portable build, and the AVX2 one when this processor can run it.
inline std::vector<KernelPath> kernelPathsHere() {
    if (avx2KernelsSupported()) return {KernelPath::Portable, KernelPath::Avx2};
    return {KernelPath::Portable};
}

}  // namespace talvex::testing
