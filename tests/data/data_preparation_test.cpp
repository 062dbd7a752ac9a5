// Complete cases and the selection of the analysed variables.
#include <gtest/gtest.h>

#include <vector>

#include "core/matrix.h"
#include "data/data_files.h"

namespace talvex {
namespace {

class DataPreparationTest : public ::testing::Test {
protected:
    void SetUp() override {
        before_ = liveCount();
        openScope();
        // Four rows from file lines 1, 2, 4, 6 (3 and 5 were dropped); row 2
        // holds the missing code 99 in variable 3.
        const double scores[4][4] = {{1, 2, 3, 4}, {2, 3, 4, 5}, {3, 4, 99, 1}, {0, 5, 2, 3}};
        data.variableCount = 4;
        data.rawScores = Matrix(4, 4);
        data.missingMask = Matrix(4, 4);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) data.rawScores[i][j] = scores[i][j];
        data.missingMask[2][2] = 1.0;
        data.missingCodeEnabled = true;
        data.missingCode = 99;
        data.rowNumbers = {1, 2, 4, 6};
        data.rowsRead = 4;
        data.participantCount = 4;
        data.variableMaxima = Matrix(4, 1);
        data.variableMinima = Matrix(4, 1);
        includeAllVariables(data);
    }
    void TearDown() override {
        data = DataSet{};
        closeScope();
        EXPECT_EQ(liveCount(), before_);
    }

    void exclude(int zeroBased) { data.variableList[zeroBased][1] = 0.0; }

    DataSet data;

private:
    std::size_t before_ = 0;
};

TEST_F(DataPreparationTest, IncludeAllListsEveryVariable) {
    ASSERT_EQ(data.variableList.rows(), 4);
    ASSERT_EQ(data.variableList.cols(), 2);
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(data.variableList[j][0], j);
        EXPECT_EQ(data.variableList[j][1], 1.0);
    }
}

TEST_F(DataPreparationTest, CompleteCasesLeaveOutRowsWithAMissingValue) {
    buildCompleteCases(data);
    EXPECT_EQ(data.participantCount, 3);
    ASSERT_EQ(data.completeScores.rows(), 3);
    EXPECT_EQ(data.completeRowNumbers, (std::vector<int>{1, 2, 6}));
    EXPECT_EQ(data.completeScores[2][0], 0.0);
    EXPECT_EQ(data.completeScores[2][3], 3.0);
    // The code no longer counts in the range.
    EXPECT_EQ(data.observedMax, 5);
    EXPECT_EQ(data.observedMin, 0);
    EXPECT_EQ(data.categoryCount, 6);
    // The raw data are untouched.
    EXPECT_EQ(data.rawScores.rows(), 4);
}

TEST_F(DataPreparationTest, CompleteCasesNeedScores) {
    DataSet matrixOnly;
    matrixOnly.participantCount = 200;
    buildCompleteCases(matrixOnly);
    EXPECT_EQ(matrixOnly.participantCount, 200);
    EXPECT_FALSE(matrixOnly.completeScores.valid());
}

TEST_F(DataPreparationTest, SelectingRawDataKeepsTheIncludedColumnsInOrder) {
    buildCompleteCases(data);
    exclude(1);
    selectVariables(data, true, false);
    ASSERT_EQ(data.analysedVariableCount(), 3);
    EXPECT_EQ(data.fileNumber(0), 1);
    EXPECT_EQ(data.fileNumber(1), 3);
    EXPECT_EQ(data.fileNumber(2), 4);
    ASSERT_EQ(data.analysedScores.rows(), 3);
    ASSERT_EQ(data.analysedScores.cols(), 3);
    EXPECT_EQ(data.analysedScores[1][0], 2.0);
    EXPECT_EQ(data.analysedScores[1][1], 4.0);
    EXPECT_EQ(data.analysedScores[1][2], 5.0);
    // The imputation data keep every raw row, the incomplete one included.
    ASSERT_EQ(data.imputationScores.rows(), 4);
    EXPECT_EQ(data.imputationScores[2][1], 99.0);
    EXPECT_EQ(data.imputationMask[2][1], 1.0);
    EXPECT_EQ(data.imputationMask.sumOfSquares(), 1.0);
    // Without polychoric correlation the range stays that of the complete cases.
    EXPECT_EQ(data.observedMax, 5);
}

TEST_F(DataPreparationTest, NoImputationDataWithoutAMissingCode) {
    data.missingCodeEnabled = false;
    data.missingMask = Matrix(4, 4);
    buildCompleteCases(data);
    selectVariables(data, true, false);
    EXPECT_FALSE(data.imputationScores.valid());
    EXPECT_EQ(data.analysedScores.rows(), 4);
}

TEST_F(DataPreparationTest, PolychoricGivesEveryItemTheRangeOfTheAnalysedData) {
    buildCompleteCases(data);
    exclude(1);  // the column holding the largest complete score, 5
    selectVariables(data, true, true);
    // Complete rows, variables 1, 3, 4: {1,3,4}, {2,4,5}, {0,2,3}.
    EXPECT_EQ(data.observedMax, 5);
    EXPECT_EQ(data.observedMin, 0);
    exclude(3);
    selectVariables(data, true, true);
    // Variables 1 and 3 only: {1,3}, {2,4}, {0,2}.
    EXPECT_EQ(data.observedMax, 4);
    EXPECT_EQ(data.observedMin, 0);
    EXPECT_EQ(data.categoryCount, 5);
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(data.variableMaxima[j][0], 4.0);
        EXPECT_EQ(data.variableMinima[j][0], 0.0);
    }
}

TEST_F(DataPreparationTest, UserMatrixIsCutToTheIncludedRowsAndColumns) {
    data.userMatrix = Matrix(4, 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) data.userMatrix[i][j] = 10 * (i + 1) + (j + 1);
    exclude(0);
    exclude(2);
    selectVariables(data, false, false);
    ASSERT_EQ(data.dispersion.rows(), 2);
    EXPECT_EQ(data.dispersion[0][0], 22.0);
    EXPECT_EQ(data.dispersion[0][1], 24.0);
    EXPECT_EQ(data.dispersion[1][0], 42.0);
    EXPECT_EQ(data.dispersion[1][1], 44.0);
}

TEST_F(DataPreparationTest, TargetIsCutToTheIncludedRows) {
    data.targetMatrix = Matrix(4, 2);
    for (int i = 0; i < 4; ++i) data.targetMatrix[i][1] = i + 1;
    buildCompleteCases(data);
    exclude(2);
    selectVariables(data, true, false);
    ASSERT_EQ(data.analysedTarget.rows(), 3);
    ASSERT_EQ(data.analysedTarget.cols(), 2);
    EXPECT_EQ(data.analysedTarget[2][1], 4.0);
    EXPECT_EQ(data.analysedTarget[1][1], 2.0);
}

}  // namespace
}  // namespace talvex
