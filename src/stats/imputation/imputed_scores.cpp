#include "stats/imputation/imputed_scores.h"

#include <algorithm>
#include <cmath>

namespace talvex {

namespace {

void addItems(std::vector<int>& into, const std::vector<int>& items) {
    for (int item : items)
        if (std::find(into.begin(), into.end(), item) == into.end()) into.push_back(item);
    std::sort(into.begin(), into.end());
}

}  // namespace

Matrix imputedFactorScores(const ImputedAnalysis& analysis) {
    const ImputedSet& first = analysis.sets.front();
    Matrix mean(first.data.rows(), first.pattern.cols());
    const double count = static_cast<double>(analysis.sets.size());
    for (const ImputedSet& set : analysis.sets) {
        MatrixScope scope;
        const Matrix scores = factorScores(set.data, set.pattern, set.factorCorrelations);
        for (int i = 0; i < mean.rows(); ++i)
            for (int j = 0; j < mean.cols(); ++j) mean[i][j] += scores[i][j] / count;
    }
    return mean;
}

EapScores imputedEapScores(const ImputedAnalysis& analysis, const EapProgress& progress) {
    const std::size_t sets = analysis.sets.size();
    const double count = static_cast<double>(sets);
    std::vector<EapScores> each;
    for (const ImputedSet& set : analysis.sets) {
        each.push_back(eapScores(set.data, set.pattern, set.thresholds, set.uniqueness,
                                 set.lowestScore, progress));
        if (each.back().skipped) return each.back();
    }
    EapScores pooled;
    pooled.factors = each.front().factors;
    pooled.gridPoints = each.front().gridPoints;
    const int n = each.front().eap.rows();
    const int m = each.front().eap.cols();
    pooled.eap = Matrix(n, m);
    pooled.posteriorSd = Matrix(n, m);
    pooled.reliability = Matrix(n, m);
    pooled.lower = Matrix(n, m);
    pooled.upper = Matrix(n, m);
    pooled.computable.assign(static_cast<std::size_t>(n), true);
    for (const EapScores& e : each) {
        addItems(pooled.flooredItems, e.flooredItems);
        for (int i = 0; i < n; ++i)
            if (!e.computable[static_cast<std::size_t>(i)])
                pooled.computable[static_cast<std::size_t>(i)] = false;
    }
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < m; ++j) {
            double mean = 0.0, within = 0.0, reliability = 0.0;
            for (const EapScores& e : each) {
                mean += e.eap[i][j] / count;
                within += e.posteriorSd[i][j] * e.posteriorSd[i][j] / count;
                reliability += e.reliability[i][j] / count;
            }
            double between = 0.0;
            for (const EapScores& e : each)
                between += (e.eap[i][j] - mean) * (e.eap[i][j] - mean) / (count - 1.0);
            const double sd = std::sqrt(within + (1.0 + 1.0 / count) * between);
            pooled.eap[i][j] = mean;
            pooled.posteriorSd[i][j] = sd;
            pooled.reliability[i][j] = reliability;
            pooled.lower[i][j] = mean - 1.96 * sd;
            pooled.upper[i][j] = mean + 1.96 * sd;
        }
    return pooled;
}

PersonFit imputedPersonFit(const ImputedAnalysis& analysis) {
    PersonFit pooled;
    pooled.lc = Matrix(analysis.sets.front().data.rows(), 1);
    const double count = static_cast<double>(analysis.sets.size());
    for (const ImputedSet& set : analysis.sets) {
        MatrixScope scope;
        const PersonFit fit = personFitWithFloors(set.data);
        addItems(pooled.flooredItems, fit.flooredItems);
        for (int i = 0; i < pooled.lc.rows(); ++i) pooled.lc[i][0] += fit.lc[i][0] / count;
    }
    return pooled;
}

}  // namespace talvex
