// Column statistics, covariance/correlation and Mardia's tests against closed
// forms and against base R / psych (tests/reference/dispersion_reference.R).
#include "stats/dispersion/descriptives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "stats/dispersion/correlation.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

class DescriptivesTest : public testing::PoolTest {};

// Scores 1..5: mean 3, variance 2 (divisor N), skewness 0, kurtosis
// 34/4/4 - 3 = -0.875 (closed form).
TEST_F(DescriptivesTest, OneToFiveClosedForms) {
    const Matrix x = fromRows({{1}, {2}, {3}, {4}, {5}});
    EXPECT_DOUBLE_EQ(columnMeans(x)[0][0], 3.0);
    EXPECT_DOUBLE_EQ(columnSds(x)[0][0], std::sqrt(2.0));
    EXPECT_NEAR(columnSkewness(x)[0][0], 0.0, 1e-15);
    EXPECT_DOUBLE_EQ(columnKurtosis(x)[0][0], -0.875);
    EXPECT_DOUBLE_EQ(covarianceOf(x)[0][0], 2.0);
}

TEST_F(DescriptivesTest, CovarianceDividesByN) {
    // (0, 0) and (2, 2): deviations ±1, so every element is 2/2 = 1.
    EXPECT_THAT(covarianceOf(fromRows({{0, 0}, {2, 2}})), MatrixNear(fromRows({{1, 1}, {1, 1}}), 0.0));
}

TEST_F(DescriptivesTest, ConstantColumnHasZeroSdNotNaN) {
    // 0.1 is inexact, so the one-pass difference may fall below zero.
    const Matrix x = fromRows({{0.1, 1}, {0.1, 2}, {0.1, 4}});
    EXPECT_EQ(columnSds(x)[0][0], 0.0);
    EXPECT_THAT(centreColumns(x), MatrixNear(fromRows({{0, -4.0 / 3}, {0, -1.0 / 3}, {0, 5.0 / 3}}), 1e-15));
}

TEST_F(DescriptivesTest, CrossProductMatchesGeneralProductBitForBit) {
    std::mt19937 gen(11);
    const Matrix a = testing::randomMatrix(53, 6, gen);
    EXPECT_THAT(crossProduct(a), MatrixNear(a.transpose().multiply(a), 0.0));
}

// The fixture of dispersion_reference.R: per data set, "set NAME N p" then
// labelled rows of numbers.
struct ReferenceSet {
    int n = 0;
    int p = 0;
    std::map<std::string, std::vector<std::vector<double>>> rows;
};

std::map<std::string, ReferenceSet> readFixture() {
    std::map<std::string, ReferenceSet> sets;
    std::ifstream in(testing::referencePath("dispersion_reference.txt"));
    std::string line;
    ReferenceSet* current = nullptr;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key == "set") {
            std::string name;
            fields >> name;
            current = &sets[name];
            fields >> current->n >> current->p;
            continue;
        }
        std::vector<double> values;
        double v;
        while (fields >> v) values.push_back(v);
        if (current != nullptr) current->rows[key].push_back(values);
    }
    return sets;
}

void expectRowNear(const Matrix& actual, const std::vector<double>& expected, double tolerance, const char* what) {
    ASSERT_EQ(actual.rows() * actual.cols(), static_cast<int>(expected.size())) << what;
    for (int j = 0; j < static_cast<int>(expected.size()); ++j) {
        const double a = actual.rows() == 1 ? actual[0][j] : actual[j][0];
        EXPECT_NEAR(a, expected[static_cast<std::size_t>(j)], tolerance) << what << " element " << j;
    }
}

class ReferenceDataTest : public DescriptivesTest, public ::testing::WithParamInterface<const char*> {
protected:
    static const std::map<std::string, ReferenceSet>& fixture() {
        static const std::map<std::string, ReferenceSet> sets = readFixture();
        return sets;
    }
    const ReferenceSet& expected() const { return fixture().at(GetParam()); }
    Matrix scores() const {
        const std::string file = std::string(GetParam()) == "bfi25" ? "bfi25.dat" : "dispersion_normal.dat";
        return testing::readMatrix(testing::referencePath(file));
    }
};

