// Probability functions. Reference values come from R (base R and mvtnorm),
// produced by tests/reference/core_distributions.R, or from closed forms and
// worked numbers; tolerances follow the accuracy of each approximation.
#include "core/distributions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <numbers>

#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

struct Case {
    double x, expected;
};

// f(x) within `tolerance` of the expected value on every row (0: exact).
template <typename F, typename Rows = std::initializer_list<Case>>
void expectRows(F f, const Rows& rows, double tolerance) {
    for (const Case& c : rows) EXPECT_NEAR(f(c.x), c.expected, tolerance) << "x = " << c.x;
}

TEST(ErrorFunction, MatchesRInEveryBranchAndSaturates) {
    // R: 2 * pnorm(x * sqrt(2)) - 1. The rational approximations hold to about 1e-9.
    const Case erf[] = {
        {0.1, 0.112462916018285},  {0.3, 0.328626759459127}, {0.47, 0.493745050886082},
        {0.5, 0.520499877813047},  {1, 0.842700792949715},   {2, 0.995322265018953},
        {3, 0.999977909503001},    {3.9, 0.999999965207751}, {4, 0.999999984582742},
        {4.1, 0.999999993299972},  {4.4, 0.999999999510829}, {-0.3, -0.328626759459127},
        {-2.5, -0.999593047982555}};
    expectRows(erfApprox, erf, 1e-9);
    expectRows(erfApprox, {{0, 0}, {4.41, 1}, {-7, -1}}, 0.0);
}

TEST(NormalQuantile, MatchesQnormAndReturnsZeroOutsideTheUnitInterval) {
    // R qnorm. AS 111 holds to about 1e-8 in the centre and 1e-5 in the far tail.
    const Case central[] = {{0.05, -1.64485362695147}, {0.1, -1.2815515655446},
                            {0.3, -0.524400512708041}, {0.5, 0.0},
                            {0.9, 1.2815515655446},    {0.975, 1.95996398454005}};
    expectRows(normalQuantile, central, 1e-8);
    const Case tail[] = {{0.001, -3.09023230616781},
                         {0.01, -2.32634787404084},
                         {0.999, 3.09023230616781},
                         {0.99999, 4.26489079392384}};
    expectRows(normalQuantile, tail, 1e-5);
    expectRows(normalQuantile, {{0, 0}, {1, 0}, {-0.2, 0}, {1.5, 0}}, 0.0);
}

TEST(NormalCdf, ClampsCentreAndEarlyStop) {
    // Worked by hand: for z = 0.6745 the first probe p = 0.75 gives
    // normalQuantile(0.75) = 0.674490 (within 0.0001 of z but below it), so
    // the loop ends after moving p halfway to the upper end 1.0.
    const Case exact[] = {{0, 0.5},       {4, 0.99999},    {5, 0.99999},    {-4, 0.00001},
                          {-30, 0.00001}, {0.6745, 0.875}, {-0.6745, 0.125}};
    expectRows(normalCdf, exact, 0.0);
}

TEST(NormalCdf, BothRoutesMatchPnorm) {
    // R pnorm. Through erf the agreement is to about 1e-9, and below -8.9·√2
    // the tail is cut to 0. The bisection stops when the probed quantile is
    // within 0.0001 of z and returns the next probe: a few 1e-4 at most.
    const Case pnorm[] = {{-3.5, 0.000232629079035525}, {-2, 0.0227501319481792},
                          {-1, 0.158655253931457},      {-0.5, 0.308537538725987},
                          {0.3, 0.617911422188953},     {1, 0.841344746068543},
                          {1.5, 0.933192798731142},     {2.5, 0.993790334674224},
                          {3, 0.99865010196837},        {3.9, 0.999951903655982}};
    expectRows(normalCdfErf, pnorm, 1e-9);
    expectRows(normalCdfErf, {{0, 0.5}, {-12.6, 0}, {7, 1}}, 0.0);
    expectRows(normalCdf, pnorm, 3e-4);
    // In the tail the density, and with it the bisection error, is small: the
    // value at -3.5 is far from the 0.00001 of the clamp below -4.
    EXPECT_NEAR(normalCdf(-3.5), 0.000232629079035525, 5e-5);
    EXPECT_NEAR(normalCdf(1.959964), 0.975, 1e-5);
}

