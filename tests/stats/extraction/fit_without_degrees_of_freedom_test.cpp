// Goodness of fit of a model with no degrees of freedom (three variables,
// one factor: df = ((3 − 1)² − 4)/2 = 0). The adjusted indices multiply by
// p(p − 1)/(2·df) and NNFI divides by df: the section says they do not exist.
#include <gtest/gtest.h>

#include <string>

#include "core/matrix.h"
#include "report/settings.h"
#include "stats/extraction/fit.h"
#include "support/matrix_testing.h"
#include "support/nonfinite_text.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::firstNonFiniteNumber;
using FitWithoutDegreesOfFreedomTest = testing::PoolTest;

std::string ulsSection(const Matrix& r, const Matrix& loadings, double n) {
    Matrix sigma = loadings.multiply(loadings.transpose());
    for (int i = 0; i < r.rows(); ++i) sigma[i][i] = r[i][i];
    return captureReport(
        [&](ReportWriter& w) { writeFitStatisticsUls(w, loadings, r, sigma, n, PearsonCorrelation); });
}

TEST_F(FitWithoutDegreesOfFreedomTest, IndicesThatDivideByZeroDegreesOfFreedomAreNamed) {
    // One factor with loadings .8, .7, .6 reproduces .56, .48, .42 exactly.
    const Matrix r = testing::fromRows({{1, 0.56, 0.48}, {0.56, 1, 0.42}, {0.48, 0.42, 1}});
    const Matrix loadings = testing::fromRows({{0.8}, {0.7}, {0.6}});
    const std::string none = "not defined: the model has no degrees of freedom\n";
    for (double n : {200.0, 0.0}) {
        const std::string text = ulsSection(r, loadings, n);
        EXPECT_EQ(firstNonFiniteNumber(text), "") << text;
        const struct {
            const char* label;
            bool withSample;
        } words[] = {{"                 Non-Normed Fit Index (NNFI; Tucker & Lewis) = ", true},
                     {"                       Adjusted Goodness of Fit Index (AGFI) = ", false},
                     {"Adjusted Goodness of Fit Index without diagonal values(AGFI) = ", false}};
        for (const auto& w : words) {
            const bool expected = n > 0 || !w.withSample;
            EXPECT_EQ(text.find(std::string(w.label) + none) != std::string::npos, expected) << w.label << text;
        }
        if (n > 0) {
            EXPECT_NE(text.find("                       Chi-Square with 0 degrees of freedom =   0.000"),
                      std::string::npos)
                << text;
        }
    }
}

}  // namespace
}  // namespace talvex
