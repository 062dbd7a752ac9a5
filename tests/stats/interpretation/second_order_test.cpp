// Second-order factors and the Schmid-Leiman solution: psych::schmid and
// psych::fa on the same pattern and factor correlations
// (tests/reference/schmid_leiman_reference.R), exact one-factor structures
// worked by hand, the two-factor case and the identification rule.
#include "stats/interpretation/second_order.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "data/dataset.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;
using SecondOrderTest = testing::PoolTest;

// "key case rows cols values..." records of schmid_leiman_reference.txt.
std::map<std::string, Matrix> readReference() {
    std::map<std::string, Matrix> records;
    std::ifstream in(testing::referencePath("schmid_leiman_reference.txt"));
    std::string line, key, name;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        int rows = 0, cols = 0;
        if (!(words >> key >> name >> rows >> cols)) continue;
        Matrix m(rows, cols);
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) words >> m[i][j];
        records[key + " " + name] = m;
    }
    return records;
}

// The columns of `actual` reordered and reflected to match `expected`
// (largest |congruence| first come, first served).
Matrix aligned(const Matrix& actual, const Matrix& expected) {
    const int g = actual.cols();
    Matrix result(actual.rows(), g);
    std::vector<bool> used(static_cast<std::size_t>(g), false);
    for (int e = 0; e < g; ++e) {
        int best = -1;
        double bestValue = -1.0, bestSign = 1.0;
        for (int a = 0; a < g; ++a) {
            if (used[static_cast<std::size_t>(a)]) continue;
            double cross = 0.0;
            for (int i = 0; i < actual.rows(); ++i) cross += actual[i][a] * expected[i][e];
            if (std::fabs(cross) > bestValue) {
                bestValue = std::fabs(cross);
                best = a;
                bestSign = cross < 0 ? -1.0 : 1.0;
            }
        }
        used[static_cast<std::size_t>(best)] = true;
        for (int i = 0; i < actual.rows(); ++i) result[i][e] = bestSign * actual[i][best];
    }
    return result;
}

TEST_F(SecondOrderTest, MatchesPsychSchmidAndFa) {
    const std::map<std::string, Matrix> ref = readReference();
    ASSERT_EQ(ref.size(), 15u) << "tests/reference/schmid_leiman_reference.txt";
    struct Case {
        const char* name;
        int g;
    };
    for (const Case c : {Case{"bfi25_g1", 1}, Case{"constructed_g2", 2}, Case{"harman74_g1", 1}}) {
        SCOPED_TRACE(c.name);
        const std::string n = c.name;
        const Matrix& pattern = ref.at("pattern " + n);
        const SchmidLeimanSolution s = computeSchmidLeiman(pattern, ref.at("phi " + n), c.g, 500);
        ASSERT_TRUE(s.identified);
        EXPECT_FALSE(s.equalLoadings);
        // psych's minres stops at its own tolerance: agreement to 1e-4.
        const Matrix b = c.g == 1 ? s.secondOrder : aligned(s.secondOrder, ref.at("second " + n));
        EXPECT_THAT(b, MatrixNear(ref.at("second " + n), 1e-4));
        EXPECT_THAT(c.g == 1 ? s.general : pattern.multiply(b),
                    MatrixNear(ref.at("general " + n), 1e-4));
        EXPECT_THAT(s.residualized, MatrixNear(ref.at("residualized " + n), 1e-4));
    }
}

