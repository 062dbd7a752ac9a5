#include "stats/interpretation/factor_scores.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <unordered_map>

#include "stats/dispersion/correlation.h"
#include "stats/dispersion/descriptives.h"
#include "stats/extraction/uls_pca.h"
#include "stats/rotation/rotation.h"

namespace talvex {

namespace {

constexpr double kNegativeInfinity = -std::numeric_limits<double>::infinity();
// Logistic approximation of the normal ogive.
constexpr double kLogisticScale = 1.702;
constexpr double kNormalDensityConstant = 0.398942258;
// Points of the grid evaluated per block: the table of log probabilities
// of one block stays within a few tens of megabytes.
constexpr double kTableEntries = 4.0e6;

// log(1 / (1 + exp(-z))), accurate in both tails.
double logLogistic(double z) {
    return z < 0.0 ? z - std::log1p(std::exp(z)) : -std::log1p(std::exp(-z));
}

// log P(category c | eta) of the graded logistic model for one item with
// K - 1 thresholds tau, G(t) = 1 / (1 + exp(-1.702 (t - eta) / sigma)).
// The middle categories use G(a) - G(b) = G(a)(1 - G(b))(1 - exp(b - a)),
// so that neither tail cancels to 0 before the logarithm.
double logCategoryProbability(const double* tau, int categories, int c, double eta, double sigma) {
    const double scale = kLogisticScale / sigma;
    if (categories == 1) return 0.0;
    if (c == 0) return logLogistic(scale * (tau[0] - eta));
    const double b = scale * (tau[c - 1] - eta);
    if (c == categories - 1) return logLogistic(-b);
    const double a = scale * (tau[c] - eta);
    if (!(a > b)) return kNegativeInfinity;  // a category without width
    return logLogistic(a) + logLogistic(-b) + std::log(-std::expm1(b - a));
}

// Coordinates and log prior weight of grid point q (the last dimension
// runs fastest).
double gridPoint(const EapQuadrature& g, std::int64_t q, double* theta) {
    const auto n = static_cast<std::int64_t>(g.nodes.size());
    double logPrior = 0.0;
    for (int k = g.dimensions - 1; k >= 0; --k) {
        const auto node = static_cast<std::size_t>(q % n);
        q /= n;
        theta[k] = g.nodes[node];
        logPrior += std::log(g.weights[node]);
    }
    return logPrior;
}

// Running posterior moments over the grid, rescaled whenever a larger log
// weight turns up.
struct PosteriorSums {
    explicit PosteriorSums(int m) : first(static_cast<std::size_t>(m)), second(static_cast<std::size_t>(m)) {}
    double shift = kNegativeInfinity;
    double total = 0.0;
    std::vector<double> first;
    std::vector<double> second;

    void add(double logWeight, const double* theta) {
        if (!(logWeight > kNegativeInfinity)) return;  // a zero or undefined weight
        if (logWeight > shift) {
            const double rescale = std::exp(shift - logWeight);
            total *= rescale;
            for (std::size_t k = 0; k < first.size(); ++k) {
                first[k] *= rescale;
                second[k] *= rescale;
            }
            shift = logWeight;
        }
        const double w = std::exp(logWeight - shift);
        total += w;
        for (std::size_t k = 0; k < first.size(); ++k) {
            first[k] += w * theta[k];
            second[k] += w * theta[k] * theta[k];
        }
    }

