// Complete cases and the selection of the analysed variables.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "core/matrix.h"
#include "data/data_files.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::fromRows;
using testing::MatrixNear;

class DataPreparationTest : public testing::PoolTest {
protected:
    void SetUp() override {
        PoolTest::SetUp();
        // Four rows from file lines 1, 2, 4, 6 (3 and 5 were dropped); row 2
        // holds the missing code 99 in variable 3.
        data.variableCount = 4;
        data.rawScores = fromRows({{1, 2, 3, 4}, {2, 3, 4, 5}, {3, 4, 99, 1}, {0, 5, 2, 3}});
        data.missingMask = Matrix(4, 4);
        data.missingMask[2][2] = 1.0;
        data.missingCodeEnabled = true;
        data.rowNumbers = {1, 2, 4, 6};
        includeAllVariables(data);
    }
    void TearDown() override {
        data = DataSet{};
        PoolTest::TearDown();
    }

    void exclude(int zeroBased) { data.variableList[zeroBased][1] = 0.0; }

    DataSet data;
};

TEST_F(DataPreparationTest, CompleteCasesThenTheIncludedColumnsOfRawData) {
    buildCompleteCases(data);
    EXPECT_EQ(data.participantCount, 3);
    EXPECT_EQ(data.completeRowNumbers, (std::vector<int>{1, 2, 6}));
    EXPECT_THAT(data.completeScores,
                MatrixNear(fromRows({{1, 2, 3, 4}, {2, 3, 4, 5}, {0, 5, 2, 3}}), 0.0));
    // The code no longer counts in the range; the raw data are untouched.
    EXPECT_EQ(std::tuple(data.observedMin, data.observedMax, data.categoryCount),
              std::tuple(0, 5, 6));
    EXPECT_EQ(data.rawScores.rows(), 4);

    EXPECT_EQ(data.variableList[3][0], 3.0);  // 0-based numbers
    exclude(1);
    selectVariables(data, true, false);
    ASSERT_EQ(data.analysedVariableCount(), 3);
    EXPECT_EQ(data.fileNumber(0), 1);
    EXPECT_EQ(data.fileNumber(2), 4);
    EXPECT_THAT(data.analysedScores, MatrixNear(fromRows({{1, 3, 4}, {2, 4, 5}, {0, 2, 3}}), 0.0));
    // The imputation data keep every raw row, the incomplete one included.
    EXPECT_THAT(data.imputationScores,
                MatrixNear(fromRows({{1, 3, 4}, {2, 4, 5}, {3, 99, 1}, {0, 2, 3}}), 0.0));
    EXPECT_EQ(data.imputationMask[2][1], 1.0);
    EXPECT_EQ(data.imputationMask.sumOfSquares(), 1.0);
    // Without polychoric correlation the range stays that of the complete cases.
    EXPECT_EQ(data.observedMax, 5);
}

TEST_F(DataPreparationTest, AMissingScoreOfAnExcludedVariableCostsNothing) {
    exclude(2);  // the variable holding the code
    buildCompleteCases(data);
    EXPECT_EQ(data.completeRowNumbers, (std::vector<int>{1, 2, 4, 6}));
    // Nor does the code count in the range of the analysed columns.
    EXPECT_EQ(std::tuple(data.observedMin, data.observedMax), std::tuple(0, 5));
}

TEST_F(DataPreparationTest, PolychoricGivesEveryItemTheRangeOfTheAnalysedData) {
    buildCompleteCases(data);
    exclude(1);  // variables 1 and 3 remain: {1,3}, {2,4}, {0,2}
    exclude(3);
    selectVariables(data, true, true);
    EXPECT_EQ(std::tuple(data.observedMin, data.observedMax, data.categoryCount),
              std::tuple(0, 4, 5));
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(data.variableMaxima[j][0], 4.0);
        EXPECT_EQ(data.variableMinima[j][0], 0.0);
    }
}

TEST_F(DataPreparationTest, UserMatrixAndTargetAreCutToTheIncludedVariables) {
    data.userMatrix =
        fromRows({{11, 12, 13, 14}, {21, 22, 23, 24}, {31, 32, 33, 34}, {41, 42, 43, 44}});
    data.targetMatrix = fromRows({{0, 1}, {0, 2}, {0, 3}, {0, 4}});
    exclude(0);
    exclude(2);
    selectVariables(data, false, false);
    EXPECT_THAT(data.dispersion, MatrixNear(fromRows({{22, 24}, {42, 44}}), 0.0));
    EXPECT_THAT(data.analysedTarget, MatrixNear(fromRows({{0, 2}, {0, 4}}), 0.0));
}

}  // namespace
}  // namespace talvex
