// The two builds of the hot loops. Each vector kernel is written once as an
// always-inlined body and compiled twice: for any x86-64 (SSE2) and for
// AVX2. The AVX2 build runs where the processor has AVX2 and FMA, unless
// TALVEX_KERNELS=portable asks for the other; the choice is made once per
// process. Both builds add the same numbers in the same order and the
// program is compiled without contraction into fused multiply-adds, so they
// give the same bits.
#pragma once

namespace talvex {

enum class KernelPath { Portable, Avx2 };

// Whether the processor can run the AVX2 build.
bool avx2KernelsSupported();

// The build this process runs.
KernelPath kernelPath();

}  // namespace talvex

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TALVEX_AVX2_BUILD 1
#define TALVEX_AVX2 __attribute__((target("avx2,fma")))
#else
#define TALVEX_AVX2_BUILD 0
#define TALVEX_AVX2
#endif
// A kernel body, inlined into each build that calls it.
#define TALVEX_KERNEL_BODY inline __attribute__((always_inline))

namespace talvex {

// Vectors of doubles for the kernel bodies (GCC's vector extension): one
// SSE2 register, and one AVX2 register or two SSE2 ones.
using Vec2 = double __attribute__((vector_size(2 * sizeof(double))));
using Vec4 = double __attribute__((vector_size(4 * sizeof(double))));

}  // namespace talvex