    EapPosterior result() const {
        EapPosterior r;
        const std::size_t m = first.size();
        r.eap.assign(m, 0.0);
        r.sd.assign(m, 0.0);
        r.reliability.assign(m, 0.0);
        r.computable = total > 0.0 && std::isfinite(total) && std::isfinite(shift);
        if (!r.computable) return r;
        for (std::size_t k = 0; k < m; ++k) {
            const double mean = first[k] / total;
            const double variance = second[k] / total - mean * mean;
            r.eap[k] = mean;
            r.sd[k] = std::sqrt(std::max(variance, 0.0));
            r.reliability[k] = 1.0 - variance;
        }
        return r;
    }
};

std::vector<double> flooredSigma(const Matrix& uniqueness, std::vector<int>* floored) {
    const int p = uniqueness.rows();
    std::vector<double> sigma(static_cast<std::size_t>(p));
    for (int i = 0; i < p; ++i) {
        double psi = uniqueness[i][i];
        if (!(psi >= kUniquenessFloor)) {
            psi = kUniquenessFloor;
            if (floored != nullptr) floored->push_back(i);
        }
        sigma[static_cast<std::size_t>(i)] = std::sqrt(psi);
    }
    return sigma;
}

}  // namespace

Matrix factorScores(const Matrix& x, const Matrix& pattern, const Matrix& phi) {
    Matrix result(x.rows(), pattern.cols());
    MatrixScope scope;
    const std::vector<int> live = columnsWithLoadings(pattern);
    if (static_cast<int>(live.size()) < pattern.cols()) {
        // A factor without loadings gets no score (0, the mean); the others
        // are scored without it.
        if (live.empty()) return result;
        const Matrix phiLive = selectColumns(selectColumns(phi, live).transpose(), live);
        const Matrix f = factorScores(x, selectColumns(pattern, live), phiLive);
        for (int i = 0; i < f.rows(); ++i)
            for (std::size_t c = 0; c < live.size(); ++c) result[i][live[c]] = f[i][static_cast<int>(c)];
        return result;
    }
    const Matrix z = standardizeColumns(x);
    const Matrix r = correlationOf(x);
    const Matrix phiRoot = phi.sqrtSymmetric();
    const Matrix l = pattern.multiply(phiRoot);
    const Matrix middle = l.transpose().multiply(r).multiply(l);
    const Matrix inverseRoot = middle.sqrtSymmetric().inverse();
    const Matrix f = z.multiply(l).multiply(inverseRoot).multiply(phiRoot);
    for (int i = 0; i < f.rows(); ++i)
        for (int j = 0; j < f.cols(); ++j) result[i][j] = f[i][j];
    return result;
}

double EapQuadrature::points() const {
    return std::pow(static_cast<double>(nodes.size()), dimensions);
}

EapQuadrature eapQuadrature(int factors) {
    EapQuadrature g;
    g.dimensions = factors;
    const int n = factors <= 2 ? 20 : factors == 3 ? 15 : 10;
    const double h = 8.0 / (n - 1);
    for (int i = 0; i < n; ++i) {
        const double node = -4.0 + h * i;
        g.nodes.push_back(node);
        g.weights.push_back(kNormalDensityConstant * std::exp(-node * node / 2.0) * h);
    }
    return g;
}

EapPosterior eapPosterior(const std::vector<int>& responses, const Matrix& pattern,
                          const Matrix& thresholds, const std::vector<double>& sigma,
                          const EapQuadrature& quadrature) {
    const int p = pattern.rows();
    const int m = pattern.cols();
    const int categories = thresholds.cols() + 1;
    const auto points = static_cast<std::int64_t>(quadrature.points());
    PosteriorSums sums(m);
    std::vector<double> theta(static_cast<std::size_t>(m));
    for (std::int64_t q = 0; q < points; ++q) {
        double logWeight = gridPoint(quadrature, q, theta.data());
        for (int i = 0; i < p; ++i) {
            double eta = 0.0;
            for (int k = 0; k < m; ++k) eta += pattern[i][k] * theta[static_cast<std::size_t>(k)];
            logWeight += logCategoryProbability(thresholds[i], categories,
                                                responses[static_cast<std::size_t>(i)], eta,
                                                sigma[static_cast<std::size_t>(i)]);
        }
        sums.add(logWeight, theta.data());
    }
    return sums.result();
}

// The log probability of every category of every item at a grid point does
// not depend on the participant: it is tabulated once per block of points,
// and each participant's log likelihood at a point is a sum of p lookups.
EapScores eapScores(const Matrix& x, const Matrix& pattern, const Matrix& thresholds,
                    const Matrix& uniqueness, int lowest, const EapProgress& progress) {
    EapScores out;
    const int n = x.rows();
    const int p = pattern.rows();
    const int m = pattern.cols();
    const int categories = thresholds.cols() + 1;
    const EapQuadrature grid = eapQuadrature(m);
    out.factors = m;
    out.gridPoints = grid.points();
    const std::vector<double> sigma = flooredSigma(uniqueness, &out.flooredItems);
    if (out.gridPoints > kEapMaxGridPoints) {
        out.skipped = true;
        return out;
    }
    out.eap = Matrix(n, m);
    out.posteriorSd = Matrix(n, m);
    out.reliability = Matrix(n, m);
    out.lower = Matrix(n, m);
    out.upper = Matrix(n, m);
    out.computable.assign(static_cast<std::size_t>(n), false);

    // Offsets of each participant's responses in a point's p x K block.
    const auto stride = static_cast<std::size_t>(p) * static_cast<std::size_t>(categories);
    std::vector<std::size_t> offsets(static_cast<std::size_t>(n) * static_cast<std::size_t>(p));
    for (int s = 0; s < n; ++s)
        for (int i = 0; i < p; ++i) {
            const int c = std::clamp(static_cast<int>(x[s][i]) - lowest, 0, categories - 1);
            offsets[static_cast<std::size_t>(s) * static_cast<std::size_t>(p) +
                    static_cast<std::size_t>(i)] =
                static_cast<std::size_t>(i) * static_cast<std::size_t>(categories) +
                static_cast<std::size_t>(c);
        }

    const auto points = static_cast<std::int64_t>(out.gridPoints);
    const auto block = std::max<std::int64_t>(
        1, std::min<std::int64_t>(points, static_cast<std::int64_t>(kTableEntries / static_cast<double>(stride))));
    std::vector<double> table(static_cast<std::size_t>(block) * stride);
    std::vector<double> theta(static_cast<std::size_t>(block) * static_cast<std::size_t>(m));
    std::vector<double> logPrior(static_cast<std::size_t>(block));
    std::vector<PosteriorSums> sums(static_cast<std::size_t>(n), PosteriorSums(m));

    for (std::int64_t first = 0; first < points; first += block) {
        const std::int64_t count = std::min(block, points - first);
        for (std::int64_t b = 0; b < count; ++b) {
            double* t = &theta[static_cast<std::size_t>(b) * static_cast<std::size_t>(m)];
            logPrior[static_cast<std::size_t>(b)] = gridPoint(grid, first + b, t);
            double* row = &table[static_cast<std::size_t>(b) * stride];
            for (int i = 0; i < p; ++i) {
                double eta = 0.0;
                for (int k = 0; k < m; ++k) eta += pattern[i][k] * t[k];
                for (int c = 0; c < categories; ++c)
                    row[static_cast<std::size_t>(i * categories + c)] = logCategoryProbability(
                        thresholds[i], categories, c, eta, sigma[static_cast<std::size_t>(i)]);
            }
        }
        for (int s = 0; s < n; ++s) {
            const std::size_t* own = &offsets[static_cast<std::size_t>(s) * static_cast<std::size_t>(p)];
            PosteriorSums& acc = sums[static_cast<std::size_t>(s)];
            for (std::int64_t b = 0; b < count; ++b) {
                const double* row = &table[static_cast<std::size_t>(b) * stride];
                double logWeight = logPrior[static_cast<std::size_t>(b)];
                for (int i = 0; i < p; ++i) logWeight += row[own[i]];
                acc.add(logWeight, &theta[static_cast<std::size_t>(b) * static_cast<std::size_t>(m)]);
            }
            if (progress) progress(count);
        }
    }

    for (int s = 0; s < n; ++s) {
        const EapPosterior r = sums[static_cast<std::size_t>(s)].result();
        out.computable[static_cast<std::size_t>(s)] = r.computable;
        for (int k = 0; k < m; ++k) {
            const auto kk = static_cast<std::size_t>(k);
            out.eap[s][k] = r.eap[kk];
            out.posteriorSd[s][k] = r.sd[kk];
            out.reliability[s][k] = r.reliability[kk];
            out.lower[s][k] = r.eap[kk] - 1.96 * r.sd[kk];
            out.upper[s][k] = r.eap[kk] + 1.96 * r.sd[kk];
        }
    }
    return out;
}

Matrix personFitLc(const Matrix& x, const Matrix& d, const Matrix& lambda, const Matrix& f) {
    const int n = x.rows();
    const int p = x.cols();
    Matrix lc(n, 1);
    MatrixScope scope;
    const Matrix means = columnMeans(x);
    const double expected = std::sqrt(2.0 * (p - 1) - 1.0);
    for (int s = 0; s < n; ++s) {
        // Residuals weighted by the unique variances: Q = rᵀ D⁻² r.
        double q = 0.0;
        for (int j = 0; j < p; ++j) {
            const double r = (x[s][j] - means[0][j]) - lambda[j][0] * f[s][0];
            q += r * r / (d[j][j] * d[j][j]);
        }
        lc[s][0] = std::sqrt(2.0 * q) - expected;
    }
    return lc;
}

PersonFit personFitWithFloors(const Matrix& x) {
    PersonFit out;
    const int p = x.cols();
    out.lc = Matrix(x.rows(), 1);
    MatrixScope scope;
    const Matrix s = covarianceOf(x);
    const Matrix lambda = extractUls(s, 1, 0.00000001, x.rows()).loadings;
    Matrix d = zeros(p);
    for (int j = 0; j < p; ++j) {
        double psi = s[j][j] - lambda[j][0] * lambda[j][0];
        // The floor follows the item's scale: covariances are in raw units.
        const double floor = kUniquenessFloor * s[j][j];
        if (!(psi >= floor)) {
            psi = floor;
            out.flooredItems.push_back(j);
        }
        d[j][j] = std::sqrt(psi);
    }
    const Matrix f = factorScores(x, lambda, identity(1));
    const Matrix lc = personFitLc(x, d, lambda, f);
    for (int i = 0; i < lc.rows(); ++i) out.lc[i][0] = lc[i][0];
    return out;
}

Matrix personFitOfData(const Matrix& x) { return personFitWithFloors(x).lc; }

// ---------------------------------------------------------------------------
// Report sections

namespace {

constexpr const char* kImputationMethod =
    "Method to handle missing data: Hot-Deck Multiple Imputation in Exploratory Factor Analysis "
    "(Varnholt & Van Zazuvi, 2015)\n\n";
constexpr const char* kNotComputable =
    "  not computable: under the model these responses have no probability\n";

void factorNumbers(ReportWriter& report, int m) {
    report.printf("           ");
    for (int j = 1; j <= m; ++j) report.printf("%4i     ", j);
}

}  // namespace

void writeFactorScores(ReportWriter& report, const std::vector<int>& caseNumbers,
                       const Matrix& scores, bool components, bool imputed) {
    const int m = scores.cols();
    if (imputed) {
        report.printf("PARTICIPANTS' SCORES ON FACTORS\n");
        report.printf("Ten Berge, Krijnen, Wansbeeck, & Shapiro (1999) \n\n");
        report.write(kImputationMethod);
        report.printf("Case          Factor    \n\n");
    } else {
        if (components) {
            report.printf("PARTICIPANTS' SCORES ON COMPONENTS \n\n");
            report.printf("Individual    Component \n");
        } else {
            report.printf("PARTICIPANTS' SCORES ON FACTORS \n");
            report.printf("Ten Berge, Krijnen, Wansbeeck, & Shapiro (1999) \n\n");
            report.printf("Case          Factor    \n");
        }
        factorNumbers(report, m);
        report.printf("\n");
    }
    for (int i = 0; i < scores.rows(); ++i) {
        report.printf("%4i        ", caseNumbers[static_cast<std::size_t>(i)]);
        for (int j = 0; j < m; ++j) report.printf("%7.3f  ", scores[i][j]);
        report.printf("\n");
    }
    report.printf("\n");
    report.separator();
}

void writeEapScores(ReportWriter& report, const std::vector<int>& caseNumbers,
                    const EapScores& scores, bool detailed, bool imputed) {
    report.printf("PARTICIPANTS' SCORES ON FACTORS:\nBayes Expected A Posteriori (EAP) \n");
    report.printf("Muraki (1990) \n\n");
    if (imputed) report.write(kImputationMethod);
    if (scores.skipped) {
        report.printf(
            "WARNING: EAP scores are not computed: with %i factors the quadrature grid would have "
            "%.0f points,\n",
            scores.factors, scores.gridPoints);
        report.printf(
            "         too many to evaluate for every participant (a coarser grid gives "
            "unreliable scores).\n");
        report.printf("         Least-squares factor scores can be obtained without the IRT "
                      "parameterization.\n\n\n");
        report.separator();
        return;
    }
    const int m = scores.eap.cols();
    const auto computable = [&](int i) {
        return scores.computable.empty() || scores.computable[static_cast<std::size_t>(i)];
    };
    report.printf("Case          Factor    \n");
    factorNumbers(report, m);
    report.printf("\n\n");
    for (int i = 0; i < scores.eap.rows(); ++i) {
        report.printf("%4i        ", caseNumbers[static_cast<std::size_t>(i)]);
        if (!computable(i)) {
            report.printf("%s", kNotComputable);
            continue;
        }
        for (int j = 0; j < m; ++j) report.printf("%7.3f  ", scores.eap[i][j]);
        report.printf("\n");
    }
    report.printf("\n\n");
    if (detailed) {
        for (int j = 0; j < m; ++j) {
            report.printf("PRECISION OF FACTOR SCORES \n\n");
            report.printf("FACTOR: %2i \n\n", j + 1);
            report.printf("Case         Approximate 95%%       Posterior   Reliability\n");
            report.printf("             confidence interval   SE         \n\n");
            for (int i = 0; i < scores.eap.rows(); ++i) {
                report.printf("%4i        ", caseNumbers[static_cast<std::size_t>(i)]);
                if (!computable(i)) {
                    report.printf("%s", kNotComputable);
                    continue;
                }
                report.printf("(% 6.3f  % 6.3f)", scores.lower[i][j], scores.upper[i][j]);
                report.printf("     % 7.3f", scores.posteriorSd[i][j]);
                report.printf("     % 7.3f", scores.reliability[i][j]);
                report.printf("\n");
            }
            report.printf("\n\n");
        }
    }
    report.printf("\n\n");
    report.separator();
}

void writePersonFit(ReportWriter& report, const std::vector<int>& caseNumbers, const Matrix& lc,
                    bool covariance, bool detailed) {
    report.printf("PERSON-FIT INDICES FOR THE UNI-DIMENSIONAL FACTOR SOLUTION\n");
    if (covariance) {
        report.printf("\n\n");
    } else {
        report.printf("Quistedt (2009) \n\n");
        report.printf(
            "Please note that Quistedt's Person-Fit Indices can be only safely interpreted for "
            "continuous variables\n\n");
    }
    const int n = lc.rows();
    double smallest = n > 0 ? lc[0][0] : 0.0;
    double largest = smallest;
    for (int i = 1; i < n; ++i) {
        smallest = std::min(smallest, lc[i][0]);
        largest = std::max(largest, lc[i][0]);
    }
    report.printf("\nSummary Statistics for Person Fit Indices\n\n");
    report.printf("Smallest = % 7.4f\n", smallest);
    report.printf(" Largest = % 7.4f\n\n", largest);
    const auto large = [&](double v) { return v > kLargePersonFit || v < -kLargePersonFit; };
    if (smallest < -kLargePersonFit || largest > kLargePersonFit) {
        report.printf("\nCases with large Person-Fit Indices (Absolute value larger than 2.99)\n\n");
        report.printf("Case           Lc\n\n");
        for (int i = 0; i < n; ++i)
            if (large(lc[i][0]))
                report.printf("%4i         % 7.3f  \n", caseNumbers[static_cast<std::size_t>(i)],
                              lc[i][0]);
    }
    report.printf("\n");
    if (detailed) {
        report.printf("\nPerson-Fit Indices for individuals\n\n");
        report.printf("Case           Lc\n\n");
        for (int i = 0; i < n; ++i) {
            const int c = caseNumbers[static_cast<std::size_t>(i)];
            if (large(lc[i][0]))
                report.printf("%4i**       % 7.3f\n", c, lc[i][0]);
            else
                report.printf("%4i         % 7.3f\n", c, lc[i][0]);
        }
        report.printf("\n**: Individual with a large Person-Fit Index value\n\n");
    }
    report.separator();
}

void writeUniquenessFloorWarning(ReportWriter& report, const std::vector<int>& itemNumbers) {
    if (itemNumbers.empty()) return;
    report.printf("WARNING: The unique variance of variable%s", itemNumbers.size() > 1 ? "s" : "");
    for (std::size_t i = 0; i < itemNumbers.size(); ++i)
        report.printf("%s %i", i == 0 ? "" : (i + 1 == itemNumbers.size() ? " and" : ","),
                      itemNumbers[i]);
    report.printf(
        " is zero, negative or nearly so (a Heywood case);\n"
        "         it was raised to %.1f%% of the variable's variance before dividing by it.\n\n",
        100.0 * kUniquenessFloor);
}

std::string scoresFileName(const std::string& reportName) {
    const std::size_t slash = reportName.find_last_of("/\\");
    const std::size_t dot = reportName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        dot == (slash == std::string::npos ? 0 : slash + 1))
        return reportName + "_scores.txt";
    return reportName.substr(0, dot) + "_scores" + reportName.substr(dot);
}

