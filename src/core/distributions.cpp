#include "core/distributions.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace talvex {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Cody's rational approximation of Γ on (1, 2) and his Stirling correction
// terms, as published (W. J. Cody, ACM TOMS 19 (1993), algorithm 715).
constexpr std::array<double, 8> kGammaNumerator = {
    -1.71618513886549492533811e+00, 2.47656508055759199108314e+01, -3.79804256470945635097577e+02,
    6.29331155312818442661052e+02,  8.66966202790413211295064e+02, -3.14512729688483675254357e+04,
    -3.61444134186911729807069e+04, 6.64561438202405440627855e+04};
constexpr std::array<double, 8> kGammaDenominator = {
    -3.08402300119738975254353e+01, 3.15350626979604161529144e+02, -1.01515636749021914166146e+03,
    -3.10777167157231109440444e+03, 2.25381184209801510330112e+04, 4.75584627752788110767815e+03,
    -1.34659959864969306392456e+05, -1.15132259675553483497211e+05};
// Stirling series correction terms, highest order first.
constexpr std::array<double, 7> kStirling = {5.7083835261e-03,
                                             -1.910444077728e-03,
                                             8.4171387781295e-04,
                                             -5.952379913043012e-04,
                                             7.93650793500350248e-04,
                                             -2.777777777777681622553e-03,
                                             8.333333333333333331554247e-02};
constexpr double kLogSqrtTwoPi = 0.9189385332046727417803297;
constexpr double kGammaUpperLimit = 171.4584;

// Subtracts Owen's T(limit, a), a = (other/limit - rho)/s, from `level`;
// `b` is Φ(-limit). T is summed by its power series in a, which needs
// |a| < 1; otherwise the reciprocal relation
//   T(h, a) = (b + g)/2 - b·g - [a < 0]/2 - T(a·h, 1/a),  g = Φ(-a·h),
// is applied first. Both tails in that relation must be upper tails.
double addOwenContribution(double level, double limit, double other, double rho, double s,
                           double b) {
    double a = (other / limit - rho) / s;
    if (a == 0.0) return level;
    if (std::fabs(a) == 1.0) return level - (1.0 - b) * b * a / 2.0;
    double sign = -1.0;
    double h = limit;
    if (std::fabs(a) > 1.0) {
        const double g = normalCdfErf(-a * h);
        if (1.0 / a < 0.0) level += 0.5;
        level = g * b + level - (g + b) / 2.0;
        h = a * h;
        a = 1.0 / a;
        sign = 1.0;
    }
    const double t = h * h / 2.0;
    const double a2 = a * a;
    const double expT = std::exp(-t);
    const double threshold = 3.1415926535897933e-15 / std::fabs(a);
    double power = 1.0;       // (-a²)^j
    double partialExp = 1.0;  // Σ_{i<=j} t^i / i!
    double termT = 1.0;       // t^j / j!
    double sum = 0.0;
    // Terminates: the bracket 1 - e^(-t)·Σ tends to 0 factorially and |a| < 1.
    double term;
    int j = 0;
    do {
        if (j > 0) {
            power *= -a2;
            termT *= t / j;
            partialExp += termT;
        }
        term = power * (1.0 - expT * partialExp) / (2.0 * j + 1.0);
        sum += term;
        ++j;
    } while (std::fabs(term) > threshold);
    return level + sign * (std::atan(a) - a * sum) / kTwoPi;
}

}  // namespace

double normalDensity(double x) { return std::exp(-x * x / 2.0) * 0.398942258; }

double normalDensityScaled(double x, double c) {
    return c * std::exp(-x * x / 2.0) / std::sqrt(kTwoPi);
}

// AS 111 (Beasley & Springer, 1977).
double normalQuantile(double p) {
    const double q = p - 0.5;
    if (std::fabs(q) <= 0.42) {
        const double r = q * q;
        return q *
               (((41.39119773534 - 25.44106049637 * r) * r - 18.61500062529) * r + 2.50662823884) /
               ((((3.13082909833 * r - 21.06224101826) * r + 23.08336743743) * r - 8.4735109309) *
                    r +
                1.0);
    }
    double r = q < 0.0 ? p : 1.0 - p;
    if (r <= 0.0) return 0.0;
    r = std::sqrt(-std::log(r));
    const double z =
        (((2.32121276858 * r + 4.85014127135) * r - 2.29796479134) * r - 2.78718931138) /
        ((1.63706781897 * r + 3.54388924762) * r + 1.0);
    return q < 0.0 ? -z : z;
}

