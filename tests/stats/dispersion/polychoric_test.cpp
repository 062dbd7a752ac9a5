#include "stats/dispersion/polychoric.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "stats/dispersion/reference_inputs.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::readMatrix;
using testing::referencePath;
using PolychoricTest = testing::PoolTest;

struct ReferencePair {
    int i, j;
    bool corrected;
    double polycor, psych;  // psych is NaN where it was not computed
};
struct ReferenceSet {
    std::vector<ReferencePair> pairs;
    std::map<std::pair<int, int>, double> thresholds;  // (item, index)
};

// tests/reference/polychoric_reference.txt, written by polychoric_reference.R
// with polycor's two-step estimate and psych's pairwise estimate.
ReferenceSet readReference(const std::string& set) {
    ReferenceSet result;
    std::ifstream in(referencePath("polychoric_reference.txt"));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string kind, name;
        f >> kind >> name;
        if (name != set) continue;
        if (kind == "pair") {
            ReferencePair p{};
            std::string psych;
            int corrected = 0;
            f >> p.i >> p.j >> corrected >> p.polycor >> psych;
            p.corrected = corrected != 0;
            p.psych = psych == "NA" ? std::nan("") : std::stod(psych);
            result.pairs.push_back(p);
        } else {
            int item = 0, index = 0;
            double value = 0;
            f >> item >> index >> value;
            result.thresholds[{item, index}] = value;
        }
    }
    return result;
}

struct Estimated {
    Matrix r, thresholds, tables, failed;
};

Estimated estimate(const Matrix& x) {
    const int m = x.cols();
    const Matrix low = constant(m, 1, x.minElement());
    const Matrix high = constant(m, 1, x.maxElement());
    const int k = polychoricCategoryCount(low, high);
    Estimated e;
    e.thresholds = Matrix(m, k - 1);
    e.tables = Matrix(m * (m - 1) / 2 * k, k);
    e.failed = Matrix(m * (m - 1) / 2 + 1, 2);
    e.r = polychoricMatrix(x, low, high, e.thresholds, e.tables, e.failed);
    return e;
}

// Every pair of a Likert set (25 six-point items) and a binary set (16
// items; AS 116) against polycor's two-step estimate (tables with an empty
// cell: polycor on the table with 0.5 added, as here) and psych's pairwise
// estimate; thresholds against qnorm of the cumulative proportions.
TEST_F(PolychoricTest, AgreesWithPolycorAndPsych) {
    for (const char* set : {"bfi25", "ability16"}) {
        SCOPED_TRACE(set);
        const ReferenceSet reference = readReference(set);
        const Matrix x = readMatrix(referencePath(std::string(set) + ".dat"));
        const int m = x.cols();
        ASSERT_EQ(static_cast<int>(reference.pairs.size()), m * (m - 1) / 2);
        const Estimated e = estimate(x);
        EXPECT_EQ(e.failed[0][0], 0.0);
        int compared = 0;
        for (const ReferencePair& p : reference.pairs) {
            EXPECT_NEAR(e.r[p.i][p.j], p.polycor, 1e-4) << p.i << "," << p.j;
            EXPECT_EQ(e.r[p.j][p.i], e.r[p.i][p.j]);
            if (!std::isnan(p.psych)) {
                EXPECT_NEAR(e.r[p.i][p.j], p.psych, 1e-4) << p.i << "," << p.j;
                ++compared;
            }
        }
        EXPECT_GT(compared, 100);
        for (int i = 0; i < m; ++i) EXPECT_EQ(e.r[i][i], 1.0);
        for (const auto& [key, value] : reference.thresholds)
            EXPECT_NEAR(e.thresholds[key.first][key.second], value, 1e-6)
                << "item " << key.first << " threshold " << key.second;
    }
}

// AS 116 against closed forms (a = d, b = c: -cos(2π·pa); the degenerate
// tables) and against polycor's estimate of the same (continuity-corrected)
// table. AS 116 returns the absolute value.
TEST_F(PolychoricTest, TetrachoricAs116) {
    const double twoPi = 6.283185307179586;
    const struct {
        int a, b, c, d;
        double expected, tolerance;
    } rows[] = {
        {20, 5, 5, 20, -std::cos(twoPi * 0.4), 1e-8},
        {30, 0, 0, 12, 1.0, 0.0},
        {0, 0, 5, 5, kTetrachoricFailed, 0.0},
        // polycor, polychor(table, ML = FALSE)
        {40, 10, 20, 30, 0.6070921033, 5e-5},
        {0, 10, 20, 70, 0.3940514330, 5e-5},   // +0.5 on a and d, -0.5 on b and c
        {61, 19, 0, 21, 0.9233410842, 5e-5},   // the reverse
    };
    for (const auto& row : rows) {
        const double r = tetrachoricAs116(row.a, row.b, row.c, row.d);
        EXPECT_NEAR(r, row.expected, row.tolerance)
            << row.a << " " << row.b << " " << row.c << " " << row.d;
    }
}

