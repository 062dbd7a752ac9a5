#include "stats/imputation/consensus.h"

#include <cmath>

#include "data/dataset.h"

namespace talvex {

namespace {

// Lₖ·Tₖ, Tₖ the k-th m x m block of the transformations (the identity when
// they are empty).
Matrix rotatedLoadings(const std::vector<Matrix>& loadings, const Matrix& transformations,
                       std::size_t k) {
    if (!transformations.valid()) return loadings[k].copy();
    const int m = loadings[k].cols();
    return loadings[k].multiply(transformations.columnBlock(static_cast<int>(k), m));
}

// Σᵢ aᵢᵣ bᵢₛ / √(Σᵢ aᵢᵣ² Σᵢ bᵢₛ²); 0 for a column of zeros.
double tuckerCongruence(const Matrix& a, int r, const Matrix& b, int s) {
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (int i = 0; i < a.rows(); ++i) {
        ab += a[i][r] * b[i][s];
        aa += a[i][r] * a[i][r];
        bb += b[i][s] * b[i][s];
    }
    const double denominator = std::sqrt(aa * bb);
    return denominator > 0.0 ? ab / denominator : 0.0;
}

}  // namespace

Matrix consensusRotation(const std::vector<Matrix>& loadings) {
    const std::size_t count = loadings.size();
    const int m = count == 0 ? 0 : loadings.front().cols();
    Matrix transformations(m, m * static_cast<int>(count));
    for (std::size_t k = 0; k < count; ++k)
        for (int i = 0; i < m; ++i) transformations[i][static_cast<int>(k) * m + i] = 1.0;
    if (count == 0) return transformations;
    MatrixScope scope;
    // Lₖ·Tₖ as rotated so far; written in place so that it outlives each step.
    std::vector<Matrix> rotated;
    for (const Matrix& l : loadings) rotated.push_back(l.copy());
    // One sweep is not always enough: when the columns of the other data sets
    // differ in sign, their sum cancels and the first steps align to noise.
    // Sweeps go on while they lower the loss.
    double loss = consensusLoss(loadings, transformations);
    for (int sweep = 0; sweep < kConsensusSweepLimit; ++sweep) {
        for (std::size_t k = 0; k < count; ++k) {
            MatrixScope step;
            const int p = loadings[k].rows();
            Matrix target = zeros(p, m);
            for (std::size_t other = 0; other < count; ++other)
                if (other != k) target = target.add(rotated[other]);
            Matrix u(m, m), s(m, 1), v(m, m);
            loadings[k].transpose().multiply(target).svd(u, s, v);
            const Matrix t = u.multiply(v.transpose());
            const Matrix lt = loadings[k].multiply(t);
            for (int i = 0; i < m; ++i)
                for (int j = 0; j < m; ++j) transformations[i][static_cast<int>(k) * m + j] = t[i][j];
            for (int i = 0; i < p; ++i)
                for (int j = 0; j < m; ++j) rotated[k][i][j] = lt[i][j];
        }
        const double after = consensusLoss(loadings, transformations);
        if (!(after < loss - kConsensusTolerance * loss)) break;
        loss = after;
    }
    return transformations;
}

double consensusLoss(const std::vector<Matrix>& loadings, const Matrix& transformations) {
    MatrixScope scope;
    const Matrix mean = consensusMean(loadings, transformations);
    double loss = 0.0;
    for (std::size_t k = 0; k < loadings.size(); ++k)
        loss += rotatedLoadings(loadings, transformations, k).subtract(mean).sumOfSquares();
    return loss;
}

Matrix consensusMean(const std::vector<Matrix>& loadings, const Matrix& transformations) {
    const int p = loadings.front().rows();
    const int m = loadings.front().cols();
    Matrix mean(p, m);
    MatrixScope scope;
    for (std::size_t k = 0; k < loadings.size(); ++k) {
        const Matrix lt = rotatedLoadings(loadings, transformations, k);
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < m; ++j) mean[i][j] += lt[i][j];
    }
    const double count = static_cast<double>(loadings.size());
    for (int i = 0; i < p; ++i)
        for (int j = 0; j < m; ++j) mean[i][j] /= count;
    return mean;
}