TEST(Densities, RoundedConstantClosedFormAndR) {
    // The rounded constant 0.398942258 is 5.6e-8 below 1/sqrt(2π) in relative terms.
    const double phi = std::exp(-0.845) / std::sqrt(2 * std::numbers::pi);  // at 1.3
    EXPECT_EQ(normalDensity(0.0), 0.398942258);
    EXPECT_NEAR(normalDensity(1.3) / phi, 1.0, 1e-7);
    EXPECT_NEAR(normalDensityScaled(1.3, 2.0), 2 * phi, 1e-16);
    // R mvtnorm::dmvnorm(c(0.4, -1.1), sigma = [[1, .6], [.6, 1]]).
    EXPECT_NEAR(bivariateNormalDensity(0.4, -1.1, 0.6), 0.0451598882113246, 1e-15);
}

TEST(ChiSquare, OneAndTwoDegreesOfFreedom) {
    // R pchisq(x, 1, lower = FALSE); twice the bisection error of normalCdf
    // limits agreement. At 100 the clamp of normalCdf gives the floor 2e-5.
    const auto one = [](double x) { return chiSquareUpperTail(x, 1); };
    expectRows(one, {{3.841, 0.0500136837639569}, {0.5, 0.479500122186953}, {2, 0.157299207050284}},
               1e-3);
    expectRows(one, {{100, 0.00002}}, 1e-15);
    for (double x : {0.0, 1.0, 7.5, 40.0}) EXPECT_EQ(chiSquareUpperTail(x, 2), std::exp(-x / 2));
}

TEST(ChiSquare, IntegrationForThreeToTwentyOneDegreesOfFreedom) {
    // {x, k, the 199-step left Riemann sum computed in R with dchisq}. The
    // exact tails (R pchisq, printed by the same script) lie within 0.01 of
    // these sums: crude but close.
    const double rows[][3] = {{0.6, 3, 0.897475422690426},   {9, 3, 0.0309909126008487},
                              {4, 4, 0.410088902596144},     {12, 4, 0.0181077437195271},
                              {5, 5, 0.420473587325193},     {15, 5, 0.0108588729138115},
                              {2, 10, 0.996453874864481},    {30, 10, 0.000932188736217587},
                              {15, 15, 0.459549723940009},   {45, 15, 8.65253451672876e-05},
                              {4.2, 21, 0.999971588529033},  {63, 21, 5.25128969497413e-06}};
    for (const auto& r : rows)
        EXPECT_NEAR(chiSquareUpperTail(r[0], static_cast<int>(r[1])), r[2], 1e-12)
            << r[0] << ", " << r[1];
    EXPECT_EQ(chiSquareUpperTail(0, 4), 1.0);
    EXPECT_EQ(chiSquareUpperTail(100, 5), 0.0) << "beyond 4k";
    EXPECT_GT(chiSquareUpperTail(20, 5), 0.0) << "exactly 4k is still integrated";
}

TEST(ChiSquare, WilsonHilfertyAboveTwentyOneDegreesOfFreedom) {
    // R pchisq(x, k, lower = FALSE) as {x, k, p}. The cube-root approximation
    // is good to about 1e-4 here; the bisection in normalCdf adds a few 1e-4.
    const double rows[][3] = {{15.4, 22, 0.844507862449938}, {35.2, 22, 0.0369204532144943},
                              {30, 30, 0.46565370894401},    {48, 30, 0.0198253328234637},
                              {42, 60, 0.962581202720767},   {96, 60, 0.00217820518087047}};
    for (const auto& r : rows)
        EXPECT_NEAR(chiSquareUpperTail(r[0], static_cast<int>(r[1])), r[2], 1e-3)
            << r[0] << ", " << r[1];
    EXPECT_NEAR(chiSquareUpperTail(500, 40), 0.00001, 1e-15) << "floor from the clamp of normalCdf";
}

