#include "stats/interpretation/irt.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "data/dataset.h"
#include "interpretation_reference.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using interpretation_testing::ReliabilityIrtReference;
using talvex::testing::fromRows;
using IrtTest = talvex::testing::PoolTest;

// psych::irt.fa on 16 binary ability items and on two sets of five
// six-point items (the first set starts with a reversed item, so its
// discriminations change sign): its discriminations, and its difficulties
// divided by them, from the same loadings and thresholds.
TEST_F(IrtTest, UnidimensionalMatchesPsychIrtFa) {
    const auto& ref = ReliabilityIrtReference::instance();
    for (const char* name : {"ability16", "bfiA", "bfiC"}) {
        SCOPED_TRACE(name);
        MatrixScope scope;
        const std::string key = std::string("irt ") + name;
        const int p = static_cast<int>(ref.value(key, 0));
        const int steps = static_cast<int>(ref.value(key, 1));
        int at = 2;
        const Matrix loadings = ref.block(key, p, 1, at);
        const Matrix tau = ref.block(key, p, steps, at += p);
        const Matrix a = ref.block(key, p, 1, at += p * steps);
        const Matrix b = ref.block(key, p, steps, at += p);
        const IrtUnidimensional irt = irtUnidimensional(loadings, tau);
        for (int i = 0; i < p; ++i) {
            EXPECT_NEAR(irt.a[i][0], a[i][0], 1e-12) << i;
            for (int k = 0; k < steps; ++k) EXPECT_NEAR(irt.b[i][k], b[i][k], 1e-12) << i << " " << k;
        }
    }
}

// Difficulties of a loading near 0 are clamped to ±5; the first item's sign
// rules the others; a loading of 1 leaves no unique part and an infinite
// discrimination.
TEST_F(IrtTest, UnidimensionalEdgeCases) {
    MatrixScope scope;
    const Matrix loadings = fromRows({{-0.6}, {0.01}, {-0.8}, {1.0}});
    const Matrix tau = fromRows({{0.3, -1.2}, {0.5, -0.04}, {0.0, 4.8}, {0.2, -0.2}});
    const IrtUnidimensional irt = irtUnidimensional(loadings, tau);
    // 0.6 / 0.8, -0.01 / √0.9999, 0.8 / 0.6
    EXPECT_NEAR(irt.a[0][0], 0.75, 1e-12);
    EXPECT_NEAR(irt.a[1][0], -0.01 / std::sqrt(0.9999), 1e-12);
    EXPECT_NEAR(irt.a[2][0], 4.0 / 3.0, 1e-12);
    EXPECT_TRUE(std::isinf(irt.a[3][0]));
    EXPECT_NEAR(irt.b[0][0], 0.5, 1e-12);
    EXPECT_NEAR(irt.b[0][1], -2.0, 1e-12);
    EXPECT_EQ(irt.b[1][0], -5.0);  // 0.5 / -0.01 = -50
    EXPECT_EQ(irt.b[1][1], 4.0);   // -0.04 / -0.01, inside the bounds
    EXPECT_NEAR(irt.b[2][1], 5.0, 1e-12);  // 4.8 / 0.8 = 6, clamped
    EXPECT_EQ(irt.b[2][0], 0.0);
    EXPECT_NEAR(irt.b[3][0], -0.2, 1e-12);  // reversed with the first item
    EXPECT_LT(irt.a[3][0], 0.0);
}

// Dichotomous items with uniquenesses 0.25 (σ = 0.5) and 0.64 (σ = 0.8):
// a = λ/σ, MDISC = ‖a‖, d = −τ/σ, MDIFF = −d/MDISC, which has the sign of τ.
TEST_F(IrtTest, MultidimensionalDichotomousByHand) {
    MatrixScope scope;
    const Matrix loadings = fromRows({{0.6, 0.3}, {-0.48, 0.36}});
    const Matrix tau = fromRows({{0.5}, {-0.4}});
    const Matrix psi = fromRows({{0.25}, {0.64}});
    const IrtMultidimensional irt = irtMultidimensional(loadings, tau, psi);
    EXPECT_NEAR(irt.a[0][0], 1.2, 1e-12);
    EXPECT_NEAR(irt.a[0][1], 0.6, 1e-12);
    EXPECT_NEAR(irt.a[1][0], -0.6, 1e-12);
    EXPECT_NEAR(irt.a[1][1], 0.45, 1e-12);
    EXPECT_NEAR(irt.mdisc[0][0], std::sqrt(1.8), 1e-12);
    EXPECT_NEAR(irt.mdisc[1][0], 0.75, 1e-12);
    EXPECT_NEAR(irt.d[0][0], -1.0, 1e-12);
    EXPECT_NEAR(irt.d[1][0], 0.5, 1e-12);
    EXPECT_NEAR(irt.mdiff[0][0], 1.0 / std::sqrt(1.8), 1e-12);
    EXPECT_NEAR(irt.mdiff[1][0], -0.5 / 0.75, 1e-12);
    EXPECT_TRUE(irt.flooredItems.empty());
}

