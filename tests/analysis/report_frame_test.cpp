// The date of the header, variable names and the references of the report.
// Expected lines are typed from the report's documented texts; dates were
// checked with GNU date (LC_ALL=C date -d YYYY-MM-DD '+%A, %B %d, %Y').
#include "analysis/report_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "data/dataset.h"
#include "report/report_writer.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;

bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

// --- Header -----------------------------------------------------------------

// One date in every month (each month's offset is used once), leap days and
// century years; checked against a calendar.
TEST(ReportDate, EnglishNamesAndTwoDigitDay) {
    const std::pair<ClockTime, const char*> rows[] = {
        {{2026, 1, 5, 0, 0, 0}, "Monday, January 05, 2026"},
        {{2026, 2, 14, 0, 0, 0}, "Saturday, February 14, 2026"},
        {{2026, 3, 23, 0, 0, 0}, "Monday, March 23, 2026"},
        {{2026, 4, 2, 0, 0, 0}, "Thursday, April 02, 2026"},
        {{2026, 5, 11, 0, 0, 0}, "Monday, May 11, 2026"},
        {{2026, 6, 20, 0, 0, 0}, "Saturday, June 20, 2026"},
        {{2026, 7, 29, 0, 0, 0}, "Wednesday, July 29, 2026"},
        {{2026, 8, 8, 0, 0, 0}, "Saturday, August 08, 2026"},
        {{2026, 9, 17, 0, 0, 0}, "Thursday, September 17, 2026"},
        {{2026, 10, 26, 0, 0, 0}, "Monday, October 26, 2026"},
        {{2026, 11, 19, 0, 0, 0}, "Thursday, November 19, 2026"},
        {{2026, 12, 24, 0, 0, 0}, "Thursday, December 24, 2026"},
        {{2024, 2, 29, 0, 0, 0}, "Thursday, February 29, 2024"},
        {{2000, 1, 1, 0, 0, 0}, "Saturday, January 01, 2000"},
        {{2100, 3, 1, 0, 0, 0}, "Monday, March 01, 2100"},  // 2100 is no leap year
    };
    for (const auto& [time, text] : rows) EXPECT_EQ(formatReportDate(time), text);
}

// Labels name the variables only while they are enabled.
TEST(VariableName, LabelsOnlyWhileEnabled) {
    MatrixScope scope;
    DataSet data;
    data.labels = {"Talks easily"};
    data.includedIndex = testing::fromRows({{1}});
    EXPECT_EQ(variableName(data, 0), "V   1      ");
    data.labelsEnabled = true;
    EXPECT_EQ(variableName(data, 0).substr(0, 13), "Talks easily ");
}

// --- References -------------------------------------------------------------

class ReferencesTest : public ::testing::Test {
   protected:
    AnalysisSettings settings;
    ReferenceContext context;

    void SetUp() override {
        settings.factorCount = 3;
        context.cleverStart = 6;  // Weighted Varimax, Promin's clever start
        context.categoryCount = 5;
    }
    // The "Author (year)" keys of the entries, in order, joined by "; ".
    std::string keys() {
        const std::string t =
            captureReport([&](ReportWriter& r) { writeReferences(r, settings, context); });
        const std::size_t end = t.find("\n\n       \n\n");
        if (t.rfind("References\n\n", 0) != 0 || end == std::string::npos) return "(malformed)";
        std::string joined;
        for (std::size_t at = 12; at < end + 2; at = t.find("\n\n", at) + 2)
            joined += (joined.empty() ? "" : "; ") + t.substr(at, t.find(')', at) + 1 - at);
        return joined;
    }
    bool cites(const std::string& key) { return contains("; " + keys() + "; ", "; " + key + "; "); }
};

// A rotation entry is cited for the method or for its clever start; PCA
// with r <= 1 swaps Mislevy & Bock for Ten Berge & Hofstee; one factor
// cites no rotation entry.
TEST_F(ReferencesTest, RotationEntriesFollowMethodAndCleverStart) {
    const struct {
        ExtractionMethod method;
        int rotation, cleverStart, factors;
        const char* key;
        bool cited;
    } rows[] = {
        {PCA, 1, 3, 2, "Ten Berge & Hofstee (1999)", true},  // Raw Quartimax
        {PCA, 1, 3, 2, "Mislevy & Bock (1990)", false},
        {PCA, 1, 3, 2, "Bentler (1977)", true},
        {ULS, 29, 28, 3, "Dodaz (1994)", true},
        {ULS, 29, 28, 3, "Varnholt (1999)", true},
        {ULS, 28, 6, 3, "Dodaz (1994)", false},
        {ULS, 19, 21, 3, "Varnholt (2000)", true},
        {ULS, 19, 6, 3, "Varnholt (2000)", false},
        {ULS, 2, 27, 3, "Trendafilov (1994)", true},  // a Promaj start is enough
        {ULS, 2, 27, 3, "McDonald (1999)", false},    // orthogonal, several factors
        {ULS, 26, 27, 1, "Trendafilov (1994)", false},
        {ULS, 26, 27, 1, "Bentler (1977)", false},
        {ULS, 26, 27, 1, "Varnholt (2003)", false},
        // The reliability-bound entries follow oblique methods, from 16 on.
        {ULS, 15, 0, 3, "McDonald (1999)", false},
        {ULS, 16, 0, 3, "McDonald (1999)", true},
        {ULS, 15, 0, 3, "Ten Berge, Snijders & Zegers (1981)", false},
        {ULS, 16, 0, 3, "Ten Berge, Snijders & Zegers (1981)", true},
        {ULS, 15, 0, 3, "Ten Berge & Socan (2004)", false},
        {ULS, 16, 0, 3, "Ten Berge & Socan (2004)", true},
        {ULS, 15, 0, 3, "Woodhouse & Jackson (1977)", false},
        {ULS, 16, 0, 3, "Woodhouse & Jackson (1977)", true},
    };
    for (const auto& row : rows) {
        settings.extractionMethod = row.method;
        settings.simplicityRotation = row.rotation;
        context.cleverStart = row.cleverStart;
        settings.factorCount = row.factors;
        EXPECT_EQ(cites(row.key), row.cited)
            << row.key << " for rotation " << row.rotation << ", start " << row.cleverStart << ", "
            << row.factors << " factors";
    }
}

}  // namespace
}  // namespace talvex
