#include "stats/rotation/target.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "stats/rotation/orthomax.h"
#include "stats/rotation/orthosim.h"

namespace talvex {

namespace {

constexpr double kPi = 3.14159265358979323846;
// A planar rotation whose sine is this small (one minute of arc) is not
// counted as a change.
constexpr double kEffectiveSine = 0.0002909;

void copyElements(Matrix& to, const Matrix& from) {
    for (int i = 0; i < to.rows(); ++i)
        for (int j = 0; j < to.cols(); ++j) to[i][j] = from[i][j];
}

// Cells of absolute value 9 or more are free (9 and −9 in a user target).
bool specified(double t) { return std::fabs(t) < 9.0; }

// The specified cells of each target column and whether any of them is
// not zero.
struct TargetColumns {
    std::vector<std::vector<int>> rows;
    std::vector<bool> nonZero;
    int count = 0;

    explicit TargetColumns(const Matrix& target) {
        const int p = target.rows(), m = target.cols();
        rows.resize(static_cast<std::size_t>(m));
        nonZero.assign(static_cast<std::size_t>(m), false);
        for (int j = 0; j < m; ++j)
            for (int i = 0; i < p; ++i) {
                if (!specified(target[i][j])) continue;
                rows[static_cast<std::size_t>(j)].push_back(i);
                if (target[i][j] != 0.0) nonZero[static_cast<std::size_t>(j)] = true;
                ++count;
            }
    }
    const std::vector<int>& of(int j) const { return rows[static_cast<std::size_t>(j)]; }
    bool hasNonZero(int j) const { return nonZero[static_cast<std::size_t>(j)]; }
};

// Σ over the specified cells of (aᵢⱼ − tᵢⱼ)².
double targetResidual(const Matrix& a, const Matrix& target, const TargetColumns& spec) {
    double f = 0.0;
    for (int j = 0; j < a.cols(); ++j)
        for (const int i : spec.of(j)) {
            const double d = a[i][j] - target[i][j];
            f += d * d;
        }
    return f;
}

// Σ_{i∈spec(j)} tᵢⱼ·aᵢₖ: the fit of loading column k to target column j.
double fit(const Matrix& a, int k, const Matrix& target, int j, const TargetColumns& spec) {
    double s = 0.0;
    for (const int i : spec.of(j)) s += target[i][j] * a[i][k];
    return s;
}

void negateColumn(Matrix& a, int j) {
    for (int i = 0; i < a.rows(); ++i) a[i][j] = -a[i][j];
}

void swapColumns(Matrix& a, int j, int k) {
    for (int i = 0; i < a.rows(); ++i) std::swap(a[i][j], a[i][k]);
}

// Factor j reflected: row and column j of Φ change sign (the diagonal twice).
void negateFactor(Matrix& phi, int j) {
    if (!phi.valid()) return;
    for (int r = 0; r < phi.cols(); ++r) phi[j][r] = -phi[j][r];
    for (int r = 0; r < phi.rows(); ++r) phi[r][j] = -phi[r][j];
}

void swapFactors(Matrix& phi, int j, int k) {
    if (!phi.valid()) return;
    swapColumns(phi, j, k);
    for (int r = 0; r < phi.cols(); ++r) std::swap(phi[j][r], phi[k][r]);
}

// d(j, k) = Σ_{i∈spec(j)} (tᵢⱼ² + aᵢₖ²) − 2·|Σ_{i∈spec(j)} tᵢⱼaᵢₖ|: the
// residual of loading column k against target column j under the better
// sign. distance[j][k], target column j, loading column k.
std::vector<std::vector<double>> distanceTable(const Matrix& a, const Matrix& target,
                                               const TargetColumns& spec) {
    const int m = a.cols();
    std::vector<std::vector<double>> d(static_cast<std::size_t>(m),
                                       std::vector<double>(static_cast<std::size_t>(m)));
    for (int j = 0; j < m; ++j)
        for (int k = 0; k < m; ++k) {
            double squares = 0.0;
            for (const int i : spec.of(j))
                squares += target[i][j] * target[i][j] + a[i][k] * a[i][k];
            d[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)] =
                squares - 2.0 * std::fabs(fit(a, k, target, j, spec));
        }
    return d;
}

// Puts in front of every target column the loading column closest to it:
// a greedy phase, then exchanges of pairs while they lower the total
// distance. Exchanges act on A, on Φ when given, and on the table. Columns
// with a negative fit to their target column are then reflected.
void matchColumns(Matrix& a, Matrix& phi, const Matrix& target, const TargetColumns& spec) {
    const int m = a.cols();
    const auto at = [](std::vector<std::vector<double>>& d, int j, int k) -> double& {
        return d[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)];
    };
    const auto exchange = [&](std::vector<std::vector<double>>& d, int j, int k) {
        swapColumns(a, j, k);
        swapFactors(phi, j, k);
        for (int r = 0; r < m; ++r) std::swap(at(d, r, j), at(d, r, k));
    };
    auto d = distanceTable(a, target, spec);
    std::vector<bool> matched(static_cast<std::size_t>(m), false);
    for (int pass = 0; pass < m; ++pass) {
        int bestJ = -1, bestK = -1;
        double best = 1.0;
        for (int k = 0; k < m; ++k) {
            if (matched[static_cast<std::size_t>(k)]) continue;
            for (int j = 0; j < m; ++j) {
                if (matched[static_cast<std::size_t>(j)]) continue;
                if (at(d, j, k) < best) {
                    best = at(d, j, k);
                    bestJ = j;
                    bestK = k;
                }
            }
        }
        if (bestJ < 0) continue;
        if (bestK != bestJ) exchange(d, bestJ, bestK);
        matched[static_cast<std::size_t>(bestJ)] = true;
    }
    d = distanceTable(a, target, spec);
    for (int pass = 0; pass < m * m; ++pass) {
        int bestA = -1, bestB = -1;
        double best = 0.0;
        for (int x = 1; x < m; ++x)
            for (int y = 0; y < x; ++y) {
                const double change = at(d, y, x) + at(d, x, y) - at(d, x, x) - at(d, y, y);
                if (change < best) {
                    best = change;
                    bestA = x;
                    bestB = y;
                }
            }
        if (bestA < 0) break;
        exchange(d, bestA, bestB);
    }
    for (int j = 0; j < m; ++j)
        if (fit(a, j, target, j, spec) < 0) {
            negateColumn(a, j);
            negateFactor(phi, j);
        }
}

