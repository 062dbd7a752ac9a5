// Probability functions. Reference values come from R (base R and mvtnorm),
// produced by tests/reference/core_distributions.R, or from closed forms;
// tolerances follow the accuracy of each approximation.
#include "core/distributions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

struct Reference {
    double x;
    double expected;
};

// R: 2 * pnorm(x * sqrt(2)) - 1. The rational approximations hold to about 1e-9.
TEST(ErrorFunction, MatchesRInEveryBranch) {
    const Reference cases[] = {
        {0.1, 0.112462916018285},  {0.3, 0.328626759459127}, {0.47, 0.493745050886082},
        {0.5, 0.520499877813047},  {1, 0.842700792949715},   {2, 0.995322265018953},
        {3, 0.999977909503001},    {3.9, 0.999999965207751}, {4, 0.999999984582742},
        {4.1, 0.999999993299972},  {4.4, 0.999999999510829}, {-0.3, -0.328626759459127},
        {-2.5, -0.999593047982555}};
    for (const auto& c : cases) EXPECT_NEAR(erfApprox(c.x), c.expected, 1e-9) << c.x;
    EXPECT_EQ(erfApprox(0.0), 0.0);
    EXPECT_EQ(erfApprox(4.41), 1.0);
    EXPECT_EQ(erfApprox(-7.0), -1.0);
}

TEST(ErrorFunction, NormalCdfThroughErfMatchesPnormAndCutsTheFarTail) {
    // R pnorm.
    const Reference cases[] = {{-3.5, 0.000232629079035525},
                               {-1, 0.158655253931457},
                               {0.3, 0.617911422188953},
                               {2.5, 0.993790334674224}};
    for (const auto& c : cases) EXPECT_NEAR(normalCdfErf(c.x), c.expected, 1e-9) << c.x;
    EXPECT_EQ(normalCdfErf(0.0), 0.5);
    EXPECT_EQ(normalCdfErf(-12.6), 0.0);
    EXPECT_EQ(normalCdfErf(7.0), 1.0);
    for (double x : {0.2, 0.9, 1.7, 3.3})
        EXPECT_NEAR(normalCdfErf(x) + normalCdfErf(-x), 1.0, 1e-15);
}

// R qnorm. AS 111 holds to about 1e-8 in the centre and 1e-5 in the far tail.
TEST(NormalQuantile, MatchesQnormAndReturnsZeroOutsideTheUnitInterval) {
    const Reference central[] = {{0.05, -1.64485362695147}, {0.1, -1.2815515655446},
                                 {0.3, -0.524400512708041}, {0.5, 0.0},
                                 {0.9, 1.2815515655446},    {0.975, 1.95996398454005}};
    for (const auto& c : central) EXPECT_NEAR(normalQuantile(c.x), c.expected, 1e-8) << c.x;
    const Reference tail[] = {{0.001, -3.09023230616781},
                              {0.01, -2.32634787404084},
                              {0.999, 3.09023230616781},
                              {0.99999, 4.26489079392384}};
    for (const auto& c : tail) EXPECT_NEAR(normalQuantile(c.x), c.expected, 1e-5) << c.x;
    for (double p : {0.0, 1.0, -0.2, 1.5}) EXPECT_EQ(normalQuantile(p), 0.0) << p;
    EXPECT_NEAR(normalQuantile(0.2), -normalQuantile(0.8), 1e-15);
}

TEST(NormalCdf, ClampsAndCentre) {
    EXPECT_EQ(normalCdf(0.0), 0.5);
    EXPECT_EQ(normalCdf(5.0), 0.99999);
    EXPECT_EQ(normalCdf(4.0), 0.99999);
    EXPECT_EQ(normalCdf(-4.0), 0.00001);
    EXPECT_EQ(normalCdf(-30.0), 0.00001);
}

TEST(NormalCdf, BisectionAgreesWithPnormWithinItsTolerance) {
    // The search stops when the probed quantile is within 0.0001 of z and
    // returns the next probe, so agreement is to a few 1e-4 at most.
    EXPECT_NEAR(normalCdf(1.959964), 0.975, 1e-5);
    const Reference cases[] = {{-3.5, 0.000232629079035525}, {-2, 0.0227501319481792},
                               {-1, 0.158655253931457},      {-0.5, 0.308537538725987},
                               {0.3, 0.617911422188953},     {1, 0.841344746068543},
                               {1.5, 0.933192798731142},     {2.5, 0.993790334674224},
                               {3, 0.99865010196837},        {3.9, 0.999951903655982}};
    for (const auto& c : cases) EXPECT_NEAR(normalCdf(c.x), c.expected, 3e-4) << c.x;
}

