// Tucker's congruence with the user's target, against
// tests/reference/congruence_reference.R (psych::factor.congruence for the
// columns). The section's text is pinned by the target_semi golden report.
#include "stats/rotation/target_report.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/matrix_testing.h"

namespace talvex {
namespace {

using TargetReport = testing::PoolTest;

TEST_F(TargetReport, CongruenceAgreesWithR) {
    struct Row {
        const char* name;
        Matrix rotated, target;
        std::vector<double> variables, factors;
        double overall;
        bool clipped;
    };
    const Row rows[] = {
        // Free cells 9 and -9, one specified value 0.2. Factor 2 points away
        // from its target (-0.791) and is reflected.
        {"semi-specified",
         testing::fromRows(
             {{0.71, -0.60}, {0.65, 0.08}, {-0.05, 0.55}, {0.12, 0.70}, {0.40, -0.30}}),
         testing::fromRows({{9, 0}, {9, 0}, {0, -9}, {0, -9}, {0.2, 0}}),
         {0.763794182395355, 0.992511010913631, 0.995893206467704, 0.985622254813267, 0.8},
         {0.959756892376997, 0.790917495334561},
         0.872581522121023,
         true},
        // A full target with a row of zeros: that variable has no defined
        // coefficient and shows 0; no cell is clipped.
        {"full with a zero row",
         testing::fromRows({{0.6, 0.3}, {0.5, -0.1}, {0.2, 0.7}}),
         testing::fromRows({{0.7, 0.0}, {0.0, 0.0}, {0.1, 1.0}}),
         {0.894427190999916, 0.0, 0.984087861099574},
         {0.771811056990186, 0.911322376865767},
         0.835888555621714,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TargetCongruence c = targetCongruence(row.rotated, row.target);
        for (std::size_t i = 0; i < row.variables.size(); ++i)
            EXPECT_NEAR(c.variables[static_cast<int>(i)][0], row.variables[i], 1e-12) << i;
        for (std::size_t j = 0; j < row.factors.size(); ++j)
            EXPECT_NEAR(c.factors[static_cast<int>(j)][0], row.factors[j], 1e-12) << j;
        EXPECT_NEAR(c.overall, row.overall, 1e-12);
        EXPECT_EQ(c.clipped, row.clipped);
    }
}

}  // namespace
}  // namespace talvex