double normalCdf(double z) {
    if (z == 0.0) return 0.5;
    if (z <= -4.0) return 0.00001;
    if (z >= 4.0) return 0.99999;
    double p = z > 0.0 ? 0.75 : 0.25;
    double lower = z > 0.0 ? 0.5 : 0.0;
    double upper = z > 0.0 ? 1.0 : 0.5;
    double found;
    do {
        found = normalQuantile(p);
        if (found < z) {
            lower = p;
            p += std::fabs(upper - p) / 2.0;
        } else {
            upper = p;
            p -= std::fabs(p - lower) / 2.0;
        }
    } while (std::fabs(found - z) > 0.0001);
    return p;
}

double erfApprox(double x) {
    const double a = std::fabs(x);
    const double x2 = x * x;
    if (a > 4.4) return signTransfer(1.0, x);
    if (a <= 0.47) {
        return x * ((0.316652891 * x2 + 1.72227577) * x2 + 21.3853322) /
               ((x2 + 7.84374571) * x2 + 18.9522572);
    }
    double e;
    if (a <= 4.0) {
        e = std::exp(-x2) *
            ((((4.31877874e-05 * a + 0.563169619) * a + 3.03179934) * a + 6.86501848) * a +
             7.37388831) /
            ((((a + 5.35421679) * a + 12.7955295) * a + 15.1849082) * a + 7.37396089);
    } else {
        const double t = 1.0 / a;
        const double t2 = t * t;
        e = std::exp(-x2) * t *
            ((-0.0425799644 - 0.196068974 * t2) * t2 / (0.921452412 * t2 + 0.150942071) +
             std::sqrt(0.3183098861837907));
    }
    return signTransfer(1.0 - e, x);
}

double normalCdfErf(double x) {
    const double rootHalf = std::sqrt(0.5);
    if (x < -8.9 / rootHalf) return 0.0;
    if (x >= 0.0) return (1.0 + erfApprox(x * rootHalf)) / 2.0;
    return 0.5 - erfApprox(-x * rootHalf) / 2.0;
}

double chiSquareUpperTail(double x, int k) {
    if (k == 1) return 2.0 * (1.0 - normalCdf(std::sqrt(x)));
    if (k < 3) return std::exp(-x / 2.0);
    if (k <= 21) {
        if (x > 4.0 * k) return 0.0;
        // Left Riemann sum of the density over [0, 0.995x] in 199 steps.
        const double h = 0.005 * x;
        const double c = 1.0 / (2.0 * gammaFunction(k / 2.0));
        const double e = k / 2.0 - 1.0;
        double sum = 0.0;
        for (int i = 0; i <= 198; ++i) {
            const double t = i * h;
            sum += c * std::pow(t / 2.0, e) * std::exp(-t / 2.0);
        }
        const double tail = 1.0 - sum * h;
        return tail < 0.0 ? 0.0 : tail;
    }
    // Wilson-Hilferty cube-root normal approximation.
    const double v = 2.0 / (9.0 * k);
    const double z = (std::cbrt(x / k) - (1.0 - v)) / std::sqrt(v);
    return 1.0 - normalCdf(z);
}

double gammaFunction(double x) {
    if (x <= 0.0) return 0.0;
    double result;
    if (x < 2.220446049250313e-16) {
        result = 1.0 / x;
    } else if (x <= 12.0) {
        double y = x;
        int shifts = 0;
        double z;
        if (y < 1.0) {
            z = y;
            y += 1.0;
        } else {
            shifts = static_cast<int>(y) - 1;
            y -= shifts;
            z = y - 1.0;
        }
        double num = 0.0;
        double den = 1.0;
        for (int i = 0; i < 8; ++i) {
            num = (num + kGammaNumerator[static_cast<std::size_t>(i)]) * z;
            den = den * z + kGammaDenominator[static_cast<std::size_t>(i)];
        }
        result = num / den + 1.0;
        if (x < y) {
            result /= x;
        } else {
            for (int i = 0; i < shifts; ++i) {
                result *= y;
                y += 1.0;
            }
        }
    } else if (x <= kGammaUpperLimit) {
        const double ysq = x * x;
        double sum = kStirling[0];
        for (std::size_t i = 1; i < kStirling.size(); ++i) sum = sum / ysq + kStirling[i];
        sum = sum / x - x + kLogSqrtTwoPi + (x - 0.5) * std::log(x);
        result = std::exp(sum);
    } else {
        return 0.0;
    }
    if (roundHalfDown(x) == x) result = roundHalfDown(result);
    return result;
}

