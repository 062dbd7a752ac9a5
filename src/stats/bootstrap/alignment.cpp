#include "stats/bootstrap/alignment.h"

#include <cmath>
#include <limits>

namespace talvex {

Matrix congruenceMatrix(const Matrix& a, const Matrix& b) {
    const int p = a.rows();
    Matrix c(a.cols(), b.cols());
    for (int r = 0; r < a.cols(); ++r)
        for (int s = 0; s < b.cols(); ++s) {
            double ab = 0.0, aa = 0.0, bb = 0.0;
            for (int i = 0; i < p; ++i) {
                ab += a[i][r] * b[i][s];
                aa += a[i][r] * a[i][r];
                bb += b[i][s] * b[i][s];
            }
            c[r][s] = aa > 0.0 && bb > 0.0 ? ab / std::sqrt(aa * bb) : 0.0;
        }
    return c;
}

std::vector<int> bestAssignment(const Matrix& scores) {
    // Shortest augmenting paths with row and column potentials on the cost
    // -score; rows and columns are numbered from 1, column 0 is the free
    // end of the path being grown.
    const int k = scores.rows();
    const double infinity = std::numeric_limits<double>::infinity();
    std::vector<double> rowPotential(k + 1, 0.0), columnPotential(k + 1, 0.0);
    std::vector<int> rowOfColumn(k + 1, 0), previous(k + 1, 0);
    for (int row = 1; row <= k; ++row) {
        rowOfColumn[0] = row;
        int column = 0;
        std::vector<double> slack(k + 1, infinity);
        std::vector<bool> reached(k + 1, false);
        do {
            reached[column] = true;
            const int from = rowOfColumn[column];
            double step = infinity;
            int next = 0;
            for (int j = 1; j <= k; ++j) {
                if (reached[j]) continue;
                const double reduced =
                    -scores[from - 1][j - 1] - rowPotential[from] - columnPotential[j];
                if (reduced < slack[j]) {
                    slack[j] = reduced;
                    previous[j] = column;
                }
                if (slack[j] < step) {
                    step = slack[j];
                    next = j;
                }
            }
            for (int j = 0; j <= k; ++j) {
                if (reached[j]) {
                    rowPotential[rowOfColumn[j]] += step;
                    columnPotential[j] -= step;
                } else {
                    slack[j] -= step;
                }
            }
            column = next;
        } while (rowOfColumn[column] != 0);
        while (column != 0) {
            const int back = previous[column];
            rowOfColumn[column] = rowOfColumn[back];
            column = back;
        }
    }
    std::vector<int> assignment(static_cast<std::size_t>(k), 0);
    for (int j = 1; j <= k; ++j) assignment[static_cast<std::size_t>(rowOfColumn[j] - 1)] = j - 1;
    return assignment;
}

AlignedSolution alignToReference(const Matrix& reference, const Matrix& pattern,
                                 const Matrix& factorCorrelations, bool orthogonal) {
    const int p = pattern.rows();
    const int k = pattern.cols();
    const Matrix congruence = congruenceMatrix(reference, pattern);
    const std::vector<int> order = bestAssignment(congruence.elementAbs());
    std::vector<double> sign(static_cast<std::size_t>(k));
    for (int r = 0; r < k; ++r) {
        const int c = order[static_cast<std::size_t>(r)];
        sign[static_cast<std::size_t>(r)] = congruence[r][c] < 0.0 ? -1.0 : 1.0;
    }
    AlignedSolution aligned;
    aligned.pattern = Matrix(p, k);
    aligned.factorCorrelations = Matrix(k, k);
    for (int r = 0; r < k; ++r) {
        const int c = order[static_cast<std::size_t>(r)];
        const double sr = sign[static_cast<std::size_t>(r)];
        for (int i = 0; i < p; ++i) aligned.pattern[i][r] = sr * pattern[i][c];
        for (int t = 0; t < k; ++t)
            aligned.factorCorrelations[r][t] = sr * sign[static_cast<std::size_t>(t)] *
                                               factorCorrelations[c][order[static_cast<std::size_t>(t)]];
    }
    if (orthogonal && k > 1) {
        Matrix u(k, k), s(k, 1), v(k, k);
        aligned.pattern.transpose().multiply(reference).svd(u, s, v);
        aligned.pattern = aligned.pattern.multiply(u.multiply(v.transpose()));
    }
    return aligned;
}

}  // namespace talvex
