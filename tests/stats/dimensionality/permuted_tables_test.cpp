#include "stats/dimensionality/permuted_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/random.h"
#include "stats/dimensionality/parallel_analysis.h"
#include "stats/dispersion/correlation.h"
#include "stats/dispersion/polychoric.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using PermutedTablesTest = testing::PoolTest;

// Margins 3/5/2 against 4/4/2 (N = 10), 40,000 tables: every table keeps
// both margins, and each cell's mean and variance are those of its
// hypergeometric marginal, r·c/N and r·c·(N - c)·(N - r)/(N²(N - 1)), within
// 5 standard errors (the last row and column are what the draws left).
TEST_F(PermutedTablesTest, DrawnTablesKeepTheMarginsAndTheCellDistributions) {
    const std::vector<int> rows = {3, 5, 2}, columns = {4, 4, 2};
    const std::vector<double> logs = logFactorials(10);
    TableRandom random(20261207, 1);
    constexpr int kDraws = 40000;
    std::vector<double> sum(9, 0.0), squares(9, 0.0);
    std::vector<int> table;
    for (int d = 0; d < kDraws; ++d) {
        permutedTable(rows, columns, random, logs, table);
        for (int a = 0; a < 3; ++a) {
            ASSERT_EQ(table[a * 3] + table[a * 3 + 1] + table[a * 3 + 2], rows[a]);
            ASSERT_EQ(table[a] + table[3 + a] + table[6 + a], columns[a]);
        }
        for (int c = 0; c < 9; ++c) {
            sum[c] += table[c];
            squares[c] += table[c] * table[c];
        }
    }
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) {
            const double r = rows[a], c = columns[b];
            const double mean = r * c / 10, variance = r * c * (10 - c) * (10 - r) / (100.0 * 9);
            const double m = sum[a * 3 + b] / kDraws, v = squares[a * 3 + b] / kDraws - m * m;
            EXPECT_NEAR(m, mean, 5 * std::sqrt(variance / kDraws)) << a << " " << b;
            EXPECT_NEAR(v, variance, 5 * variance * std::sqrt(2.0 / kDraws) + 1e-3) << a << " " << b;
        }
    // Draws on a large population stay inside their support.
    const std::vector<double> big = logFactorials(600000);
    for (int d = 0; d < 1000; ++d) {
        const int h = hypergeometricDraw(599990, 10, 599995, random, big);
        ASSERT_TRUE(h >= 599985 && h <= 599990) << h;
    }
}

// The correlations of a table are those of the rows it counts: Pearson,
// polychoric (six categories, one empty) and tetrachoric.
TEST_F(PermutedTablesTest, TableCorrelationsAreThoseOfTheData) {
    for (const int k : {6, 2}) {
        Matrix x(300, 2);
        for (int i = 0; i < 300; ++i) {
            x[i][0] = 1 + (i * 7 % 13) % k;
            x[i][1] = 1 + ((i * 7 % 13) / 2 + i % 3) % k;
        }
        // Two categories: a negative association (AS 116 gives |r|).
        if (k == 2)
            for (int i = 0; i < 300; ++i) x[i][1] = i % 5 == 0 ? x[i][0] : 3 - x[i][0];
        if (k == 6)
            for (int i = 0; i < 300; ++i)
                if (x[i][1] == 4) x[i][1] = 5;
        const std::optional<DiscreteMargins> margins = discreteMargins(x, 1, k);
        ASSERT_TRUE(margins);
        std::vector<int> table(static_cast<std::size_t>(k * k), 0);
        for (int i = 0; i < 300; ++i) ++table[static_cast<std::size_t>((x[i][0] - 1) * k + x[i][1] - 1)];
        const double pearson = tablePearson(table, k);
        EXPECT_NEAR(pearson, correlationOf(x)[0][1], 1e-12) << k;
        Matrix thresholds(2, k - 1), tables(k, k), failed(2, 2);
        const Matrix r = polychoricMatrix(x, constant(2, 1, 1), constant(2, 1, k), thresholds, tables, failed);
        ASSERT_EQ(failed[0][0], 0.0) << k;
        PolychoricBuffers buffers;
        EXPECT_NEAR(polychoricFromCounts(table, k, pearson, buffers), r[0][1], 1e-12) << k;
    }
    EXPECT_FALSE(discreteMargins(constant(3, 2, 1.5), 1, 6));
    EXPECT_FALSE(discreteMargins(constant(3, 2, 7), 1, 6));
}

// Above the threshold the MRFA-based analysis draws tables: on 400 rows x 6
// discrete items, its random means agree with full permutations (K = 100
// each) within 4 standard errors of the difference.
TEST_F(PermutedTablesTest, DrawnTablesAgreeWithFullPermutations) {
    Matrix x(400, 6);
    for (int i = 0; i < 400; ++i)
        for (int j = 0; j < 6; ++j) x[i][j] = 1 + (i * (j + 3) + i / 7) % 4;
    PaInput in;
    in.x = x;
    in.r = correlationOf(x);
    in.method = PaMrfaPolychoricPermutation;
    in.n = 400;
    in.randomMatrices = 100;
    in.low = constant(6, 1, 1);
    in.high = constant(6, 1, 4);
    const std::uint32_t state = randomState();
    const PaResult full = parallelAnalysisMrfaValues(in);
    restoreRandomState(state);
    in.tableRows = 0;
    const PaResult drawn = parallelAnalysisMrfaValues(in);
    for (int i = 0; i < 5; ++i) {
        double spread = 0.0;
        for (int r = 0; r < 100; ++r) spread += std::pow(full.random[static_cast<std::size_t>(r * 6 + i)] - full.mean[i], 2);
        const double error = std::sqrt(2 * spread / 99 / 100);
        EXPECT_NEAR(drawn.mean[i], full.mean[i], 4 * error) << i;
    }
    EXPECT_NE(drawn.random, full.random);
}

}  // namespace
}  // namespace talvex