// The multiple b of the single-axis step for the pair (j, k) with fit Cⱼ ≠ 0:
// the root of F′ reached by one Halley step from a starting value.
double halleyMultiple(double aj, double bk, double cj, double dk, double phi, bool firstSweep) {
    const double g = bk != 0.0 ? dk / bk : 0.0;
    const double c = cj / aj;
    const double oneMinus = 1.0 - phi * phi;
    double r = std::sqrt(std::fabs(c - oneMinus));
    if (g + phi < 0) r = -r;
    const double b0 = r - phi;
    if (bk == 0.0) return b0;
    double bs = 0.0;
    if (firstSweep || b0 * g > 0) {
        const double rho = r != 0.0 ? oneMinus / c : std::sqrt(c / oneMinus);
        bs = (bk * g + (1.0 - rho) * aj * b0) / (bk + (1.0 - rho) * aj);
    }
    const double s = std::sqrt(bs * bs + 2.0 * bs * phi + 1.0);
    const double d1 = 2.0 * (phi * aj - dk) + 2.0 * (aj + bk) * bs - 2.0 * cj * (bs + phi) / s;
    const double d2 = 2.0 * (aj + bk) - 2.0 * cj * oneMinus / (s * s * s);
    const double d3 = 6.0 * cj * oneMinus * (bs + phi) / (s * s * s * s * s);
    return bs - d1 / (d2 - d1 * d3 / (2.0 * d2));
}

// Planar rotation of the pair (j, k) over the specified cells:
// F(θ) = const + ((P − Q)/2)·cos 2θ + R·sin 2θ − 2U·cos θ − 2V·sin θ with
// σ = sin θ, θ in [−π/2, π/2] (the cosine is never negative).
struct PairTerms {
    double p = 0.0, q = 0.0, r = 0.0, u = 0.0, v = 0.0;

    double value(double theta) const {
        return 0.5 * (p - q) * std::cos(2.0 * theta) + r * std::sin(2.0 * theta) -
               2.0 * u * std::cos(theta) - 2.0 * v * std::sin(theta);
    }
    double first(double theta) const {
        return -(p - q) * std::sin(2.0 * theta) + 2.0 * r * std::cos(2.0 * theta) +
               2.0 * u * std::sin(theta) - 2.0 * v * std::cos(theta);
    }
    double second(double theta) const {
        return -2.0 * (p - q) * std::cos(2.0 * theta) - 4.0 * r * std::sin(2.0 * theta) +
               2.0 * u * std::cos(theta) + 2.0 * v * std::sin(theta);
    }
};

