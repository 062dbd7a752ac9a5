// Factor scores and person-fit indices over the imputed data sets, pooled
// per participant.
#pragma once

#include "core/matrix.h"
#include "stats/imputation/imputed_analysis.h"
#include "stats/interpretation/factor_scores.h"

namespace talvex {

// Mean over the sets of the least-squares scores of each set's data on its
// own solution (N x m).
Matrix imputedFactorScores(const ImputedAnalysis& analysis);

// EAP scores of each set pooled by Rubin's rules: the mean EAP, the mean
// reliability, and as posterior SD the root of the mean within-set variance
// plus (1 + 1/sets) times the between-set variance of the EAP (divisor
// sets - 1); the interval is the mean EAP -+ 1.96 pooled SD. A participant
// is computable when it is in every set; floored items are those of any set.
EapScores imputedEapScores(const ImputedAnalysis& analysis, const EapProgress& progress = {});

// Mean over the sets of the lc person-fit index of each set's data (N x 1),
// with the items whose uniqueness was floored in any set.
PersonFit imputedPersonFit(const ImputedAnalysis& analysis);

}  // namespace talvex
