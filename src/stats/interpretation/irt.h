// The factor solution of polychoric (tetrachoric) correlations as the
// parameters of normal-ogive item response models: Lord's two-parameter
// model and Samejima's graded response model for one factor, their
// multidimensional versions (McDonald, 1976; Reckase, 1985) for several.
#pragma once

#include <vector>

#include "core/matrix.h"
#include "report/report_writer.h"

namespace talvex {

struct DataSet;

// Difficulties beyond this bound are printed as the bound.
inline constexpr double kIrtDifficultyBound = 5.0;
// Unique variances below this (a Heywood row held at communality 1) are
// replaced by it before IRT, EAP and person fit divide by them.
inline constexpr double kUniquenessFloor = 0.005;

struct IrtUnidimensional {
    Matrix a;  // p x 1 discriminations
    Matrix b;  // p x (K - 1) difficulties, within [-5, 5]
};

// From the one-factor loadings (p x 1) and the thresholds (p x (K - 1)):
// aᵢ = λᵢ / √(1 − λᵢ²), bᵢₖ = τᵢₖ / λᵢ, the loadings' sign set so that the
// first item loads positively.
IrtUnidimensional irtUnidimensional(const Matrix& loadings, const Matrix& thresholds);

struct IrtMultidimensional {
    Matrix a;      // p x m discriminations
    Matrix mdisc;  // p x 1 multidimensional discriminations
    Matrix d;      // p x (K - 1) intercepts
    Matrix mdiff;  // p x 1 multidimensional difficulties; empty unless K = 2
    std::vector<int> flooredItems;  // 0-based items whose uniqueness was floored
};

// From the loadings Λ (p x m), the thresholds and the unique variances
// (p x 1): aᵢₖ = λᵢₖ / σᵢ with σᵢ = √ψᵢ (ψ floored at 0.005),
// MDISCᵢ = ‖aᵢ‖; dichotomous items dᵢ = −τᵢ / σᵢ and MDIFFᵢ = −dᵢ / MDISCᵢ,
// graded items dᵢₖ = τᵢₖ / σᵢ.
IrtMultidimensional irtMultidimensional(const Matrix& loadings, const Matrix& thresholds,
                                        const Matrix& uniqueness);

// The report sections; the items are the analysed variables of data.
void writeIrtUnidimensional(ReportWriter& report, const DataSet& data,
                            const IrtUnidimensional& irt);
void writeIrtMultidimensional(ReportWriter& report, const DataSet& data,
                              const IrtMultidimensional& irt);

}  // namespace talvex
