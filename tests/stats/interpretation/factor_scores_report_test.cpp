// The bound of the large person-fit rule, which the golden reports do not
// reach, and the scores file saved next to the report.
#include <string>
#include <vector>

#include "stats/interpretation/factor_scores.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::fromRows;

class ScoresReportTest : public testing::PoolTest {};

TEST_F(ScoresReportTest, OnlyIndicesBeyondTwoPointNineNineAreLargeAndStarred) {
    for (const auto& [lc, large] :
         {std::pair{2.99, false}, {-2.99, false}, {2.9901, true}, {-2.9901, true}}) {
        const std::string text = captureReport([&](ReportWriter& r) {
            writePersonFit(r, {3, 8}, fromRows({{0.5}, {lc}}), false, true);
        });
        EXPECT_EQ(text.find("   8**") != std::string::npos, large) << lc;
    }
}

TEST_F(ScoresReportTest, ScoresFileSitsNextToTheReportWithOneRowPerLineOfTheDataFile) {
    EXPECT_EQ(scoresFileName("runs/a.b/report.out"), "runs/a.b/report_scores.out");
    EXPECT_EQ(scoresFileName("runs/a.b/report"), "runs/a.b/report_scores.txt");
    testing::TempDir dir;
    const std::string path = dir.file("out_scores.txt");
    // Lines 2 and 5 of the data file were not analysed; participant on line
    // 4 has no computable EAP.
    ASSERT_TRUE(writeScoresFile(path, {1, 2, 3, 4, 5, 6}, {1, 3, 4, 6},
                                fromRows({{0.5, -1.25}, {1.0, 2.0}, {-0.125, 0.0}, {3, 4}}),
                                fromRows({{0.3, 0.4}, {0.2, 0.1}, {0.5, 0.6}, {0.7, 0.8}}),
                                {true, true, false, true}));
    EXPECT_EQ(testing::readWholeFile(path),
              "case\tF1\tF2\tSE1\tSE2\n"
              "1\t0.500000\t-1.250000\t0.300000\t0.400000\n"
              "2\tNA\tNA\tNA\tNA\n"
              "3\t1.000000\t2.000000\t0.200000\t0.100000\n"
              "4\tNA\tNA\tNA\tNA\n"
              "5\tNA\tNA\tNA\tNA\n"
              "6\t3.000000\t4.000000\t0.700000\t0.800000\n");
}

}  // namespace
}  // namespace talvex
