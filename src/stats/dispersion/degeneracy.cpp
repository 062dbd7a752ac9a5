#include "stats/dispersion/degeneracy.h"

#include <cmath>

namespace talvex {

std::vector<int> constantColumns(const Matrix& x) {
    std::vector<int> columns;
    for (int j = 0; j < x.cols(); ++j) {
        bool constant = true;
        for (int i = 1; i < x.rows() && constant; ++i) constant = x[i][j] == x[0][j];
        if (constant) columns.push_back(j);
    }
    return columns;
}

std::vector<int> nonPositiveVariances(const Matrix& s) {
    std::vector<int> variables;
    for (int i = 0; i < s.rows(); ++i)
        if (!(s[i][i] > 0) || !std::isfinite(s[i][i])) variables.push_back(i);
    return variables;
}

std::vector<int> linearlyDependentVariables(const Matrix& correlation) {
    const int m = correlation.rows();
    std::vector<int> variables;
    if (m == 0) return variables;
    MatrixScope scope;
    Matrix values(m, 1), vectors(m, m);
    correlation.eigenSymmetric(values, vectors);
    std::vector<bool> involved(static_cast<std::size_t>(m), false);
    // Eigenvalues descend: the singular directions are the last columns.
    for (int k = m - 1; k >= 0 && !(values[k][0] >= kSingularEigenvalue); --k)
        for (int i = 0; i < m; ++i)
            if (!(std::fabs(vectors[i][k]) < 0.001)) involved[static_cast<std::size_t>(i)] = true;
    for (int i = 0; i < m; ++i)
        if (involved[static_cast<std::size_t>(i)]) variables.push_back(i);
    return variables;
}

std::optional<std::pair<int, int>> pairAtOrBeyondOne(const Matrix& correlation) {
    for (int i = 0; i < correlation.rows(); ++i)
        for (int j = i + 1; j < correlation.cols(); ++j)
            if (!(std::fabs(correlation[i][j]) < kUnitCorrelation)) return std::make_pair(i, j);
    return std::nullopt;
}

}  // namespace talvex
