// Contingency tables of permuted discrete data drawn from their margins.
// When every column of an N x p data set is permuted at random, the K x K
// table of two columns is a uniformly random pairing of the first column's
// categories with the second's: its distribution given the two margins is
// multivariate hypergeometric, whatever N is. It is drawn here row after
// row of the table by conditional hypergeometric draws, in O(K²) instead
// of O(N), and the Pearson and polychoric correlations follow from it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/matrix.h"

namespace talvex {

// A small generator for the table draws (SplitMix64), seeded per pair so
// that the pairs can be drawn on any thread in any order.
class TableRandom {
public:
    TableRandom(std::uint64_t seed, std::uint64_t stream);
    std::uint64_t next();
    double uniform();  // [0, 1), 53 bits

private:
    std::uint64_t state_;
};

// log(k!) for k = 0 .. n.
std::vector<double> logFactorials(int n);

// Number of `good` items among `draws` drawn without replacement from
// good + bad items (inversion from the mode outwards).
int hypergeometricDraw(int good, int bad, int draws, TableRandom& random,
                       const std::vector<double>& logFactorial);

// The K x K counts (row: first column's category, column: second's) of a
// random pairing of the first margin's N categories with the second's.
void permutedTable(const std::vector<int>& first, const std::vector<int>& second, TableRandom& random,
                   const std::vector<double>& logFactorial, std::vector<int>& table);

// The category counts of every column of discrete data (every score an
// integer in [lowest, lowest + categories - 1]); nothing for other data.
struct DiscreteMargins {
    int lowest = 0;
    int categories = 0;
    std::vector<std::vector<int>> counts;  // p x K
};
std::optional<DiscreteMargins> discreteMargins(const Matrix& x, int lowest, int categories);

// Pearson's r of the scores lowest + category from a K x K table; 0 when a
// margin has no variance.
double tablePearson(const std::vector<int>& table, int k);

}  // namespace talvex
