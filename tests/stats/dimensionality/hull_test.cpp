#include "stats/dimensionality/hull.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "stats/dispersion/reference_inputs.h"

namespace talvex {
namespace {

using testing::captureReport;
using HullTest = testing::PoolTest;
using Values = std::vector<double>;

// hull_reference.txt (hull_reference.R): per matrix "matrix NAME N P BOUND",
// "means" and "se", then per curve "curve METHOD INDEX K" with "fits",
// "hullk", "scree" and "advised". Rows are keyed "NAME means", "NAME ULS CFI fits".
std::map<std::string, Values> reference() {
    std::map<std::string, Values> rows;
    std::ifstream file(testing::referencePath("hull_reference.txt"));
    std::string name, curve;
    for (std::string line; std::getline(file, line);) {
        std::istringstream in(line);
        std::string key, a, b;
        in >> key;
        if (key.empty() || key[0] == '#') continue;
        if (key == "curve") {
            in >> a >> b;
            curve = a + " " + b + " ";
            continue;
        }
        if (key == "matrix") in >> name, curve = "", key = "set";  // N P BOUND
        Values& row = rows[name + " " + curve + key];
        for (double x; in >> x;) row.push_back(x);
    }
    return rows;
}

std::vector<int> factorsOf(const std::vector<HullPoint>& points) {
    std::vector<int> k;
    for (const HullPoint& point : points) k.push_back(point.factors);
    return k;
}

std::vector<HullPoint> points(const Values& fits, const Values& parameters) {
    std::vector<HullPoint> result;
    for (std::size_t k = 0; k < fits.size(); ++k)
        result.push_back(HullPoint{static_cast<int>(k), fits[k], parameters[k]});
    return result;
}

TEST_F(HullTest, RmseaByHand) {
    // p = 6, r = 1: df = 15 − 6 = 9; N = 101: multiplier 100 − 17/6 − 2/3 = 96.5.
    EXPECT_NEAR(rmseaFromDiscrepancy(101, 6, 1, 0.5), std::sqrt((48.25 - 9) / 900.0), 1e-14);
    EXPECT_EQ(rmseaFromDiscrepancy(101, 6, 1, 0.05), 0.0);  // chi-square below df
    EXPECT_EQ(rmseaFromDiscrepancy(200, 3, 1, 3.0), 0.0);   // df = 0
    // R = I with Q equicorrelated 0.5, |Q| = 0.5: F0 = 3 − ln 0.5 − 3 = ln 2,
    // chi² = ln 2·(100 − 11/6) with df = 3.
    const Matrix q = testing::fromRows({{1, 0.5, 0.5}, {0.5, 1, 0.5}, {0.5, 0.5, 1}});
    const double chiSquare = std::log(2.0) * (100.0 - 11.0 / 6.0);
    EXPECT_NEAR(hullZeroFactorFit(identity(3), q, 101, RMSEA),
                1.0 - std::sqrt((chiSquare - 3.0) / 300.0), 1e-12);
}

TEST(HullElbow, HandMadeCurves) {
    // Fits for k = 0, 1, ... with 8(k + 1) parameters; the hull's k and the advised number.
    const struct {
        Values fits;
        std::vector<int> hull;
        int advised;
    } cases[] = {
        {{0.0, 0.3, 0.35, 0.9, 1.0}, {0, 3, 4}, 3},             // 2 below, then 1 on the chord
        {{0.2, 0.1, 0.5, 0.5, 0.45, 0.7}, {0, 2, 5}, 2},        // falls and ties leave
        {{0.0, 0.5, 0.75, 0.875, 0.9375}, {0, 1, 2, 3, 4}, 1},  // equal scree values: the first
        {{0.4, 0.3, 0.4, 0.1}, {0}, 1},                         // never above zero factors
    };
    for (const auto& c : cases) {
        Values parameters;
        for (std::size_t k = 0; k < c.fits.size(); ++k) parameters.push_back(8.0 * (k + 1));
        const std::vector<HullPoint> hull = upperHull(points(c.fits, parameters));
        EXPECT_EQ(factorsOf(hull), c.hull);
        EXPECT_EQ(hullAdvisedFactors(hull, screeTestValues(hull)), c.advised);
    }
}

TEST_F(HullTest, CurvesHullsAndBoundAgreeWithTheReference) {
    const std::map<std::string, Values> ref = reference();
    for (const char* name : {"bfi25", "harman74"}) {
        const Matrix r = testing::referenceCorrelation(name).r;
        const Values& set = ref.at(std::string(name) + " set");  // N P BOUND
        const int n = static_cast<int>(set[0]), p = static_cast<int>(set[1]),
                  bound = static_cast<int>(set[2]);
        for (const ExtractionMethod method : {ULS, ML})
            for (const auto& [index, indexName] :
                 {std::pair{CAF, "CAF"}, {CFI, "CFI"}, {RMSEA, "RMSEA"}}) {
                const std::string key =
                    std::string(name) + (method == ML ? " ML " : " ULS ") + indexName + " ";
                SCOPED_TRACE(key);
                const Values& fits = ref.at(key + "fits");
                const Values& hullK = ref.at(key + "hullk");
                const Values& expectedScree = ref.at(key + "scree");
                const int last = static_cast<int>(fits.size()) - 1;
                Values parameters;
                for (int k = 0; k <= last; ++k) parameters.push_back(hullParameters(p, k));
                const std::vector<HullPoint> hull = upperHull(points(fits, parameters));
                const Values scree = screeTestValues(hull);
                EXPECT_EQ(factorsOf(hull), std::vector<int>(hullK.begin(), hullK.end()));
                EXPECT_THAT(testing::toMatrix({scree}),
                            testing::MatrixNear(testing::toMatrix({expectedScree}), 1e-9));
                EXPECT_EQ(hullAdvisedFactors(hull, scree),
                          static_cast<int>(ref.at(key + "advised").at(0)));
                // Our curve: on Harman's tests our ULS with 5 factors ends at a
                // Heywood case (psych's minres has none), so there up to 4.
                const int same = std::string(name) == "harman74" && method == ULS ? 4 : last;
                const HullCurve curve = hullCurve(r, r, n, method, index, bound);
                ASSERT_TRUE(same < last ? curve.points.size() > 4u
                                        : curve.points.size() == fits.size());
                for (int k = 0; k <= same; ++k) {
                    EXPECT_EQ(curve.points[k].parameters, parameters[k]);
                    EXPECT_NEAR(curve.points[k].fit, fits[k], 2e-4) << k;
                }
            }
    }
    // Harman's 24 tests, N = 145: four eigenvalues well above their random means.
    EXPECT_EQ(hullUpperBound(testing::referenceCorrelation("harman74").r, 145),
              ref.at("harman74 set")[2]);
}

TEST_F(HullTest, StopRuleFallbackAndFewestVariables) {
    const Matrix r = testing::referenceCorrelation("bfi25").r;
    std::string calls;  // "M1" for MRFA with one factor, "U2" for ULS with two, ...
    const HullExtractor record = [&calls](const Matrix& m, int k, ExtractionMethod method) {
        calls += (method == MRFA ? "M" : method == ULS ? "U" : "?") + std::to_string(k);
        if (method == MRFA) return k == 3 ? Matrix() : hullExtraction(m, k, ULS);
        return hullExtraction(m, k, method);
    };
    // Five variables with a bound of 5: k = 0..4 whatever the bound.
    const Matrix five = testing::referenceCorrelation("harman74").r.submatrix(1, 1, 5, 5);
    EXPECT_EQ(hullCurve(five, five, 145, ULS, CFI, 5, record).points.size(), 5u);
    EXPECT_EQ(calls, "U1U2U3U4");
    // A failed MRFA restarts the curve with ULS by CFI, from a fit of 0.
    calls.clear();
    const HullCurve curve = hullCurve(r, r, 2436, MRFA, CAF, 5, record);
    EXPECT_TRUE(curve.fellBack && curve.method == ULS && curve.index == CFI);
    EXPECT_EQ(calls, "M1M2M3U1U2U3U4U5U6");
    ASSERT_EQ(curve.points.size(), 7u);
    EXPECT_EQ(curve.points[0].fit, 0.0);
    // With CFI configured the warning has no note on the index.
    const std::string text =
        captureReport([&](ReportWriter& w) { writeHullSection(w, curve, CFI, MRFA); });
    EXPECT_NE(text.find("It has been computed based on ULS.\n\n\nNumber of"), std::string::npos)
        << text;
    const Matrix two = five.submatrix(1, 1, 2, 2);
    const std::string tooFew = captureReport(
        [&](ReportWriter& w) { hullMethod(Matrix(), two, 145, ULS, UserMatrix, CFI, w); });
    EXPECT_NE(tooFew.find("needs at least 3 variables, and 2 are analysed.\n"), std::string::npos);
}

}  // namespace
}  // namespace talvex
