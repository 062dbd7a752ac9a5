#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "stats/extraction/uls_pca.h"
#include "stats/interpretation/irt.h"
#include "stats/interpretation/reliability.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;
using ReliabilityIrtTest = testing::PoolTest;

// Number i of a record of tests/reference/reliability_irt_reference.txt,
// keyed by its first two words ("omega bfi25"); a missing one throws.
double reference(const std::string& key, int i = 0) {
    static const std::map<std::string, std::vector<double>> records = [] {
        std::map<std::string, std::vector<double>> out;
        std::ifstream in(testing::referencePath("reliability_irt_reference.txt"));
        std::string line, kind, name;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream words(line);
            words >> kind >> name;
            for (double x; words >> x;) out[kind + " " + name].push_back(x);
        }
        return out;
    }();
    return records.at(key).at(static_cast<std::size_t>(i));
}

// rows x cols numbers of a record stored row-major from `offset`.
Matrix block(const std::string& key, int rows, int cols, int offset) {
    Matrix m(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) m[i][j] = reference(key, offset + i * cols + j);
    return m;
}

// Signs, omega and standardized alpha against psych (keys, omega, alpha with
// the same items reversed; minres and our ULS minimise the same loss); the
// GLB's common variances against a log-barrier interior-point solution of
// the same convex problem. Signs follow the first loading, whatever its sign.
TEST_F(ReliabilityIrtTest, ReliabilityMatchesPsychAndAnInteriorPointGlb) {
    for (const std::string name : {"harman74", "bfi25", "bfi25cov", "ability"}) {
        SCOPED_TRACE(name);
        MatrixScope scope;
        const int p = static_cast<int>(reference("matrix " + name));
        const Matrix s = block("matrix " + name, p, p, 1);
        const Matrix loadings = extractUls(s, 1, 1e-8, 1000).loadings;
        EXPECT_THAT(reflectionSigns(loadings), MatrixNear(block("keys " + name, p, 1, 0), 0));
        EXPECT_NEAR(mcDonaldOmega(loadings, s), reference("omega " + name), 2e-6);
        EXPECT_NEAR(standardizedAlpha(s, loadings), reference("alpha " + name), 1e-12);
        const GreatestLowerBound glb = greatestLowerBound(s);
        ASSERT_TRUE(glb.success);
        EXPECT_NEAR(glb.reduced.trace(), reference("glb " + name, 1), 1e-5 * s.trace());
    }
    MatrixScope scope;
    EXPECT_THAT(reflectionSigns(fromRows({{-0.5}, {-0.6}, {0.4}, {-0.1}})),
                MatrixNear(fromRows({{1}, {1}, {-1}, {1}}), 0));
}

// Below 1000 cases a sampling warning; below 3 variables nothing is computed.
TEST_F(ReliabilityIrtTest, SampleWarningAndTooFewVariables) {
    const auto section = [](int p, int n) {
        MatrixScope scope;
        Matrix s = constant(p, p, 0.4);
        for (int i = 0; i < p; ++i) s[i][i] = 1.0;
        DataSet data;
        testing::numberVariables(data, p, 3);
        return testing::captureReport([&](ReportWriter& r) { writeReliability(r, data, s, n); });
    };
    const std::string warning = "WARNING: The GLB and Omega can only be trusted in large samples";
    EXPECT_NE(section(4, 999).find(warning), std::string::npos);
    EXPECT_EQ(section(4, 1000).find(warning), std::string::npos);
    EXPECT_NE(section(2, 5000).find("needs at least 3 variables"), std::string::npos);
    EXPECT_EQ(section(3, 5000).find("not computed"), std::string::npos);
}

// psych::irt.fa on 16 binary ability items and two sets of five six-point
// items (bfiA starts with a reversed item): discriminations, and its
// difficulties divided by them, from the same loadings and thresholds. By
// hand: b = τ/λ clamped to ±5 (0.5/-0.01, 4.8/0.8), signs of the first item.
TEST_F(ReliabilityIrtTest, UnidimensionalIrtMatchesPsychIrtFa) {
    for (const std::string key : {"irt ability16", "irt bfiA", "irt bfiC"}) {
        SCOPED_TRACE(key);
        MatrixScope scope;
        const int p = static_cast<int>(reference(key)), k = static_cast<int>(reference(key, 1));
        const IrtUnidimensional u = irtUnidimensional(block(key, p, 1, 2), block(key, p, k, 2 + p));
        EXPECT_THAT(u.a, MatrixNear(block(key, p, 1, 2 + p + p * k), 1e-12));
        EXPECT_THAT(u.b, MatrixNear(block(key, p, k, 2 + 2 * p + p * k), 1e-12));
    }
    MatrixScope scope;
    const IrtUnidimensional irt = irtUnidimensional(
        fromRows({{-0.6}, {0.01}, {-0.8}}), fromRows({{0.3, -1.2}, {0.5, -0.04}, {0.0, 4.8}}));
    EXPECT_THAT(irt.b, MatrixNear(fromRows({{0.5, -2.0}, {-5.0, 4.0}, {0.0, 5.0}}), 1e-12));
}

// a = λ/σ, MDISC = ‖a‖; binary items: d = −τ/σ, MDIFF = −d/MDISC; graded
// items (three categories too) keep τ's sign and have no MDIFF. A
// uniqueness below 0.005 is raised to it and listed; 0.005 itself is kept.
TEST_F(ReliabilityIrtTest, MultidimensionalIrtByHand) {
    MatrixScope scope;
    const double r = std::sqrt(1.8), s = std::sqrt(0.005), g = std::sqrt(0.75);
    const IrtMultidimensional bi = irtMultidimensional(
        fromRows({{0.6, 0.3}, {-0.48, 0.36}, {0.5, 0}, {0.2, 0}}),
        fromRows({{0.5}, {-0.4}, {0.1}, {0.1}}), fromRows({{0.25}, {0.64}, {0.005}, {0.0049}}));
    EXPECT_THAT(bi.a,
                MatrixNear(fromRows({{1.2, 0.6}, {-0.6, 0.45}, {0.5 / s, 0}, {0.2 / s, 0}}), 1e-9));
    EXPECT_THAT(bi.mdisc, MatrixNear(fromRows({{r}, {0.75}, {0.5 / s}, {0.2 / s}}), 1e-9));
    EXPECT_THAT(bi.d, MatrixNear(fromRows({{-1}, {0.5}, {-0.1 / s}, {-0.1 / s}}), 1e-9));
    EXPECT_NEAR(bi.mdiff[0][0], 1 / r, 1e-12);
    EXPECT_NEAR(bi.mdiff[1][0], -0.5 / 0.75, 1e-12);
    EXPECT_EQ(bi.flooredItems, (std::vector<int>{3}));
    const IrtMultidimensional graded = irtMultidimensional(
        fromRows({{0.3, 0.4}, {0.8, 0}}), fromRows({{-1, 0.9}, {-0.3, 0.6}}),
        fromRows({{0.75}, {0.36}}));
    EXPECT_THAT(graded.d, MatrixNear(fromRows({{-1 / g, 0.9 / g}, {-0.5, 1.0}}), 1e-12));
    EXPECT_FALSE(graded.mdiff.valid());
}

}  // namespace
}  // namespace talvex
