// The header, the details block and the references of the report. Expected
// lines are typed from the report's documented texts; dates were checked
// with GNU date (LC_ALL=C date -d YYYY-MM-DD '+%A, %B %d, %Y').
#include "analysis/report_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/run_testing.h"
#include "data/dataset.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using testing::fromRows;
using testing::kDashes;
using testing::PoolTest;

bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// --- Header -----------------------------------------------------------------

TEST(ReportDate, EnglishNamesAndTwoDigitDay) {
    EXPECT_EQ(formatReportDate({2026, 3, 9, 0, 0, 0}), "Monday, March 09, 2026");
    EXPECT_EQ(formatReportDate({2024, 2, 29, 0, 0, 0}), "Thursday, February 29, 2024");
    EXPECT_EQ(formatReportDate({2000, 1, 1, 0, 0, 0}), "Saturday, January 01, 2000");
    EXPECT_EQ(formatReportDate({1999, 12, 31, 0, 0, 0}), "Friday, December 31, 1999");
    // 2100 is not a leap year.
    EXPECT_EQ(formatReportDate({2100, 3, 1, 0, 0, 0}), "Monday, March 01, 2100");
}

TEST(ReportHeader, LinesAndTimeWithoutLeadingZeros) {
    const std::string text = captureReport([](ReportWriter& r) {
        writeHeader(r, ClockTime{2026, 3, 9, 9, 5, 7});
    });
    EXPECT_EQ(text.rfind("                                     T A L V E X   \n\n\n"
                         "                           Unrestricted Factor Analysis \n\n"
                         "                                Release Version 0.1.0\n",
                         0),
              0u);
    EXPECT_TRUE(contains(text,
                         "\n                            Date: Monday, March 09, 2026\n"
                         "                            Time: 9:5:7\n" +
                             kDashes + "\n"));
    // The dashes close the header with one line end.
    EXPECT_EQ(text.substr(text.size() - 81), kDashes + "\n");
}

// --- Details ----------------------------------------------------------------

class DetailsTest : public PoolTest {
   protected:
    DataSet data;
    AnalysisSettings settings;
    RotationParameterTable rotations;

    void SetUp() override {
        PoolTest::SetUp();
        data.scoresFileName = "scores.dat";
        data.variableCount = 6;
        data.participantCount = 100;
        data.rowsRead = 100;
        data.missingCodeEnabled = false;
        data.variableList = Matrix(6, 2);
        for (int i = 0; i < 6; ++i) {
            data.variableList[i][0] = i;
            data.variableList[i][1] = 1.0;
        }
        settings.factorCount = 2;
        settings.paVariant = 15;
    }
    std::string details() {
        return captureReport([&](ReportWriter& r) { writeDetails(r, data, settings, rotations); });
    }
};

TEST_F(DetailsTest, DefaultConfigurationWithTwoVariablesExcluded) {
    data.variableList[1][1] = 0.0;
    data.variableList[4][1] = 0.0;
    const std::string expected =
        "\nDETAILS OF ANALYSIS\n\n"
        "Participants' scores data file                       : scores.dat\n"
        "Number of participants                               : 100\n"
        "Number of variables                                  : 6\n"
        "Variables included in the analysis                   : V1, V3, V4, V6\n"
        "Variables excluded in the analysis                   : V2, V5\n"
        "Number of factors                                    : 2\n"
        "Number of second order factors                       : 0\n"
        "Procedure for determining the number of dimensions   : Optimal implementation of "
        "Parallel Analysis (PA) (Zazadidov, & Varnholt, 2011)\n"
        "Dispersion matrix                                    : Pearson Correlations\n"
        "Method for factor extraction                         : Unweighted Least Squares (ULS)\n"
        "Rotation to achieve factor simplicity                : Promin (Varnholt, 1999)\n"
        "Clever rotation start                                : Weighted Varimax\n"
        "Number of random starts                              : 10\n"
        "Maximum mumber of iterations                         : 100\n"
        "Convergence value                                    : 0.00001000\n\n" +
        kDashes + "\n\n";
    EXPECT_EQ(details(), expected);
}

TEST_F(DetailsTest, AllIncludedAndEveryLabelPaddedTo53) {
    const std::string text = details();
    EXPECT_TRUE(contains(text,
                         "Variables included in the analysis                   : ALL\n"
                         "Variables excluded in the analysis                   : NONE\n"));
    for (const std::string& line : linesOf(text)) {
        if (line.find(" : ") == std::string::npos) continue;
        EXPECT_EQ(line.find(": "), 53u) << line;
    }
}

