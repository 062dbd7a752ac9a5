#include "stats/rotation/rotation.h"

#include <cmath>
#include <optional>
#include <vector>

#include "core/random.h"
#include "stats/rotation/oblimin.h"
#include "stats/rotation/orthomax.h"
#include "stats/rotation/orthosim.h"
#include "stats/rotation/simplimax_chooser.h"
#include "stats/rotation/target.h"

namespace talvex {

namespace {

constexpr double kDegrees = 57.29577951308232;
constexpr double kRadians = 0.017453292519943295;

// Σⱼ aᵢⱼ² of row i.
double rowSquares(const Matrix& a, int i) {
    double ss = 0.0;
    for (int j = 0; j < a.cols(); ++j) ss += a[i][j] * a[i][j];
    return ss;
}

void copyElements(Matrix& to, const Matrix& from) {
    for (int i = 0; i < to.rows(); ++i)
        for (int j = 0; j < to.cols(); ++j) to[i][j] = from[i][j];
}

const RotationParameters& parametersOf(const RotationParameterTable& table,
                                       RotationMethod method) {
    return table.simplicity[static_cast<std::size_t>(method)];
}

const RotationMethodInfo& infoOf(RotationMethod method) {
    return kRotationMethods[static_cast<std::size_t>(method)];
}

bool routineBuilt(RotationMethod method) {
    if (method <= 0 || method >= kRotationMethodCount) return false;
    const RotationRoutine r = infoOf(method).routine;
    return r == RotationRoutine::Orthomax || r == RotationRoutine::Orthosim ||
           r == RotationRoutine::Oblimin || r == RotationRoutine::Promax ||
           r == RotationRoutine::Promaj || r == RotationRoutine::Promin ||
           r == RotationRoutine::Simplimax;
}

RoutineResult runRoutine(const Matrix& loadings, RotationMethod method,
                         const RotationParameters& p) {
    const RotationMethodInfo& info = infoOf(method);
    const double argument = rotationArgument(method, p, loadings.cols());
    const double convergence = static_cast<double>(p.convergence);
    const bool normalize = info.rows == RowTreatment::Kaiser;
    const bool weighted = info.rows == RowTreatment::Weighted;
    switch (info.routine) {
        case RotationRoutine::Orthomax:
            return weighted ? weightedOrthomax(loadings, argument, convergence, p.randomStarts)
                            : orthomaxRotation(loadings, argument, convergence, p.randomStarts,
                                               normalize);
        case RotationRoutine::Orthosim:
            return weighted ? weightedOrthosim(loadings, convergence, p.randomStarts)
                            : orthosimRotation(loadings, convergence, p.randomStarts, normalize);
        case RotationRoutine::Oblimin:
            return weighted ? weightedOblimin(loadings, argument, convergence, p.randomStarts)
                            : obliminRotation(loadings, argument, convergence, p.randomStarts,
                                              normalize);
        case RotationRoutine::Promax:
            return weighted ? weightedPromax(loadings, argument, convergence, p.randomStarts)
                            : promaxRotation(loadings, argument, convergence, p.randomStarts,
                                             normalize);
        case RotationRoutine::Promaj:
            return weighted ? weightedPromaj(loadings, convergence, p.randomStarts)
                            : promajRotation(loadings, convergence, normalize);
        case RotationRoutine::Promin:
            return prominRotation(loadings, p.maxIterations, convergence, p.randomStarts);
        default:
            return {};
    }
}

}  // namespace

int orthogonalStartCount(int randomStarts) { return (randomStarts > 0 ? randomStarts : 0) + 1; }
int obliqueStartCount(int randomStarts) { return (randomStarts > 0 ? randomStarts : 0) + 2; }

Matrix randomRotationStart(int m) { return randomStartMatrix(m, m).orthonormalizeColumns(); }

BestStart bestOfStarts(int m, int count, Better better,
                       const std::function<StartOutcome(const Matrix& start)>& run,
                       Matrix& keepFirst, Matrix& keepSecond) {
    BestStart best;
    for (int start = 0; start < count; ++start) {
        MatrixScope scope;
        const Matrix s = start == 0 ? identity(m) : randomRotationStart(m);
        const StartOutcome outcome = run(s);
        if (outcome.capped) ++best.cappedStarts;
        const bool wins = start == 0 || (better == Better::Larger
                                             ? outcome.criterion > best.criterion
                                             : outcome.criterion < best.criterion);
        if (!wins) continue;
        best.criterion = outcome.criterion;
        if (keepFirst.valid()) copyElements(keepFirst, outcome.first);
        if (keepSecond.valid()) copyElements(keepSecond, outcome.second);
    }
    return best;
}

Matrix rowLengths(const Matrix& a) {
    Matrix h(a.rows(), 1);
    for (int i = 0; i < a.rows(); ++i) h[i][0] = std::sqrt(rowSquares(a, i));
    return h;
}

Matrix kaiserLengths(const Matrix& a) {
    Matrix h(a.rows(), 1);
    for (int i = 0; i < a.rows(); ++i) {
        const double ss = rowSquares(a, i);
        h[i][0] = ss < kNegligibleSquares ? 1.0 : std::sqrt(ss);
    }
    return h;
}

Matrix kaiserNormalize(const Matrix& a) {
    Matrix r(a.rows(), a.cols());
    for (int i = 0; i < a.rows(); ++i) {
        const double ss = rowSquares(a, i);
        const double f = ss < kNegligibleSquares ? 1.0 : 1.0 / std::sqrt(ss);
        for (int j = 0; j < a.cols(); ++j) r[i][j] = a[i][j] * f;
    }
    return r;
}

RoutineResult onFactorsWithLoadings(const Matrix& loadings, const LiveRoutine& routine) {
    const int p = loadings.rows(), m = loadings.cols();
    const std::vector<int> live = columnsWithLoadings(loadings);
    if (static_cast<int>(live.size()) == m) return routine(loadings, live);
    // A factor without loadings has no direction to rotate: it stays as it
    // is, uncorrelated with the others, and the rest rotate among themselves.
    RoutineResult result;
    result.transformation = identity(m);
    result.factorCorrelations = identity(m);
    result.target = Matrix(p, m);
    if (live.size() < 2) return result;
    MatrixScope scope;
    const RoutineResult inner = routine(selectColumns(loadings, live), live);
    const auto embed = [&](Matrix& to, const Matrix& from) {
        for (std::size_t a = 0; a < live.size(); ++a)
            for (std::size_t b = 0; b < live.size(); ++b)
                to[live[a]][live[b]] = from[static_cast<int>(a)][static_cast<int>(b)];
    };
    if (inner.transformation.valid()) embed(result.transformation, inner.transformation);
    if (inner.factorCorrelations.valid()) embed(result.factorCorrelations, inner.factorCorrelations);
    if (inner.target.valid())
        for (int i = 0; i < p; ++i)
            for (std::size_t a = 0; a < live.size(); ++a)
                result.target[i][live[a]] = inner.target[i][static_cast<int>(a)];
    result.criterion = inner.criterion;
    result.cappedStarts = inner.cappedStarts;
    return result;
}

Matrix scaleRows(const Matrix& a, const Matrix& factors) {
    Matrix r(a.rows(), a.cols());
    for (int i = 0; i < a.rows(); ++i)
        for (int j = 0; j < a.cols(); ++j) r[i][j] = a[i][j] * factors[i][0];
    return r;
}

Matrix leastSquaresTransformation(const Matrix& loadings, const Matrix& pattern) {
    const int m = loadings.cols();
    Matrix t(m, m);
    MatrixScope scope;
    const Matrix lt = loadings.transpose();
    copyElements(t, lt.multiply(loadings).inverse().multiply(lt).multiply(pattern));
    return t;
}

Matrix transformationCorrelations(const Matrix& transformation) {
    const int m = transformation.rows();
    Matrix phi(m, m);
    MatrixScope scope;
    const Matrix inv = transformation.inverse();
    copyElements(phi, inv.multiply(inv.transpose()));
    return phi;
}

WeightedAxes weightedPrincipalAxes(const Matrix& loadings) {
    const int p = loadings.rows(), m = loadings.cols();
    WeightedAxes result{Matrix(p, m), Matrix(p, 1), Matrix(p, m), Matrix(p, 1)};
    MatrixScope scope;
    Matrix values(p, 1), vectors(p, p);
    loadings.multiply(loadings.transpose()).eigenSymmetricLeading(values, vectors, m);
    for (int j = 0; j < m; ++j) {
        const double root = values[j][0] > 0 ? std::sqrt(values[j][0]) : 0.0;
        for (int i = 0; i < p; ++i) result.axes[i][j] = vectors[i][j] * root;
    }
    const double theta0 = std::acos(std::sqrt(1.0 / m)) * kDegrees;
    const double edge = std::sqrt(1.0 / m);
    for (int i = 0; i < p; ++i) {
        const Matrix& f = result.axes;
        double ss = 0.0;
        for (int j = 0; j < m; ++j) ss += f[i][j] * f[i][j];
        if (ss < kNegligibleSquares) {
            // A row without common variance has no direction to weight: it
            // is rotated as it is, with weight 1.
            result.weights[i][0] = 1.0;
            for (int j = 0; j < m; ++j) result.weighted[i][j] = f[i][j];
            result.undo[i][0] = 1.0;
            continue;
        }
        const double sign = f[i][0] > 0 ? 1.0 : -1.0;
        const double h = std::sqrt(ss);
        const double inverseLength = 1.0 / h;
        const double a = sign * inverseLength * f[i][0];
        double theta = std::acos(a) * kDegrees;
        if (std::isnan(theta)) theta = 45.0;
        const double t = a >= edge ? 90.0 * (theta0 - theta) / theta0
                                   : 90.0 * (theta - theta0) / (90.0 - theta0);
        const double c = std::cos(t * kRadians);
        const double w = c * c + 0.001;
        result.weights[i][0] = w;
        for (int j = 0; j < m; ++j) result.weighted[i][j] = w * sign * inverseLength * f[i][j];
        result.undo[i][0] = h * sign / w;
    }
    return result;
}

double rotationArgument(RotationMethod method, const RotationParameters& parameters,
                        int factorCount) {
    switch (infoOf(method).argument) {
        case ArgumentRule::One:
            return 1.0;
        case ArgumentRule::HalfFactorCount:
            return 0.5 * factorCount;
        case ArgumentRule::Parameter:
            return static_cast<double>(parameters.parameter);
        case ArgumentRule::Zero:
        case ArgumentRule::None:
            break;
    }
    return 0.0;
}

bool rotationAvailable(RotationMethod method, const RotationParameterTable& table) {
    if (!routineBuilt(method)) return false;
    if (method == kSimplimax) return true;  // it takes its clever start itself
    const int clever = parametersOf(table, method).cleverStart;
    return clever == 0 || (routineBuilt(clever) && clever != kSimplimax);
}

RotatedSolution rotateSolution(const Matrix& loadings, RotationMethod method,
                               const RotationParameterTable& table, SimplimaxChooser* chooser) {
    const int p = loadings.rows(), m = loadings.cols();
    if (!routineBuilt(method)) return {};
    RotatedSolution solution{Matrix(p, m), Matrix(m, m), Matrix(m, m), Matrix(p, m), 0, false};
    MatrixScope scope;
    RoutineResult routine;
    if (method == kSimplimax) {
        // The user picks the number of zero loadings; the chosen fit is
        // the method's transformation and its weights the method's target.
        bool cancelled = false;
        routine = onFactorsWithLoadings(loadings, [&](const Matrix& live, const std::vector<int>&) {
            std::optional<SimplimaxSolution> chosen;
            if (chooser != nullptr) chosen = chooser->choose(live, parametersOf(table, method));
            if (!chosen) {
                cancelled = true;
                return RoutineResult{};
            }
            return RoutineResult{chosen->transformation, {}, chosen->weights, 0.0, 0};
        });
        if (cancelled) return RotatedSolution{{}, {}, {}, {}, 0, true};
    } else {
        routine = onFactorsWithLoadings(loadings, [&](const Matrix& live, const std::vector<int>&) {
            return runRoutine(live, method, parametersOf(table, method));
        });
    }
    solution.cappedStarts = routine.cappedStarts;
    const Matrix a = loadings.multiply(routine.transformation);
    Matrix d = identity(m);
    for (int j = 0; j < m; ++j) {
        double sum = 0.0;
        for (int i = 0; i < p; ++i) sum += a[i][j];
        if (!(sum >= 0)) d[j][j] = -1.0;  // a sum that is not a number counts as negative
    }
    const Matrix t = routine.transformation.multiply(d);
    copyElements(solution.pattern, a.multiply(d));
    copyElements(solution.transformation, t);
    copyElements(solution.factorCorrelations, transformationCorrelations(t));
    // The target is reflected with its factors.
    if (routine.target.valid()) copyElements(solution.target, routine.target.multiply(d));
    return solution;
}

RotatedSolution rotateWithCleverStart(const Matrix& loadings, RotationMethod method,
                                      const RotationParameterTable& table,
                                      SimplimaxChooser* chooser) {
    const int clever = parametersOf(table, method).cleverStart;
    if (clever == 0 || method == kSimplimax)
        return rotateSolution(loadings, method, table, chooser);
    const int p = loadings.rows(), m = loadings.cols();
    RotatedSolution solution{Matrix(p, m), Matrix(m, m), Matrix(m, m), Matrix(p, m), 0, false};
    MatrixScope scope;
    const RotatedSolution first = rotateSolution(loadings, clever, table, chooser);
    if (first.halted) return RotatedSolution{{}, {}, {}, {}, 0, true};
    const RotatedSolution second = rotateSolution(first.pattern, method, table, chooser);
    if (second.halted) return RotatedSolution{{}, {}, {}, {}, 0, true};
    if (!first.pattern.valid() || !second.pattern.valid()) return {};
    const Matrix t = first.transformation.multiply(second.transformation);
    copyElements(solution.pattern, second.pattern);
    copyElements(solution.transformation, t);
    copyElements(solution.factorCorrelations, transformationCorrelations(t));
    copyElements(solution.target, second.target);
    solution.cappedStarts = first.cappedStarts + second.cappedStarts;
    return solution;
}

}  // namespace talvex
