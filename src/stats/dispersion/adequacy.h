// Adequacy of a dispersion matrix for factor analysis: determinant,
// Bartlett's sphericity statistic and the Kaiser-Meyer-Olkin index.
#pragma once

#include <optional>

#include "core/matrix.h"

namespace talvex {

class ReportWriter;

struct BartlettTest {
    double statistic = 0.0;
    double degreesOfFreedom = 0.0;  // m(m − 1)/2
    double p = 1.0;
};

// Anti-image correlations of a square dispersion matrix: −pᵢⱼ/√(pᵢᵢpⱼⱼ)
// off the diagonal, with P its sweep inverse, and 1 on the diagonal. A
// matrix that is not square is N x m data and stands for its Pearson
// correlation matrix. A variable whose pᵢᵢ is not positive (swept out as
// linearly dependent) has no partial correlations; they are left at 0.
Matrix partialCorrelation(const Matrix& s);

// D^(-1/2)·M·D^(-1/2) with D the diagonal of M; a non-positive variance
// gives zeros in its row and column.
Matrix correlationForm(const Matrix& m);

// −(N − 1 − (2m + 5)/6)·ln|R| (Bartlett, 1950).
double bartlettStatistic(const Matrix& r, int n);
// The statistic with its degrees of freedom and upper-tail chi-square P.
BartlettTest bartlettTest(const Matrix& r, int n);

// Σr² / (Σr² + Σq² + 0.000001) over the off-diagonal elements, q the
// anti-image correlations (Kaiser, 1970).
double kmoIndex(const Matrix& r);
// Verbal label of a KMO value, with its line end.
const char* kmoLabel(double kmo);

// The section ADEQUACY OF THE CORRELATION MATRIX for the matrix m and a
// sample of n participants (the Bartlett line only when n > 0). The
// determinant, Bartlett's statistic and the KMO are all taken on the
// correlation form of m. A statistic that does not exist (Bartlett's and the
// KMO of a singular matrix, Bartlett's for a sample too small for its
// multiplier) is reported in words.
// Returns the statistics as printed; one printed as not computed is empty.
struct PrintedAdequacy {
    std::optional<double> determinant;
    bool bartlettShown = false;  // its line printed (n > 0)
    std::optional<BartlettTest> bartlett;
    std::optional<double> kmo;
};
PrintedAdequacy writeAdequacy(ReportWriter& report, const Matrix& m, int n);

}  // namespace talvex