TEST(NormalCdf, StopsOnTheFirstProbeWhenItIsAlreadyClose) {
    // Worked by hand: for z = 0.6745 the first probe p = 0.75 gives
    // normalQuantile(0.75) = 0.674490 (within 0.0001 of z but below it), so
    // the loop ends after moving p halfway to the upper end 1.0.
    EXPECT_EQ(normalCdf(0.6745), 0.875);
    EXPECT_EQ(normalCdf(-0.6745), 0.125);
}

TEST(Densities, ConstantsAndClosedForms) {
    EXPECT_EQ(normalDensity(0.0), 0.398942258);
    // The rounded constant 0.398942258 is 5.6e-8 below 1/sqrt(2π) in relative terms.
    EXPECT_NEAR(normalDensity(1.3) / (std::exp(-0.845) / std::sqrt(2 * std::numbers::pi)), 1.0,
                1e-7);
    EXPECT_NEAR(normalDensityScaled(1.3, 2.0),
                2 * std::exp(-0.845) / std::sqrt(2 * std::numbers::pi), 1e-16);
    // ρ = 0 factorises; R mvtnorm::dmvnorm(c(0.4, -1.1), sigma = [[1, .6], [.6, 1]]).
    EXPECT_NEAR(bivariateNormalDensity(0.4, -1.1, 0.0),
                normalDensityScaled(0.4, 1.0) * normalDensityScaled(-1.1, 1.0), 1e-16);
    EXPECT_NEAR(bivariateNormalDensity(0.4, -1.1, 0.6), 0.0451598882113246, 1e-15);
}

TEST(ChiSquare, SmallDegreesOfFreedom) {
    // R pchisq(x, 1, lower = FALSE); twice the bisection error of normalCdf
    // limits agreement.
    EXPECT_NEAR(chiSquareUpperTail(3.841, 1), 0.0500136837639569, 1e-3);
    EXPECT_NEAR(chiSquareUpperTail(0.5, 1), 0.479500122186953, 1e-3);
    EXPECT_NEAR(chiSquareUpperTail(2, 1), 0.157299207050284, 1e-3);
    EXPECT_NEAR(chiSquareUpperTail(100, 1), 0.00002, 1e-15) << "floor from the clamp of normalCdf";
    for (double x : {0.0, 1.0, 7.5, 40.0})
        EXPECT_EQ(chiSquareUpperTail(x, 2), std::exp(-x / 2)) << x;
}

TEST(ChiSquare, IntegrationForThreeToTwentyOneDegreesOfFreedom) {
    // {x, k, exact upper tail (R pchisq), the same 199-step left Riemann sum
    // computed in R with dchisq}.
    struct Case {
        double x;
        int k;
        double exact;
        double riemann;
    };
    const Case cases[] = {
        {0.6, 3, 0.896432373341912, 0.897475422690426},
        {3, 3, 0.391625176271089, 0.395258995561445},
        {6, 3, 0.111610225094713, 0.114249589491391},
        {9, 3, 0.0292908865348882, 0.0309909126008487},
        {0.8, 4, 0.938448064449895, 0.939251034711624},
        {4, 4, 0.406005849709838, 0.410088902596144},
        {8, 4, 0.0915781944436709, 0.0938333611169996},
        {12, 4, 0.0173512652366645, 0.0181077437195271},
        {1, 5, 0.962565773247296, 0.963168519080358},
        {5, 5, 0.415880186995508, 0.420473587325193},
        {10, 5, 0.0752352461465122, 0.077389297929558},
        {15, 5, 0.0103623379157864, 0.0108588729138115},
        {2, 10, 0.996340153172656, 0.996453874864481},
        {10, 10, 0.440493285065212, 0.447096906411689},
        {20, 10, 0.0292526880769611, 0.0307025564119381},
        {30, 10, 0.000856641210775301, 0.000932188736217587},
        {3, 15, 0.999597801447351, 0.999616180622688},
        {15, 15, 0.451417211225725, 0.459549723940009},
        {30, 15, 0.0119214959381597, 0.0127581750947362},
        {45, 15, 7.65726565497849e-05, 8.65253451672876e-05},
        {4.2, 21, 0.999969681257147, 0.999971588529033},
        {21, 21, 0.458944208892822, 0.468597041342307},
        {42, 21, 0.00420774819268671, 0.00460764424504345},
        {63, 21, 4.44302382321351e-06, 5.25128969497413e-06},
    };
    for (const auto& c : cases) {
        const double p = chiSquareUpperTail(c.x, c.k);
        EXPECT_NEAR(p, c.riemann, 1e-12) << c.x << ", " << c.k;
        EXPECT_NEAR(p, c.exact, 0.01) << "crude but close: " << c.x << ", " << c.k;
    }
    EXPECT_EQ(chiSquareUpperTail(0, 4), 1.0);
    EXPECT_EQ(chiSquareUpperTail(100, 5), 0.0) << "beyond 4k";
    EXPECT_GT(chiSquareUpperTail(20, 5), 0.0) << "exactly 4k is still integrated";
}

