#include "stats/rotation/target_report.h"

#include <cmath>

#include "data/dataset.h"

namespace talvex {

namespace {

// Σxy / √(Σx² · Σy²); 0 when either sum of squares is 0.
// Cross products and sums of squares of two vectors: a column (or a row)
// of the rotated matrix and of the target.
struct Sums {
    double at = 0.0, aa = 0.0, tt = 0.0;
    void add(double a, double t) {
        at += a * t;
        aa += a * a;
        tt += t * t;
    }
    // Tucker's coefficient; 0 when a vector is all zeros.
    double tucker() const {
        const double denominator = std::sqrt(aa * tt);
        return denominator > 0 ? at / denominator : 0.0;
    }
};

Sums columnSums(const Matrix& a, const Matrix& t, int j) {
    Sums s;
    for (int i = 0; i < a.rows(); ++i) s.add(a[i][j], t[i][j]);
    return s;
}

void writeHeading(ReportWriter& report, const char* title, const char* subtitle) {
    report.printf("%s\n", title);
    report.printf("%s\n\n", subtitle);
}

}  // namespace

bool hasFreeCells(const Matrix& target) {
    for (int i = 0; i < target.rows(); ++i)
        for (int j = 0; j < target.cols(); ++j)
            if (std::fabs(target[i][j]) >= 9.0) return true;
    return false;
}

void writeFullTarget(ReportWriter& report, const DataSet& data, const Matrix& target,
                     const char* subtitle) {
    writeHeading(report, "FULL TARGET LOADING MATRIX", subtitle);
    report.printf("Variable  ");
    for (int c = 1; c <= target.cols(); ++c) report.printf("   C%4i ", c);
    report.printf("\n\n");
    for (int i = 0; i < target.rows(); ++i) {
        report.printf("V%4i      ", data.fileNumber(i));
        for (int j = 0; j < target.cols(); ++j) report.printf("%7.3f  ", target[i][j]);
        report.printf("\n");
    }
    report.printf("\n");
    report.printf("\n");
    report.separator();
}

void writeSemiSpecifiedTarget(ReportWriter& report, const DataSet& data, const Matrix& target,
                              const char* subtitle, ExtractionMethod extractionMethod,
                              FreeCellRule rule) {
    const bool pca = extractionMethod == PCA;
    writeHeading(report, "SEMI-SPECIFIED TARGET LOADING MATRIX", subtitle);
    report.write(variableHeading(data));
    for (int c = 1; c <= target.cols(); ++c) report.printf(pca ? "   C%4i " : "   F%4i ", c);
    report.printf("\n\n");
    for (int i = 0; i < target.rows(); ++i) {
        report.write(variableName(data, i));
        for (int j = 0; j < target.cols(); ++j) {
            const double t = target[i][j];
            const bool specified =
                rule == FreeCellRule::UserTarget ? std::fabs(t) < 9.0 : t == 0.0;
            if (specified)
                report.printf("%7.3f  ", t);
            else
                report.printf("   ---   ");
        }
        report.printf("\n");
    }
    report.printf("\n");
    report.printf("\n");
    report.separator();
}

TargetCongruence targetCongruence(const Matrix& rotated, const Matrix& target) {
    const int p = rotated.rows(), m = rotated.cols();
    TargetCongruence result{Matrix(p, 1), Matrix(m, 1), 0.0, false};
    MatrixScope scope;
    Matrix t(p, m), a = rotated.copy();
    for (int i = 0; i < p; ++i)
        for (int j = 0; j < m; ++j) {
            double v = target[i][j];
            if (v > 1.0 || v < -1.0) result.clipped = true;
            if (v > 1.0) v = 1.0;
            if (v < -1.0) v = -1.0;
            t[i][j] = v;
        }
    // Factors that point away from their target column are reflected.
    for (int j = 0; j < m; ++j)
        if (columnSums(a, t, j).tucker() < 0)
            for (int i = 0; i < p; ++i) a[i][j] = -a[i][j];
    Sums all;
    for (int j = 0; j < m; ++j) {
        const Sums s = columnSums(a, t, j);
        result.factors[j][0] = s.tucker();
        all.at += s.at;
        all.aa += s.aa;
        all.tt += s.tt;
    }
    for (int i = 0; i < p; ++i) {
        Sums s;
        for (int j = 0; j < m; ++j) s.add(a[i][j], t[i][j]);
        result.variables[i][0] = s.tucker();
    }
    result.overall = all.tucker();
    return result;
}

void writeTargetCongruence(ReportWriter& report, const DataSet& data, const Matrix& rotated,
                           const Matrix& target, ExtractionMethod extractionMethod) {
    const bool pca = extractionMethod == PCA;
    MatrixScope scope;
    const TargetCongruence c = targetCongruence(rotated, target);
    report.printf("CONGRUENCE BETWEEN ROTATED LOADING MATRIX AND TARGET MATRIX\n");
    report.printf("Tucker (1951)\n\n");
    report.printf("CONGRUENCE OF VARIABLES\n\n");
    report.printf(usesLabels(data) ? "Variable                                     Congruence\n"
                                   : "Variable   Congruence\n");
    for (int i = 0; i < rotated.rows(); ++i) {
        report.write(variableName(data, i));
        report.printf("%7.3f  \n", c.variables[i][0]);
    }
    report.printf("\n\n");
    if (pca) {
        report.printf("CONGRUENCE OF COMPONENTS\n");
        report.printf("Component  Congruence\n");
    } else {
        report.printf("CONGRUENCE OF FACTORS\n\n");
        report.printf("Factor     Congruence\n\n");
    }
    for (int j = 0; j < rotated.cols(); ++j) {
        report.printf(pca ? "C%4i      " : "F%4i      ", j + 1);
        report.printf("%7.3f  \n", c.factors[j][0]);
    }
    report.printf("\n\n");
    report.printf("OVERALL CONGRUENCE : %7.3f\n\n", c.overall);
    report.printf("GUIDELINEs TO INTERPRET CONGRUENCE INDEX\n");
    report.printf("Varnholt & ten Berge (2006)\n\n");
    report.printf(
        "A congruence value in the range .85-.94 corresponds to a fair similarity, \n"
        "while a value higher than .95 implies that the two factors (or components)\n"
        "compared can be considered equal.\n\n");
    if (c.clipped)
        report.printf(
            "Note: non-specified values in the target matrix were set to 1 (or -1)\n"
            "      to compute congruences.\n\n");
    report.printf("\n");
    report.separator();
}

}  // namespace talvex