double roundHalfDown(double x) {
    const double f = std::floor(x);
    const double c = std::ceil(x);
    return std::fabs(f - x) <= std::fabs(c - x) ? f : c;
}

Matrix roundToDecimals(const Matrix& m, int d) {
    Matrix result(m.rows(), m.cols());
    const double factor = std::pow(10.0, d);
    for (int i = 0; i < m.rows(); ++i)
        for (int j = 0; j < m.cols(); ++j) result[i][j] = roundHalfDown(m[i][j] * factor) / factor;
    return result;
}

double bivariateNormalDensity(double x, double y, double rho) {
    const double oneMinus = 1.0 - rho * rho;
    return std::exp(-(x * x + y * y - 2.0 * rho * x * y) / (2.0 * oneMinus)) /
           (kTwoPi * std::sqrt(oneMinus));
}

// Owen (1956): P(X > h, Y > k) = Φ(-h)/2 + Φ(-k)/2 - T(h, a_h) - T(k, a_k)
// - β, with β = 1/2 when h·k < 0; with one limit zero the other's terms alone
// remain.
double bivariateUpperTail(double h, double k, double rho) {
    const double qh = normalCdfErf(-h) / 2.0;
    const double qk = normalCdfErf(-k) / 2.0;
    if (rho == 0.0) return 4.0 * qh * qk;
    const double oneMinus = 1.0 - rho * rho;
    if (oneMinus < 0.0) return -1.0;
    if (oneMinus == 0.0) {
        if (rho < 0.0) return -k <= h ? 0.0 : 2.0 * qh + 2.0 * qk - 1.0;
        return h < k ? 2.0 * qk : 2.0 * qh;
    }
    if (h == 0.0 && k == 0.0) return 0.25 + std::asin(rho) / kTwoPi;
    const double s = std::sqrt(oneMinus);
    double level;
    if (h != 0.0 && k != 0.0) {
        level = qh + qk;
        if (h * k < 0.0) level -= 0.5;
    } else {
        level = h != 0.0 ? qh : qk;
    }
    if (h != 0.0) level = addOwenContribution(level, h, k, rho, s, 2.0 * qh);
    if (k != 0.0) level = addOwenContribution(level, k, h, rho, s, 2.0 * qk);
    return level < 0.0 ? 0.0 : (level > 1.0 ? 1.0 : level);
}

