// Participants' scores on the factors: correlation-preserving least-squares
// scores (ten Berge, Krijnen, Wansbeek & Shapiro, 1999), Bayes expected a
// posteriori scores of the graded logistic model (Muraki, 1990), and the lc
// person-fit index of the one-factor model.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/matrix.h"
#include "data/output_file.h"
#include "report/report_writer.h"
#include "stats/interpretation/irt.h"  // kUniquenessFloor, shared with EAP and person fit

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
    int factors = 0;          // m
    double gridPoints = 0.0;  // points of the quadrature grid
};

// Grids with more points than this are not evaluated.
inline constexpr double kEapMaxGridPoints = 1e6;

// The product grid of the EAP quadrature: `nodes` equally spaced on
// [-4, 4] in each of `dimensions` dimensions, each node weighted by the
// standard normal density times the node spacing.
struct EapQuadrature {
    int dimensions = 0;
    std::vector<double> nodes;
    std::vector<double> weights;
    // nodes^dimensions, as a double so that large grids do not overflow.
    double points() const;
};
// Nodes per dimension: 20 for one or two factors, 15 for three, 10 beyond
// (fewer nodes leave errors of several tenths in the scores).
EapQuadrature eapQuadrature(int factors);

// EAP score, posterior SD and reliability (1 - posterior variance) of one
// participant, m values each; `computable` false when the joint weights
// vanish over the whole grid.
struct EapPosterior {
    std::vector<double> eap;
    std::vector<double> sd;
    std::vector<double> reliability;
    bool computable = false;
};
// One participant's responses recoded to categories 0 .. K - 1, the pattern
// (p x m), thresholds p x (K - 1) and unique standard deviations sigma (p).
// The posterior is accumulated in log space with a shift by its maximum.
EapPosterior eapPosterior(const std::vector<int>& responses, const Matrix& pattern,
                          const Matrix& thresholds, const std::vector<double>& sigma,
                          const EapQuadrature& quadrature);

// Told how many grid points were evaluated (the run ticks once per point).
using EapProgress = std::function<void(std::int64_t points)>;

// x: N x p scores; pattern p x m; thresholds p x (K - 1) counted from the
// common lowest score `lowest` (responses are recoded as score - lowest);
// uniqueness: p x p diagonal matrix of unique variances.
EapScores eapScores(const Matrix& x, const Matrix& pattern, const Matrix& thresholds,
                    const Matrix& uniqueness, int lowest, const EapProgress& progress = {});

// lc index (N x 1) of the one-factor model with loadings lambda (p x 1),
// unique standard deviations d (p x p diagonal) and scores f (N x 1).
Matrix personFitLc(const Matrix& x, const Matrix& d, const Matrix& lambda, const Matrix& f);

// The whole person-fit computation of the N x p data x: the one-factor ULS
// solution of its covariance matrix (divisor N), the unique standard
// deviations, the one-factor scores and personFitLc.
Matrix personFitOfData(const Matrix& x);

// personFitOfData with the 0-based items whose unique variance was raised to
// kUniquenessFloor times the item's variance.
struct PersonFit {
    Matrix lc;
    std::vector<int> flooredItems;
};
PersonFit personFitWithFloors(const Matrix& x);

// Person-fit indices beyond ±kLargePersonFit are listed as large.
constexpr double kLargePersonFit = 2.99;

// The report sections. caseNumbers are the participants' line numbers in the
// data file, one per row of the scores. `imputed` selects the texts of the
// sections written from the means over the imputed data sets.
void writeFactorScores(ReportWriter& report, const std::vector<int>& caseNumbers,
                       const Matrix& scores, bool components, bool imputed);
void writeEapScores(ReportWriter& report, const std::vector<int>& caseNumbers,
                    const EapScores& scores, bool detailed, bool imputed);
void writePersonFit(ReportWriter& report, const std::vector<int>& caseNumbers, const Matrix& lc,
                    bool covariance, bool detailed);
// The warning that names the items (their numbers in the data file) whose
// unique variance was raised to the floor before dividing by it.
void writeUniquenessFloorWarning(ReportWriter& report, const std::vector<int>& itemNumbers);

// The scores saved next to the report: the report's name with "_scores"
// before its extension ("output.txt" gives "output_scores.txt").
std::string scoresFileName(const std::string& reportName);
// A tab-separated table with a header line, one row per line of the data
// file (fileRows, in file order): "case" (the line number), F1 .. Fm and,
// when standardErrors is valid, SE1 .. SEm. Rows of participants without
// scores (not analysed, or marked false in `computable`) hold NA. Written
// as one output: on failure the earlier file of that name stays as it was.
WriteResult writeScoresFile(const std::string& path, const std::vector<int>& fileRows,
                            const std::vector<int>& caseNumbers, const Matrix& scores,
                            const Matrix& standardErrors, const std::vector<bool>& computable,
                            FileWrites& writes = systemFileWrites());

}  // namespace talvex