// The tables output turns each table (first item's categories down); an
// empty cell adds 0.5 to every cell.
TEST_F(PolychoricTest, TablesOutput) {
    const Matrix y = fromRows({{1, 1}, {1, 1}, {1, 2}, {2, 3}, {3, 3}, {3, 1}});
    const Matrix withEmpty = fromRows({{2.5, 1.5, 0.5}, {0.5, 0.5, 1.5}, {1.5, 0.5, 1.5}});
    EXPECT_THAT(estimate(y).tables, testing::MatrixNear(withEmpty, 0.0));
}

// Two identical five-category items, 40 participants in each category: the
// empty cells get 0.5 and the estimate is near the top of the bracket;
// polycor on the table diag(40) + 0.5: 0.9550985980. Its far corners have
// model probabilities below 1e-9, which only an accurate Φ₂ gets right.
TEST_F(PolychoricTest, IdenticalItems) {
    Matrix x(200, 2);
    for (int p = 0; p < 200; ++p) x[p][0] = x[p][1] = 1 + (p * 7) % 5;
    const Estimated e = estimate(x);
    EXPECT_NEAR(e.r[0][1], 0.9550985980, 1e-4);
    EXPECT_EQ(e.failed[0][0], 0.0);
}

// An item whose own range is narrower than the common tables cannot be
// estimated: its pairs take the Pearson coefficient and are recorded.
TEST_F(PolychoricTest, FailedPairsTakePearson) {
    const Matrix x = readMatrix(referencePath("bfi25.dat")).submatrix(1, 1, 300, 4);
    const Matrix low = constant(4, 1, 1.0);
    Matrix high = constant(4, 1, 6.0);
    high[2][0] = 5.0;
    const int k = polychoricCategoryCount(low, high);
    ASSERT_EQ(k, 6);
    Matrix thresholds(4, k - 1), tables(6 * k, k), failed(7, 2);
    const Matrix r = polychoricMatrix(x, low, high, thresholds, tables, failed);
    const auto pairs = failedPairList(failed);
    ASSERT_EQ(pairs, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}, {2, 3}}));
    EXPECT_EQ(failed[0][0], 3.0);
    const Matrix sample = testing::pearson([&] {
        std::vector<std::vector<double>> rows;
        for (int p = 0; p < 300; ++p) rows.push_back({x[p][0], x[p][1], x[p][2], x[p][3]});
        return rows;
    }());
    for (const auto& [i, j] : pairs) EXPECT_NEAR(r[i][j], sample[i][j], 1e-12);
    EXPECT_GT(std::fabs(r[0][1] - sample[0][1]), 0.01);  // estimated, not Pearson
    PolychoricBuffers buffers;
    const Matrix twin = polychoricMatrixOnly(x, low, high, buffers);
    // The routine for generated data gives the same matrix (its tables from
    // category masks where the processor counts bits, 300 = 4·64 + 44 rows).
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(twin[i][j], r[i][j]) << i << "," << j;
}

// Two dichotomous items: the sign comes from the Pearson coefficient; a
// table with empty cells on both diagonals takes the likelihood estimate.
TEST_F(PolychoricTest, DichotomousPairs) {
    auto items = [](int a, int b, int c, int d) {
        Matrix x(a + b + c + d, 2);
        int p = 0;
        const int cells[4][3] = {{a, 0, 0}, {b, 0, 1}, {c, 1, 0}, {d, 1, 1}};
        for (const auto& cell : cells)
            for (int n = 0; n < cell[0]; ++n, ++p) {
                x[p][0] = cell[1];
                x[p][1] = cell[2];
            }
        return x;
    };
    EXPECT_NEAR(estimate(items(5, 20, 20, 5)).r[0][1], -0.809017, 1e-6);
    PolychoricBuffers buffers;
    const Matrix x = items(5, 20, 20, 5);
    EXPECT_EQ(polychoricMatrixOnly(x, constant(2, 1, 0.0), constant(2, 1, 1.0), buffers)[0][1], estimate(x).r[0][1]);
    // a = b = 0: every cell + 0.5 gives the table (0.5, 0.5, 8.5, 12.5);
    // polycor on that table: 0.1093610292.
    const Estimated e = estimate(items(0, 0, 8, 12));
    EXPECT_NEAR(e.r[0][1], 0.1093610292, 1e-4);
    EXPECT_EQ(e.failed[0][0], 0.0);
}