TEST(ChiSquare, WilsonHilfertyAboveTwentyOneDegreesOfFreedom) {
    // R pchisq(x, k, lower = FALSE).
    struct Case {
        double x;
        int k;
        double exact;
    };
    const Case cases[] = {{15.4, 22, 0.844507862449938}, {22, 22, 0.459888702693687},
                          {28.6, 22, 0.156639131921862}, {35.2, 22, 0.0369204532144943},
                          {21, 30, 0.887887877627994},   {30, 30, 0.46565370894401},
                          {39, 30, 0.125728680774944},   {48, 30, 0.0198253328234637},
                          {42, 60, 0.962581202720767},   {60, 60, 0.47571698610632},
                          {78, 60, 0.0591172797235334},  {96, 60, 0.00217820518087047}};
    // The cube-root approximation is good to about 1e-4 here; the bisection in
    // normalCdf adds up to a few 1e-4.
    for (const auto& c : cases)
        EXPECT_NEAR(chiSquareUpperTail(c.x, c.k), c.exact, 1e-3) << c.x << ", " << c.k;
    EXPECT_NEAR(chiSquareUpperTail(500, 40), 0.00001, 1e-15) << "floor from the clamp of normalCdf";
}

TEST(GammaFunction, ExactIntegersAndHalfIntegers) {
    EXPECT_EQ(gammaFunction(5), 24.0);
    EXPECT_EQ(gammaFunction(1), 1.0);
    EXPECT_EQ(gammaFunction(2), 1.0);
    EXPECT_EQ(gammaFunction(12), 39916800.0);
    EXPECT_NEAR(gammaFunction(20) / 121645100408832000.0, 1.0, 1e-13) << "19!, Stirling branch";
    EXPECT_EQ(gammaFunction(20), std::floor(gammaFunction(20)))
        << "integer arguments give integers";
    EXPECT_NEAR(gammaFunction(0.5), std::sqrt(std::numbers::pi), 1e-15);
    EXPECT_NEAR(gammaFunction(1.5), std::sqrt(std::numbers::pi) / 2, 1e-15);
}

TEST(GammaFunction, MatchesRAcrossTheBranchesAndStopsAtTheLimits) {
    // R gamma(); relative agreement to the precision of Cody's approximation.
    const Reference cases[] = {{0.1, 9.51350769866873},        {2.5, 1.32934038817914},
                               {7.3, 1271.42363366391},        {11.9, 31279623.9213864},
                               {12.5, 136843365.465566},       {30.25, 2.06280531377533e+31},
                               {100.5, 9.32096310408225e+156}, {171, 7.25741561530888e+306}};
    // Stirling's branch goes through exp of a large sum: its relative error
    // grows with x (about 1e-13 at 171).
    for (const auto& c : cases) EXPECT_NEAR(gammaFunction(c.x) / c.expected, 1.0, 3e-13) << c.x;
    EXPECT_EQ(gammaFunction(0), 0.0);
    EXPECT_EQ(gammaFunction(-1), 0.0);
    EXPECT_EQ(gammaFunction(-0.5), 0.0);
    EXPECT_EQ(gammaFunction(1e-17), 1e17);
    EXPECT_EQ(gammaFunction(171.46), 0.0);
    EXPECT_GT(gammaFunction(171.45), 0.0);
}

TEST(Rounding, HalfwayCasesGoDown) {
    EXPECT_EQ(roundHalfDown(0.5), 0.0);
    EXPECT_EQ(roundHalfDown(1.5), 1.0);
    EXPECT_EQ(roundHalfDown(2.5), 2.0);
    EXPECT_EQ(roundHalfDown(-0.5), -1.0);
    EXPECT_EQ(roundHalfDown(-2.5), -3.0);
    EXPECT_EQ(roundHalfDown(2.51), 3.0);
    EXPECT_EQ(roundHalfDown(-2.49), -2.0);
    EXPECT_EQ(roundHalfDown(7.0), 7.0);
}

