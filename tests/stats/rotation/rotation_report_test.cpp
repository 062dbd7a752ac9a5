// The rotated-solution sections: which tables and estimators appear, and the
// variance and reliability of correlated factors against hand calculation
// (checked in R: diag(PᵀPΦ) and 1/(1 + diag((PᵀΨ⁻¹P)⁻¹))).
#include <gtest/gtest.h>

#include <string>

#include "data/dataset.h"
#include "report/settings.h"
#include "stats/rotation/rotation_report.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::fromRows;

int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class RotationReport : public testing::PoolTest {
   protected:
    void SetUp() override {
        PoolTest::SetUp();
        testing::numberVariables(data, 3);
        pattern = fromRows({{0.8, 0.0}, {0.0, 0.6}, {0.5, 0.5}});
        phi = fromRows({{1.0, 0.5}, {0.5, 1.0}});
        r = identity(3);
    }
    std::string rotated(ExtractionMethod extraction, RotationMethod method, float threshold,
                        const Matrix& common = Matrix()) {
        return captureReport([&](ReportWriter& report) {
            writeRotatedLoadings(report, data, r, common.valid() ? common : identity(3), pattern,
                                 phi, extraction, method, threshold);
        });
    }
    DataSet data;
    Matrix pattern, phi, r;
};

TEST_F(RotationReport, VarianceAndReliabilityOfCorrelatedFactors) {
    const std::string text = rotated(ULS, 16, 0.0f);
    // v = diag(PᵀPΦ) = (1.015, 0.735); reliabilities 0.6813, 0.5460.
    EXPECT_NE(text.find("   1         1.015                          0.681\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("   2         0.735                          0.546\n"), std::string::npos)
        << text;
}

TEST_F(RotationReport, MrfaProportionsUseTheCommonVariance) {
    // Total common variance 2.03: proportions 1.015/2.03 and 0.735/2.03.
    const std::string text = rotated(MRFA, 16, 0.0f, identity(3).scale(2.03 / 3.0));
    EXPECT_NE(text.find("   1        1.015       0.500             0.681\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("   2        0.735       0.362             0.546\n"), std::string::npos)
        << text;
}

TEST_F(RotationReport, EstimatorDependsOnExtractionAndObliqueness) {
    struct Row {
        ExtractionMethod extraction;
        RotationMethod method;
        const char* citation;
        const char* heading;
    };
    for (const Row& row : {
             Row{PCA, 5, "ten Berge & Hofstee (1999)", "ROTATED COMPONENTS"},
             Row{PCA, 15, "ten Berge & Hofstee (1999)", "ROTATED COMPONENTS"},
             Row{PCA, 16, "Mislevy & Bock (1990)", "ROTATED COMPONENTS"},
             Row{ULS, 4, "Mislevy & Bock (1990)", "ROTATED FACTORS"},
             Row{MRFA, 21, "Mislevy & Bock (1990)", "ROTATED FACTORS"},
         }) {
        const std::string text = rotated(row.extraction, row.method, 0.0f);
        EXPECT_EQ(occurrences(text, row.citation), 1) << row.method;
        EXPECT_EQ(occurrences(text, row.heading), 1) << row.method;
        EXPECT_EQ(occurrences(text, row.extraction == PCA ? "   C   2 " : "   F   2 "), 1);
    }
}

TEST_F(RotationReport, SalientTableOnlyWithAPositiveThreshold) {
    struct Row {
        float threshold;
        int tables;
        int blanks;  // cells printed as nine blanks
    };
    // |0| < t blanks two cells for any positive t; 0.5 itself is kept.
    for (const Row& row : {Row{0.0f, 1, 0}, Row{0.3f, 2, 2}, Row{0.5f, 2, 2}, Row{0.55f, 2, 4},
                           Row{0.9f, 2, 6}}) {
        const std::string text = rotated(ULS, 4, row.threshold);
        EXPECT_EQ(occurrences(text, "ROTATED LOADING MATRIX \n"), row.tables) << row.threshold;
        // Cells of the salient table: nine characters each after the ten of
        // the variable name.
        const std::size_t begin = text.find("omitted)");
        const std::size_t end = text.find("EXPLAINED");
        int blanks = 0;
        if (begin != std::string::npos) {
            std::size_t line = text.find("\nV", begin);
            while (line != std::string::npos && line < end) {
                const std::size_t stop = text.find('\n', line + 1);
                for (std::size_t cell = line + 11; cell + 9 <= stop; cell += 9)
                    blanks += text.compare(cell, 9, std::string(9, ' ')) == 0;
                line = text.find("\nV", stop);
            }
        }
        EXPECT_EQ(blanks, row.blanks) << text;
    }
}

TEST_F(RotationReport, CorrelationsAreTheLowerTriangle) {
    const Matrix three = fromRows({{1.0, 0.2, -0.3}, {0.2, 1.0, 0.4}, {-0.3, 0.4, 1.0}});
    const std::string text = captureReport(
        [&](ReportWriter& report) { writeFactorCorrelations(report, three, ULS); });
    EXPECT_NE(text.find("F   3       -0.300    0.400    1.000  \n"), std::string::npos) << text;
    EXPECT_NE(text.find("F   1        1.000  \n"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - testing::kSectionEnd.size()), testing::kSectionEnd);
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
