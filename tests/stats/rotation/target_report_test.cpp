// Target tables and Tucker's congruence with the user's target.
#include "stats/rotation/target_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/dataset.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using TargetReport = testing::PoolTest;

// Five variables, two factors; the target has free cells 9 and -9 and one
// specified value 0.2. References from tests/reference/congruence_reference.R
// (Tucker's coefficient, with psych::factor.congruence for the columns).
Matrix rotated5() {
    return testing::fromRows(
        {{0.71, -0.60}, {0.65, 0.08}, {-0.05, 0.55}, {0.12, 0.70}, {0.40, -0.30}});
}
Matrix semiTarget5() {
    return testing::fromRows({{9, 0}, {9, 0}, {0, -9}, {0, -9}, {0.2, 0}});
}

TEST_F(TargetReport, CongruenceAgreesWithR) {
    struct Row {
        const char* name;
        Matrix rotated, target;
        std::vector<double> variables, factors;
        double overall;
        bool clipped;
    };
    const Row rows[] = {
        // Factor 2 points away from its target (-0.791) and is reflected.
        {"semi-specified",
         rotated5(),
         semiTarget5(),
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

TEST_F(TargetReport, CongruenceSectionNamesItsUnitsAndNote) {
    // Components get their own headings; the note appears only when a
    // target cell lay beyond ±1.
    DataSet data;
    testing::numberVariables(data, 5);
    const Matrix full = testing::fromRows({{1, 0}, {1, 0}, {0, -1}, {0, -1}, {0.2, 0}});
    struct Row {
        Matrix target;
        ExtractionMethod extraction;
        std::string heading;
        bool note;
    };
    const Row rows[] = {
        {semiTarget5(), ULS, "CONGRUENCE OF FACTORS\n\nFactor     Congruence\n\nF   1      ", true},
        {full, PCA, "CONGRUENCE OF COMPONENTS\nComponent  Congruence\nC   1      ", false},
    };
    for (const Row& row : rows) {
        const std::string text = testing::captureReport([&](ReportWriter& report) {
            writeTargetCongruence(report, data, rotated5(), row.target, row.extraction);
        });
        EXPECT_NE(text.find(row.heading), std::string::npos) << text;
        EXPECT_EQ(text.find("Note: non-specified values") != std::string::npos, row.note);
        // Clipping ±9 to ±1 gives the same coefficients as the clipped target.
        EXPECT_NE(text.find("OVERALL CONGRUENCE :   0.873\n\n"), std::string::npos) << text;
        EXPECT_EQ(text.substr(text.size() - testing::kSectionEnd.size() - 1),
                  "\n" + testing::kSectionEnd);
    }
}

}  // namespace
}  // namespace talvex
