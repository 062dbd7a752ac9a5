// The data of one Read Data: the scores or the user's matrix, the missing
// mask, row numbers, variable list, labels and target, and the analysed data
// derived from them. Its matrices are created outside every scope and live
// until the program ends.
#pragma once

#include <string>
#include <vector>

#include "core/matrix.h"

namespace talvex {

struct DataSet {
    bool dataRead = false;
    int participantCount = 0;  // N; the complete cases once they are built
    int variableCount = 0;     // m, as typed
    int rowsRead = 0;          // rows of the scores file kept after reading

    std::string scoresFileName;
    std::string matrixFileName;
    std::string labelsFileName;
    std::string targetFileName;
    bool labelsEnabled = false;
    bool targetEnabled = false;
    bool missingCodeEnabled = true;
    int missingCode = 999;
    bool userMatrixRead = false;  // the data file was a variance/covariance matrix

    Matrix rawScores;              // rowsRead x m
    Matrix missingMask;            // rowsRead x m, 1.0 at a missing score
    std::vector<int> rowNumbers;   // 1-based file line of each raw row
    Matrix completeScores;         // N x m
    std::vector<int> completeRowNumbers;
    Matrix userMatrix;             // m x m
    Matrix variableList;           // m x 2: 0-based number, inclusion flag
    Matrix includedIndex;          // k x 1: 1-based file numbers of included variables
    Matrix analysedScores;         // N x k
    Matrix imputationScores;       // rowsRead x k
    Matrix imputationMask;         // rowsRead x k
    Matrix dispersion;             // k x k, the matrix analysed
    int observedMax = 0;
    int observedMin = 0;
    int categoryCount = 0;
    Matrix variableMaxima;         // m x 1
    Matrix variableMinima;         // m x 1
    Matrix thresholds;
    Matrix frequencies;
    std::vector<std::string> labels;
    Matrix targetMatrix;           // m x c
    Matrix analysedTarget;         // k x c

    // Number of variables included in the analysis (rows of includedIndex
    // once selectVariables has run).
    int analysedVariableCount() const { return includedIndex.valid() ? includedIndex.rows() : 0; }
    // 1-based file number of the i-th analysed variable (0-based i).
    int fileNumber(int i) const { return static_cast<int>(includedIndex[i][0]); }
};

}  // namespace talvex