PairTerms pairTerms(const Matrix& a, int j, int k, const Matrix& target,
                    const TargetColumns& spec) {
    PairTerms t;
    for (const int i : spec.of(j)) {
        const double x = a[i][j], y = a[i][k], goal = target[i][j];
        t.p += x * x;
        t.q += y * y;
        t.r += x * y;
        t.u += goal * x;
        t.v += goal * y;
    }
    for (const int i : spec.of(k)) {
        const double x = a[i][j], y = a[i][k], goal = target[i][k];
        t.p += y * y;
        t.q += x * x;
        t.r -= x * y;
        t.u += goal * y;
        t.v -= goal * x;
    }
    return t;
}

double clampAngle(double theta) { return std::clamp(theta, -0.5 * kPi, 0.5 * kPi); }

// The sine of the angle that minimises the pair's part of the criterion.
double pairSine(const PairTerms& t) {
    const double scale = std::fabs(t.p) + std::fabs(t.q) + std::fabs(t.u) + std::fabs(t.v);
    if (!(scale > 0)) return 0.0;
    // Both columns specified on the same rows: only the linear terms depend
    // on θ, and the minimum is at the angle of (U, V).
    if (std::fabs(t.p - t.q) <= 1e-13 * scale && std::fabs(t.r) <= 1e-13 * scale)
        return std::sin(clampAngle(std::atan2(t.v, t.u)));
    double theta = 0.0;
    bool converged = false;
    for (int n = 0; n < 100; ++n) {
        const double d2 = t.second(theta);
        if (!(d2 > 0)) break;
        const double step = t.first(theta) / d2;
        theta = clampAngle(theta - step);
        if (std::fabs(step) < 1e-14) {
            converged = true;
            break;
        }
    }
    if (converged && t.value(theta) <= t.value(0.0)) return std::sin(theta);
    // Fallback: the best of the sines −1, −0.9, …, 1.
    double bestSine = 0.0, best = t.value(0.0);
    for (int n = -10; n <= 10; ++n) {
        const double sine = 0.1 * n;
        const double value = t.value(std::asin(std::clamp(sine, -1.0, 1.0)));
        if (value < best) {
            best = value;
            bestSine = sine;
        }
    }
    return bestSine;
}

// Reflects column j when its fit to its target column is negative, or, for
// a target column without non-zero specified cells, when its sum is.
void reflectByFit(Matrix& a, int j, const Matrix& target, const TargetColumns& spec) {
    double sign = 0.0;
    if (spec.hasNonZero(j)) {
        sign = fit(a, j, target, j, spec);
    } else {
        for (int i = 0; i < a.rows(); ++i) sign += a[i][j];
    }
    if (sign < 0) negateColumn(a, j);
}

RoutineResult withShapes(int p, int m) {
    RoutineResult result;
    result.transformation = Matrix(m, m);
    result.factorCorrelations = Matrix(m, m);
    result.target = Matrix(p, m);
    return result;
}

// Promax from its prerotated loadings A: T for A, Φ and the target.
void promaxFit(const Matrix& a, double k, Matrix& pattern, Matrix& phi, Matrix& target) {
    MatrixScope scope;
    const Matrix t = promaxTarget(a, k);
    const Matrix q = leastSquaresTransformation(a, t).normalizeColumns();
    const Matrix t2 = q.transpose().inverse().normalizeColumns();
    copyElements(pattern, a.multiply(t2.transpose().inverse()));
    copyElements(phi, t2.transpose().multiply(t2));
    copyElements(target, t);
}

}  // namespace

Matrix promaxTarget(const Matrix& a, double k) {
    const int p = a.rows(), m = a.cols();
    Matrix t(p, m);
    MatrixScope scope;
    const Matrix b = kaiserNormalize(a);
    for (int j = 0; j < m; ++j) {
        double largest = 0.0;
        for (int i = 0; i < p; ++i) largest = std::max(largest, std::fabs(b[i][j]));
        if (!(largest > 0)) continue;  // a column of zeros gets a zero target
        for (int i = 0; i < p; ++i) {
            const double c = b[i][j] / largest;
            if (c != 0.0) t[i][j] = std::pow(std::fabs(c), k + 1.0) / c;
        }
    }
    return t;
}