namespace {

// Upper tail of the standard normal, accurate in both tails.
double upperNormal(double x) { return 0.5 * std::erfc(x * 0.7071067811865476); }

// Gauss-Legendre nodes and weights on [-1, 1], found by Newton's method on
// the Legendre polynomial (three-term recurrence).
struct GaussRule {
    std::vector<double> nodes, weights;
    explicit GaussRule(int n) {
        for (int i = 0; i < n; ++i) {
            double x = std::cos(3.141592653589793 * (i + 0.75) / (n + 0.5));
            double derivative = 1.0;
            for (int iteration = 0; iteration < 100; ++iteration) {
                double p0 = 1.0, p1 = x;
                for (int j = 2; j <= n; ++j) {
                    const double p2 = ((2.0 * j - 1.0) * x * p1 - (j - 1.0) * p0) / j;
                    p0 = p1;
                    p1 = p2;
                }
                derivative = n * (x * p1 - p0) / (x * x - 1.0);
                const double dx = p1 / derivative;
                x -= dx;
                if (std::fabs(dx) < 1e-16) break;
            }
            nodes.push_back(x);
            weights.push_back(2.0 / ((1.0 - x * x) * derivative * derivative));
        }
    }
};

const GaussRule& gaussRule(int n) {
    static const GaussRule six(6), twelve(12), twenty(20);
    return n == 6 ? six : (n == 12 ? twelve : twenty);
}

// P(X > h, Y > k), 0 <= rho < 1, near 1: L(h, k, 1) minus the integral of
// the density from rho to 1. With t = sqrt(1 - x²) that integral is
//   1/(2π) ∫₀^a exp(-((h-k)²/x² + hk)/2) g(x) dx,  a = sqrt(1 - rho²),
//   g(x) = exp(-hk(1 - t)/(2(1 + t)))/t = 1 + c·x² + c·d·x⁴ + O(x⁶),
// c = (4 - hk)/8, d = (12 - hk)/16; the polynomial part is integrated in
// closed form, the remainder by 20-point Gauss-Legendre.
double upperTailHighCorrelation(double h, double k, double rho) {
    const double hk = h * k;
    const double bs = (h - k) * (h - k);
    const double b = std::fabs(h - k);
    const double as = (1.0 - rho) * (1.0 + rho);
    const double a = std::sqrt(as);
    const double c = (4.0 - hk) / 8.0;
    const double d = (12.0 - hk) / 16.0;
    // I_n = ∫₀^a xⁿ exp(-bs/(2x²)) dx: (n + 1)·I_n = a^(n+1)·e - bs·I_(n-2).
    const double e = bs / as > 1400.0 ? 0.0 : std::exp(-bs / (2.0 * as));
    const double i0 = a * e - b * 2.5066282746310002 * upperNormal(b / a);
    const double i2 = (as * a * e - bs * i0) / 3.0;
    const double i4 = (as * as * a * e - bs * i2) / 5.0;
    double integral = 0.0;
    if (hk < 1400.0) integral = std::exp(-hk / 2.0) * (i0 + c * i2 + c * d * i4);
    const GaussRule& rule = gaussRule(20);
    const double half = a / 2.0;
    for (std::size_t i = 0; i < rule.nodes.size(); ++i) {
        const double x = half * (rule.nodes[i] + 1.0);
        const double xs = x * x;
        const double exponent = -(bs / xs + hk) / 2.0;
        if (exponent < -700.0) continue;
        const double t = std::sqrt(1.0 - xs);
        const double g = std::exp(-hk * (1.0 - t) / (2.0 * (1.0 + t))) / t;
        integral += half * rule.weights[i] * std::exp(exponent) * (g - 1.0 - c * xs * (1.0 + d * xs));
    }
    return upperNormal(std::max(h, k)) - integral / kTwoPi;
}

// P(X > h, Y > k) for |rho| < 0.925:
// Φ(-h)Φ(-k) + 1/(2π) ∫₀^asin(rho) exp(-(h² + k² - 2hk sinθ)/(2cos²θ)) dθ.
// Given the univariate tails uh = Φ(-h) and uk = Φ(-k). At rho = 0 the
// integral is multiplied by 0 and adds exactly 0: it is not evaluated.
double upperTailModerate(double h, double k, double uh, double uk, const BivariateNormalRho& r) {
    if (r.half == 0.0) return uh * uk;
    const double hs = (h * h + k * k) / 2.0;
    const double hk = h * k;
    double integral = 0.0;
    for (int i = 0; i < r.nodes; ++i)
        integral += r.weights[i] * std::exp((r.sine[i] * hk - hs) / r.cosineSquared[i]);
    return uh * uk + r.half * integral / kTwoPi;
}

double upperTailModerate(double h, double k, const BivariateNormalRho& r) {
    return upperTailModerate(h, k, upperNormal(h), upperNormal(k), r);
}

// P(X > h, Y > k) for |rho| <= 1.
double upperTail(double h, double k, double rho) {
    if (rho >= 1.0) return upperNormal(std::max(h, k));
    if (rho <= -1.0) return std::max(0.0, upperNormal(h) - upperNormal(-k));
    if (std::fabs(rho) < 0.925) return upperTailModerate(h, k, bivariateNormalRho(rho));
    if (rho > 0.0) return upperTailHighCorrelation(h, k, rho);
    // P(X > h, Y > k) = P(X > h) - P(X > h, -Y > -k), corr(X, -Y) = -rho.
    return upperNormal(h) - upperTailHighCorrelation(h, -k, -rho);
}

}  // namespace

BivariateNormalRho bivariateNormalRho(double rho) {
    BivariateNormalRho r;
    r.rho = rho;
    if (!(std::fabs(rho) < 0.925)) return r;
    const GaussRule& rule = gaussRule(std::fabs(rho) < 0.3 ? 6 : (std::fabs(rho) < 0.75 ? 12 : 20));
    r.half = std::asin(rho) / 2.0;
    r.nodes = static_cast<int>(rule.nodes.size());
    r.weights = rule.weights.data();
    for (int i = 0; i < r.nodes; ++i) {
        const double s = std::sin(r.half * (rule.nodes[static_cast<std::size_t>(i)] + 1.0));
        r.sine[i] = s;
        r.cosineSquared[i] = 1.0 - s * s;
    }
    return r;
}

double bivariateNormalCdf(double h, double k, double rho) {
    const double p = upperTail(-h, -k, rho);
    return p < 0.0 ? 0.0 : (p > 1.0 ? 1.0 : p);
}

