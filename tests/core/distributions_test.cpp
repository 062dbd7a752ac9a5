// Probability functions. Reference values come from R (base R and mvtnorm),
// produced by tests/reference/core_distributions.R, or from closed forms and
// worked numbers; tolerances follow the accuracy of each approximation.
#include "core/distributions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <numbers>
#include <random>
#include <vector>

#include "support/kernel_paths.h"
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

TEST(NormalQuantile, MatchesQnormAndReturnsZeroOutsideTheUnitInterval) {
    // R qnorm. AS 111 holds to about 1e-8 in the centre and 1e-5 in the far tail.
    const Case central[] = {{0.05, -1.64485362695147}, {0.1, -1.2815515655446},
                            {0.3, -0.524400512708041}, {0.5, 0.0},
                            {0.9, 1.2815515655446},    {0.975, 1.95996398454005}};
    expectRows(normalQuantile, central, 1e-8);
    expectRows(normalQuantile, {{0.001, -3.09023230616781}, {0.99999, 4.26489079392384}}, 1e-5);
    expectRows(normalQuantile, {{0, 0}, {1, 0}, {-0.2, 0}, {1.5, 0}}, 0.0);
}

TEST(NormalCdf, ClampsAndMatchesPnorm) {
    // R pnorm. The bisection stops when the probed quantile is within 0.0001
    // of z and returns the next probe: a few 1e-4 at most, and less in the
    // tail, where -3.5 is far from the clamp below -4. Worked by hand: at
    // 0.6745 the first probe 0.75 gives 0.674490, below z, so p moves
    // halfway to 1.0 and stops.
    const Case pnorm[] = {{-3.5, 0.000232629079035525}, {-2, 0.0227501319481792},
                          {-1, 0.158655253931457},      {0.3, 0.617911422188953},
                          {1.5, 0.933192798731142},     {3, 0.99865010196837}};
    expectRows(normalCdf, pnorm, 3e-4);
    EXPECT_NEAR(normalCdf(-3.5), 0.000232629079035525, 5e-5);
    const Case exact[] = {{0, 0.5}, {4, 0.99999}, {-4, 0.00001}, {0.6745, 0.875}, {-0.6745, 0.125}};
    expectRows(normalCdf, exact, 0.0);
}

TEST(Densities, RoundedConstantAndR) {
    // The rounded constant 0.398942258 is 5.6e-8 below 1/sqrt(2π) in relative terms.
    EXPECT_NEAR(normalDensity(1.3) / (std::exp(-0.845) / std::sqrt(2 * std::numbers::pi)), 1, 1e-7);
    // R mvtnorm::dmvnorm(c(0.4, -1.1), sigma = [[1, .6], [.6, 1]]).
    EXPECT_NEAR(bivariateNormalDensity(0.4, -1.1, 0.6), 0.0451598882113246, 1e-15);
}

TEST(ChiSquare, EveryRouteMatchesR) {
    // R pchisq(x, k, lower = FALSE) as {x, k, p, tolerance}. One degree goes
    // through normalCdf (twice its bisection error; at 100 its clamp gives
    // 2e-5), two is exp(-x/2); 3 to 21 is a 199-step left Riemann sum, here
    // compared with that sum computed in R with dchisq, so Γ(k/2) is checked
    // as well; above 21 the Wilson-Hilferty approximation holds to about 1e-4
    // plus the bisection error.
    const double rows[][4] = {
        {3.841, 1, 0.0500136837639569, 1e-3}, {2, 1, 0.157299207050284, 1e-3},
        {100, 1, 0.00002, 1e-15},             {7.5, 2, 0.0235177458560090, 1e-15},
        {0.6, 3, 0.897475422690426, 1e-12},   {12, 4, 0.0181077437195271, 1e-12},
        {5, 5, 0.420473587325193, 1e-12},     {30, 10, 0.000932188736217587, 1e-12},
        {15, 15, 0.459549723940009, 1e-12},   {63, 21, 5.25128969497413e-06, 1e-12},
        {0, 4, 1, 0},                         {100, 5, 0, 0},
        {15.4, 22, 0.844507862449938, 1e-3},  {48, 30, 0.0198253328234637, 1e-3},
        {96, 60, 0.00217820518087047, 1e-3},  {500, 40, 0.00001, 1e-15}};
    for (const auto& r : rows)
        EXPECT_NEAR(chiSquareUpperTail(r[0], static_cast<int>(r[1])), r[2], r[3])
            << r[0] << ", " << r[1];
    EXPECT_GT(chiSquareUpperTail(20, 5), 0.0) << "exactly 4k is still integrated";
}

using Rounding = testing::PoolTest;

TEST_F(Rounding, HalfwayCasesGoDownAlsoInEveryMatrixElement) {
    expectRows(roundHalfDown, {{0.5, 0}, {2.5, 2}, {-2.5, -3}, {2.51, 3}, {-2.49, -2}}, 0.0);
    // 1.25·10 = 12.5 -> 12; -12.5 -> -13; 0.125·100 = 12.5 -> 12.
    EXPECT_THAT(roundToDecimals(fromRows({{1.25, -1.25}, {3.14159, 0.75}}), 1),
                MatrixNear(fromRows({{1.2, -1.3}, {3.1, 0.7}}), 1e-15));
    EXPECT_THAT(roundToDecimals(fromRows({{0.125}}), 2), MatrixNear(fromRows({{0.12}}), 1e-15));
}