TEST(GammaFunction, MatchesRAndClosedFormsAndStopsAtTheLimits) {
    // R gamma() and 19! = Γ(20), relative to the precision of Cody's
    // approximation; Stirling's branch goes through exp of a large sum, so its
    // relative error grows with x (about 1e-13 at 171).
    const Case gamma[] = {{0.1, 9.51350769866873},       {2.5, 1.32934038817914},
                          {7.3, 1271.42363366391},       {11.9, 31279623.9213864},
                          {12.5, 136843365.465566},      {20, 121645100408832000.0},
                          {30.25, 2.06280531377533e+31}, {100.5, 9.32096310408225e+156},
                          {171, 7.25741561530888e+306}};
    for (const Case& c : gamma) EXPECT_NEAR(gammaFunction(c.x) / c.expected, 1.0, 3e-13) << c.x;
    expectRows(gammaFunction,
               {{0.5, std::sqrt(std::numbers::pi)}, {1.5, std::sqrt(std::numbers::pi) / 2}}, 1e-15);
    EXPECT_EQ(gammaFunction(20), std::floor(gammaFunction(20)))
        << "integer arguments give integers";
    const Case exact[] = {{1, 1},  {2, 1},    {5, 24},       {12, 39916800}, {0, 0},
                          {-1, 0}, {-0.5, 0}, {1e-17, 1e17}, {171.46, 0}};
    expectRows(gammaFunction, exact, 0.0);
    EXPECT_GT(gammaFunction(171.45), 0.0);
}

using Rounding = testing::PoolTest;

TEST_F(Rounding, HalfwayCasesGoDownAlsoInEveryMatrixElement) {
    const Case halfDown[] = {{0.5, 0},   {1.5, 1},  {2.5, 2},    {-0.5, -1},
                             {-2.5, -3}, {2.51, 3}, {-2.49, -2}, {7, 7}};
    expectRows(roundHalfDown, halfDown, 0.0);
    // 1.25·10 = 12.5 -> 12; -12.5 -> -13; 0.125·100 = 12.5 -> 12.
    EXPECT_THAT(roundToDecimals(fromRows({{1.25, -1.25}, {3.14159, 0.75}}), 1),
                MatrixNear(fromRows({{1.2, -1.3}, {3.1, 0.7}}), 1e-15));
    EXPECT_THAT(roundToDecimals(fromRows({{0.125, 2.0}}), 2),
                MatrixNear(fromRows({{0.12, 2}}), 1e-15));
    EXPECT_THAT(roundToDecimals(fromRows({{1234.5}}), 0), MatrixNear(fromRows({{1234}}), 0.0));
}

TEST(BivariateUpperTail, ClosedFormsAndDegenerateCorrelations) {
    // Orthant: 1/4 + asin(ρ)/2π; ρ = 0 factorises.
    for (double rho : {-0.9, -0.5, 0.2, 0.5, 0.99})
        EXPECT_NEAR(bivariateUpperTail(0, 0, rho), 0.25 + std::asin(rho) / (2 * std::numbers::pi),
                    1e-15)
            << rho;
    for (double h : {-1.2, 0.0, 0.7})
        for (double k : {-0.4, 1.9})
            EXPECT_NEAR(bivariateUpperTail(h, k, 0.0), normalCdfErf(-h) * normalCdfErf(-k), 1e-15)
                << h << ", " << k;
    for (double rho : {1.5, -1.01}) EXPECT_EQ(bivariateUpperTail(0.3, 0.2, rho), -1.0);
    // ρ = 1: both exceed the larger limit. ρ = -1: Y = -X, so h < X < -k.
    EXPECT_NEAR(bivariateUpperTail(0.3, 1.1, 1.0), normalCdfErf(-1.1), 1e-15);
    EXPECT_NEAR(bivariateUpperTail(1.1, 0.3, 1.0), normalCdfErf(-1.1), 1e-15);
    EXPECT_NEAR(bivariateUpperTail(-1.0, 0.5, -1.0), normalCdfErf(-0.5) - normalCdfErf(-1.0),
                1e-15);
    EXPECT_EQ(bivariateUpperTail(0.2, 0.5, -1.0), 0.0);
}