TEST_F(DetailsTest, LabelsAndMissingData) {
    data.labelsEnabled = true;
    data.labelsFileName = "labels.txt";
    data.missingCodeEnabled = true;
    data.missingCode = 999;
    data.participantCount = 97;
    EXPECT_TRUE(contains(details(),
                         "Participants' scores data file                       : scores.dat\n"
                         "Variable labels file                                 : labels.txt\n"
                         "Method to handle missing values                      : Hot-Deck Multiple "
                         "Imputation in Exploratory Factor Analysis (Varnholt & Van Zazuvi, 2015)\n"
                         "Missing code value                                   : 999\n"
                         "Number of participants                               : 100\n"
                         "Number of participants without missing data          : 97\n"
                         "Number of variables                                  : 6\n"));

    // Nothing missing: one count.
    data.participantCount = 100;
    const std::string complete = details();
    EXPECT_TRUE(contains(complete,
                         "Missing code value                                   : 999\n"
                         "Number of participants                               : 100\n"
                         "Number of variables"));
    EXPECT_FALSE(contains(complete, "without missing data"));
}

TEST_F(DetailsTest, ComponentWording) {
    settings.extractionMethod = PCA;
    settings.simplicityRotation = 0;
    settings.factorCountProcedure = MAP;
    const std::string text = details();
    EXPECT_TRUE(contains(text,
                         "Number of components                                 : 2\n"
                         "Number of second order components                    : 0\n"
                         "Procedure for determining the number of dimensions   : Minimum Average "
                         "Partial (MAP) (Velicer, 1976)\n"));
    EXPECT_TRUE(contains(text,
                         "Method for components extraction                     : Principal "
                         "Components Analysis\n"));
    EXPECT_TRUE(
        contains(text,
                 "Rotation to achieve factor simplicity                : No Rotation\n"
                 "Clever rotation start                                : No clever start\n"));
    EXPECT_FALSE(contains(text, "factors"));
}

TEST_F(DetailsTest, ProceduresAndExtractions) {
    settings.paVariant = 2;
    settings.extractionMethod = MRFA;
    settings.dispersionType = PolychoricCorrelation;
    std::string text = details();
    EXPECT_TRUE(contains(text, ": Classical Parallel Analysis (PA) (Horns, 1965)\n"));
    EXPECT_TRUE(
        contains(text, ": Minimum Rank Factor Analysis (MRFA) (ten Berge and Dodaz, 1991)\n"));
    EXPECT_TRUE(contains(text, ": Polychoric Correlations\n"));

    settings.factorCountProcedure = Hull;
    settings.extractionMethod = ML;
    settings.dispersionType = Covariance;
    text = details();
    EXPECT_TRUE(contains(text,
                         ": Hull method for selecting the number of common factors (Varnholt, "
                         "Zazadidov, & Dodaz, 2011)\n"));
    EXPECT_TRUE(contains(text,
                         "Method for factor extraction                         : Exploratory "
                         "Maximum Likelihood (ML)\n"));
    EXPECT_TRUE(contains(text, ": Covariances\n"));
}

TEST_F(DetailsTest, CriterionParameters) {
    settings.simplicityRotation = 10;  // Raw Orthomax
    rotations.simplicity[10].parameter = 0.5f;
    std::string text = details();
    EXPECT_TRUE(
        contains(text,
                 "Rotation to achieve factor simplicity                : Raw Orthomax\n"
                 "Value of parameter gamma                             : 0.5000\n"
                 "Clever rotation start                                : Weighted Orthomax\n"));

    settings.simplicityRotation = 22;  // Promax, k = 4 initially
    text = details();
    EXPECT_TRUE(contains(text,
                         "Rotation to achieve factor simplicity                : Promax\n"
                         "Value of parameter k                                 : 4.0000\n"
                         "Clever rotation start                                : Raw Varimax\n"));
}

TEST_F(DetailsTest, TargetRotationUsesTheTargetRecord) {
    settings.rotationKind = Target;
    settings.targetRotation = ObliqueTarget;
    rotations.target[1].randomStarts = 25;
    data.analysedTarget = fromRows({{9, 0}, {0.5, 9}, {0, -9}});
    std::string text = details();
    EXPECT_TRUE(contains(text,
                         "Rotation to user defined target                      : Semi-specified "
                         "oblique Procrustes rotation (Browne, 1972b)\n"
                         "Number of random starts                              : 25\n"
                         "Maximum mumber of iterations                         : 100\n"
                         "Convergence value                                    : 0.00000001\n\n"));
    EXPECT_FALSE(contains(text, "Clever rotation start"));

    // Every cell specified; a value of 8.9 is still specified.
    data.analysedTarget = fromRows({{0.7, 0}, {8.9, 0.6}, {0, 0.5}});
    settings.targetRotation = OrthogonalTarget;
    text = details();
    EXPECT_TRUE(contains(text, ": Orthogonal Procrustes rotation (Browne, 1972a)\n"));
}

