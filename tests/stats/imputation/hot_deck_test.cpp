#include "stats/imputation/hot_deck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "core/random.h"
#include "data/dataset.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::fromRows;

constexpr double kCode = 999.0;

// The mask of the cells that hold the code.
Matrix maskOf(const Matrix& x) {
    Matrix mask(x.rows(), x.cols());
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) mask[i][j] = x[i][j] == kCode ? 1.0 : 0.0;
    return mask;
}

// A DataSet whose analysed variables are numbered 1..p.
DataSet numberedVariables(int p) {
    DataSet data;
    data.includedIndex = Matrix(p, 1);
    for (int j = 0; j < p; ++j) data.includedIndex[j][0] = j + 1;
    return data;
}

class HotDeckTest : public testing::PoolTest {};

TEST_F(HotDeckTest, ModesCountOnlyObservedCellsAndTakeTheSmallestOfTies) {
    // Column 0: 2 and 3 both twice -> 2. Column 1: the code is the most
    // frequent stored value, 4 the most frequent observed one. Column 2:
    // every cell missing -> the smallest observed value of the data (1).
    const Matrix x = fromRows({{3, 999, 999},
                               {2, 4, 999},
                               {3, 999, 999},
                               {2, 4, 999},
                               {1, 999, 999},
                               {5, 5, 999}});
    const Matrix modes = columnModes(x, maskOf(x));
    EXPECT_THAT(modes, testing::MatrixNear(fromRows({{2, 4, 1}}), 0.0));
}

TEST_F(HotDeckTest, DonorsAreTheNearestCompleteRowsOverTheObservedVariables) {
    // Recipient row 0 misses variable 2; distances over variables 0 and 1:
    // row 1 sqrt(2), row 2 incomplete (skipped), row 3 1, row 4 1 (later
    // than row 3), row 5 0, row 6 sqrt(8), row 7 sqrt(5). The huge value of
    // variable 2 in row 5 must not count.
    const Matrix x = fromRows({{3, 3, 999},
                               {4, 4, 1},
                               {3, 3, 999},
                               {3, 4, 6},
                               {2, 3, 6},
                               {3, 3, 50},
                               {5, 5, 1},
                               {1, 4, 1}});
    const std::vector<int> donors = selectDonors(x, maskOf(x), 0);
    EXPECT_EQ(donors, (std::vector<int>{5, 3, 4, 1, 7}));
}

TEST_F(HotDeckTest, FewerCandidatesThanFiveGiveThemAll) {
    const Matrix x = fromRows({{1, 999}, {2, 2}, {999, 3}, {5, 5}});
    EXPECT_EQ(selectDonors(x, maskOf(x), 0), (std::vector<int>{1, 3}));
    const Matrix none = fromRows({{1, 999}, {999, 2}});
    EXPECT_TRUE(selectDonors(none, maskOf(none), 0).empty());
}

// Twelve complete rows; the first variable tells them apart.
Matrix donorPool(int p) {
    Matrix x(12, p);
    for (int i = 0; i < 12; ++i) {
        x[i][0] = 10 + i;
        for (int j = 1; j < p; ++j) x[i][j] = 1 + (i * 7 + j * 3) % 6;
    }
    return x;
}

TEST_F(HotDeckTest, HalfMissingGetsDonorsOneMoreGetsModes) {
    const int p = 4;
    Matrix x = donorPool(p).joinBelow(fromRows({{999, 999, 2, 3}, {999, 999, 999, 3}}));
    const Matrix mask = maskOf(x);
    const Matrix modes = columnModes(x, mask);
    const std::vector<int> donors = selectDonors(x, mask, 12);
    ASSERT_EQ(donors.size(), 5u);
    const std::vector<Matrix> sets = imputeHotDeck(x, mask);
    ASSERT_EQ(sets.size(), 5u);
    std::multiset<int> used;
    for (const Matrix& set : sets) {
        // Row 12 (two of four missing): both cells from one donor.
        int from = -1;
        for (int d : donors)
            if (x[d][0] == set[12][0]) from = d;
        ASSERT_GE(from, 0);
        EXPECT_EQ(set[12][1], x[from][1]);
        used.insert(from);
        EXPECT_EQ(set[12][2], 2);
        // Row 13 (three of four missing): the modes in every set.
        for (int j = 0; j < 3; ++j) EXPECT_EQ(set[13][j], modes[0][j]);
        EXPECT_EQ(set[13][3], 3);
    }
    // Every donor fills one set (keys drawn from the stream do not tie here).
    EXPECT_EQ(used, std::multiset<int>(donors.begin(), donors.end()));
}