double bivariateNormalCdf(double h, double k, const BivariateNormalRho& rho) {
    if (rho.nodes == 0) return bivariateNormalCdf(h, k, rho.rho);
    const double p = upperTailModerate(-h, -k, rho);
    return p < 0.0 ? 0.0 : (p > 1.0 ? 1.0 : p);
}

double normalLowerTail(double x) { return upperNormal(-x); }

double bivariateNormalCdf(double h, double k, double lowerH, double lowerK, const BivariateNormalRho& rho) {
    if (rho.nodes == 0) return bivariateNormalCdf(h, k, rho.rho);
    const double p = upperTailModerate(-h, -k, lowerH, lowerK, rho);
    return p < 0.0 ? 0.0 : (p > 1.0 ? 1.0 : p);
}

namespace {

// boundedExp: exp(x) = 2ⁿ·exp(r), n = round(x/ln 2), r = x - n·ln 2 with
// ln 2 split into a head of 42 bits (n·head is exact for |n| < 2¹¹) and a
// tail, |r| <= ln 2/2; exp(r) by its Taylor polynomial of degree 13 in
// Estrin's form (pairs of coefficients, then powers r², r⁴, r⁸: a short
// chain of dependent operations). Relative error: truncation
// r¹⁴/14!·e^|r| < 1e-17; the reduction, 1.2e-16; the polynomial, at most 11
// roundings on the way of any term, so at most 11u·Σ|cᵢrⁱ|/e^r <=
// 11u·e^(2|r|) < 2.5e-15 (u = 2⁻⁵³); the scaling by 2ⁿ is exact while the
// result is a normal number. In all below 2.7e-15, which kBoundedExpError
// (1e-14) covers; the fused build only rounds less.
constexpr double kLog2e = 1.4426950408889634;
constexpr double kExpShift = 6755399441055744.0;         // 1.5·2⁵²: adding it rounds to an integer
constexpr double kLn2Head = 0x1.62e42fefa3800p-1;        // 42 significant bits
constexpr double kLn2Tail = 0x1.ef35793c76730p-45;
constexpr int kTaylorDegree = 13;
constexpr std::array<double, kTaylorDegree + 1> taylorCoefficients() {
    std::array<double, kTaylorDegree + 1> c{};
    double factorial = 1.0;
    for (int i = 0; i <= kTaylorDegree; ++i) {
        if (i > 0) factorial *= i;
        c[static_cast<std::size_t>(i)] = 1.0 / factorial;
    }
    return c;
}
constexpr std::array<double, kTaylorDegree + 1> kTaylor = taylorCoefficients();

// Distance allowed between a bounded value and the exact routine's, relative
// to the sum of the magnitudes it is made of. Each exponential differs from
// glibc's by at most kBoundedExpError + 1.2e-16 relatively; the weighted sum
// of at most 20 positive terms, the scaling and the addition of the tails
// round differently by at most 25u per path: 2e-14 in all. The factor of
// five left over covers the rounding of the bound itself.
constexpr double kPointSlack = 1e-13;
// Exponents below this are not taken (the scaling by 2ⁿ would leave the
// normal numbers); above 0 there are none.
constexpr double kLowestExponent = -690.0;

template <bool Fused>
TALVEX_KERNEL_BODY double multiplyAdd(double a, double b, double c) {
    if constexpr (Fused)
        return __builtin_fma(a, b, c);
    else
        return a * b + c;
}

template <bool Fused>
TALVEX_KERNEL_BODY double expBody(double x) {
    const double shifted = x * kLog2e + kExpShift;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(shifted);
    const double n = shifted - kExpShift;
    const double r = (x - n * kLn2Head) - n * kLn2Tail;
    const auto& c = kTaylor;
    const double r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
    const double q0 = multiplyAdd<Fused>(c[1], r, c[0]), q1 = multiplyAdd<Fused>(c[3], r, c[2]);
    const double q2 = multiplyAdd<Fused>(c[5], r, c[4]), q3 = multiplyAdd<Fused>(c[7], r, c[6]);
    const double q4 = multiplyAdd<Fused>(c[9], r, c[8]), q5 = multiplyAdd<Fused>(c[11], r, c[10]);
    const double q6 = multiplyAdd<Fused>(c[13], r, c[12]);
    const double low = multiplyAdd<Fused>(multiplyAdd<Fused>(q3, r2, q2), r4, multiplyAdd<Fused>(q1, r2, q0));
    const double high = multiplyAdd<Fused>(q6, r4, multiplyAdd<Fused>(q5, r2, q4));
    const double p = multiplyAdd<Fused>(high, r8, low);
    // The low bits of `shifted` hold n: 2ⁿ's exponent field is n + 1023.
    return p * std::bit_cast<double>((bits + 1023u) << 52);
}

template <bool Fused>
TALVEX_KERNEL_BODY void boundedBody(const BivariatePoints& points, const BivariateNormalRho& r,
                                    double* __restrict cdf, double* __restrict cdfBound,
                                    double* __restrict density, double* __restrict densityBound) {
    const int n = points.padded();
    const double* __restrict hk = points.products.data();
    const double* __restrict hs = points.halfSquares.data();
    const double* __restrict tails = points.tails.data();
    for (int j = 0; j < n; ++j) cdf[j] = 0.0;
    if (r.half != 0.0) {
        for (int i = 0; i < r.nodes; ++i) {
            const double s = r.sine[i], c = r.cosineSquared[i], w = r.weights[i];
            for (int j = 0; j < n; ++j) cdf[j] = multiplyAdd<Fused>(w, expBody<Fused>((s * hk[j] - hs[j]) / c), cdf[j]);
        }
    }
    for (int j = 0; j < n; ++j) {
        const double quadrature = r.half * cdf[j] / kTwoPi;
        const double p = tails[j] + quadrature;
        cdf[j] = p < 0.0 ? 0.0 : (p > 1.0 ? 1.0 : p);
        cdfBound[j] = kPointSlack * (tails[j] + std::fabs(quadrature));
    }
    const double* __restrict h = points.h.data();
    const double* __restrict k = points.k.data();
    const double* __restrict squares = points.squares.data();
    const double oneMinus = 1.0 - r.rho * r.rho;
    const double twoRho = 2.0 * r.rho, twice = 2.0 * oneMinus;
    const double scale = kTwoPi * std::sqrt(oneMinus);
    for (int j = 0; j < n; ++j) {
        density[j] = expBody<Fused>(-(squares[j] - twoRho * h[j] * k[j]) / twice) / scale;
        densityBound[j] = kPointSlack * density[j];
    }
}

#if TALVEX_AVX2_BUILD
TALVEX_AVX2 void boundedAvx2(const BivariatePoints& points, const BivariateNormalRho& r, double* cdf,
                             double* cdfBound, double* density, double* densityBound) {
    boundedBody<true>(points, r, cdf, cdfBound, density, densityBound);
}
#endif

void boundedPortable(const BivariatePoints& points, const BivariateNormalRho& r, double* cdf,
                     double* cdfBound, double* density, double* densityBound) {
    boundedBody<false>(points, r, cdf, cdfBound, density, densityBound);
}

}  // namespace