// Φ = bbᵀ off the diagonal: one second-order factor reproduces it exactly,
// so B = b (reflected to a positive sum), U = diag √(1 − b²), and with
// P = I the Schmid-Leiman loadings are U and b themselves. A loading above
// 1 is held at 1 (U = 0).
TEST_F(SecondOrderTest, ExactOneFactorStructures) {
    struct Case {
        const char* name;
        Matrix b;         // generating loadings
        Matrix expected;  // B
        Matrix u;         // diagonal of U
    };
    const Case cases[] = {
        {"0.8, 0.7, 0.6", fromRows({{0.8}, {0.7}, {0.6}}), fromRows({{0.8}, {0.7}, {0.6}}),
         fromRows({{0.6}, {std::sqrt(0.51)}, {0.8}})},
        {"reflected", fromRows({{-0.8}, {-0.7}, {0.6}}), fromRows({{0.8}, {0.7}, {-0.6}}),
         fromRows({{0.6}, {std::sqrt(0.51)}, {0.8}})},
        {"four factors", fromRows({{0.5}, {0.6}, {0.7}, {0.8}}),
         fromRows({{0.5}, {0.6}, {0.7}, {0.8}}),
         fromRows({{std::sqrt(0.75)}, {0.8}, {std::sqrt(0.51)}, {0.6}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int m = c.b.rows();
        Matrix phi = c.b.multiply(c.b.transpose());
        for (int j = 0; j < m; ++j) phi[j][j] = 1.0;
        const SchmidLeimanSolution s = computeSchmidLeiman(identity(m), phi, 1, 200);
        ASSERT_TRUE(s.identified);
        // ULS stops when a sweep lowers the loss by 1e-8 or less.
        EXPECT_THAT(s.secondOrder, MatrixNear(c.expected, 1e-4));
        EXPECT_THAT(s.general, MatrixNear(c.expected, 1e-4));
        EXPECT_THAT(s.residualized, MatrixNear(c.u.diag(), 1e-4));
    }
}

TEST_F(SecondOrderTest, HeywoodSecondOrderLoadingLeavesNoGroupFactor) {
    // b = (1.2, 0.5, 0.5) would reproduce these correlations; the first
    // communality is held at 1, so its group factor vanishes.
    const Matrix phi = fromRows({{1, 0.6, 0.6}, {0.6, 1, 0.25}, {0.6, 0.25, 1}});
    const SchmidLeimanSolution s = computeSchmidLeiman(identity(3), phi, 1, 200);
    ASSERT_TRUE(s.identified);
    EXPECT_NEAR(s.secondOrder[0][0], 1.0, 1e-6);
    EXPECT_EQ(s.residualized[0][0], 0.0);
    EXPECT_GT(s.residualized[1][1], 0.0);
    EXPECT_TRUE(std::isfinite(s.residualized[2][2]));
}

// Two first-order factors: both load √|φ|, so the answer does not depend on
// which factor comes first (a variable loading 0.8 gets 0.8·√φ either way).
TEST_F(SecondOrderTest, TwoFirstOrderFactorsLoadEqually) {
    const Matrix p = fromRows({{0.8, 0.0}, {0.1, 0.7}, {0.0, 0.6}});
    const Matrix swapped = fromRows({{0.0, 0.8}, {0.7, 0.1}, {0.6, 0.0}});
    for (double phi : {0.64, 0.25, -0.36}) {
        SCOPED_TRACE(phi);
        const Matrix f = fromRows({{1, phi}, {phi, 1}});
        const SchmidLeimanSolution a = computeSchmidLeiman(p, f, 1, 100);
        const SchmidLeimanSolution b = computeSchmidLeiman(swapped, f, 1, 100);
        ASSERT_TRUE(a.identified && a.equalLoadings);
        const double root = std::sqrt(std::fabs(phi));
        EXPECT_NEAR(a.secondOrder[0][0], root, 1e-12);
        EXPECT_NEAR(a.secondOrder[1][0], phi < 0 ? -root : root, 1e-12);
        EXPECT_NEAR(a.general[0][0], 0.8 * root, 1e-12);
        EXPECT_NEAR(b.general[0][0], phi < 0 ? -0.8 * root : 0.8 * root, 1e-12);
        EXPECT_NEAR(a.residualized[0][0], 0.8 * std::sqrt(1 - std::fabs(phi)), 1e-12);
        EXPECT_NEAR(b.residualized[0][1], a.residualized[0][0], 1e-12);
    }
}

// Correlations among m factors against the loadings of g second-order
// factors: (m − g)² >= m + g, and fewer second-order than first-order
// factors.
TEST_F(SecondOrderTest, IdentificationRule) {
    struct Case {
        int m, g;
        bool identified;
    };
    const Case cases[] = {{2, 1, false}, {3, 1, true},  {3, 2, false}, {4, 1, true},
                          {4, 2, false}, {5, 2, true},  {5, 3, false}, {6, 3, true},
                          {7, 4, false}, {4, 4, false}, {2, 5, false}, {5, 0, false}};
    for (const Case& c : cases)
        EXPECT_EQ(secondOrderIdentified(c.m, c.g), c.identified) << c.m << " " << c.g;

    const SchmidLeimanSolution s = computeSchmidLeiman(identity(4), identity(4), 2, 100);
    EXPECT_FALSE(s.identified);
    EXPECT_FALSE(s.secondOrder.valid());
}

TEST_F(SecondOrderTest, UnidentifiedSectionSaysWhy) {
    DataSet data;
    testing::numberVariables(data, 4);
    const SchmidLeimanSolution s = computeSchmidLeiman(identity(4), identity(4), 2, 100);
    const std::string text = testing::captureReport(
        [&](ReportWriter& report) { writeSchmidLeiman(report, data, s, 4, 2); });
    EXPECT_NE(text.find("not identified"), std::string::npos);
    EXPECT_EQ(text.find("Schmid-Leiman solution\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - testing::kSectionEnd.size()), testing::kSectionEnd);
}

}  // namespace
}  // namespace talvex
