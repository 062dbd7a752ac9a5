// Recording doubles for the statistics behind the Simplimax dialog, shared by
// its model tests and its Qt tests. The rotation marks its weights with the
// number of zeros, so the weights the final fit receives tell the line.
#pragma once

#include <vector>

#include "app/simplimax_dialog.h"
#include "core/matrix.h"

namespace talvex::testing {

struct SimplimaxDoubles {
    RotationParameters parameters{100, 1e-5f, 0.0f, 100, 28};
    std::vector<int> zerosRun;           // numbers of zeros passed to the rotation
    std::vector<double> criterionTable;  // criterion of the i-th number of zeros run; then 1
    std::vector<double> weightsStepped;  // weights[0][0] received by the final fit

    SimplimaxDialog open(int p, int m) {
        SimplimaxRoutines r;
        r.rotate = [this](const Matrix& l, int zeros, const RotationParameters&) {
            const std::size_t i = zerosRun.size();
            zerosRun.push_back(zeros);
            SimplimaxSolution s;
            s.weights = Matrix(l.rows(), l.cols());
            s.weights[0][0] = zeros;
            s.criterion = i < criterionTable.size() ? criterionTable[i] : 1.0;
            return s;
        };
        r.step = [this](const Matrix& l, const Matrix& w, const Matrix&, const Matrix&, double) {
            weightsStepped.push_back(w[0][0]);
            SimplimaxSolution s;
            s.transformation = identity(l.cols()).scale(2.0);
            s.factorCorrelations = identity(l.cols());
            s.weights = w;
            return s;
        };
        return SimplimaxDialog(Matrix(p, m), parameters, std::move(r));
    }
};

}  // namespace talvex::testing
