// The score and person-fit sections where the golden reports do not reach
// (bounds of the large-index rule, the texts of imputed data), and the
// scores file saved next to the report.
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

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST_F(ScoresReportTest, OnlyIndicesBeyondTwoPointNineNineAreLargeAndStarred) {
    struct Case {
        double lc;
        bool large;
    };
    for (const Case c : {Case{2.99, false}, Case{-2.99, false}, Case{2.9901, true},
                         Case{-2.9901, true}, Case{0.0, false}}) {
        SCOPED_TRACE(c.lc);
        const Matrix lc = fromRows({{0.5}, {c.lc}});
        const std::string text =
            captureReport([&](ReportWriter& r) { writePersonFit(r, {3, 8}, lc, false, true); });
        EXPECT_EQ(text.find("Cases with large Person-Fit Indices") != std::string::npos, c.large);
        EXPECT_EQ(occurrences(text, "   8**"), c.large ? 1u : 0u);
    }
}

TEST_F(ScoresReportTest, PersonFitWithCovariancesHasNoCitationAndNoNote) {
    const Matrix lc = fromRows({{0.5}, {-1.0}});
    const std::string covariance =
        captureReport([&](ReportWriter& r) { writePersonFit(r, {1, 2}, lc, true, false); });
    const std::string correlation =
        captureReport([&](ReportWriter& r) { writePersonFit(r, {1, 2}, lc, false, false); });
    EXPECT_EQ(covariance.find("Quistedt"), std::string::npos);
    EXPECT_NE(correlation.find("Quistedt (2009) \n\n"), std::string::npos);
    EXPECT_NE(covariance.find("Smallest = -1.0000\n Largest =  0.5000\n"), std::string::npos);
}

TEST_F(ScoresReportTest, ImputedSectionsCarryTheMethodLine) {
    const std::string method =
        "Method to handle missing data: Hot-Deck Multiple Imputation in Exploratory Factor "
        "Analysis (Varnholt & Van Zazuvi, 2015)\n\n";
    const Matrix scores = fromRows({{0.25, -1.5}});
    const std::string ls = captureReport(
        [&](ReportWriter& r) { writeFactorScores(r, {12}, scores, false, true); });
    EXPECT_EQ(ls.rfind("PARTICIPANTS' SCORES ON FACTORS\nTen Berge", 0), 0u);
    EXPECT_NE(ls.find(method + "Case          Factor    \n\n  12          0.250   -1.500  \n"),
              std::string::npos);

    EapScores eap;
    eap.eap = scores;
    eap.posteriorSd = fromRows({{0.3, 0.4}});
    eap.reliability = fromRows({{0.91, 0.84}});
    eap.lower = fromRows({{-0.338, -2.284}});
    eap.upper = fromRows({{0.838, -0.716}});
    eap.computable = {true};
    const std::string text =
        captureReport([&](ReportWriter& r) { writeEapScores(r, {12}, eap, false, true); });
    EXPECT_NE(text.find("Muraki (1990) \n\n" + method), std::string::npos);
    const std::string plain =
        captureReport([&](ReportWriter& r) { writeEapScores(r, {12}, eap, false, false); });
    EXPECT_EQ(plain.find("Hot-Deck"), std::string::npos);
}

TEST_F(ScoresReportTest, FloorWarningNamesEveryItem) {
    const std::string one =
        captureReport([](ReportWriter& r) { writeUniquenessFloorWarning(r, {7}); });
    const std::string three =
        captureReport([](ReportWriter& r) { writeUniquenessFloorWarning(r, {2, 5, 11}); });
    const std::string none =
        captureReport([](ReportWriter& r) { writeUniquenessFloorWarning(r, {}); });
    EXPECT_EQ(one.rfind("WARNING: The unique variance of variable 7 is", 0), 0u);
    EXPECT_EQ(three.rfind("WARNING: The unique variance of variables 2, 5 and 11 is", 0), 0u);
    EXPECT_NE(three.find("0.5%"), std::string::npos);
    EXPECT_TRUE(none.empty());
}

TEST_F(ScoresReportTest, ScoresFileNameSitsNextToTheReport) {
    struct Case {
        const char* report;
        const char* scores;
    };
    for (const Case c : {Case{"output.txt", "output_scores.txt"},
                         Case{"runs/a.b/report.out", "runs/a.b/report_scores.out"},
                         Case{"runs/a.b/report", "runs/a.b/report_scores.txt"},
                         Case{"report", "report_scores.txt"},
                         Case{".hidden", ".hidden_scores.txt"},
                         Case{"dir/.hidden", "dir/.hidden_scores.txt"}}) {
        EXPECT_EQ(scoresFileName(c.report), c.scores) << c.report;
    }
}

TEST_F(ScoresReportTest, ScoresFileHasOneRowPerLineOfTheDataFile) {
    testing::TempDir dir;
    const std::string path = dir.file("out_scores.txt");
    // Lines 2 and 5 of the data file were not analysed; participant on line
    // 4 has no computable EAP.
    const Matrix scores = fromRows({{0.5, -1.25}, {1.0, 2.0}, {-0.125, 0.0}, {3, 4}});
    const Matrix se = fromRows({{0.3, 0.4}, {0.2, 0.1}, {0.5, 0.6}, {0.7, 0.8}});
    ASSERT_TRUE(writeScoresFile(path, {1, 2, 3, 4, 5, 6}, {1, 3, 4, 6}, scores, se,
                                {true, true, false, true}));
    EXPECT_EQ(testing::readWholeFile(path),
              "case\tF1\tF2\tSE1\tSE2\n"
              "1\t0.500000\t-1.250000\t0.300000\t0.400000\n"
              "2\tNA\tNA\tNA\tNA\n"
              "3\t1.000000\t2.000000\t0.200000\t0.100000\n"
              "4\tNA\tNA\tNA\tNA\n"
              "5\tNA\tNA\tNA\tNA\n"
              "6\t3.000000\t4.000000\t0.700000\t0.800000\n");
    ASSERT_TRUE(writeScoresFile(path, {1, 2}, {2}, fromRows({{1.5}}), Matrix(), {}));
    EXPECT_EQ(testing::readWholeFile(path), "case\tF1\n1\tNA\n2\t1.500000\n");
    EXPECT_FALSE(writeScoresFile(dir.file("no/such/dir/x.txt"), {1}, {1}, fromRows({{1.0}}),
                                 Matrix(), {}));
}

}  // namespace
}  // namespace talvex