// --- References -------------------------------------------------------------

// The "Author (year)" keys of the entries, in order.
std::vector<std::string> citedKeys(const std::string& text) {
    std::vector<std::string> keys;
    const std::size_t begin = text.find("References\n\n");
    const std::size_t end = text.find("\n\n       \n\n");
    if (begin != 0 || end == std::string::npos) return {"(malformed section)"};
    std::size_t at = begin + 12;
    while (at < end + 2) {
        const std::size_t next = text.find("\n\n", at);
        const std::string entry = text.substr(at, next - at);
        keys.push_back(entry.substr(0, entry.find(')') + 1));
        at = next + 2;
    }
    return keys;
}

class ReferencesTest : public ::testing::Test {
   protected:
    AnalysisSettings settings;
    ReferenceContext context;

    void SetUp() override {
        settings.factorCount = 3;
        context.cleverStart = 6;  // Weighted Varimax, Promin's clever start
        context.categoryCount = 5;
    }
    std::string text() {
        return captureReport([&](ReportWriter& r) { writeReferences(r, settings, context); });
    }
    std::vector<std::string> keys() { return citedKeys(text()); }
    bool cites(const std::string& key) {
        const std::vector<std::string> k = keys();
        return std::find(k.begin(), k.end(), key) != k.end();
    }
};

TEST_F(ReferencesTest, ProminWithWeightedVarimaxStart) {
    const std::vector<std::string> expected = {"Bentler (1977)",
                                               "Buja & Eyuboglu (1992)",
                                               "Harman (1962)",
                                               "Kelley (1935)",
                                               "Varnholt (1999)",
                                               "Varnholt (2003)",
                                               "McDonald (1999)",
                                               "Mardia (1970)",
                                               "Mislevy & Bock (1990)",
                                               "Ten Berge, Snijders & Zegers (1981)",
                                               "Ten Berge & Socan (2004)",
                                               "Zazadidov & Varnholt (2011)",
                                               "Woodhouse & Jackson (1977)"};
    const std::string t = text();
    EXPECT_EQ(citedKeys(t), expected);
    EXPECT_TRUE(contains(t, "\n\n       \n\n"));
    EXPECT_EQ(t.substr(t.size() - 82), kDashes + "\n\n");
}

TEST_F(ReferencesTest, PcaWithoutRotationMissingDataAndSmoothing) {
    settings.extractionMethod = PCA;
    settings.simplicityRotation = 0;
    settings.factorCount = 2;
    settings.factorCountProcedure = MAP;
    context.cleverStart = 0;
    context.missingCodeEnabled = true;
    context.smoothed = true;
    const std::vector<std::string> expected = {"Devlin, Gnanadesikan & Kettenring (1975)",
                                               "Devlin, Gnanadesikan & Kettenring (1981)",
                                               "Harman (1962)",
                                               "Kelley (1935)",
                                               "Varnholt & Van Zazuvi (2015)",
                                               "Mardia (1970)",
                                               "Ten Berge & Hofstee (1999)",
                                               "Velicer (1976)"};
    EXPECT_EQ(keys(), expected);
}

TEST_F(ReferencesTest, PcaWithRawQuartimaxStillCitesHofstee) {
    settings.extractionMethod = PCA;
    settings.simplicityRotation = 1;
    settings.factorCount = 2;
    context.cleverStart = 3;
    EXPECT_TRUE(cites("Ten Berge & Hofstee (1999)"));
    EXPECT_FALSE(cites("Mislevy & Bock (1990)"));
    EXPECT_TRUE(cites("Bentler (1977)"));

    // Raw Varimax (4) is no longer "r <= 1": the other entry of the pair.
    settings.simplicityRotation = 4;
    EXPECT_FALSE(cites("Ten Berge & Hofstee (1999)"));
    EXPECT_TRUE(cites("Mislevy & Bock (1990)"));
}

