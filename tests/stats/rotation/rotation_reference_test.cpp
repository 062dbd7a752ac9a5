// Cross-check against GPArotation (tests/reference/rotation_reference.R):
// the same unrotated loadings rotated by our routines with the program's
// default convergence and random starts. Where both reach the same optimum
// the patterns agree after matching columns; where they do not, ours must
// not be the worse one.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "stats/rotation/oblimin.h"
#include "stats/rotation/orthomax.h"
#include "stats/rotation/orthosim.h"
#include "stats/rotation/rotation.h"
#include "stats/rotation/rotation_testing.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using rotation_testing::aligned;
using rotation_testing::alignedCorrelations;
using rotation_testing::matchColumns;
using testing::MatrixNear;

struct Input {
    int p = 0, m = 0;
    std::vector<double> loadings;
};

struct Case {
    std::string set, method;
    double argument = 0.0, criterion = 0.0;
    int normalize = 0;
    std::vector<double> pattern, phi;
};

// Lines "input NAME p m L..." and "rot NAME METHOD ARG NORM f P... Phi...".
void readFixture(std::map<std::string, Input>& inputs, std::vector<Case>& cases) {
    std::ifstream in(testing::referencePath("rotation_reference.txt"));
    std::string line, kind;
    double x;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        if (!(words >> kind)) continue;
        if (kind == "input") {
            std::string name;
            Input input;
            words >> name >> input.p >> input.m;
            while (words >> x) input.loadings.push_back(x);
            inputs[name] = input;
        } else if (kind == "rot") {
            Case c;
            words >> c.set >> c.method >> c.argument >> c.normalize >> c.criterion;
            const Input& input = inputs.at(c.set);
            for (int i = 0; i < input.p * input.m && words >> x; ++i) c.pattern.push_back(x);
            while (words >> x) c.phi.push_back(x);
            cases.push_back(c);
        }
    }
}

Matrix fromValues(const std::vector<double>& v, int rows, int cols) {
    Matrix m(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) m[i][j] = v[static_cast<std::size_t>(i * cols + j)];
    return m;
}

// The criterion of a rotated matrix, on rows divided by the unrotated row
// lengths for a normalised rotation.
double criterionOf(const Case& c, const Matrix& loadings, const Matrix& pattern) {
    Matrix b = pattern;
    if (c.normalize) {
        Matrix inverse = rowLengths(loadings);
        for (int i = 0; i < inverse.rows(); ++i) inverse[i][0] = 1.0 / inverse[i][0];
        b = scaleRows(pattern, inverse);
    }
    if (c.method == "orthomax") return orthomaxCriterion(b, c.argument);
    if (c.method == "oblimin") return obliminCriterion(b, c.argument);
    return orthosimCriterion(b);
}

using RotationReference = testing::PoolTest;

TEST_F(RotationReference, SameOptimumAsGpaOrABetterOne) {
    std::map<std::string, Input> inputs;
    std::vector<Case> cases;
    readFixture(inputs, cases);
    // 3 data sets x 2 normalisations x (4 orthomax + 3 oblimin + orthosim).
    ASSERT_EQ(cases.size(), 48u);
    int same = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set + " " + c.method + " " + std::to_string(c.argument) + " norm " +
                     std::to_string(c.normalize));
        MatrixScope scope;
        const Input& in = inputs.at(c.set);
        const Matrix l = fromValues(in.loadings, in.p, in.m);
        const Matrix reference = fromValues(c.pattern, in.p, in.m);
        // Our criteria agree with the script's values for its patterns.
        EXPECT_NEAR(criterionOf(c, l, reference), c.criterion, 1e-10 * (1.0 + std::fabs(c.criterion)));
        const double convergence = static_cast<double>(1e-5f);
        const bool norm = c.normalize == 1;
        const RoutineResult ours =
            c.method == "orthomax" ? orthomaxRotation(l, c.argument, convergence, 10, norm)
            : c.method == "oblimin" ? obliminRotation(l, c.argument, convergence, 10, norm)
                                    : orthosimRotation(l, convergence, 10, norm);
        const Matrix pattern = l.multiply(ours.transformation);
        const double f = criterionOf(c, l, pattern);
        const auto match = matchColumns(reference, pattern);
        if (match.smallest > 0.9999) {
            ++same;
            EXPECT_NEAR(f, c.criterion, 1e-4 * std::fabs(c.criterion) + 1e-8);
            EXPECT_THAT(aligned(pattern, match), MatrixNear(reference, 2e-3));
            EXPECT_THAT(alignedCorrelations(transformationCorrelations(ours.transformation), match),
                        MatrixNear(fromValues(c.phi, in.m, in.m), 2e-3));
        } else if (c.method == "oblimin") {
            EXPECT_LE(f, c.criterion + 1e-6 * std::fabs(c.criterion));
        } else {
            EXPECT_GE(f, c.criterion - 1e-6 * std::fabs(c.criterion));
        }
    }
    std::printf("same optimum as GPArotation in %d of %zu cases\n", same, cases.size());
    EXPECT_GT(same, 0);
}

}  // namespace
}  // namespace talvex