// Same formulas as R up to rounding: tight tolerances.
TEST_P(ReferenceDataTest, ColumnStatisticsMatchR) {
    const ReferenceSet& ref = expected();
    const Matrix x = scores();
    ASSERT_EQ(x.rows(), ref.n);
    ASSERT_EQ(x.cols(), ref.p);
    expectRowNear(columnMeans(x), ref.rows.at("mean")[0], 1e-12, "mean");
    expectRowNear(columnSds(x), ref.rows.at("sd")[0], 1e-10, "sd");
    expectRowNear(columnSkewness(x), ref.rows.at("skew")[0], 1e-9, "skewness");
    expectRowNear(columnKurtosis(x), ref.rows.at("kurt")[0], 1e-9, "kurtosis");
}

TEST_P(ReferenceDataTest, CovarianceAndCorrelationMatchR) {
    const ReferenceSet& ref = expected();
    const Matrix x = scores();
    const Matrix r = correlationOf(x);
    const Matrix s = covarianceOf(x);
    for (int i = 0; i < ref.p; ++i) {
        MatrixScope scope;
        expectRowNear(r.rowBlock(i, 1), ref.rows.at("cor")[static_cast<std::size_t>(i)], 1e-12, "correlation");
        expectRowNear(s.rowBlock(i, 1), ref.rows.at("cov")[static_cast<std::size_t>(i)], 1e-12, "covariance");
    }
}

// Coefficients and statistics follow the same formulas as psych::mardia
// (tight). The skewness P values follow the program's chi-square rule, which
// the fixture recomputes in R ("mardiaP"); the kurtosis P is psych's halved,
// at the printed precision since our normal probability is approximate.
TEST_P(ReferenceDataTest, MardiaMatchesPsych) {
    const std::vector<double>& m = expected().rows.at("mardia")[0];
    const std::vector<double>& rule = expected().rows.at("mardiaP")[0];
    const Matrix t = mardiaTest(scores());
    ASSERT_EQ(t.rows(), 9);
    auto rel = [](double e) { return 1e-9 * std::max(1.0, std::fabs(e)); };
    EXPECT_NEAR(t[MardiaSkewness][0], m[0], rel(m[0]));
    EXPECT_NEAR(t[MardiaSkewnessStatistic][0], m[1], rel(m[1]));
    EXPECT_EQ(t[MardiaDf][0], m[2]);
    EXPECT_NEAR(t[MardiaSkewnessP][0], rule[0], 1e-6);
    EXPECT_NEAR(t[MardiaCorrectedStatistic][0], m[4], rel(m[4]));
    EXPECT_NEAR(t[MardiaCorrectedP][0], rule[1], 1e-6);
    EXPECT_NEAR(t[MardiaKurtosis][0], m[6], rel(m[6]));
    EXPECT_NEAR(t[MardiaKurtosisZ][0], m[7], rel(m[7]));
    EXPECT_NEAR(t[MardiaKurtosisP][0], m[8], 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Fixture, ReferenceDataTest, ::testing::Values("bfi25", "normal"));

// The blocked pair sums against the plain double loop over every pair, with
// N spanning several cache blocks and not a multiple of the panel height.
TEST_F(DescriptivesTest, MardiaPairSumsAgreeWithDirectDoubleLoop) {
    std::mt19937 gen(3);
    std::exponential_distribution<double> skewed(1.0);
    const int n = 1229, p = 3;
    Matrix x(n, p);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < p; ++j) x[i][j] = skewed(gen) + 0.3 * j * x[i][0];
    const Matrix xc = centreColumns(x);
    const Matrix sInv = covarianceOf(x).scale(n / (n - 1.0)).inverse();
    double cubes = 0.0, squares = 0.0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            double g = 0.0;
            for (int a = 0; a < p; ++a)
                for (int b = 0; b < p; ++b) g += xc[i][a] * sInv[a][b] * xc[j][b];
            cubes += g * g * g;
            if (i == j) squares += g * g;
        }
    }
    const Matrix t = mardiaTest(x);
    EXPECT_NEAR(t[MardiaSkewness][0], cubes / (double(n) * n), 1e-10);
    EXPECT_NEAR(t[MardiaKurtosis][0], squares / n, 1e-9);
    // Small-sample factor k for N = 1229, p = 3 by hand: 1232·1230·4 / (1229·(1230·4 - 6)).
    const double k = 1232.0 * 1230.0 * 4.0 / (1229.0 * (1230.0 * 4.0 - 6.0));
    EXPECT_NEAR(t[MardiaCorrectedStatistic][0], k * t[MardiaSkewnessStatistic][0], 1e-9);
    EXPECT_EQ(t[MardiaDf][0], 10.0);
}

}  // namespace
}  // namespace talvex