using RoundingMatrix = testing::PoolTest;

TEST_F(RoundingMatrix, ToDecimalsRoundsEveryElement) {
    // 1.25·10 = 12.5 -> 12; -12.5 -> -13; 0.125·100 = 12.5 -> 12.
    const Matrix m = fromRows({{1.25, -1.25}, {3.14159, 0.75}});
    EXPECT_THAT(roundToDecimals(m, 1), MatrixNear(fromRows({{1.2, -1.3}, {3.1, 0.7}}), 1e-15));
    EXPECT_THAT(roundToDecimals(fromRows({{0.125, 2.0}}), 2),
                MatrixNear(fromRows({{0.12, 2}}), 1e-15));
    EXPECT_THAT(roundToDecimals(fromRows({{1234.5}}), 0), MatrixNear(fromRows({{1234}}), 0.0));
}

TEST(BivariateUpperTail, OrthantAndIndependenceClosedForms) {
    for (double rho : {-0.9, -0.5, 0.2, 0.5, 0.99})
        EXPECT_NEAR(bivariateUpperTail(0, 0, rho), 0.25 + std::asin(rho) / (2 * std::numbers::pi),
                    1e-15)
            << rho;
    EXPECT_NEAR(bivariateUpperTail(0, 0, 0.5), 1.0 / 3.0, 1e-15);
    for (double h : {-1.2, 0.0, 0.7})
        for (double k : {-0.4, 1.9}) {
            const double expected = normalCdfErf(-h) * normalCdfErf(-k);
            EXPECT_NEAR(bivariateUpperTail(h, k, 0.0), expected, 1e-15) << h << ", " << k;
        }
}

TEST(BivariateUpperTail, DegenerateCorrelations) {
    EXPECT_EQ(bivariateUpperTail(0.3, 0.2, 1.5), -1.0);
    EXPECT_EQ(bivariateUpperTail(0.3, 0.2, -1.01), -1.0);
    // ρ = 1: both exceed the larger limit. ρ = -1: Y = -X, so h < X < -k.
    EXPECT_NEAR(bivariateUpperTail(0.3, 1.1, 1.0), normalCdfErf(-1.1), 1e-15);
    EXPECT_NEAR(bivariateUpperTail(1.1, 0.3, 1.0), normalCdfErf(-1.1), 1e-15);
    EXPECT_NEAR(bivariateUpperTail(-1.0, 0.5, -1.0), normalCdfErf(-0.5) - normalCdfErf(-1.0),
                1e-15);
    EXPECT_EQ(bivariateUpperTail(0.2, 0.5, -1.0), 0.0);
}

TEST(BivariateUpperTail, GeneralLimitsMatchR) {
    // R mvtnorm::pmvnorm (Miwa, 4096 steps). The cases cover one limit zero,
    // limits of opposite signs, and |a| above, below and at 1 in Owen's T.
    struct Case {
        double h, k, rho, expected;
    };
    const Case cases[] = {{1, 2, 0.5, 0.013266217009222},
                          {0.5, -0.3, 0.4, 0.243575889201206},
                          {-1, -0.5, -0.6, 0.540022830315289},
                          {1.2, 0.3, 0.7, 0.100621454112215},
                          {0.3, 1.5, -0.2, 0.016171427195391},
                          {0, 1, 0.5, 0.127398206576788},
                          {1, 0, -0.5, 0.0312570473546543},
                          {2, -1, 0.3, 0.0219058155057311},
                          {-0.7, 0.2, 0.9, 0.41929336582763},
                          {-1.5, -1.5, 0.95, 0.916939802257918},
                          {0.8, 0.8, -0.9, 7.81529421011636e-06},
                          {2.5, 0.1, 0.3, 0.00485674458703194},
                          // (k/h - rho)/s is exactly 1 here: the closed form T(h, 1) is used.
                          {1, 0.2, -0.6, 0.0146050110359274},
                          {0.5, 0.1, -0.6, 0.0556078593956183}};
    for (const auto& c : cases)
        EXPECT_NEAR(bivariateUpperTail(c.h, c.k, c.rho), c.expected, 2e-9)
            << c.h << ", " << c.k << ", " << c.rho;
}

TEST(BivariateUpperTail, SymmetricInTheLimitsAndStaysAProbability) {
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

}  // namespace
}  // namespace talvex
