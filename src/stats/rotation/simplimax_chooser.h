// The user's choice of a Simplimax solution. Simplimax needs a person to
// pick the number of zero loadings, so rotateSolution asks whoever runs the
// analysis through this interface; the statistics know nothing of how the
// question is put.
#pragma once

#include <optional>

#include "core/matrix.h"
#include "report/settings.h"
#include "stats/rotation/simplimax.h"

namespace talvex {

class SimplimaxChooser {
public:
    virtual ~SimplimaxChooser() = default;
    // The chosen solution for `loadings` (its transformation, factor
    // correlations and 0/1 weights are used), with the Simplimax parameters;
    // nothing when the user cancelled.
    virtual std::optional<SimplimaxSolution> choose(const Matrix& loadings,
                                                    const RotationParameters& parameters) = 0;
};

}  // namespace talvex