TEST(BivariateUpperTail, GeneralLimitsMatchR) {
    // R mvtnorm::pmvnorm (Miwa, 4096 steps) as {h, k, ρ, p}. The rows cover one
    // limit zero, limits of opposite signs, and |a| above, below and at 1 in
    // Owen's T; (k/h - ρ)/s is exactly 1 in the last two.
    const double rows[][4] = {
        {1, 2, 0.5, 0.013266217009222},      {0.5, -0.3, 0.4, 0.243575889201206},
        {-1, -0.5, -0.6, 0.540022830315289}, {0, 1, 0.5, 0.127398206576788},
        {2, -1, 0.3, 0.0219058155057311},    {-1.5, -1.5, 0.95, 0.916939802257918},
        {1, 0.2, -0.6, 0.0146050110359274},  {0.5, 0.1, -0.6, 0.0556078593956183}};
    for (const auto& r : rows)
        EXPECT_NEAR(bivariateUpperTail(r[0], r[1], r[2]), r[3], 2e-9)
            << r[0] << ", " << r[1] << ", " << r[2];
}

// P(X < h, Y < k) against R's integrate() of φ(x)·Φ((k - rho·x)/√(1 - rho²))
// over x < h (rel.tol 1e-13) in both branches (|rho| below and above 0.925),
// both tails and tiny probabilities (relative check); closed forms at rho = 0
// and ±1.
TEST(BivariateNormalCdf, MatchesNumericIntegrationAndClosedForms) {
    const struct {
        double h, k, rho, p;
    } rows[] = {
        {0, 0, 0.5, 1.0 / 3.0},                    {-1.2, 0.7, 0.3, 0.10299456992224279},
        {-2, -2.5, 0.99, 0.0062094396207672533},   {0.3, -0.4, -0.6, 0.12015542723905727},
        {2.1, -1.9, -0.97, 0.01237546092566681},   {-3, -3, 0.999, 0.0012708810536105268},
        {1, 1.01, 0.98, 0.8233150225838981},       {-0.5, 2, 0.93, 0.3085375387257942},
        {-2.5, 2.5, 0.9999, 0.0062096653257761357}, {-1, -1.4, -0.95, 2.5630600717340685e-16},
        {4, -4, -0.2, 3.1650696764248461e-05},     {-4.5, -4, 0.5, 9.9948086872879215e-08}};
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

// boundedExp within the error its derivation gives (2.7e-15, plus glibc's
// half ulp) of std::exp over the whole range. The bounded Φ₂ and density on
// both kernel builds: within their bounds of the exact routines, the bounds
// themselves far below any probability the estimate uses, and no bounded
// value where the quadrature does not apply or an exponent is too low.
TEST(BoundedBivariateNormal, WithinItsBoundsOfTheExactRoutines) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    double worst = 0.0;
    for (int i = 0; i < 200000; ++i) {
        const double x = -708.0 + 716.0 * uniform(random);
        worst = std::max(worst, std::fabs(boundedExp(x) / std::exp(x) - 1.0));
    }
    EXPECT_LT(worst, 3e-15);
    const std::vector<KernelPath> paths = testing::kernelPathsHere();
    BivariatePoints points;
    for (int j = 0; j < 23; ++j) {
        const double h = -3.5 + 7.0 * uniform(random), k = -3.5 + 7.0 * uniform(random);
        points.add(h, k, normalLowerTail(h), normalLowerTail(k));
    }
    const auto padded = static_cast<std::size_t>(points.padded());
    std::vector<double> f(padded), fb(padded), d(padded), db(padded);
    for (const KernelPath path : paths) {
        for (const double rho : {0.0, 0.1, -0.29, 0.5, -0.74, 0.9, -0.924}) {
            const BivariateNormalRho r = bivariateNormalRho(rho);
            ASSERT_TRUE(boundedBivariateNormal(points, r, f.data(), fb.data(), d.data(), db.data(), path));
            for (int j = 0; j < 23; ++j) {
                const auto q = static_cast<std::size_t>(j);
                const double h = points.h[q], k = points.k[q];
                EXPECT_LE(std::fabs(f[q] - bivariateNormalCdf(h, k, normalLowerTail(h), normalLowerTail(k), r)), fb[q]);
                EXPECT_LE(std::fabs(d[q] - bivariateNormalDensity(h, k, rho)), db[q]);
                EXPECT_LT(fb[q], 1e-13);
                EXPECT_LT(db[q], 1e-13);
            }
        }
        EXPECT_FALSE(boundedBivariateNormal(points, bivariateNormalRho(0.93), f.data(), fb.data(), d.data(),
                                            db.data(), path));
        BivariatePoints far;
        far.add(-26.0, 0.5, 0.0, normalLowerTail(0.5));
        EXPECT_FALSE(boundedBivariateNormal(far, bivariateNormalRho(0.2), f.data(), fb.data(), d.data(),
                                            db.data(), path));
    }
}

}  // namespace
}  // namespace talvex
