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

#include "core/random.h"
#include "stats/rotation/oblimin.h"
#include "stats/rotation/orthomax.h"
#include "stats/rotation/orthosim.h"
#include "stats/rotation/rotation.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"
#include "stats/rotation/rotation_testing.h"

namespace talvex {
namespace {

using rotation_testing::alignedCorrelations;
using rotation_testing::aligned;
using rotation_testing::matchColumns;

struct Input {
    int p = 0, m = 0;
    std::vector<double> loadings;
};

struct Case {
    std::string set, method;
    double argument = 0.0;
    bool normalize = false;
    double criterion = 0.0;
    std::vector<double> pattern, phi;
};

struct Fixture {
    std::map<std::string, Input> inputs;
    std::vector<Case> cases;
};

const Fixture& fixture() {
    static const Fixture f = [] {
        Fixture r;
        std::ifstream in(testing::referencePath("rotation_reference.txt"));
        std::string line, kind;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream words(line);
            words >> kind;
            if (kind == "input") {
                std::string name;
                Input input;
                words >> name >> input.p >> input.m;
                double x;
                while (words >> x) input.loadings.push_back(x);
                r.inputs[name] = input;
            } else if (kind == "rot") {
                Case c;
                int norm = 0;
                words >> c.set >> c.method >> c.argument >> norm >> c.criterion;
                c.normalize = norm == 1;
                const Input& input = r.inputs.at(c.set);
                double x;
                for (int i = 0; i < input.p * input.m && words >> x; ++i) c.pattern.push_back(x);
                while (words >> x) c.phi.push_back(x);
                r.cases.push_back(c);
            }
        }
        return r;
    }();
    return f;
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
        const Matrix h = rowLengths(loadings);
        Matrix inverse(h.rows(), 1);
        for (int i = 0; i < h.rows(); ++i) inverse[i][0] = 1.0 / h[i][0];
        b = scaleRows(pattern, inverse);
    }
    if (c.method == "orthomax") return orthomaxCriterion(b, c.argument);
    if (c.method == "oblimin") return obliminCriterion(b, c.argument);
    return orthosimCriterion(b);
}

class RotationReference : public testing::PoolTest {};

TEST_F(RotationReference, FixtureHoldsEveryCase) {
    // 3 data sets x 2 normalisations x (4 orthomax + 3 oblimin + orthosim).
    EXPECT_EQ(fixture().inputs.size(), 3u);
    EXPECT_EQ(fixture().cases.size(), 48u);
}

TEST_F(RotationReference, CriteriaOfTheReferencePatternsMatchTheirDefinition) {
    for (const Case& c : fixture().cases) {
        const Input& in = fixture().inputs.at(c.set);
        const Matrix l = fromValues(in.loadings, in.p, in.m);
        const Matrix reference = fromValues(c.pattern, in.p, in.m);
        EXPECT_NEAR(criterionOf(c, l, reference), c.criterion, 1e-10 * (1.0 + std::fabs(c.criterion)))
            << c.set << " " << c.method << " " << c.argument << " norm " << c.normalize;
    }
}

TEST_F(RotationReference, SameOptimumAsGpaOrABetterOne) {
    int same = 0, better = 0;
    for (const Case& c : fixture().cases) {
        SCOPED_TRACE(c.set + " " + c.method + " " + std::to_string(c.argument) + " norm " +
                     std::to_string(c.normalize));
        MatrixScope scope;
        const Input& in = fixture().inputs.at(c.set);
        const Matrix l = fromValues(in.loadings, in.p, in.m);
        const double convergence = static_cast<double>(1e-5f);
        RoutineResult ours;
        if (c.method == "orthomax")
            ours = orthomaxRotation(l, c.argument, convergence, 10, c.normalize);
        else if (c.method == "oblimin")
            ours = obliminRotation(l, c.argument, convergence, 10, c.normalize);
        else
            ours = orthosimRotation(l, convergence, 10, c.normalize);
        const Matrix pattern = l.multiply(ours.transformation);
        const Matrix phi = ours.factorCorrelations.valid() ? transformationCorrelations(ours.transformation)
                                                          : identity(in.m);
        const Matrix reference = fromValues(c.pattern, in.p, in.m);
        const double f = criterionOf(c, l, pattern);
        const auto match = matchColumns(reference, pattern);
        const bool maximised = c.method != "oblimin";
        if (match.smallest > 0.9999) {
            ++same;
            EXPECT_NEAR(f, c.criterion, 1e-4 * std::fabs(c.criterion) + 1e-8);
            EXPECT_THAT(aligned(pattern, match), testing::MatrixNear(reference, 2e-3));
            EXPECT_THAT(alignedCorrelations(phi, match),
                        testing::MatrixNear(fromValues(c.phi, in.m, in.m), 2e-3));
        } else {
            ++better;
            std::printf("[ different optimum ] %s %s %g norm %d: ours %.10g, GPArotation %.10g\n",
                        c.set.c_str(), c.method.c_str(), c.argument, c.normalize ? 1 : 0, f,
                        c.criterion);
            if (maximised)
                EXPECT_GE(f, c.criterion - 1e-6 * std::fabs(c.criterion));
            else
                EXPECT_LE(f, c.criterion + 1e-6 * std::fabs(c.criterion));
        }
    }
    std::printf("same optimum %d, different %d\n", same, better);
    EXPECT_GT(same, 0);
}

}  // namespace
}  // namespace talvex