Matrix promajTargetColumn(const Matrix& x) {
    const int p = x.rows();
    Matrix t(p, 1);
    std::vector<double> squares;
    for (int i = 0; i < p; ++i) squares.push_back(x[i][0] * x[i][0]);
    std::vector<double> sorted = squares;
    std::sort(sorted.begin(), sorted.end());
    double mean = 0.0;
    for (const double s : sorted) mean += s;
    mean /= p;
    double threshold = sorted.front();
    for (const double s : sorted)
        if (s < mean) threshold = s;
    for (int i = 0; i < p; ++i) {
        const double s = squares[static_cast<std::size_t>(i)];
        t[i][0] = s > threshold ? std::sqrt(s - threshold) : 0.0;
    }
    return t;
}

Matrix prominTarget(const Matrix& a) {
    const int p = a.rows(), m = a.cols();
    Matrix target(p, m);
    MatrixScope scope;
    const Matrix b = kaiserNormalize(a);
    for (int j = 0; j < m; ++j) {
        double mean = 0.0, variance = 0.0;
        for (int i = 0; i < p; ++i) mean += b[i][j] * b[i][j];
        mean /= p;
        for (int i = 0; i < p; ++i) {
            const double d = b[i][j] * b[i][j] - mean;
            variance += d * d;
        }
        // Population standard deviation of the squares (divisor p).
        const double cut = mean + 0.25 * std::sqrt(variance / p);
        for (int i = 0; i < p; ++i) {
            const double s = b[i][j] * b[i][j];
            target[i][j] = s >= cut && s >= 0.0001 ? 9.0 : 0.0;
        }
    }
    return target;
}

RoutineResult obliqueTargetRotation(const Matrix& a0, const Matrix& target, int maxIterations,
                                    double convergence) {
    const int p = a0.rows(), m = a0.cols();
    RoutineResult result = withShapes(p, m);
    copyElements(result.target, target);
    MatrixScope scope;
    const TargetColumns spec(target);
    Matrix a = a0.copy();
    Matrix phi = identity(m);
    matchColumns(a, phi, target, spec);
    double f = targetResidual(a, target, spec);
    const double threshold = 1.0 - convergence;
    for (int sweep = 0;; ++sweep) {
        if (sweep == kSweepLimit) {
            result.cappedStarts = 1;
            break;
        }
        int significant = 0;
        for (int j = 0; j < m; ++j) {
            double aj = 0.0, cj = 0.0;
            for (const int i : spec.of(j)) aj += a[i][j] * a[i][j];
            if (spec.hasNonZero(j)) {
                cj = fit(a, j, target, j, spec);
            } else {
                for (int i = 0; i < p; ++i) cj += a[i][j];
            }
            if (cj < 0) {
                negateColumn(a, j);
                negateFactor(phi, j);
                cj = -cj;
            }
            if (!spec.hasNonZero(j)) cj = 0.0;
            for (int k = 0; k < m; ++k) {
                if (k == j) continue;
                const double rho = phi[j][k];
                double bk = 0.0, dk = 0.0;
                for (const int i : spec.of(k)) {
                    bk += a[i][j] * a[i][j];
                    dk += (a[i][k] - target[i][k]) * a[i][j];
                }
                double b = 0.0;
                if (cj == 0.0) {
                    if (aj + bk == 0.0) continue;
                    b = (dk - rho * aj) / (aj + bk);
                } else {
                    b = halleyMultiple(aj, bk, cj, dk, rho, sweep == 0);
                }
                const double s = std::sqrt(b * b + 2.0 * b * rho + 1.0);
                // A step that is not a number would destroy the solution.
                if (!std::isfinite(b) || !(s > 0)) continue;
                for (int i = 0; i < p; ++i) {
                    a[i][k] -= b * a[i][j];
                    a[i][j] *= s;
                }
                for (int r = 0; r < m; ++r)
                    if (r != j) phi[j][r] = (b * phi[k][r] + phi[j][r]) / s;
                for (int r = 0; r < m; ++r) phi[r][j] = phi[j][r];
                phi[j][j] = 1.0;
                aj *= s * s;
                cj *= s;
                if ((1.0 + b * rho) / s < threshold) ++significant;
            }
        }
        const double next = targetResidual(a, target, spec);
        const bool rose = next > f;
        f = next;
        if (rose) break;
        if (sweep + 1 == maxIterations || significant == 0) break;
    }
    copyElements(result.transformation, leastSquaresTransformation(a0, a));
    copyElements(result.factorCorrelations, phi);
    result.criterion = spec.count > 0 ? std::sqrt(f / spec.count) : 0.0;
    return result;
}