// Graded items keep the thresholds' sign and have no MDIFF.
TEST_F(IrtTest, MultidimensionalGradedByHand) {
    MatrixScope scope;
    const Matrix loadings = fromRows({{0.3, 0.4, 0.0}});
    const Matrix tau = fromRows({{-1.0, 0.2, 0.9}});
    const Matrix psi = fromRows({{0.36}});
    const IrtMultidimensional irt = irtMultidimensional(loadings, tau, psi);
    EXPECT_NEAR(irt.a[0][0], 0.5, 1e-12);
    EXPECT_NEAR(irt.a[0][1], 2.0 / 3.0, 1e-12);
    EXPECT_EQ(irt.a[0][2], 0.0);
    EXPECT_NEAR(irt.mdisc[0][0], 5.0 / 6.0, 1e-12);
    EXPECT_NEAR(irt.d[0][0], -1.0 / 0.6, 1e-12);
    EXPECT_NEAR(irt.d[0][1], 0.2 / 0.6, 1e-12);
    EXPECT_NEAR(irt.d[0][2], 1.5, 1e-12);
    EXPECT_FALSE(irt.mdiff.valid());
    // Three categories (two thresholds) are graded too.
    const IrtMultidimensional three =
        irtMultidimensional(fromRows({{0.8, 0.0}}), fromRows({{-0.3, 0.6}}), fromRows({{0.36}}));
    EXPECT_NEAR(three.d[0][0], -0.5, 1e-12);
    EXPECT_NEAR(three.d[0][1], 1.0, 1e-12);
    EXPECT_FALSE(three.mdiff.valid());
}

// A uniqueness of 0 or below (a Heywood row) is replaced by 0.005 and the
// item is listed; 0.005 itself is used as it is.
TEST_F(IrtTest, UniquenessBelowTheFloorIsRaised) {
    MatrixScope scope;
    const Matrix loadings = fromRows({{0.5, 0.5}, {0.7, 0.1}, {0.9, 0.3}, {0.2, 0.2}});
    const Matrix tau = fromRows({{0.1}, {0.1}, {0.1}, {0.1}});
    const Matrix psi = fromRows({{0.005}, {0.0}, {-0.02}, {0.0049}});
    const IrtMultidimensional irt = irtMultidimensional(loadings, tau, psi);
    ASSERT_EQ(irt.flooredItems, (std::vector<int>{1, 2, 3}));
    const double sigma = std::sqrt(0.005);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(irt.a[i][0], loadings[i][0] / sigma, 1e-9) << i;
    EXPECT_TRUE(std::isfinite(irt.mdiff[2][0]));
}

std::string unidimensionalSection(const IrtUnidimensional& irt, bool labels) {
    DataSet data;
    testing::numberVariables(data, irt.a.rows(), 2);
    data.labelsEnabled = labels;
    if (labels)
        for (int i = 0; i < irt.a.rows() + 1; ++i) data.labels.push_back("L" + std::to_string(i + 1));
    return testing::captureReport([&](ReportWriter& r) { writeIrtUnidimensional(r, data, irt); });
}

// The heading names one b column for binary items and one per threshold
// otherwise; labels widen the item column to 45 characters.
TEST_F(IrtTest, UnidimensionalSectionColumns) {
    MatrixScope scope;
    const IrtUnidimensional binary =
        irtUnidimensional(fromRows({{0.6}, {0.8}}), fromRows({{0.3}, {-0.4}}));
    const std::string text = unidimensionalSection(binary, false);
    EXPECT_NE(text.find("TWO-PARAMETER NORMAL OGIVE MODEL"), std::string::npos);
    EXPECT_NE(text.find("Item         a        b    \n\n"), std::string::npos);
    EXPECT_NE(text.find("V   3        1.333   -0.500  \n"), std::string::npos) << text;
    const IrtUnidimensional graded =
        irtUnidimensional(fromRows({{0.6}, {0.8}}), fromRows({{0.3, 0.6, 0.9}, {-0.4, 0.0, 0.4}}));
    const std::string wide = unidimensionalSection(graded, true);
    EXPECT_NE(wide.find("GRADED RESPONSE MODEL"), std::string::npos);
    EXPECT_NE(wide.find("Item" + std::string(41, ' ') + "   a        b   1    b   2    b   3 \n\n"),
              std::string::npos);
    EXPECT_NE(wide.find("L2" + std::string(44, ' ') + "  0.750    0.500    1.000    1.500  \n"),
              std::string::npos);
    EXPECT_EQ(wide.substr(wide.size() - testing::kSectionEnd.size()), testing::kSectionEnd);
}

// The warning names the floored items by their file numbers.
TEST_F(IrtTest, MultidimensionalSectionNamesFlooredItems) {
    MatrixScope scope;
    DataSet data;
    testing::numberVariables(data, 3, 4);
    const IrtMultidimensional irt = irtMultidimensional(
        fromRows({{0.5, 0.5}, {0.7, 0.1}, {0.9, 0.3}}), fromRows({{0.1}, {0.1}, {0.1}}),
        fromRows({{0.5}, {0.0}, {-0.1}}));
    const std::string text =
        testing::captureReport([&](ReportWriter& r) { writeIrtMultidimensional(r, data, irt); });
    EXPECT_NE(text.find("WARNING: The unique variance of items V5, V6 is below 0.005"),
              std::string::npos);
    EXPECT_NE(text.find("ITEMS INTERCEPTS AND DIFFICULTIES"), std::string::npos);
    EXPECT_NE(text.find("Item         a   1    a   2    MDISC    \n\n"), std::string::npos);
    const IrtMultidimensional graded = irtMultidimensional(
        fromRows({{0.5, 0.5}}), fromRows({{0.1, 0.2}}), fromRows({{0.5}}));
    testing::numberVariables(data, 1, 4);
    const std::string gradedText =
        testing::captureReport([&](ReportWriter& r) { writeIrtMultidimensional(r, data, graded); });
    EXPECT_EQ(gradedText.find("WARNING"), std::string::npos);
    EXPECT_EQ(gradedText.find("MDIFF"), std::string::npos);
    EXPECT_NE(gradedText.find("CATEGORY INTERCEPTS\n\nItem         d   1    d   2 \n\n"),
              std::string::npos);
}

}  // namespace
}  // namespace talvex
