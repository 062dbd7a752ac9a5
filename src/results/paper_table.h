// The loading table as psychology journals print it: variables grouped by
// the factor they load on most, the larger loadings first within a group,
// and loadings below a threshold left blank.
#pragma once

#include <optional>
#include <vector>

namespace talvex {

using Rows = std::vector<std::vector<double>>;

struct PaperTable {
    // Per printed row: the row of the loading matrix, the factor it loads on
    // most (0-based) and its loadings, blank (nullopt) below the threshold.
    std::vector<int> variable;
    std::vector<int> mainFactor;
    std::vector<std::vector<std::optional<double>>> loadings;
};

// Loadings: one row per variable. A variable's main factor is the one with
// the largest absolute loading (the first of equal ones); groups follow the
// factors' order, rows within a group the absolute main loading, larger
// first, ties in the matrix's order. A loading whose absolute value is below
// threshold is blanked.
PaperTable paperTable(const Rows& loadings, double threshold);

}  // namespace talvex