TEST_F(ReferencesTest, ObliqueTargetWithIrtAndEveryOption) {
    settings.rotationKind = Target;
    settings.targetRotation = ObliqueTarget;
    settings.irtParameterization = true;
    settings.saveFactorScores = true;
    settings.personFit = true;
    settings.schmidLeiman = true;
    settings.factorCountProcedure = Hull;
    settings.extractionMethod = MRFA;
    context.chosenDispersion = PolychoricCorrelation;
    context.categoryCount = 2;
    // simplicityRotation keeps Promin (28): McDonald (1999) follows r alone.
    const std::vector<std::string> expected = {"Browne (1972b)",
                                               "Quistedt (2009)",
                                               "Harman (1962)",
                                               "Kelley (1935)",
                                               "Lord (1952)",
                                               "Varnholt, Zazadidov & Dodaz (2011)",
                                               "Varnholt & ten Berge (2006)",
                                               "McDonald (1967)",
                                               "McDonald (1999)",
                                               "Mardia (1970)",
                                               "Muraki (1990)",
                                               "Olsson (1979a)",
                                               "Mislevy & Bock (1990)",
                                               "Reckase (1985)",
                                               "Schmid & Leiman (1957)",
                                               "Ten Berge & Dodaz (1991)",
                                               "Tucker (1951)"};
    EXPECT_EQ(keys(), expected);

    context.categoryCount = 5;
    EXPECT_TRUE(cites("Samejima (1969)"));
    EXPECT_FALSE(cites("Lord (1952)"));
}

TEST_F(ReferencesTest, ObliqueTargetWithoutIrtCitesReliabilityBounds) {
    settings.rotationKind = Target;
    settings.targetRotation = ObliqueTarget;
    settings.simplicityRotation = 6;
    settings.detailedOutput = false;
    settings.saveFactorScores = true;
    const std::vector<std::string> expected = {"Browne (1972b)",
                                               "Buja & Eyuboglu (1992)",
                                               "Harman (1962)",
                                               "Kelley (1935)",
                                               "Mardia (1970)",
                                               "Mislevy & Bock (1990)",
                                               "Ten Berge, Krijnen, Wansbeek & Shapiro (1999)",
                                               "Ten Berge, Snijders & Zegers (1981)",
                                               "Ten Berge & Socan (2004)",
                                               "Zazadidov & Varnholt (2011)",
                                               "Woodhouse & Jackson (1977)"};
    EXPECT_EQ(keys(), expected);

    settings.targetRotation = OrthogonalTarget;
    const std::vector<std::string> orthogonal = {"Browne (1972a)",
                                                 "Buja & Eyuboglu (1992)",
                                                 "Harman (1962)",
                                                 "Kelley (1935)",
                                                 "Mardia (1970)",
                                                 "Mislevy & Bock (1990)",
                                                 "Ten Berge, Krijnen, Wansbeek & Shapiro (1999)",
                                                 "Zazadidov & Varnholt (2011)"};
    EXPECT_EQ(keys(), orthogonal);
}

TEST_F(ReferencesTest, OneFactorClassicalParallelAnalysis) {
    settings.factorCount = 1;
    settings.paVariant = 2;
    settings.paGeneration = 0;
    const std::vector<std::string> expected = {"Harman (1962)",
                                               "Horn (1965)",
                                               "Kelley (1935)",
                                               "McDonald (1999)",
                                               "Mardia (1970)",
                                               "Mislevy & Bock (1990)",
                                               "Ten Berge, Snijders & Zegers (1981)",
                                               "Ten Berge & Socan (2004)",
                                               "Woodhouse & Jackson (1977)"};
    EXPECT_EQ(keys(), expected);
}

TEST_F(ReferencesTest, MethodOrCleverStartCitesItsAuthor) {
    settings.simplicityRotation = 29;
    context.cleverStart = 28;
    EXPECT_TRUE(cites("Dodaz (1994)"));
    EXPECT_TRUE(cites("Varnholt (1999)"));

    settings.simplicityRotation = 28;
    context.cleverStart = 6;
    EXPECT_FALSE(cites("Dodaz (1994)"));

    settings.simplicityRotation = 19;
    context.cleverStart = 21;
    EXPECT_TRUE(cites("Varnholt (2000)"));
    context.cleverStart = 6;
    EXPECT_FALSE(cites("Varnholt (2000)"));

    settings.simplicityRotation = 2;
    context.cleverStart = 27;  // a Promaj start is enough
    EXPECT_TRUE(cites("Trendafilov (1994)"));
    EXPECT_FALSE(cites("McDonald (1999)"));  // orthogonal, several factors

    // One factor: no rotation entries at all.
    settings.simplicityRotation = 26;
    settings.factorCount = 1;
    EXPECT_FALSE(cites("Trendafilov (1994)"));
    EXPECT_FALSE(cites("Bentler (1977)"));
    EXPECT_FALSE(cites("Varnholt (2003)"));
}

}  // namespace
}  // namespace talvex