MatchedSolution matchFactors(const Matrix& reference, const Matrix& pattern,
                             const Matrix& factorCorrelations) {
    const int p = pattern.rows();
    const int m = pattern.cols();
    MatchedSolution matched{Matrix(p, m), Matrix(m, m)};
    std::vector<double> congruence(static_cast<std::size_t>(m) * m);
    for (int r = 0; r < m; ++r)
        for (int s = 0; s < m; ++s)
            congruence[static_cast<std::size_t>(r) * m + s] = tuckerCongruence(reference, r, pattern, s);
    std::vector<bool> referenceUsed(static_cast<std::size_t>(m), false);
    std::vector<bool> patternUsed(static_cast<std::size_t>(m), false);
    std::vector<int> source(static_cast<std::size_t>(m), 0);  // pattern column of reference r
    std::vector<double> sign(static_cast<std::size_t>(m), 1.0);
    for (int pair = 0; pair < m; ++pair) {
        int bestR = -1, bestS = -1;
        double best = -1.0;
        for (int r = 0; r < m; ++r) {
            if (referenceUsed[static_cast<std::size_t>(r)]) continue;
            for (int s = 0; s < m; ++s) {
                if (patternUsed[static_cast<std::size_t>(s)]) continue;
                const double c = std::fabs(congruence[static_cast<std::size_t>(r) * m + s]);
                if (c >= best) {
                    best = c;
                    bestR = r;
                    bestS = s;
                }
            }
        }
        referenceUsed[static_cast<std::size_t>(bestR)] = true;
        patternUsed[static_cast<std::size_t>(bestS)] = true;
        source[static_cast<std::size_t>(bestR)] = bestS;
        sign[static_cast<std::size_t>(bestR)] =
            congruence[static_cast<std::size_t>(bestR) * m + bestS] < 0.0 ? -1.0 : 1.0;
    }
    for (int r = 0; r < m; ++r) {
        const int s = source[static_cast<std::size_t>(r)];
        const double d = sign[static_cast<std::size_t>(r)];
        for (int i = 0; i < p; ++i) matched.pattern[i][r] = d * pattern[i][s];
        for (int c = 0; c < m; ++c)
            matched.factorCorrelations[r][c] = d * sign[static_cast<std::size_t>(c)] *
                factorCorrelations[s][source[static_cast<std::size_t>(c)]];
    }
    return matched;
}

void writeConsensus(ReportWriter& report, const DataSet& data, const Matrix& pattern,
                    const Matrix& factorCorrelations) {
    const int m = pattern.cols();
    report.printf(" CONSENSUS LOADING MATRIX AMONG MULTIPLE IMPUTATED DATASETS\n\n");
    report.printf(usesLabels(data) ? " Variable                                     " : " Variable  ");
    for (int c = 1; c <= m; ++c) report.printf("   F%4i ", c);
    report.printf("\n\n");
    for (int i = 0; i < pattern.rows(); ++i) {
        report.printf(" ");
        report.write(variableName(data, i));
        for (int c = 0; c < m; ++c) report.printf("%7.3f  ", pattern[i][c]);
        report.printf("\n");
    }
    if (m > 1) {
        report.printf("\n");
        report.printf(
            " CONSENSUS INTER-FACTOR CORRELATION MATRIX AMONG MULTIPLE IMPUTATED DATASETS\n\n");
        report.printf(" Factor    ");
        for (int c = 1; c <= m; ++c) report.printf("   F%4i ", c);
        report.printf("\n\n");
        for (int i = 0; i < m; ++i) {
            report.printf(" F%4i      ", i + 1);
            for (int c = 0; c <= i; ++c) report.printf("%7.3f  ", factorCorrelations[i][c]);
            report.printf("\n");
        }
    }
    report.printf("\n\n");
    report.separator();
}

}  // namespace talvex