TEST(BivariateUpperTail, GeneralLimitsMatchRAndStayAProbability) {
    // R mvtnorm::pmvnorm (Miwa, 4096 steps) as {h, k, ρ, p}. The rows cover one
    // limit zero, limits of opposite signs, and |a| above, below and at 1 in
    // Owen's T; (k/h - ρ)/s is exactly 1 in the last two.
    const double rows[][4] = {
        {1, 2, 0.5, 0.013266217009222},         {0.5, -0.3, 0.4, 0.243575889201206},
        {-1, -0.5, -0.6, 0.540022830315289},    {1.2, 0.3, 0.7, 0.100621454112215},
        {0.3, 1.5, -0.2, 0.016171427195391},    {0, 1, 0.5, 0.127398206576788},
        {1, 0, -0.5, 0.0312570473546543},       {2, -1, 0.3, 0.0219058155057311},
        {-0.7, 0.2, 0.9, 0.41929336582763},     {-1.5, -1.5, 0.95, 0.916939802257918},
        {0.8, 0.8, -0.9, 7.81529421011636e-06}, {2.5, 0.1, 0.3, 0.00485674458703194},
        {1, 0.2, -0.6, 0.0146050110359274},     {0.5, 0.1, -0.6, 0.0556078593956183}};
    for (const auto& r : rows)
        EXPECT_NEAR(bivariateUpperTail(r[0], r[1], r[2]), r[3], 2e-9)
            << r[0] << ", " << r[1] << ", " << r[2];
    // Symmetric in the limits and never above either margin.
    for (double rho : {-0.95, -0.3, 0.45, 0.8})
        for (double h : {-2.0, -0.4, 0.6, 1.7})
            for (double k : {-1.1, 0.25, 2.2}) {
                const double p = bivariateUpperTail(h, k, rho);
                EXPECT_NEAR(p, bivariateUpperTail(k, h, rho), 1e-12)
                    << h << ", " << k << ", " << rho;
                EXPECT_GE(p, 0.0);
                EXPECT_LE(p, std::min(normalCdfErf(-h), normalCdfErf(-k)) + 1e-12);
            }
}

// P(X < h, Y < k) against R's integrate() of φ(x)·Φ((k - rho·x)/√(1 - rho²))
// over x < h (rel.tol 1e-13) in both branches (|rho| below and above 0.925), both tails and
// tiny probabilities (relative check); closed forms at rho = 0 and ±1.
TEST(BivariateNormalCdf, MatchesNumericIntegrationAndClosedForms) {
    const struct {
        double h, k, rho, p;
    } rows[] = {
        {0, 0, 0.5, 1.0 / 3.0},
        {-1.2, 0.7, 0.3, 0.10299456992224279},
        {1.5, 1.5, 0.95, 0.91693980225792859},
        {-2, -2.5, 0.99, 0.0062094396207672533},
        {0.3, -0.4, -0.6, 0.12015542723905727},
        {2.1, -1.9, -0.97, 0.01237546092566681},
        {-3, -3, 0.999, 0.0012708810536105268},
        {1, 1.01, 0.98, 0.8233150225838981},
        {-0.5, 2, 0.93, 0.3085375387257942},
        {-2.5, 2.5, 0.9999, 0.0062096653257761357},
        {2.5, -2.5, 0.9, 0.0062096653257761349},
        {-1, -1.4, -0.95, 2.5630600717340685e-16},
        {4, -4, -0.2, 3.1650696764248461e-05},
        {-4.5, -4, 0.5, 9.9948086872879215e-08},
        {-2, -2.2, 0.8, 0.0072220771927551525},
    };
    for (const auto& row : rows) {
        const double p = bivariateNormalCdf(row.h, row.k, row.rho);
        EXPECT_NEAR(p, row.p, 1e-12) << row.h << " " << row.k << " " << row.rho;
        if (row.p < 1e-4 && row.p > 1e-12) {
            EXPECT_NEAR(p / row.p, 1.0, 1e-6) << row.h << " " << row.k << " " << row.rho;
        }
    }
    const double phi = 0.5 * std::erfc(0.3 / std::sqrt(2.0));  // Φ(-0.3)
    EXPECT_NEAR(bivariateNormalCdf(-0.3, 0.0, 0.0), phi * 0.5, 1e-15);
    EXPECT_NEAR(bivariateNormalCdf(-0.3, 0.4, 1.0), phi, 1e-15);
    EXPECT_NEAR(bivariateNormalCdf(0.4, 0.5, -1.0), 0.5 * std::erfc(-0.4 / std::sqrt(2.0)) -
                                                       0.5 * std::erfc(0.5 / std::sqrt(2.0)), 1e-15);
}

}  // namespace
}  // namespace talvex
