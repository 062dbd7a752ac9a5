// Participants' scores on the factors: correlation-preserving least-squares
// scores (ten Berge, Krijnen, Wansbeek & Shapiro, 1999), Bayes expected a
// posteriori scores of the graded logistic model (Muraki, 1990), and the lc
// person-fit index of the one-factor model.
#pragma once

#include <vector>

#include "core/matrix.h"
#include "report/report_writer.h"

namespace talvex {

// N x m scores of the N x p data x for the pattern (p x m) and its factor
// correlations phi (m x m): F = Z L (Lᵀ R L)^(-1/2) Φ^(1/2), L = Λ Φ^(1/2),
// Z the standardized data (divisor N) and R its correlations. The scores
// have mean 0 and covariance Φ.
Matrix factorScores(const Matrix& x, const Matrix& pattern, const Matrix& phi);

// EAP scores of every participant, each N x m.
struct EapScores {
    Matrix eap;
    Matrix posteriorSd;
    Matrix reliability;
    Matrix lower;  // EAP - 1.96 SD
    Matrix upper;  // EAP + 1.96 SD
    // False for a participant whose joint weights vanish over the whole grid:
    // the row's values mean nothing and the sections say so.
    std::vector<bool> computable;
    // The grid would be too large to evaluate (the sections give a warning
    // instead of scores); every matrix is then empty.
    bool skipped = false;
    // 0-based items whose uniqueness was floored before the divisions.
    std::vector<int> flooredItems;
};

// x: N x p scores; pattern p x m; thresholds p x (K - 1) counted from the
// common lowest score `lowest` (responses are recoded as score - lowest);
// uniqueness: p x p diagonal matrix of unique variances.
EapScores eapScores(const Matrix& x, const Matrix& pattern, const Matrix& thresholds,
                    const Matrix& uniqueness, int lowest);

// lc index (N x 1) of the one-factor model with loadings lambda (p x 1),
// unique standard deviations d (p x p diagonal) and scores f (N x 1).
Matrix personFitLc(const Matrix& x, const Matrix& d, const Matrix& lambda, const Matrix& f);

// The whole person-fit computation of the N x p data x: the one-factor ULS
// solution of its covariance matrix (divisor N), the unique standard
// deviations, the one-factor scores and personFitLc.
Matrix personFitOfData(const Matrix& x);

// The report sections. caseNumbers are the participants' line numbers in the
// data file, one per row of the scores. `imputed` selects the texts of the
// sections written from the means over the imputed data sets.
void writeFactorScores(ReportWriter& report, const std::vector<int>& caseNumbers,
                       const Matrix& scores, bool components, bool imputed);
void writeEapScores(ReportWriter& report, const std::vector<int>& caseNumbers,
                    const EapScores& scores, bool detailed, bool imputed);
void writePersonFit(ReportWriter& report, const std::vector<int>& caseNumbers, const Matrix& lc,
                    bool covariance, bool detailed);

}  // namespace talvex
