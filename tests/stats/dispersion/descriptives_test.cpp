// Column statistics, covariance/correlation and Mardia's tests against closed
// forms and against base R / psych (tests/reference/dispersion_reference.R);
// the section lines whose content depends on the data, with values worked out
// by hand.
#include "stats/dispersion/descriptives.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <utility>
#include <sstream>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/reference_inputs.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::fromRows;
using testing::MatrixNear;
using DescriptivesTest = testing::PoolTest;

TEST_F(DescriptivesTest, ConstantColumnHasZeroSdNotNaN) {
    // 0.1 is inexact, so the one-pass difference may fall below zero.
    const Matrix x = fromRows({{0.1, 1}, {0.1, 2}, {0.1, 4}});
    EXPECT_EQ(columnSds(x)[0][0], 0.0);
    EXPECT_THAT(centreColumns(x),
                MatrixNear(fromRows({{0, -4.0 / 3}, {0, -1.0 / 3}, {0, 5.0 / 3}}), 1e-15));
}

// dispersion_reference.txt: per data set "set NAME N p", then labelled rows.
using ReferenceSet = std::map<std::string, std::vector<std::vector<double>>>;
const std::map<std::string, ReferenceSet>& fixture() {
    static const std::map<std::string, ReferenceSet> sets = [] {
        std::map<std::string, ReferenceSet> read;
        std::ifstream in(testing::referencePath("dispersion_reference.txt"));
        std::string line, key, name;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream fields(line);
            fields >> key;
            if (key == "set") fields >> name;
            std::vector<double> values;
            for (double v; fields >> v;) values.push_back(v);
            read[name][key].push_back(values);
        }
        return read;
    }();
    return sets;
}

// Compares the elements of a row or column with `expected`.
void expectNear(const Matrix& actual, const std::vector<double>& expected, double tolerance, const char* what) {
    ASSERT_EQ(actual.rows() * actual.cols(), static_cast<int>(expected.size())) << what;
    for (int j = 0; j < static_cast<int>(expected.size()); ++j)
        EXPECT_NEAR(actual.rows() == 1 ? actual[0][j] : actual[j][0], expected[j], tolerance) << what << j;
}

// bfi25 (N = 2436: several cache blocks of the Mardia pair sums, and not a
// whole number of panels) and a normal sample of 150.
class ReferenceDataTest : public DescriptivesTest, public ::testing::WithParamInterface<const char*> {
protected:
    const std::vector<double>& ref(const char* key, int row = 0) const {
        return fixture().at(GetParam()).at(key)[static_cast<std::size_t>(row)];
    }
    Matrix scores() const {
        const bool bfi = std::string(GetParam()) == "bfi25";
        return testing::readMatrix(testing::referencePath(bfi ? "bfi25.dat" : "dispersion_normal.dat"));
    }
};

// Same formulas as R up to rounding: tight tolerances.
TEST_P(ReferenceDataTest, ColumnStatisticsCovarianceAndCorrelationMatchR) {
    const Matrix x = scores();
    ASSERT_EQ(x.rows(), ref("set")[0]);
    ASSERT_EQ(x.cols(), ref("set")[1]);
    expectNear(columnMeans(x), ref("mean"), 1e-12, "mean");
    expectNear(columnSds(x), ref("sd"), 1e-10, "sd");
    expectNear(columnSkewness(x), ref("skew"), 1e-9, "skewness");
    expectNear(columnKurtosis(x), ref("kurt"), 1e-9, "kurtosis");
    const Matrix r = correlationOf(x), s = covarianceOf(x);
    for (int i = 0; i < x.cols(); ++i) {
        MatrixScope scope;
        expectNear(r.rowBlock(i, 1), ref("cor", i), 1e-12, "correlation");
        expectNear(s.rowBlock(i, 1), ref("cov", i), 1e-12, "covariance");
    }
}

