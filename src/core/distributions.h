// Probability functions with the program's fixed approximations, clamps and
// tolerances (printed P values depend on them).
#pragma once

#include <vector>

#include "core/kernels.h"
#include "core/matrix.h"

namespace talvex {

// exp(-x²/2)·0.398942258.
double normalDensity(double x);
// c·exp(-x²/2)/sqrt(2π).
double normalDensityScaled(double x, double c);
// Inverse of the standard normal distribution, AS 111 (Beasley & Springer,
// 1977); 0 for p <= 0 or p >= 1.
double normalQuantile(double p);
// Φ(z) by bisection on normalQuantile, clamped to [0.00001, 0.99999].
double normalCdf(double z);
// Error function by piecewise rational approximations.
double erfApprox(double x);
// Φ(x) through erfApprox.
double normalCdfErf(double x);
// P(χ²_k > x).
double chiSquareUpperTail(double x, int k);
// Γ(x), W. J. Cody's rational Chebyshev approximation.
double gammaFunction(double x);
// Nearest integer, ties to the lower one.
double roundHalfDown(double x);
// Each element rounded to d decimals with roundHalfDown.
Matrix roundToDecimals(const Matrix& m, int d);
double bivariateNormalDensity(double x, double y, double rho);
// P(X > h, Y > k) for standard bivariate normal with correlation rho, by
// Owen's T function; clamped to [0, 1], -1 when 1 - rho² < 0.
double bivariateUpperTail(double h, double k, double rho);
// P(X < h, Y < k) for standard bivariate normal with correlation rho, to
// about 1e-15 absolute (Drezner & Wesolowsky, 1990, in Genz's form, 2004):
// for |rho| < 0.925 the integral of the density over arcsin rho by
// Gauss-Legendre; above, the integral from rho to 1 with its leading terms
// in closed form. Univariate tails through std::erfc. |rho| must be <= 1.
double bivariateNormalCdf(double h, double k, double rho);

// What bivariateNormalCdf computes from rho alone (the sines at the
// quadrature nodes), for many (h, k) at one rho: the same value, bit for bit.
struct BivariateNormalRho {
    double rho = 0.0;
    double half = 0.0;   // asin(rho)/2
    int nodes = 0;       // 0 when |rho| >= 0.925
    double sine[20] = {};
    double cosineSquared[20] = {};  // 1 - sine²
    const double* weights = nullptr;
};
BivariateNormalRho bivariateNormalRho(double rho);
double bivariateNormalCdf(double h, double k, const BivariateNormalRho& rho);
// Φ(x) as bivariateNormalCdf takes it for its univariate tails, and the
// same Φ₂ from Φ(h) and Φ(k) computed once for many rho: the same bits.
double normalLowerTail(double x);
double bivariateNormalCdf(double h, double k, double lowerH, double lowerK, const BivariateNormalRho& rho);

// exp(x) for -708 <= x <= 708 by a degree-13 Taylor polynomial on the
// reduced argument, without a call: within kBoundedExpError of exp(x),
// relatively. Not the bits of std::exp.
double boundedExp(double x);
inline constexpr double kBoundedExpError = 1e-14;

// Points (h, k) evaluated many times at different rho, with what does not
// depend on rho.
struct BivariatePoints {
    // Stored to a multiple of four points (the rest zeros), so that the
    // vector loops need no scalar remainder.
    std::vector<double> h, k, tails, halfSquares, products, squares;
    double largestHalfSquare = 0.0;
    void clear();
    // lowerH and lowerK: normalLowerTail of h and of k.
    void add(double h, double k, double lowerH, double lowerK);
    int size() const { return count_; }
    int padded() const { return static_cast<int>(h.size()); }

private:
    int count_ = 0;
};

// Φ₂ (as bivariateNormalCdf(h, k, lowerH, lowerK, rho) computes it) and the
// density (as bivariateNormalDensity(h, k, rho.rho)) at every point through
// boundedExp, each with a bound on its distance from those two functions'
// results, the rounding of both included (the four arrays hold padded()
// values; those past size() mean nothing). False when they are not of this
// kind: |rho| >= 0.925 (no quadrature) or an exponent below -700.
bool boundedBivariateNormal(const BivariatePoints& points, const BivariateNormalRho& rho, double* cdf,
                            double* cdfBound, double* density, double* densityBound,
                            KernelPath path = kernelPath());

}  // namespace talvex