RoutineResult orthogonalTargetRotation(const Matrix& a0, const Matrix& target, int maxIterations,
                                       double convergence) {
    (void)convergence;  // the sweeps stop on the criterion and the effective rotations
    const int p = a0.rows(), m = a0.cols();
    RoutineResult result = withShapes(p, m);
    copyElements(result.target, target);
    MatrixScope scope;
    // Only cells within [−1, 1] are specified here.
    Matrix goal = target.copy();
    for (int i = 0; i < p; ++i)
        for (int j = 0; j < m; ++j)
            if (std::fabs(goal[i][j]) > 1.0) goal[i][j] = 9.0;
    const TargetColumns spec(goal);
    Matrix a = a0.copy();
    Matrix noFactors;
    double f = targetResidual(a, goal, spec);
    for (int sweep = 0;; ++sweep) {
        if (sweep == kSweepLimit) {
            result.cappedStarts = 1;
            break;
        }
        const Matrix before = a.copy();
        if (sweep < 3) matchColumns(a, noFactors, goal, spec);
        int effective = 0;
        for (int j = 0; j < m - 1; ++j)
            for (int k = j + 1; k < m; ++k) {
                reflectByFit(a, j, goal, spec);
                reflectByFit(a, k, goal, spec);
                const double sine = pairSine(pairTerms(a, j, k, goal, spec));
                const double cosine = std::sqrt(1.0 - sine * sine);
                for (int i = 0; i < p; ++i) {
                    const double x = a[i][j], y = a[i][k];
                    a[i][j] = cosine * x + sine * y;
                    a[i][k] = cosine * y - sine * x;
                }
                if (std::fabs(sine) > kEffectiveSine) ++effective;
            }
        const double next = targetResidual(a, goal, spec);
        if (!(next < f)) {
            // No gain: the state after the previous sweep stands.
            copyElements(a, before);
            break;
        }
        f = next;
        if (sweep + 1 == maxIterations || effective == 0) break;
    }
    Matrix u(m, m), s(m, 1), v(m, m);
    a0.transpose().multiply(a).svd(u, s, v);
    copyElements(result.transformation, u.multiply(v.transpose()));
    copyElements(result.factorCorrelations, identity(m));
    result.criterion = f;
    return result;
}

namespace {

RoutineResult rotateAllToTarget(const Matrix& loadings, const Matrix& target, bool oblique,
                                int maxIterations, int randomStarts, double convergence) {
    const int p = loadings.rows(), m = loadings.cols();
    RoutineResult result = withShapes(p, m);
    copyElements(result.target, target);
    Matrix winner(p, m), none;
    const auto run = [&](const Matrix& start) {
        const Matrix a0 = loadings.multiply(start);
        const RoutineResult r =
            oblique ? obliqueTargetRotation(a0, target, maxIterations, convergence)
                    : orthogonalTargetRotation(a0, target, maxIterations, convergence);
        StartOutcome outcome;
        outcome.first = a0.multiply(r.transformation);
        outcome.criterion = r.criterion;
        outcome.capped = r.cappedStarts > 0;
        return outcome;
    };
    const BestStart best =
        bestOfStarts(m, obliqueStartCount(randomStarts), Better::Smaller, run, winner, none);
    result.criterion = best.criterion;
    result.cappedStarts = best.cappedStarts;
    MatrixScope scope;
    const Matrix t = leastSquaresTransformation(loadings, winner);
    copyElements(result.transformation, t);
    copyElements(result.factorCorrelations, oblique ? transformationCorrelations(t) : identity(m));
    return result;
}

}  // namespace

RoutineResult rotateToTarget(const Matrix& loadings, const Matrix& target, bool oblique,
                             int maxIterations, int randomStarts, double convergence) {
    // A factor without loadings keeps its place and its target column; the
    // others are rotated to the other target columns.
    RoutineResult result =
        onFactorsWithLoadings(loadings, [&](const Matrix& live, const std::vector<int>& columns) {
            const bool all = static_cast<int>(columns.size()) == target.cols();
            return rotateAllToTarget(live, all ? target : selectColumns(target, columns), oblique,
                                     maxIterations, randomStarts, convergence);
        });
    copyElements(result.target, target);
    return result;
}

