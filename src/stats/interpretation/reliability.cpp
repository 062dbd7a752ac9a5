#include "stats/interpretation/reliability.h"

#include <cmath>

#include "data/dataset.h"
#include "stats/extraction/mrfa.h"
#include "stats/extraction/uls_pca.h"

namespace talvex {

namespace {

// Σᵢⱼ dᵢdⱼAᵢⱼ: the variance of the reflected total score.
double reflectedSum(const Matrix& a, const Matrix& d) {
    const int p = a.rows();
    double sum = 0.0;
    for (int i = 0; i < p; ++i)
        for (int j = 0; j < p; ++j) sum += d[i][0] * d[j][0] * a[i][j];
    return sum;
}

// The one-factor ULS loadings that omega and alpha use (1000 stands for the
// sample size: no fit statistic is wanted).
Matrix oneFactorUls(const Matrix& s) { return extractUls(s, 1, 0.00000001, 1000).loadings; }

void writeTooFewVariables(ReportWriter& report, int p) {
    report.printf(
        "The reliability of the total score is not computed: it needs at least %i variables, "
        "and %i %s analysed.\n\n",
        kReliabilityMinimumVariables, p, p == 1 ? "is" : "are");
}

void writeCommunalities(ReportWriter& report, const DataSet& data, const Matrix& reduced) {
    report.printf("ASSOCIATED COMMUNALITIES \n\n");
    report.write(variableHeading(data));
    report.printf("Communality\n\n");
    for (int i = 0; i < reduced.rows(); ++i) {
        report.write(variableName(data, i));
        report.printf("%10.6f  \n", reduced[i][i]);
    }
    report.printf("\n");
    report.printf(
        "\nThe greatest lower bound (glb) to reliability represents the smallest reliability "
        "possible");
    report.printf(
        "\ngiven observed covariance matrix under the restriction that the sum of error "
        "variances ");
    report.printf(
        "\nis maximized for errors that correlate 0 with other variables (Ten Berge, Snijders, & "
        "Zegers, 1981).");
}

}  // namespace

GreatestLowerBound greatestLowerBound(const Matrix& s, double tolerance, double innerTolerance) {
    GreatestLowerBound result;
    const MrfaCommunalities search =
        mrfaCommunalities(s, 0, kGlbStarts, tolerance, innerTolerance);
    if (!search.converged()) return result;
    const Matrix& h = search.communalities;
    double total = 0.0;
    for (int i = 0; i < h.rows(); ++i) total += h[i][0];
    if (!(total > 0.0001)) return result;
    result.reduced = s.copy();
    for (int i = 0; i < s.rows(); ++i) result.reduced[i][i] = h[i][0];
    result.success = true;
    return result;
}

Matrix reflectionSigns(const Matrix& loadings) {
    const int p = loadings.rows();
    Matrix d = ones(p, 1);
    const double first = loadings[0][0];
    for (int i = 1; i < p; ++i) {
        const double x = loadings[i][0];
        if ((first > 0 && x < 0) || (first < 0 && x > 0)) d[i][0] = -1.0;
    }
    return d;
}

double mcDonaldOmega(const Matrix& loadings, const Matrix& s) {
    MatrixScope scope;
    const Matrix d = reflectionSigns(loadings);
    double common = 0.0;
    for (int i = 0; i < loadings.rows(); ++i) common += d[i][0] * loadings[i][0];
    return common * common / reflectedSum(s, d);
}

double standardizedAlpha(const Matrix& s, const Matrix& loadings) {
    MatrixScope scope;
    const int p = s.rows();
    const Matrix d = reflectionSigns(loadings);
    double sum = 0.0;
    for (int i = 0; i < p; ++i)
        for (int j = i + 1; j < p; ++j)
            sum += d[i][0] * d[j][0] * s[i][j] / std::sqrt(s[i][i] * s[j][j]);
    const double mean = sum / (p * (p - 1) / 2.0);
    return p * mean / ((p - 1) * mean + 1.0);
}

std::optional<ReliabilityEstimates> writeReliability(ReportWriter& report, const DataSet& data,
                                                     const Matrix& s, int n) {
    MatrixScope scope;
    report.printf("GREATEST LOWER BOUND (GLB) TO RELIABILITY \n");
    report.printf("Woodhouse & Jackson (1977)\n\n");
    const int p = s.rows();
    if (p < kReliabilityMinimumVariables) {
        writeTooFewVariables(report, p);
        report.separator();
        return std::nullopt;
    }
    if (n < kGlbTrustedSample) {
        report.printf(
            "WARNING: The GLB and Omega can only be trusted in large samples, preferably 1,000 "
            "cases or more,\n");
        report.printf("         due to a positive sampling bias (ten Berge & Socan, 2004). \n\n\n");
    }
    Matrix loadings = oneFactorUls(s);
    const double omega = mcDonaldOmega(loadings, s);

    bool glbComputed = false;
    double glb = 0.0;
    GreatestLowerBound bound;
    const MrfaSolution mrfa = extractMrfa(s, 1, kGlbStarts);
    if (!mrfa.converged()) {
        loadings = oneFactorUls(s);
    } else {
        loadings = mrfa.loadings;
        bound = greatestLowerBound(s);
        if (!bound.success) {
            report.printf("WARNING: Greatest Lower Bound to Reliability computing fails to converge!\n\n");
        } else {
            const Matrix d = reflectionSigns(loadings);
            glb = reflectedSum(bound.reduced, d) / reflectedSum(s, d);
            glbComputed = true;
        }
    }
    const double alpha = standardizedAlpha(s, loadings);

    if (glbComputed) report.printf("Greatest Lower Bound to Reliability = %10.6f  \n", glb);
    report.printf("                   McDonald's Omega = %10.6f  \n", omega);
    report.printf("      Standardized Cronbach's alpha = %10.6f  \n", alpha);
    if (glbComputed) {
        report.printf("            Total observed variance = %7.3f  \n", s.trace());
        report.printf("              Total Common Variance = %7.3f  \n\n", bound.reduced.trace());
    }
    report.printf("\n\n");
    if (glbComputed) writeCommunalities(report, data, bound.reduced);
    report.printf(
        "\n\nOmega can be interpreted as the square of the correlation between the scale score "
        "and the latent");
    report.printf(
        "\nvariable common to all the indicators in the infinite universe of indicators of which "
        "the scale");
    report.printf("\nindicators are a subset (McDonald, 1999, page 89).\n\n");
    report.separator();
    ReliabilityEstimates estimates;
    estimates.omega = omega;
    estimates.alpha = alpha;
    if (glbComputed) {
        estimates.glb = glb;
        estimates.observedVariance = s.trace();
        estimates.commonVariance = bound.reduced.trace();
        for (int i = 0; i < p; ++i) estimates.communalities.push_back(bound.reduced[i][i]);
    }
    return estimates;
}

}  // namespace talvex