double boundedExp(double x) { return expBody<false>(x); }

void BivariatePoints::clear() {
    for (std::vector<double>* v : {&h, &k, &tails, &halfSquares, &products, &squares}) v->clear();
    largestHalfSquare = 0.0;
    count_ = 0;
}

void BivariatePoints::add(double h0, double k0, double lowerH, double lowerK) {
    const auto j = static_cast<std::size_t>(count_++);
    if (j == h.size())
        for (std::vector<double>* v : {&h, &k, &tails, &halfSquares, &products, &squares}) v->resize(j + 4, 0.0);
    h[j] = h0;
    k[j] = k0;
    // The upper tail at (-h, -k), as bivariateNormalCdf takes it.
    tails[j] = lowerH * lowerK;
    halfSquares[j] = (h0 * h0 + k0 * k0) / 2.0;
    products[j] = h0 * k0;
    squares[j] = h0 * h0 + k0 * k0;
    largestHalfSquare = std::max(largestHalfSquare, halfSquares[j]);
}

bool boundedBivariateNormal(const BivariatePoints& points, const BivariateNormalRho& rho, double* cdf,
                            double* cdfBound, double* density, double* densityBound, KernelPath path) {
    if (rho.nodes == 0) return false;
    // Every exponent is at least -(h² + k²)/(1 - rho²): the quadrature's
    // cos² at the nodes and the density's 2(1 - |rho|) are both above 1 - rho².
    if (!(2.0 * points.largestHalfSquare <= -kLowestExponent * (1.0 - rho.rho * rho.rho))) return false;
#if TALVEX_AVX2_BUILD
    if (path == KernelPath::Avx2) {
        boundedAvx2(points, rho, cdf, cdfBound, density, densityBound);
        return true;
    }
#endif
    (void)path;
    boundedPortable(points, rho, cdf, cdfBound, density, densityBound);
    return true;
}

}  // namespace talvex