// The bounded bisection against the exact one, bit for bit, on both kernel
// builds: random tables of every shape from 2 x 2 to 7 x 6 (tolerance 1e-5),
// the same tables with the tolerance set exactly to the final step's |score|
// and one ulp below it (the stopping test on its boundary), and tables
// equal to the model at a rho the bisection visits (tolerance 0: the sign of
// a score of rounding size near the root), and tables with a cell of
// probability near 0. Most steps must be decided by the
// bounded evaluation, and the boundary cases must reach the exact one.
TEST_F(PolychoricTest, BoundedScoresTakeTheExactStepsBitForBit) {
    std::mt19937 random(20261207);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const std::vector<KernelPath> paths = testing::kernelPathsHere();
    BisectionBuffers regular, boundary;  // tolerance 1e-5; the others
    long boundaryExact = 0;
    for (int pair = 0; pair < 180; ++pair) {
        const int ki = 2 + pair % 6, kj = 2 + pair / 6 % 5;
        std::vector<double> a{-100.0}, b{-100.0};
        double level = -2.0;
        for (int c = 1; c < ki; ++c) a.push_back(level += 3.5 * uniform(random) / ki);
        level = -2.0;
        for (int t = 1; t < kj; ++t) b.push_back(level += 3.5 * uniform(random) / kj);
        // Two thresholds one ulp apart: a cell whose probability is a
        // rounding residue of either sign.
        const bool residue = pair % 7 == 3 && ki > 2;
        if (residue) a[2] = std::nextafter(a[1], 10.0);
        a.push_back(5.0);
        b.push_back(5.0);
        Matrix p = pair % 3 == 2 ? cellProbabilities(a.data(), b.data(), ki, kj, (pair % 2 ? 0.375 : -0.6875))
                                 : Matrix(kj, ki);
        double total = 0.0;
        for (int t = 0; t < kj && pair % 3 != 2; ++t)
            for (int c = 0; c < ki; ++c) total += p[t][c] = std::floor(40.0 * uniform(random)) + 0.5;
        for (int t = 0; t < kj && pair % 3 != 2; ++t)
            for (int c = 0; c < ki; ++c) p[t][c] /= total;
        const double exact = polychoricPair(p, a.data(), b.data(), ki, kj, 1e-5, ScoreEvaluation::Exact);
        std::vector<double> tolerances{pair % 3 == 2 ? 0.0 : 1e-5};
        if (exact != kPolychoricFailed && pair % 3 != 2) {
            const double g = std::fabs(polychoricScore(p, a.data(), b.data(), ki, kj, exact));
            tolerances.push_back(g);
            tolerances.push_back(std::nextafter(g, 0.0));
        }
        for (std::size_t q = 0; q < tolerances.size(); ++q) {
            const double expected =
                polychoricPair(p, a.data(), b.data(), ki, kj, tolerances[q], ScoreEvaluation::Exact);
            for (const KernelPath path : paths) {
                BisectionBuffers& tally = tolerances[q] == 1e-5 && !residue ? regular : boundary;
                const long before = tally.exactSteps;
                const double bounded = polychoricPair(p, a.data(), b.data(), ki, kj, tolerances[q],
                                                      ScoreEvaluation::Bounded, path, &tally);
                ASSERT_EQ(std::bit_cast<std::uint64_t>(bounded), std::bit_cast<std::uint64_t>(expected))
                    << ki << "x" << kj << " pair " << pair << " tolerance " << tolerances[q];
                if (q == 1 || tolerances[q] == 0.0 || residue) boundaryExact += tally.exactSteps > before;
            }
        }
    }
    EXPECT_GT(regular.boundedSteps, 20 * regular.exactSteps) << regular.exactSteps;
    EXPECT_GT(boundaryExact, 100) << boundary.boundedSteps << " " << boundary.exactSteps;
}

}  // namespace
}  // namespace talvex