// Coefficients and statistics follow the same formulas as psych::mardia
// (tight). The skewness P values follow the program's chi-square rule, which
// the fixture recomputes in R ("mardiaP"); the kurtosis P is psych's halved,
// at the printed precision since our normal probability is approximate.
TEST_P(ReferenceDataTest, MardiaMatchesPsych) {
    const std::vector<double>& m = ref("mardia");
    const Matrix t = mardiaTest(scores());
    ASSERT_EQ(t.rows(), 9);
    for (int row : {MardiaSkewness, MardiaSkewnessStatistic, MardiaCorrectedStatistic, MardiaKurtosis,
                    MardiaKurtosisZ})
        EXPECT_NEAR(t[row][0], m[row], 1e-9 * std::max(1.0, std::fabs(m[row]))) << row;
    EXPECT_EQ(t[MardiaDf][0], m[MardiaDf]);
    EXPECT_NEAR(t[MardiaSkewnessP][0], ref("mardiaP")[0], 1e-6);
    EXPECT_NEAR(t[MardiaCorrectedP][0], ref("mardiaP")[1], 1e-6);
    EXPECT_NEAR(t[MardiaKurtosisP][0], m[MardiaKurtosisP], 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Fixture, ReferenceDataTest, ::testing::Values("bfi25", "normal"));

// A P value exactly at 0.05 is marked but adds no footnote (the section is
// otherwise pinned by the golden reports).
TEST_F(DescriptivesTest, MardiaPAtTheLevelIsMarkedWithoutFootnote) {
    Matrix t(9, 1);
    const double values[9] = {1.25, 20.8333, 4.0, 0.05, 31.5, 0.5, 7.5, -1.0625, 0.3};
    for (int i = 0; i < 9; ++i) t[i][0] = values[i];
    const std::string text = captureReport([&](ReportWriter& r) { writeMultivariateDescriptives(r, t); });
    EXPECT_NE(text.find("    4     0.0500**\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Significant"), std::string::npos) << text;
}

// Either index above 1 in absolute value raises the advice: {-1, 0 x8, 1} has
// kurtosis 2/9/0.04 - 3 = 2.56 alone; {1, 1, 1, 3} has skewness
// 1/0.75^1.5 = 1.54 alone (kurtosis 0.11); 1..5 has neither.
TEST_F(DescriptivesTest, AdviceFollowsEitherIndexAlone) {
    DataSet data;
    testing::numberVariables(data, 1);
    const std::pair<Matrix, bool> rows[] = {
        {fromRows({{-1}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {0}, {1}}), true},
        {fromRows({{1}, {1}, {1}, {3}}), true},
        {fromRows({{1}, {2}, {3}, {4}, {5}}), false},
    };
    for (const auto& [x, advised] : rows)
        EXPECT_EQ(captureReport([&](ReportWriter& r) { writeDescriptives(r, data, x, Covariance); })
                      .find("Polychoric correlation is advised") != std::string::npos,
                  advised)
            << x.rows() << " rows";
}

// The third-moment path against the plain pair sums on skewed random scores:
// one variable, partial variable panels, several row blocks, p² above and
// below 2N. Whichever thread count or build of the kernels runs it, the same
// bits.
TEST_F(DescriptivesTest, MardiaMomentsMatchPairSums) {
    const std::pair<int, int> shapes[] = {{40, 1}, {9, 3}, {13, 5}, {300, 9}, {700, 17}, {1100, 24}, {60, 30}};
    std::mt19937_64 engine(20261207);
    std::exponential_distribution<double> skewed(1.0);
    for (const auto& [n, p] : shapes) {
        Matrix x(n, p);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < p; ++j) x[i][j] = skewed(engine) + (j > 0 ? 0.5 * x[i][j - 1] : 0.0);
        const MardiaSums plain = mardiaPairSums(x);
        MardiaSums fast[2];
        for (int threads : {1, 2}) {
            const testing::ThreadCount count(threads == 1 ? "1" : "2");
            ASSERT_TRUE(mardiaMomentSums(x, fast[threads - 1])) << n << " x " << p;
        }
        EXPECT_NEAR(fast[0].b1, plain.b1, 1e-10 * plain.b1) << n << " x " << p;
        EXPECT_NEAR(fast[0].b2, plain.b2, 1e-10 * plain.b2) << n << " x " << p;
        EXPECT_EQ(fast[0].b1, fast[1].b1) << n << " x " << p;
        EXPECT_EQ(fast[0].b2, fast[1].b2) << n << " x " << p;
        for (KernelPath path : testing::kernelPathsHere()) {
            MardiaSums moments;
            ASSERT_TRUE(mardiaMomentSums(x, moments, path));
            const MardiaSums pairs = mardiaPairSums(x, path);
            // Whitened a block of 256 rows at a time: the same sums.
            MardiaSums chunked;
            ASSERT_TRUE(mardiaMomentSums(x, chunked, path, 1));
            EXPECT_TRUE(moments.b1 == fast[0].b1 && moments.b2 == fast[0].b2 && pairs.b1 == plain.b1 &&
                        pairs.b2 == plain.b2 && chunked.b1 == moments.b1 && chunked.b2 == moments.b2)
                << n << " x " << p << ", build " << static_cast<int>(path);
        }
    }
    // A column that repeats another has no Cholesky factor.
    MardiaSums untouched{-1.0, -1.0};
    EXPECT_FALSE(mardiaMomentSums(fromRows({{1, 1}, {2, 2}, {4, 4}, {3, 3}}), untouched));
    EXPECT_EQ(untouched.b1, -1.0);
}

