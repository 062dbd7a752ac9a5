#include "stats/bootstrap/bootstrap_report.h"

#include "data/dataset.h"

namespace talvex {

namespace {

const char* const kFailureNames[kResampleFailureKinds] = {
    "an item with a single score", "fewer distinct participants than items + 1",
    "dispersion matrix not computed or not smoothed", "extraction did not converge",
    "rotation failed", "a statistic was not finite"};

void intervalColumns(ReportWriter& report, double estimate, const BootstrapInterval& i) {
    report.printf("%9.3f %9.3f   %9.3f %9.3f", estimate, i.standardError, i.lower, i.upper);
}

void singleLine(ReportWriter& report, const char* name, double estimate,
                const BootstrapInterval& interval) {
    report.printf(" %-22s", name);
    intervalColumns(report, estimate, interval);
    report.printf("\n");
}

}  // namespace

bool excludesZero(const BootstrapInterval& interval) {
    return interval.lower > 0.0 || interval.upper < 0.0;
}

void writeBootstrap(ReportWriter& report, const DataSet& data, const BootstrapResult& result,
                    const BootstrapEstimates& estimates) {
    report.printf(" BOOTSTRAP STANDARD ERRORS AND %i%% PERCENTILE INTERVALS\n\n", result.level);
    report.printf(" Resamples requested : %6i\n", result.requested);
    report.printf(" Resamples used      : %6i\n", result.used);
    report.printf(" Resamples failed    : %6i\n", result.failed);
    for (int f = 0; f < kResampleFailureKinds; ++f)
        if (result.failures[static_cast<std::size_t>(f)] > 0)
            report.printf("    %6i  %s\n", result.failures[static_cast<std::size_t>(f)],
                          kFailureNames[f]);
    if (result.simplimaxByPromin)
        report.printf("\n NOTE: Simplimax needs the user's choice of zero loadings; the resamples "
                      "are rotated by Promin.\n");
    report.printf("\n");
    if (result.loadings.empty()) {
        report.printf(
            "WARNING: Fewer than two resamples could be analysed: no standard errors or "
            "intervals.\n\n");
        report.separator();
        return;
    }
    const int p = result.items;
    const int k = result.factors;
    report.printf(" ROTATED LOADINGS (* the interval excludes 0)\n\n");
    report.write(" " + variableHeading(data));
    report.printf(" Factor  Estimate        SE       Lower     Upper\n\n");
    for (int i = 0; i < p; ++i)
        for (int f = 0; f < k; ++f) {
            const BootstrapInterval& interval = result.loadings[static_cast<std::size_t>(i * k + f)];
            report.write(" " + variableName(data, i));
            report.printf(" F%4i ", f + 1);
            intervalColumns(report, estimates.pattern[i][f], interval);
            report.printf("%s\n", excludesZero(interval) ? "  *" : "");
        }
    report.printf("\n COMMUNALITIES\n\n");
    report.write(" " + variableHeading(data));
    report.printf("        Estimate        SE       Lower     Upper\n\n");
    for (int i = 0; i < p; ++i) {
        report.write(" " + variableName(data, i));
        report.printf("       ");
        intervalColumns(report, estimates.communalities[static_cast<std::size_t>(i)],
                        result.communalities[static_cast<std::size_t>(i)]);
        report.printf("\n");
    }
    if (!result.factorCorrelations.empty()) {
        report.printf("\n INTER-FACTOR CORRELATIONS\n\n");
        report.printf(" Factors              Estimate        SE       Lower     Upper\n\n");
        std::size_t c = 0;
        for (int a = 1; a < k; ++a)
            for (int b = 0; b < a; ++b) {
                report.printf(" F%4i -- F%4i      ", a + 1, b + 1);
                intervalColumns(report, estimates.factorCorrelations[a][b],
                                result.factorCorrelations[c++]);
                report.printf("\n");
            }
    }
    if (result.rmsea || result.cfi || result.gfi || result.omega) {
        report.printf("\n FIT AND RELIABILITY\n\n");
        report.printf(" Index                  Estimate        SE       Lower     Upper\n\n");
        if (result.rmsea && estimates.rmsea) singleLine(report, "RMSEA", *estimates.rmsea, *result.rmsea);
        if (result.cfi && estimates.cfi) singleLine(report, "CFI", *estimates.cfi, *result.cfi);
        if (result.gfi && estimates.gfi) singleLine(report, "GFI", *estimates.gfi, *result.gfi);
        if (result.omega && estimates.omega)
            singleLine(report, "McDonald's Omega", *estimates.omega, *result.omega);
    }
    report.printf("\n\n");
    report.separator();
}

}  // namespace talvex