TEST_F(HotDeckTest, DonorsFillTheSetsInTheOrderOfAscendingRandomKeys) {
    const Matrix x = donorPool(3).joinBelow(fromRows({{999, 1, 1}}));
    const Matrix mask = maskOf(x);
    const std::vector<int> donors = selectDonors(x, mask, 12);
    const std::uint32_t state = randomState();
    std::vector<std::pair<double, int>> keyed;
    {
        MatrixScope scope;
        const Matrix keys = randomUniform(5, 1);
        for (int d = 0; d < 5; ++d) keyed.emplace_back(keys[d][0], donors[static_cast<std::size_t>(d)]);
    }
    std::sort(keyed.begin(), keyed.end());
    restoreRandomState(state);
    const std::vector<Matrix> sets = imputeHotDeck(x, mask);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(sets[static_cast<std::size_t>(k)][12][0],
                  x[keyed[static_cast<std::size_t>(k)].second][0])
            << "set " << k;
}

TEST_F(HotDeckTest, FewDonorsTakeTurnsAndNoneLeavesTheModes) {
    // Two complete rows: the five sets alternate between them.
    const Matrix two = fromRows({{1, 1, 1}, {4, 4, 4}, {999, 2, 2}, {3, 999, 3}});
    const std::vector<Matrix> sets = imputeHotDeck(two, maskOf(two));
    int fromFirst = 0;
    for (const Matrix& set : sets) {
        EXPECT_TRUE(set[2][0] == 1 || set[2][0] == 4);
        fromFirst += set[2][0] == 1 ? 1 : 0;
    }
    EXPECT_TRUE(fromFirst == 2 || fromFirst == 3) << fromFirst;
    // No complete row: modes of the observed cells, never the code.
    const Matrix none = fromRows({{999, 2, 5}, {3, 999, 5}, {3, 2, 999}, {1, 1, 999}});
    for (const Matrix& set : imputeHotDeck(none, maskOf(none)))
        EXPECT_THAT(set, testing::MatrixNear(
                             fromRows({{3, 2, 5}, {3, 2, 5}, {3, 2, 5}, {1, 1, 5}}), 0.0));
}

TEST_F(HotDeckTest, ObservedCellsAreKeptAndCompleteDataIsCopied) {
    const Matrix x = donorPool(5).joinBelow(fromRows({{999, 2, 3, 999, 5}}));
    const Matrix mask = maskOf(x);
    for (const Matrix& set : imputeHotDeck(x, mask))
        for (int i = 0; i < x.rows(); ++i)
            for (int j = 0; j < x.cols(); ++j) {
                if (mask[i][j] == 0.0) {
                    EXPECT_EQ(set[i][j], x[i][j]);
                }
                EXPECT_NE(set[i][j], kCode);
            }
}

TEST_F(HotDeckTest, ShortSectionWithoutMissingCells) {
    const DataSet data = numberedVariables(2);
    const std::string text = captureReport([&](ReportWriter& r) {
        EXPECT_EQ(writeMissingDescriptives(r, data, Matrix(3, 2), 999), 0);
    });
    EXPECT_EQ(text,
              "DESCRIPTIVES RELATED TO MISSING DATA\n\n"
              " Missing value code           :       999\n\n"
              " No missing data was observed in your data\n\n" +
                  testing::kSectionEnd);
}

TEST_F(HotDeckTest, FrequencyTableHasOneRowPerDistinctCount) {
    // Five variables; cases missing 0, 2, 0, 5, 2 and 2 variables.
    const Matrix mask = fromRows({{0, 0, 0, 0, 0},
                                  {1, 1, 0, 0, 0},
                                  {0, 0, 0, 0, 0},
                                  {1, 1, 1, 1, 1},
                                  {0, 1, 0, 1, 0},
                                  {0, 0, 1, 0, 1}});
    const DataSet data = numberedVariables(5);
    int total = 0;
    const std::string text = captureReport(
        [&](ReportWriter& r) { total = writeMissingDescriptives(r, data, mask, -9); });
    EXPECT_EQ(total, 11);
    EXPECT_NE(text.find(" Total number of missing data :     11\n"), std::string::npos);
    // 2/6 = 33.3 %, 3/6 = 50.0 %, 1/6 = 16.7 %.
    EXPECT_NE(text.find("                   0  |      2 ( 33.3%)\n"
                        "                   2  |      3 ( 50.0%)\n"
                        "                   5  |      1 ( 16.7%)\n\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find(" V   1           2     \n V   2           3     \n"), std::string::npos)
        << text;
    // Two complete participants: fewer than five donors, said in one line.
    EXPECT_NE(text.find("Participants without missing data: 2"), std::string::npos);
}

}  // namespace
}  // namespace talvex
