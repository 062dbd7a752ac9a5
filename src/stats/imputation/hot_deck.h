// Missing data: the descriptives of what is missing, and hot-deck multiple
// imputation (the five nearest complete participants donate their scores;
// participants missing more than half of the variables get the modes).
#pragma once

#include <utility>
#include <vector>

#include "core/matrix.h"
#include "report/report_writer.h"

namespace talvex {

struct DataSet;

// Number of imputed data sets.
inline constexpr int kImputedSets = 5;

// Complete rows that donors are searched among.
inline constexpr int kDonorPoolLimit = 10000;

// Rows of a 0/1 missing mask (N x p) without any missing cell.
int completeRowCount(const Matrix& mask);

// The counts the missing-data section printed.
struct MissingSummary {
    int total = 0;     // missing cells
    int complete = 0;  // participants without a missing value
    // (variables missing, participants) for each count that occurs, ascending.
    std::vector<std::pair<int, int>> perCase;
    std::vector<int> perVariable;  // participants missing each variable
};

// The missing-data section for the mask of the analysed variables; the
// tables are printed, and returned, when a cell is missing (otherwise only
// `total` is set). `data` names the variables.
MissingSummary writeMissingDescriptives(ReportWriter& report, const DataSet& data,
                                        const Matrix& mask, int missingCode);

// The most frequent observed value of each column of x (1 x p), the smallest
// among equally frequent ones; cells marked in the mask do not count. A
// column without any observed cell takes the smallest observed value of x.
Matrix columnModes(const Matrix& x, const Matrix& mask);

// Up to `count` donors for row `recipient` of x: the other rows without a
// missing cell, nearest first by Euclidean distance over the recipient's
// observed variables (equal distances: the earlier row first). 0-based rows.
std::vector<int> selectDonors(const Matrix& x, const Matrix& mask, int recipient,
                              int count = kImputedSets);

// Five copies of x with every missing cell filled: modes for a row missing
// more than half of the variables, otherwise the values of its donors in
// random order (donor k fills data set k). With fewer than five complete
// rows the donors there are take turns; with none, the modes are used.
//
// Donors are searched among at most `poolLimit` complete rows: all of them
// up to that many, otherwise that many spread evenly over the file (every
// search costs the pool's size, so a pool of every complete row makes the
// imputation quadratic in N).
std::vector<Matrix> imputeHotDeck(const Matrix& x, const Matrix& mask,
                                  int poolLimit = kDonorPoolLimit);

// The pool of donor rows out of the ascending complete rows: all of them when
// there are at most `limit`, otherwise complete row floor(t·C/limit) for
// t = 0 .. limit - 1.
std::vector<int> donorPoolRows(std::vector<int> complete, int limit);

}  // namespace talvex
