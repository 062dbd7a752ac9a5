// The rotated-solution sections: variance and reliability of correlated
// factors against hand calculation (checked in R: diag(PᵀPΦ) and
// 1/(1 + diag((PᵀΨ⁻¹P)⁻¹))), the estimator chosen, the salient table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/dataset.h"
#include "report/settings.h"
#include "stats/rotation/rotation_report.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::fromRows;

int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class RotationReport : public testing::PoolTest {
   protected:
    std::string rotated(ExtractionMethod extraction, RotationMethod method, float threshold,
                        double commonVariance = 3.0) {
        DataSet data;
        testing::numberVariables(data, 3);
        const Matrix pattern = fromRows({{0.8, 0.0}, {0.0, 0.6}, {0.5, 0.5}});
        const Matrix phi = fromRows({{1.0, 0.5}, {0.5, 1.0}});
        return testing::captureReport([&](ReportWriter& report) {
            writeRotatedLoadings(report, data, identity(3), identity(3).scale(commonVariance / 3),
                                 pattern, phi, extraction, method, threshold);
        });
    }
};

TEST_F(RotationReport, VarianceReliabilityAndEstimator) {
    // v = diag(PᵀPΦ) = (1.015, 0.735), reliabilities 0.681 and 0.546; MRFA
    // divides by the common variance 2.03. Components of an oblique rotation
    // take the factor estimator.
    struct Row {
        ExtractionMethod extraction;
        RotationMethod method;
        double common;
        const char* citation;
        std::vector<std::string> lines;
    };
    for (const Row& row : {
             Row{ULS, 16, 3.0, "Mislevy & Bock (1990)",
                 {"   1         1.015                          0.681\n",
                  "   2         0.735                          0.546\n"}},
             Row{MRFA, 16, 2.03, "Mislevy & Bock (1990)",
                 {"   1        1.015       0.500             0.681\n",
                  "   2        0.735       0.362             0.546\n"}},
             Row{ULS, 4, 3.0, "Mislevy & Bock (1990)", {}},
             Row{PCA, 16, 3.0, "Mislevy & Bock (1990)", {}},
             Row{PCA, 15, 3.0, "ten Berge & Hofstee (1999)", {}},
         }) {
        const std::string text = rotated(row.extraction, row.method, 0.0f, row.common);
        EXPECT_NE(text.find(row.citation), std::string::npos) << row.method << text;
        for (const std::string& line : row.lines) EXPECT_NE(text.find(line), std::string::npos) << text;
    }
}

TEST_F(RotationReport, SalientTableBlanksLoadingsBelowTheThreshold) {
    // Loadings 0.8, 0.6, 0.5, 0.5 and two zeros: a positive threshold adds a
    // second table without the loadings below it; 0.5 itself is kept.
    struct Row {
        float threshold;
        int tables, halves, zeros;
    };
    for (const Row& row : {Row{0.0f, 1, 2, 2}, Row{0.5f, 2, 4, 2}, Row{0.55f, 2, 2, 2}}) {
        const std::string text = rotated(ULS, 4, row.threshold);
        EXPECT_EQ(occurrences(text, "ROTATED LOADING MATRIX \n"), row.tables) << row.threshold;
        EXPECT_EQ(occurrences(text, "  0.500  "), row.halves) << text;
        EXPECT_EQ(occurrences(text, "  0.000  "), row.zeros) << text;
    }
}

TEST(RotatedPredicate, OneRuleForARotatedSolution) {
    struct Row {
        RotationKind kind;
        RotationMethod method;
        int factors;
        bool rotated;
    };
    for (const Row& row : {Row{Simplicity, 0, 3, false}, Row{Simplicity, 1, 3, true},
                           Row{Simplicity, 28, 1, false}, Row{Simplicity, 16, 2, true},
                           Row{Target, 0, 3, true}, Row{Target, 0, 1, false},
                           Row{Target, 5, 0, false}}) {
        AnalysisSettings s;
        s.rotationKind = row.kind;
        s.simplicityRotation = row.method;
        EXPECT_EQ(solutionRotated(s, row.factors), row.rotated)
            << row.kind << " " << row.method << " " << row.factors;
    }
}

}  // namespace
}  // namespace talvex
