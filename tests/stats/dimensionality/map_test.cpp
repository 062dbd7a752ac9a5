#include "stats/dimensionality/map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "stats/dispersion/reference_inputs.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::formatted;
using testing::kSectionEnd;
using testing::referencePath;

const std::string kHead =
    "MINIMUM AVERAGE PARTIAL TEST (MAP)\nVelicer (1976)\n\nDimensions    Averaged Partial\n\n";

using MapTest = testing::PoolTest;

Matrix column(const std::vector<double>& values) {
    Matrix c(static_cast<int>(values.size()), 1);
    for (std::size_t i = 0; i < values.size(); ++i) c[static_cast<int>(i)][0] = values[i];
    return c;
}

std::string row(int m, double a, bool star) {
    return formatted(star ? "%4i      %7.5f* \n" : "%4i      %7.5f  \n", m, a);
}

std::string ending(int advised) { return formatted("\n* Advised number of dimensions: %4i", advised) + "\n\n" + kSectionEnd; }

TEST_F(MapTest, AverageOfAResidualMatrix) {
    // Partials −0.5, 0.2, 0 → (0.25 + 0.04 + 0)/3.
    Matrix e(3, 3);
    e[0][0] = 4.0, e[1][1] = 1.0, e[2][2] = 9.0;
    e[0][1] = e[1][0] = -1.0;  // −1/(2·1)
    e[0][2] = e[2][0] = 1.2;   // 1.2/(2·3)
    EXPECT_NEAR(averageSquaredPartial(e), (0.25 + 0.04) / 3.0, 1e-15);
}

TEST_F(MapTest, ZeroResidualVarianceLeavesTheAverageUndefined) {
    Matrix e(3, 3);
    e[1][1] = e[2][2] = 1.0;
    e[1][2] = e[2][1] = 0.3;
    EXPECT_TRUE(std::isnan(averageSquaredPartial(e)));  // 0·∞ partials
    e[0][1] = e[1][0] = 1e-17;
    EXPECT_TRUE(std::isnan(averageSquaredPartial(e)));  // infinite partials
    EXPECT_TRUE(std::isnan(averageSquaredPartial(identity(1))));  // no pairs
}

TEST_F(MapTest, FirstAverageOfAnEquicorrelatedMatrix) {
    // Removing the first component of p variables correlated r leaves
    // partials −1/(p − 1), so a_1 = 1/(p − 1)².
    for (int p : {3, 4, 6}) {
        Matrix r(p, p);
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < p; ++j) r[i][j] = i == j ? 1.0 : 0.3;
        const Matrix a = mapTest(r);
        ASSERT_GE(a.rows(), 1);
        EXPECT_NEAR(a[0][0], 1.0 / ((p - 1.0) * (p - 1.0)), 1e-12) << p;
    }
}

TEST_F(MapTest, ColumnEndsAtTheFirstUndefinedAverage) {
    // Uncorrelated variables with distinct variances: the first component is
    // the first variable alone, whose residual variance is then 0.
    Matrix r(3, 3);
    r[0][0] = 4.0, r[1][1] = 2.0, r[2][2] = 1.0;
    const Matrix a = mapTest(r);
    ASSERT_EQ(a.rows(), 1);
    EXPECT_EQ(a[0][0], kMapUndefinedAverage);
}

TEST_F(MapTest, SectionWithAUniqueMinimum) {
    const Matrix a = column({0.03, 0.012, 0.02, 0.99999});
    const std::string expected =
        kHead + row(1, 0.03, false) + row(2, 0.012, true) + row(3, 0.02, false) + row(4, 0.99999, false) + ending(2);
    int advised = -1;
    EXPECT_EQ(captureReport([&](ReportWriter& w) { advised = writeMapAverages(w, a); }), expected);
    EXPECT_EQ(advised, 2);
}

TEST_F(MapTest, TiedMinimaAdviseTheLargerNumber) {
    const Matrix a = column({0.05, 0.01, 0.01, 0.04});
    const std::string expected =
        kHead + row(1, 0.05, false) + row(2, 0.01, true) + row(3, 0.01, true) + row(4, 0.04, false) + ending(3);
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeMapAverages(w, a); }), expected);
    EXPECT_EQ(mapAdvisedDimensions(a), 3);
}

TEST_F(MapTest, ZeroAverageIsTheMinimumButIsNotPrinted) {
    const Matrix a = column({0.2, 0.0, 0.1});
    const std::string expected = kHead + row(1, 0.2, false) + row(3, 0.1, false) + ending(0);
    EXPECT_EQ(captureReport([&](ReportWriter& w) { writeMapAverages(w, a); }), expected);
    EXPECT_EQ(mapAdvisedDimensions(a), 0);
}

struct MapReference {
    std::string name;
    int p = 0, advised = 0;
    std::vector<double> psych, base;
};

std::vector<MapReference> readMapReferences() {
    std::vector<MapReference> refs;
    std::ifstream in(referencePath("map_reference.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string word;
        fields >> word;
        double x;
        if (word == "psych") {
            while (fields >> x) refs.back().psych.push_back(x);
        } else if (word == "base") {
            while (fields >> x) refs.back().base.push_back(x);
        } else {
            refs.push_back({word, 0, 0, {}, {}});
            fields >> refs.back().p >> refs.back().advised;
        }
    }
    return refs;
}

// bfi25 and harman74 against tests/reference/map_reference.R
// (psych::VSS(..., fm = "pc")$map and a base-R computation).
TEST_F(MapTest, MatchesPsychOnReferenceMatrices) {
    const std::vector<MapReference> refs = readMapReferences();
    ASSERT_EQ(refs.size(), 2u) << "missing or incomplete map_reference.txt";
    for (const MapReference& ref : refs) {
        SCOPED_TRACE(ref.name);
        MatrixScope scope;
        const testing::ReferenceMatrix m =
            ref.name == "bfi25" ? testing::bfi25Correlation() : testing::harman74Correlation();
        ASSERT_EQ(m.r.rows(), ref.p);
        const Matrix a = mapTest(m.r);
        // Every m up to p − 1 is defined for these full-rank matrices; the
        // average at m = p is rounding noise and is not compared.
        ASSERT_GE(a.rows(), ref.p - 1);
        ASSERT_EQ(ref.psych.size(), 8u);
        for (std::size_t k = 0; k < ref.psych.size(); ++k)
            EXPECT_NEAR(a[static_cast<int>(k)][0], ref.psych[k], 1e-12) << "m = " << k + 1;
        ASSERT_EQ(ref.base.size(), static_cast<std::size_t>(ref.p - 1));
        for (std::size_t k = 0; k < ref.base.size(); ++k)
            // m = p − 1 leaves a rank-one residual whose partials are ±1 up
            // to rounding, the least accurate row.
            EXPECT_NEAR(a[static_cast<int>(k)][0], ref.base[k], 1e-7) << "m = " << k + 1;
        const int advised = mapAdvisedDimensions(a);
        EXPECT_EQ(advised, ref.advised);
        const std::string text = captureReport([&m](ReportWriter& w) { writeMapTest(w, m.r); });
        EXPECT_NE(text.find(row(ref.advised, ref.base[static_cast<std::size_t>(ref.advised - 1)], true)),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(ending(ref.advised)), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace talvex