// T carrying the loadings closest to `pattern` by least squares, and the
// factor correlations of that T.
static void fitToPattern(RoutineResult& result, const Matrix& loadings, const Matrix& pattern) {
    MatrixScope scope;
    const Matrix t = leastSquaresTransformation(loadings, pattern);
    copyElements(result.transformation, t);
    copyElements(result.factorCorrelations, transformationCorrelations(t));
}

RoutineResult promaxRotation(const Matrix& loadings, double k, double convergence,
                             int randomStarts, bool normalize) {
    const int p = loadings.rows(), m = loadings.cols();
    RoutineResult result = withShapes(p, m);
    MatrixScope scope;
    const RoutineResult varimax = varimaxRotation(loadings, convergence, randomStarts, normalize);
    const Matrix a = loadings.multiply(varimax.transformation);
    Matrix pattern(p, m);
    promaxFit(a, k, pattern, result.factorCorrelations, result.target);
    copyElements(result.transformation, leastSquaresTransformation(loadings, pattern));
    result.cappedStarts = varimax.cappedStarts;
    return result;
}

RoutineResult weightedPromax(const Matrix& loadings, double k, double convergence,
                             int randomStarts) {
    const int p = loadings.rows(), m = loadings.cols();
    RoutineResult result = withShapes(p, m);
    MatrixScope scope;
    const WeightedAxes axes = weightedPrincipalAxes(loadings);
    const RoutineResult inner = promaxRotation(axes.weighted, k, convergence, randomStarts, false);
    const Matrix rotated = scaleRows(axes.weighted.multiply(inner.transformation), axes.undo);
    fitToPattern(result, loadings, rotated);
    copyElements(result.target, inner.target);
    result.cappedStarts = inner.cappedStarts;
    return result;
}

RoutineResult promajRotation(const Matrix& loadings, double convergence, bool normalize) {
    const int p = loadings.rows(), m = loadings.cols();
    RoutineResult result = withShapes(p, m);
    MatrixScope scope;
    const Matrix a = normalize ? kaiserNormalize(loadings) : loadings;
    for (int j = 0; j < m; ++j) {
        MatrixScope columnScope;
        const Matrix column = promajTargetColumn(a.columnBlock(j, 1));
        for (int i = 0; i < p; ++i) result.target[i][j] = column[i][0];
    }
    const RoutineResult fitted = obliqueTargetRotation(a, result.target, 100, convergence);
    result.cappedStarts = fitted.cappedStarts;
    if (normalize) {
        fitToPattern(result, loadings,
                     scaleRows(a.multiply(fitted.transformation), kaiserLengths(loadings)));
    } else {
        copyElements(result.transformation, fitted.transformation);
        copyElements(result.factorCorrelations, fitted.factorCorrelations);
    }
    return result;
}

RoutineResult weightedPromaj(const Matrix& loadings, double convergence, int randomStarts) {
    const int p = loadings.rows(), m = loadings.cols();
    RoutineResult result = withShapes(p, m);
    MatrixScope scope;
    const WeightedAxes axes = weightedPrincipalAxes(loadings);
    const RoutineResult simple = orthosimRotation(axes.weighted, convergence, randomStarts, false);
    const Matrix prerotated = axes.weighted.multiply(simple.transformation);
    const RoutineResult inner = promajRotation(prerotated, convergence, false);
    const Matrix rotated = scaleRows(prerotated.multiply(inner.transformation), axes.undo);
    fitToPattern(result, loadings, rotated);
    copyElements(result.target, inner.target);
    result.cappedStarts = simple.cappedStarts + inner.cappedStarts;
    return result;
}

RoutineResult prominRotation(const Matrix& loadings, int maxIterations, double convergence,
                             int randomStarts) {
    const int p = loadings.rows(), m = loadings.cols();
    RoutineResult result = withShapes(p, m);
    MatrixScope scope;
    const RoutineResult varimax = weightedVarimax(loadings, convergence, randomStarts);
    const Matrix target = prominTarget(loadings.multiply(varimax.transformation));
    for (int i = 0; i < p; ++i)
        for (int j = 0; j < m; ++j) result.target[i][j] = target[i][j] == 9.0 ? 1.0 : 0.0;
    const RoutineResult fitted =
        rotateToTarget(loadings, target, true, maxIterations, randomStarts, convergence);
    copyElements(result.transformation, fitted.transformation);
    copyElements(result.factorCorrelations, fitted.factorCorrelations);
    result.criterion = fitted.criterion;
    result.cappedStarts = varimax.cappedStarts + fitted.cappedStarts;
    return result;
}

}  // namespace talvex