WriteResult writeScoresFile(const std::string& path, const std::vector<int>& fileRows,
                            const std::vector<int>& caseNumbers, const Matrix& scores,
                            const Matrix& standardErrors, const std::vector<bool>& computable,
                            FileWrites& writes) {
    OutputFile file(path, writes);
    if (!file.open()) return {file.error()};
    const int m = scores.cols();
    const bool withErrors = standardErrors.valid();
    file.printf("case");
    for (int j = 1; j <= m; ++j) file.printf("\tF%i", j);
    if (withErrors)
        for (int j = 1; j <= m; ++j) file.printf("\tSE%i", j);
    file.printf("\n");
    std::unordered_map<int, std::size_t> scoredRow;
    for (std::size_t i = 0; i < caseNumbers.size(); ++i)
        if (computable.empty() || computable[i]) scoredRow.emplace(caseNumbers[i], i);
    for (const int row : fileRows) {
        const auto found = scoredRow.find(row);
        const bool scored = found != scoredRow.end();
        const int i = scored ? static_cast<int>(found->second) : 0;
        file.printf("%i", row);
        for (int j = 0; j < m; ++j) {
            if (scored) file.printf("\t%.6f", scores[i][j]);
            else file.printf("\tNA");
        }
        if (withErrors)
            for (int j = 0; j < m; ++j) {
                if (scored) file.printf("\t%.6f", standardErrors[i][j]);
                else file.printf("\tNA");
            }
        file.printf("\n");
    }
    file.commit();
    return {file.error()};
}

}  // namespace talvex
