#include "stats/interpretation/irt.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "data/dataset.h"

namespace talvex {

namespace {

// "Item" padded to the width of the name column.
std::string itemHeading(const DataSet& data) {
    if (!usesLabels(data)) return "Item      ";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%-45s", "Item");
    return buffer;
}

// One row: the item's name and "% 7.3f  " for each value of the given rows.
void writeRow(ReportWriter& report, const DataSet& data, int item,
              std::initializer_list<const Matrix*> parts) {
    report.write(variableName(data, item));
    for (const Matrix* part : parts)
        for (int j = 0; j < part->cols(); ++j) report.printf("% 7.3f  ", (*part)[item][j]);
    report.printf("\n");
}

void writeFlooredWarning(ReportWriter& report, const DataSet& data,
                         const std::vector<int>& items) {
    if (items.empty()) return;
    std::string names;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) names += ", ";
        names += "V" + std::to_string(data.fileNumber(items[i]));
    }
    report.printf(
        "WARNING: The unique variance of %s %s is below %.3f (a Heywood case);\n"
        "         %.3f is used in its place in the parameters below.\n\n",
        items.size() == 1 ? "item" : "items", names.c_str(), kUniquenessFloor, kUniquenessFloor);
}

}  // namespace

IrtUnidimensional irtUnidimensional(const Matrix& loadings, const Matrix& thresholds) {
    const int p = loadings.rows();
    const int steps = thresholds.cols();
    IrtUnidimensional irt{Matrix(p, 1), Matrix(p, steps)};
    const double sign = loadings[0][0] < 0 ? -1.0 : 1.0;
    for (int i = 0; i < p; ++i) {
        const double lambda = sign * loadings[i][0];
        irt.a[i][0] = lambda / std::sqrt(1.0 - lambda * lambda);
        for (int k = 0; k < steps; ++k) {
            double b = thresholds[i][k] / lambda;
            if (std::isnan(b)) b = 0.0;  // a zero threshold of an item without loading
            if (b < -kIrtDifficultyBound) b = -kIrtDifficultyBound;
            if (b > kIrtDifficultyBound) b = kIrtDifficultyBound;
            irt.b[i][k] = b;
        }
    }
    return irt;
}

IrtMultidimensional irtMultidimensional(const Matrix& loadings, const Matrix& thresholds,
                                        const Matrix& uniqueness) {
    const int p = loadings.rows();
    const int m = loadings.cols();
    const int steps = thresholds.cols();
    const bool dichotomous = steps == 1;
    IrtMultidimensional irt;
    irt.a = Matrix(p, m);
    irt.mdisc = Matrix(p, 1);
    irt.d = Matrix(p, steps);
    if (dichotomous) irt.mdiff = Matrix(p, 1);
    for (int i = 0; i < p; ++i) {
        double psi = uniqueness[i][0];
        if (!(psi >= kUniquenessFloor)) {
            psi = kUniquenessFloor;
            irt.flooredItems.push_back(i);
        }
        const double sigma = std::sqrt(psi);
        double squares = 0.0;
        for (int k = 0; k < m; ++k) {
            irt.a[i][k] = loadings[i][k] / sigma;
            squares += irt.a[i][k] * irt.a[i][k];
        }
        irt.mdisc[i][0] = std::sqrt(squares);
        if (dichotomous) {
            irt.d[i][0] = -thresholds[i][0] / sigma;
            // An item without discrimination is placed at the bound.
            irt.mdiff[i][0] = irt.mdisc[i][0] > 0 ? -irt.d[i][0] / irt.mdisc[i][0]
                              : irt.d[i][0] == 0.0 ? 0.0
                                                   : std::copysign(kIrtDifficultyBound, -irt.d[i][0]);
        } else {
            for (int k = 0; k < steps; ++k) irt.d[i][k] = thresholds[i][k] / sigma;
        }
    }
    return irt;
}

void writeIrtUnidimensional(ReportWriter& report, const DataSet& data,
                            const IrtUnidimensional& irt) {
    const int steps = irt.b.cols();
    const bool dichotomous = steps == 1;
    if (dichotomous) {
        report.printf("ITEM RESPONSE THEORY PARAMETERIZATION: TWO-PARAMETER NORMAL OGIVE MODEL \n");
        report.printf("Lord's parameterization (1952)\n\n");
    } else {
        report.printf("ITEM RESPONSE THEORY PARAMETERIZATION: NORMAL-OGIVE GRADED RESPONSE MODEL \n");
        report.printf("(GRM, Samejima, 1969) \n\n");
    }
    report.write(itemHeading(data));
    report.printf("   a     ");
    if (dichotomous)
        report.printf("   b    ");
    else
        for (int k = 1; k <= steps; ++k) report.printf("   b%4i ", k);
    report.printf("\n\n");
    for (int i = 0; i < irt.a.rows(); ++i) writeRow(report, data, i, {&irt.a, &irt.b});
    report.printf("\n");
    report.printf("a: item discrimination\n");
    report.printf(dichotomous ? "b: item difficulty\n" : "b: category difficulties\n");
    report.printf("\n\n");
    report.separator();
}

void writeIrtMultidimensional(ReportWriter& report, const DataSet& data,
                              const IrtMultidimensional& irt) {
    const int steps = irt.d.cols();
    const bool dichotomous = steps == 1;
    const int p = irt.a.rows();
    if (dichotomous) {
        report.printf(
            "ITEM RESPONSE THEORY PARAMETERIZATION: MULTIDIMENSIONAL TWO-PARAMETER NORMAL OGIVE "
            "MODEL \n");
        report.printf("McDonald-Reckase parameterization (McDonald, 1976; Reckase, 1985)\n\n");
    } else {
        report.printf(
            "ITEM RESPONSE THEORY PARAMETERIZATION: MULTIDIMENSIONAL NORMAL-OGIVE GRADED RESPONSE "
            "MODEL\n");
        report.printf("Reckase's parameterization (Reckase, 1985)\n\n");
    }
    writeFlooredWarning(report, data, irt.flooredItems);

    report.printf("PATTERN OF ITEM DISCRIMINATIONS\n\n");
    report.write(itemHeading(data));
    for (int k = 1; k <= irt.a.cols(); ++k) report.printf("   a%4i ", k);
    report.printf("   MDISC    ");
    report.printf("\n\n");
    for (int i = 0; i < p; ++i) writeRow(report, data, i, {&irt.a, &irt.mdisc});
    report.printf("\n");
    report.printf("    a: item discrimination in each dimension\n");
    report.printf("MDISC: item multidimensional discrimination\n");
    report.printf("\n\n");

    if (dichotomous) {
        report.printf("ITEMS INTERCEPTS AND DIFFICULTIES\n\n");
        report.write(itemHeading(data));
        report.printf("   d     ");
        report.printf("   MDIFF    ");
        report.printf("\n\n");
        for (int i = 0; i < p; ++i) writeRow(report, data, i, {&irt.d, &irt.mdiff});
        report.printf("\n");
        report.printf("    d: item intercepts\n");
        report.printf("MDIFF: item multidimensional difficulty\n");
        report.printf("\n\n");
    } else {
        report.printf("CATEGORY INTERCEPTS\n\n");
        report.write(itemHeading(data));
        for (int k = 1; k <= steps; ++k) report.printf("   d%4i ", k);
        report.printf("\n\n");
        for (int i = 0; i < p; ++i) writeRow(report, data, i, {&irt.d});
        report.printf("\n\n");
    }
    report.separator();
}

}  // namespace talvex
