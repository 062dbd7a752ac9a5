// The register tile shared by the blocked cross products: two panels of
// eight packed values per row (element (k, r) of a panel at k·8 + r).
// Inlined into each build of its callers (core/kernels.h), with the vector
// width of that build.
#pragma once

#include <cstring>

#include "core/kernels.h"

namespace talvex {

constexpr int kTileLanes = 8;

// How a build holds the tile: `kRows` rows of it per pass over the k rows,
// each row in 8 / lanes vectors, as many accumulators as the build has
// registers for (16 of them: 2 doubles wide in the portable build, 4 with
// AVX2). The shape does not change any sum.
struct PortableTile {
    using Vec = Vec2;
    static constexpr int kRows = 2;
};
struct Avx2Tile {
    using Vec = Vec4;
    static constexpr int kRows = 4;
};

// tile[r·8 + c] += Σ over k < rows of y[k·8 + r]·x[k·8 + c], the products
// added onto the tile in order of k.
template <class Shape>
TALVEX_KERNEL_BODY void addTileProducts(const double* __restrict y, const double* __restrict x, int rows,
                                        double* __restrict tile) {
    using Vec = typename Shape::Vec;
    constexpr int kWidth = sizeof(Vec) / sizeof(double);
    constexpr int kParts = kTileLanes / kWidth;
    // One vector at a time: a copy of a whole array goes through memory.
    const auto load = [](Vec& v, const double* from) { std::memcpy(&v, from, sizeof v); };
    for (int first = 0; first < kTileLanes; first += Shape::kRows) {
        double* out = tile + first * kTileLanes;
        Vec acc[Shape::kRows][kParts];
        for (int r = 0; r < Shape::kRows; ++r)
            for (int q = 0; q < kParts; ++q) load(acc[r][q], out + r * kTileLanes + q * kWidth);
        for (int k = 0; k < rows; ++k) {
            Vec xk[kParts];
            for (int q = 0; q < kParts; ++q) load(xk[q], x + k * kTileLanes + q * kWidth);
            const double* yk = y + k * kTileLanes + first;
            for (int r = 0; r < Shape::kRows; ++r)
                for (int q = 0; q < kParts; ++q) acc[r][q] += yk[r] * xk[q];
        }
        for (int r = 0; r < Shape::kRows; ++r)
            for (int q = 0; q < kParts; ++q) std::memcpy(out + r * kTileLanes + q * kWidth, &acc[r][q], sizeof(Vec));
    }
}

}  // namespace talvex
