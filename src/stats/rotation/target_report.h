// The report sections of the target rotations: a target matrix, fully or
// semi-specified, and Tucker's congruence between the rotated loadings and
// the user's target.
#pragma once

#include "core/matrix.h"
#include "report/report_writer.h"
#include "report/settings.h"

namespace talvex {

struct DataSet;

// Subtitles of the target tables.
inline constexpr const char* kPrerotationTarget = "Obtained from prerotation of the loading matrix";
inline constexpr const char* kUserTarget = "User defined semi-specified target matrix";

// Which cells of a semi-specified target are free ("   ---   "): in a user
// target those of absolute value 9 or more; in the target that Promin and
// Simplimax build (1 free, 0 zero, reflected with its factor) every cell
// that is not 0.
enum class FreeCellRule { UserTarget, BuiltTarget };

// True when some cell has an absolute value of 9 or more.
bool hasFreeCells(const Matrix& target);

// FULL TARGET LOADING MATRIX: file numbers and "C" columns always.
void writeFullTarget(ReportWriter& report, const DataSet& data, const Matrix& target,
                     const char* subtitle);

// SEMI-SPECIFIED TARGET LOADING MATRIX, with the loading-table heading.
void writeSemiSpecifiedTarget(ReportWriter& report, const DataSet& data, const Matrix& target,
                              const char* subtitle, ExtractionMethod extractionMethod,
                              FreeCellRule rule);

// Tucker's congruence coefficients between a rotated matrix and a target
// whose free cells (beyond ±1) count as ±1. Factors whose congruence is
// negative are reflected before the coefficients are taken. A coefficient
// whose vectors include one of zeros is 0.
struct TargetCongruence {
    Matrix variables;  // p x 1, row by row
    Matrix factors;    // m x 1, column by column
    double overall = 0.0;
    bool clipped = false;  // some target cell lay beyond ±1
};
TargetCongruence targetCongruence(const Matrix& rotated, const Matrix& target);

// CONGRUENCE BETWEEN ROTATED LOADING MATRIX AND TARGET MATRIX.
void writeTargetCongruence(ReportWriter& report, const DataSet& data, const Matrix& rotated,
                           const Matrix& target, ExtractionMethod extractionMethod);

}  // namespace talvex
