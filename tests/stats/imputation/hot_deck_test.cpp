#include "stats/imputation/hot_deck.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::fromRows;

// The mask of the cells that hold the code 999.
Matrix maskOf(const Matrix& x) {
    Matrix mask(x.rows(), x.cols());
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j) mask[i][j] = x[i][j] == 999.0 ? 1.0 : 0.0;
    return mask;
}

class HotDeckTest : public testing::PoolTest {};

TEST_F(HotDeckTest, ModesAndNearestDonors) {
    // Column 0: 2 and 3 both twice -> 2. Column 1: the code is the most
    // frequent stored value, 4 the most frequent observed one. Column 2:
    // every cell missing -> the smallest observed value of the data (1).
    const Matrix x = fromRows(
        {{3, 999, 999}, {2, 4, 999}, {3, 999, 999}, {2, 4, 999}, {1, 999, 999}, {5, 5, 999}});
    EXPECT_THAT(columnModes(x, maskOf(x)), testing::MatrixNear(fromRows({{2, 4, 1}}), 0.0));
    // Donors: recipient row 0 misses variable 2; distances over variables 0 and 1:
    // row 1 sqrt(2), row 2 incomplete (skipped), row 3 1, row 4 1 (later
    // than row 3), row 5 0, row 6 sqrt(8), row 7 sqrt(5). The huge value of
    // variable 2 in row 5 must not count.
    const Matrix y = fromRows(
        {{3, 3, 999}, {4, 4, 1}, {3, 3, 999}, {3, 4, 6}, {2, 3, 6}, {3, 3, 50}, {5, 5, 1}, {1, 4, 1}});
    EXPECT_EQ(selectDonors(y, maskOf(y), 0), (std::vector<int>{5, 3, 4, 1, 7}));
    // Scores that are not integers take the double sums: the same order.
    Matrix half = y.copy();
    for (int i = 0; i < half.rows(); ++i)
        for (int j = 0; j < 2; ++j) half[i][j] = y[i][j] / 4;
    EXPECT_EQ(selectDonors(half, maskOf(y), 0), (std::vector<int>{5, 3, 4, 1, 7}));
}

// A pool of L out of C complete rows takes complete row floor(t·C/L); the
// donors of a recipient come from the pool only.
TEST_F(HotDeckTest, DonorsComeFromAnEvenlySpreadPool) {
    EXPECT_EQ(donorPoolRows({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 4), (std::vector<int>{0, 2, 5, 7}));
    EXPECT_EQ(donorPoolRows({3, 8, 9}, 3), (std::vector<int>{3, 8, 9}));
    Matrix x(12, 2);
    for (int i = 0; i < 12; ++i) x[i][0] = x[i][1] = i;
    x = x.joinBelow(fromRows({{5, 999}}));
    std::set<double> imputed;
    for (const Matrix& set : imputeHotDeck(x, maskOf(x), 3)) imputed.insert(set[12][1]);
    EXPECT_EQ(imputed, (std::set<double>{0, 4, 8}));
}

TEST_F(HotDeckTest, HalfMissingStillGetsDonors) {
    // Twelve complete rows told apart by variable 0; row 12 misses two of
    // four variables, still few enough for donors: five different ones, not
    // its modes (10, 1) five times.
    Matrix x(12, 4);
    for (int i = 0; i < 12; ++i) {
        x[i][0] = 10 + i;
        for (int j = 1; j < 4; ++j) x[i][j] = 1 + (i * 7 + j * 3) % 6;
    }
    x = x.joinBelow(fromRows({{999, 999, 2, 3}}));
    std::set<double> imputed;
    for (const Matrix& set : imputeHotDeck(x, maskOf(x))) imputed.insert(set[12][0]);
    EXPECT_EQ(imputed.size(), 5u);
}

TEST_F(HotDeckTest, TotalCountsCellsAndFewDonorsAreSaid) {
    // Three missing cells in two rows; one complete participant.
    DataSet data;
    testing::numberVariables(data, 2);
    int total = 0;
    const std::string text = testing::captureReport([&](ReportWriter& r) {
        total = writeMissingDescriptives(r, data, fromRows({{0, 0}, {1, 0}, {1, 1}}), -9).total;
    });
    EXPECT_EQ(total, 3);
    EXPECT_NE(text.find("Participants without missing data: 1"), std::string::npos) << text;
}

}  // namespace
}  // namespace talvex