// The tiled cross products, on one or two threads and either build, are the
// plain sums in row order; the variances alone are the covariance matrix's
// diagonal and count the same constructions. Shapes above and below the
// size that takes a second thread, with partial panels and row blocks.
TEST_F(DescriptivesTest, CrossProductsAreThePlainSumsOnEitherThreadCount) {
    const std::pair<int, int> shapes[] = {{1, 1}, {300, 9}, {1500, 82}, {2100, 65}};
    std::mt19937_64 engine(20261208);
    std::normal_distribution<double> normal(3.0, 2.0);
    for (const auto& [n, p] : shapes) {
        Matrix x(n, p);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < p; ++j) x[i][j] = normal(engine) + (j > 0 ? 0.3 * x[i][j - 1] : 0.0);
        const Matrix means = columnMeans(x);
        Matrix plain(p, p);
        for (int i = 0; i < n; ++i)
            for (int a = 0; a < p; ++a)
                for (int b = 0; b < p; ++b) plain[a][b] += (x[i][a] - means[0][a]) * (x[i][b] - means[0][b]);
        for (const char* threads : {"1", "2"}) {
            const testing::ThreadCount count(threads);
            for (KernelPath path : testing::kernelPathsHere())
                EXPECT_THAT(centredCrossProduct(x, means, path), MatrixNear(plain, 0.0))
                    << n << " x " << p << ", " << threads << " threads, build " << static_cast<int>(path);
        }
        int made[2];
        std::vector<double> variances[2];
        for (int route = 0; route < 2; ++route) {
            // The pool's matrices end with it: the values are copied out.
            ThreadMatrixPool pool;
            const Matrix v = route == 0 ? covarianceOf(x).diag() : columnVariances(x);
            made[route] = pool.constructions();
            for (int j = 0; j < p; ++j) variances[route].push_back(v[j][0]);
        }
        EXPECT_EQ(variances[1], variances[0]) << n << " x " << p;
        EXPECT_EQ(made[1], made[0]);
    }
}

// Eigenvalues 1 ± 1.5: the smaller is negative and the matrix is flagged. A
// singular but positive semi-definite matrix (eigenvalue 0) is not.
TEST_F(DescriptivesTest, NotPositiveDefiniteWarning) {
    DataSet data;
    testing::numberVariables(data, 2, 4);
    auto section = [&](const Matrix& m) {
        return captureReport([&](ReportWriter& r) { writeDispersionMatrix(r, data, m, Covariance); });
    };
    EXPECT_NE(section(fromRows({{1.0, 1.5}, {1.5, 1.0}})).find("WARNING: Matrix to be analyzed is not positive-definite."),
              std::string::npos);
    EXPECT_EQ(section(fromRows({{1.0, 0.0}, {0.0, 0.0}})).find("WARNING"), std::string::npos);
}

}  // namespace
}  // namespace talvex
