// The register tile shared by the blocked cross products: two panels of
// eight packed values per row (element (k, r) of a panel at k·8 + r).
// Inline, so each target clone of a caller gets its own vector width;
// callers switch contraction into fused multiply-adds off, so every clone
// gives the bits of the plain sum.
#pragma once

#include <cstring>

namespace talvex {

constexpr int kTileLanes = 8;
using TileRow = double __attribute__((vector_size(kTileLanes * sizeof(double))));

// tile[r·8 + c] += Σ over k < rows of y[k·8 + r]·x[k·8 + c], adding the
// products in order of k; each row of the tile is one vector accumulator.
inline void addTileProducts(const double* __restrict y, const double* __restrict x, int rows,
                            double* __restrict tile) {
    TileRow acc[kTileLanes];
    std::memcpy(acc, tile, sizeof acc);
    for (int k = 0; k < rows; ++k) {
        TileRow xk;
        std::memcpy(&xk, x + k * kTileLanes, sizeof xk);
        const double* yk = y + k * kTileLanes;
        for (int r = 0; r < kTileLanes; ++r) acc[r] += yk[r] * xk;
    }
    std::memcpy(tile, acc, sizeof acc);
}

}  // namespace talvex
