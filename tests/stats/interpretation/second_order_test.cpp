// Against psych::schmid and psych::fa: tests/reference/schmid_leiman_reference.R.
#include "stats/interpretation/second_order.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;
using SecondOrderTest = testing::PoolTest;

TEST_F(SecondOrderTest, MatchesPsychSchmidAndFa) {
    std::map<std::string, Matrix> ref;  // "key case rows cols values..." records
    std::ifstream in(testing::referencePath("schmid_leiman_reference.txt"));
    for (std::string line, key, name; std::getline(in, line);) {
        std::istringstream words(line);
        int rows = 0, cols = 0;
        if (!(words >> key >> name >> rows >> cols)) continue;
        Matrix& m = ref[key + " " + name] = Matrix(rows, cols);
        for (int i = 0; i < rows * cols; ++i) words >> m[i / cols][i % cols];
    }
    for (const std::string n : {"bfi25_g1", "constructed_g2", "harman74_g1"}) {
        SCOPED_TRACE(n);
        const Matrix& second = ref.at("second " + n);
        const int g = second.cols();
        const auto s = computeSchmidLeiman(ref.at("pattern " + n), ref.at("phi " + n), g, 500);
        ASSERT_TRUE(s.identified);
        // psych's minres stops at its own tolerance: agreement to 1e-4. Σb⁴ and the
        // communalities in U ignore the order and signs of columns, not Varimax.
        const auto quartic = [](const Matrix& x) { return x.hadamard(x).sumOfSquares(); };
        EXPECT_NEAR(quartic(s.secondOrder), quartic(second), 1e-4);
        EXPECT_THAT(s.residualized, MatrixNear(ref.at("residualized " + n), 1e-4));
        if (g == 1) {
            EXPECT_THAT(s.secondOrder, MatrixNear(second, 1e-4));
            EXPECT_THAT(s.general, MatrixNear(ref.at("general " + n), 1e-4));
        }
    }
}

// Identified when (m − g)² >= m + g and g < m; two first-order factors are
// the exception, both loading √|φ|, with opposite signs when φ < 0.
TEST_F(SecondOrderTest, IdentificationAndTwoFactors) {
    const int cases[][3] = {{2, 1, 0}, {3, 1, 1}, {3, 2, 0}, {5, 2, 1},
                            {5, 3, 0}, {6, 3, 1}, {2, 5, 0}, {5, 0, 0}};
    for (const auto& c : cases) EXPECT_EQ(secondOrderIdentified(c[0], c[1]), c[2]) << c[0] << c[1];
    for (double phi : {0.25, -0.36}) {
        const Matrix f = fromRows({{1, phi}, {phi, 1}});
        const auto s = computeSchmidLeiman(fromRows({{0.8, 0}, {0.1, 0.7}}), f, 1, 100);
        ASSERT_TRUE(s.identified);
        EXPECT_NEAR(s.secondOrder[1][0], phi < 0 ? -0.6 : 0.5, 1e-12);
    }
}

}  // namespace
}  // namespace talvex
