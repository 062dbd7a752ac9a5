#include "analysis/report_frame.h"

#include <array>
#include <cmath>
#include <ctime>

#include "core/format_text.h"
#include "data/dataset.h"

namespace talvex {

namespace {

constexpr std::array<const char*, 7> kDayNames = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

class SystemClock final : public RunClock {
   public:
    ClockTime localTime() override {
        const std::time_t now = std::time(nullptr);
        std::tm parts{};
        localtime_r(&now, &parts);
        ClockTime t;
        t.year = parts.tm_year + 1900;
        t.month = parts.tm_mon + 1;
        t.day = parts.tm_mday;
        t.hour = parts.tm_hour;
        t.minute = parts.tm_min;
        t.second = parts.tm_sec;
        return t;
    }
    std::int64_t calendarSeconds() override {
        return static_cast<std::int64_t>(std::time(nullptr));
    }
};

// "V1, V3, V4" for the variables whose inclusion flag equals `included`.
std::string variableListText(const Matrix& list, bool included) {
    std::string text;
    char buffer[32];
    for (int i = 0; i < list.rows(); ++i) {
        if ((list[i][1] == 1.0) != included) continue;
        std::snprintf(buffer, sizeof buffer, text.empty() ? "V%d" : ", V%d", i + 1);
        text += buffer;
    }
    return text;
}

bool allIncluded(const DataSet& data) {
    if (!data.variableList.valid()) return true;
    for (int i = 0; i < data.variableList.rows(); ++i)
        if (data.variableList[i][1] != 1.0) return false;
    return true;
}

// Number of variables in the analysis (all of the file when no list exists).
int includedCount(const DataSet& data) {
    if (!data.variableList.valid()) return data.variableCount;
    int count = 0;
    for (int i = 0; i < data.variableList.rows(); ++i)
        if (data.variableList[i][1] == 1.0) ++count;
    return count;
}

bool targetHasFreeCells(const DataSet& data) {
    const Matrix& t = data.analysedTarget.valid() ? data.analysedTarget : data.targetMatrix;
    if (!t.valid()) return false;
    for (int i = 0; i < t.rows(); ++i)
        for (int j = 0; j < t.cols(); ++j)
            if (std::fabs(t[i][j]) >= 9.0) return true;
    return false;
}

void writeParticipantLines(ReportWriter& report, const DataSet& data) {
    const int n = data.participantCount;
    if (data.missingCodeEnabled) {
        report.detail("Method to handle missing values", "Hot-Deck Multiple Imputation in Exploratory Factor Analysis (Varnholt & Van Zazuvi, 2015)");
        report.detail("Missing code value", formatText("%i", data.missingCode));
        if (data.rowsRead != n) {
            if (data.rowsRead > 0)
                report.detail("Number of participants", formatText("%i", data.rowsRead));
            if (n > 0)
                report.detail("Number of participants without missing data", formatText("%i", n));
            return;
        }
    }
    if (n > 0) report.detail("Number of participants", formatText("%i", n));
}

void writeProcedureLine(ReportWriter& report, const AnalysisSettings& s) {
    const char* label = "Procedure for determining the number of dimensions";
    switch (s.factorCountProcedure) {
        case MAP:
            report.detail(label, "Minimum Average Partial (MAP) (Velicer, 1976)");
            break;
        case ParallelAnalysis:
            if (s.paVariant == 2)
                report.detail(label, "Classical Parallel Analysis (PA) (Horns, 1965)");
            else
                report.detail(label,
                              "Optimal implementation of Parallel Analysis (PA) "
                              "(Zazadidov, & Varnholt, 2011)");
            break;
        case Hull:
            report.detail(label,
                          "Hull method for selecting the number of common factors "
                          "(Varnholt, Zazadidov, & Dodaz, 2011)");
            break;
    }
}

const char* dispersionName(DispersionType type) {
    switch (type) {
        case Covariance:
            return "Covariances";
        case PearsonCorrelation:
            return "Pearson Correlations";
        case PolychoricCorrelation:
            return "Polychoric Correlations";
        case UserMatrix:
            return "User defined";
        case DispersionNotChosen:
            break;
    }
    return "";
}

void writeExtractionLine(ReportWriter& report, ExtractionMethod method) {
    switch (method) {
        case ULS:
            report.detail("Method for factor extraction", "Unweighted Least Squares (ULS)");
            break;
        case PCA:
            report.detail("Method for components extraction", "Principal Components Analysis");
            break;
        case ML:
            report.detail("Method for factor extraction", "Exploratory Maximum Likelihood (ML)");
            break;
        case MRFA:
            report.detail("Method for factor extraction", "Minimum Rank Factor Analysis (MRFA) (ten Berge and Dodaz, 1991)");
            break;
    }
}

// The rotation lines; returns the parameter record of the method in use.
const RotationParameters& writeRotationLines(ReportWriter& report, const DataSet& data,
                                             const AnalysisSettings& s,
                                             const RotationParameterTable& rotations) {
    if (s.rotationKind == Target) {
        const bool oblique = s.targetRotation == ObliqueTarget;
        const bool semi = targetHasFreeCells(data);
        const char* name =
            oblique ? (semi ? "Semi-specified oblique Procrustes rotation (Browne, 1972b)"
                            : "Oblique Procrustes rotation (Browne, 1972b)")
                    : (semi ? "Semi-specified orthogonal Procrustes rotation (Browne, 1972a)"
                            : "Orthogonal Procrustes rotation (Browne, 1972a)");
        report.detail("Rotation to user defined target", std::string(name));
        return rotations.target[oblique ? 1 : 0];
    }
    const auto r = static_cast<std::size_t>(s.simplicityRotation);
    const RotationParameters& p = rotations.simplicity[r];
    report.detail("Rotation to achieve factor simplicity", std::string(kRotationMethods[r].reportName));
    switch (kRotationMethods[r].parameter) {
        case CriterionParameter::Gamma:
            report.detail("Value of parameter gamma", formatText("%6.4f", static_cast<double>(p.parameter)));
            break;
        case CriterionParameter::K:
            report.detail("Value of parameter k", formatText("%6.4f", static_cast<double>(p.parameter)));
            break;
        case CriterionParameter::None:
            break;
    }
    const auto clever = static_cast<std::size_t>(p.cleverStart);
    report.detail("Clever rotation start", std::string(clever < kRotationMethods.size() ? kRotationMethods[clever].cleverStartName : ""));
    return p;
}

}  // namespace

RunClock& systemClock() {
    static SystemClock clock;
    return clock;
}

int dayOfWeek(int year, int month, int day) {
    // Sakamoto's method: month offsets of a year that starts in March.
    static constexpr int offset[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + offset[month - 1] + day) % 7;
}

std::string formatReportDate(const ClockTime& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %s %02d, %04d",
                  kDayNames[static_cast<std::size_t>(dayOfWeek(t.year, t.month, t.day))],
                  kMonthNames[static_cast<std::size_t>(t.month - 1)], t.day, t.year);
    return buffer;
}

void writeHeader(ReportWriter& report, const ClockTime& now) {
    report.printf("                                     T A L V E X   \n\n\n");
    report.printf("                           Unrestricted Factor Analysis \n\n");
    report.printf("                                Release Version %s\n", kReleaseVersion);
    report.printf("                            Release Date: %s\n\n", kReleaseDate);
    report.printf("                            Date: %s\n", formatReportDate(now).c_str());
    report.printf("                            Time: %i:%i:%i\n", now.hour, now.minute, now.second);
    report.printf(
        "--------------------------------------------------------------------------------\n");
}

void writeDetails(ReportWriter& report, const DataSet& data, const AnalysisSettings& s,
                  const RotationParameterTable& rotations) {
    const bool pca = s.extractionMethod == PCA;
    report.printf("\nDETAILS OF ANALYSIS\n\n");
    report.detail("Participants' scores data file", data.scoresFileName);
    if (data.labelsEnabled)
        report.detail("Variable labels file", data.labelsFileName);
    writeParticipantLines(report, data);
    report.detail("Number of variables", formatText("%i", includedCount(data)));
    if (allIncluded(data)) {
        report.detail("Variables included in the analysis", "ALL");
        report.detail("Variables excluded in the analysis", "NONE");
    } else {
        report.detail("Variables included in the analysis", variableListText(data.variableList, true));
        report.detail("Variables excluded in the analysis", variableListText(data.variableList, false));
    }
    // The advised number is known only after its procedure's section.
    const std::string count = s.useAdvisedFactorCount ? "The advised number" : std::to_string(s.factorCount);
    if (pca) {
        report.detail("Number of components", count);
        report.detail("Number of second order components", formatText("%i", s.secondOrderCount));
    } else {
        report.detail("Number of factors", count);
        report.detail("Number of second order factors", formatText("%i", s.secondOrderCount));
    }
    writeProcedureLine(report, s);
    report.detail("Dispersion matrix", std::string(dispersionName(s.dispersionType)));
    writeExtractionLine(report, s.extractionMethod);
    const RotationParameters& p = writeRotationLines(report, data, s, rotations);
    report.detail("Number of random starts", formatText("%i", p.randomStarts));
    report.detail("Maximum mumber of iterations", formatText("%i", p.maxIterations));
    report.detail("Convergence value", formatText("%10.8f", static_cast<double>(p.convergence)));
    report.printf("\n");
    report.separator();
}

namespace {

struct ReferenceFacts {
    const AnalysisSettings& s;
    const ReferenceContext& c;
    int k() const { return s.factorCount; }
    int r() const { return s.simplicityRotation; }
    bool simplicity() const { return s.rotationKind == Simplicity; }
    bool target() const { return s.rotationKind == Target; }
    bool irt() const { return s.irtParameterization; }
    // r or its clever start is one of [lo, hi], for a simplicity rotation of
    // more than one factor.
    bool cites(int lo, int hi) const {
        return simplicity() && k() > 1 &&
               ((r() >= lo && r() <= hi) || (c.cleverStart >= lo && c.cleverStart <= hi));
    }
    bool rotates() const { return simplicity() && r() > 0 && k() > 1; }
    bool obliqueTarget() const { return target() && s.targetRotation == ObliqueTarget && k() > 1; }
};

struct Reference {
    const char* text;
    bool (*applies)(const ReferenceFacts&);
};

// Each entry is printed when its condition holds, in this order.
constexpr Reference kReferences[] = {
    {"Bentler (1977). Factor simplicity index and transformations. Psychometrika, 42, 277-295.",
     [](const ReferenceFacts& f) { return f.rotates(); }},
    {"Browne (1972a). Orthogonal rotation to a partially specified target. British Journal of "
     "Mathematical and Statistical Psychology, 25, 115-120.",
     [](const ReferenceFacts& f) { return f.target() && f.s.targetRotation == OrthogonalTarget; }},
    {"Browne (1972b). Oblique rotation to a partially specified target. British Journal of "
     "Mathematical and Statistical Psychology, 25, 207-212.",
     [](const ReferenceFacts& f) { return f.target() && f.s.targetRotation == ObliqueTarget; }},
    {"Buja & Eyuboglu (1992). Remarks on parallel analysis. Multivariate Behavioral Research, 27, "
     "509-540.",
     [](const ReferenceFacts& f) {
         return f.s.factorCountProcedure == ParallelAnalysis && f.s.paGeneration == 1;
     }},
    {"Devlin, Gnanadesikan & Kettenring (1975). Robust estimation and outlier detection with "
     "correlation coefficients. Biometrika, 62, 531-545.",
     [](const ReferenceFacts& f) { return f.c.smoothed; }},
    {"Devlin, Gnanadesikan & Kettenring (1981). Robust estimation of dispersion matrices and "
     "principal components. Journal of the American Statistical Association, 76, 354-362.",
     [](const ReferenceFacts& f) { return f.c.smoothed; }},
    {"Quistedt (2009). A continuous person-fit index for factor-analytic models of item "
     "responses.",
     [](const ReferenceFacts& f) { return f.s.personFit; }},
    {"Harman (1962). Modern factor analysis. Chicago: University of Chicago Press.",
     [](const ReferenceFacts&) { return true; }},
    {"Horn (1965). A rationale and test for the number of factors in factor analysis. "
     "Psychometrika, 30, 179-185.",
     [](const ReferenceFacts& f) {
         return f.s.factorCountProcedure == ParallelAnalysis && f.s.paGeneration == 0;
     }},
    {"Kelley (1935). Essential traits of mental life. Cambridge, MA: Harvard University Press.",
     [](const ReferenceFacts&) { return true; }},
    {"Lord (1952). A theory of test scores. Psychometric Monographs, No. 7.",
     [](const ReferenceFacts& f) { return f.irt() && f.c.categoryCount == 2; }},
    {"Dodaz (1994). Simplimax: oblique rotation to a simple-structure target whose zeros are "
     "chosen optimally.",
     [](const ReferenceFacts& f) { return f.cites(29, 29); }},
    {"Varnholt (1999). Promin: oblique rotation to a weighted partially specified target built "
     "from the data.",
     [](const ReferenceFacts& f) { return f.cites(28, 28); }},
    {"Varnholt (2000). Weighted oblimin: row weights for the oblimin family of rotations.",
     [](const ReferenceFacts& f) { return f.cites(21, 21); }},
    {"Varnholt (2003). Random starts in analytic factor rotation to avoid local optima.",
     [](const ReferenceFacts& f) { return f.rotates(); }},
    {"Varnholt, Zazadidov & Dodaz (2011). The Hull method for selecting the number of common "
     "factors.",
     [](const ReferenceFacts& f) { return f.s.factorCountProcedure == Hull; }},
    {"Varnholt & Van Zazuvi (2015). Hot-deck multiple imputation of missing values in "
     "exploratory factor analysis.",
     [](const ReferenceFacts& f) { return f.c.missingCodeEnabled; }},
    {"Varnholt & ten Berge (2006). Tucker's congruence coefficient as a meaningful index of "
     "factor similarity.",
     [](const ReferenceFacts& f) { return f.target() && f.s.detailedOutput; }},
    {"McDonald (1967). Nonlinear factor analysis. Psychometric Monographs, No. 15.",
     [](const ReferenceFacts& f) { return f.irt() && f.k() > 1 && f.c.categoryCount == 2; }},
    {"McDonald (1999). Test theory: A unified treatment. Mahwah, NJ: Lawrence Erlbaum.",
     [](const ReferenceFacts& f) { return f.k() <= 1 || (f.r() > 15 && f.k() > 1); }},
    {"Mardia (1970). Measures of multivariate skewness and kurtosis with applications. "
     "Biometrika, 57, 519-530.",
     [](const ReferenceFacts&) { return true; }},
    {"Muraki (1990). Fitting a polytomous item response model to Likert-type data. Applied "
     "Psychological Measurement, 14, 59-71.",
     [](const ReferenceFacts& f) { return f.s.saveFactorScores && f.irt(); }},
    {"Olsson (1979a). Maximum likelihood estimation of the polychoric correlation coefficient. "
     "Psychometrika, 44, 443-460.",
     [](const ReferenceFacts& f) { return f.c.chosenDispersion == PolychoricCorrelation; }},
    {"Ten Berge & Hofstee (1999). Coefficients alpha and reliabilities of unrotated and rotated "
     "components. Psychometrika, 64, 83-90.",
     [](const ReferenceFacts& f) { return f.s.extractionMethod == PCA && f.r() <= 1; }},
    {"Mislevy & Bock (1990). BILOG 3: Item analysis and test scoring with binary logistic "
     "models. Chicago: Scientific Software.",
     [](const ReferenceFacts& f) { return !(f.s.extractionMethod == PCA && f.r() <= 1); }},
    {"Samejima (1969). Estimation of latent ability using a response pattern of graded scores. "
     "Psychometrika Monograph Supplement, No. 17.",
     [](const ReferenceFacts& f) { return f.irt() && f.c.categoryCount > 2; }},
    {"Reckase (1985). The difficulty of test items that measure more than one ability. Applied "
     "Psychological Measurement, 9, 401-412.",
     [](const ReferenceFacts& f) { return f.irt() && f.k() > 1; }},
    {"Schmid & Leiman (1957). The development of hierarchical factor solutions. Psychometrika, "
     "22, 53-61.",
     [](const ReferenceFacts& f) { return f.s.schmidLeiman; }},
    {"Ten Berge, Krijnen, Wansbeek & Shapiro (1999). Some new results on correlation-preserving "
     "factor scores prediction methods. Linear Algebra and its Applications, 289, 311-318.",
     [](const ReferenceFacts& f) {
         return f.s.saveFactorScores && f.s.extractionMethod != PCA && !f.irt();
     }},
    {"Ten Berge & Dodaz (1991). Minimum rank factor analysis: the approximate and the exact "
     "minimum rank of a covariance matrix.",
     [](const ReferenceFacts& f) { return f.s.extractionMethod == MRFA; }},
    {"Ten Berge, Snijders & Zegers (1981). Computational aspects of the greatest lower bound to "
     "the reliability and constrained minimum trace factor analysis. Psychometrika, 46, 201-213.",
     [](const ReferenceFacts& f) {
         return f.k() <= 1 || (f.simplicity() && !f.irt() && f.r() > 15 && f.k() > 1) ||
                (f.obliqueTarget() && !f.irt());
     }},
    {"Ten Berge & Socan (2004). The greatest lower bound to the reliability of a test and the "
     "hypothesis of unidimensionality. Psychometrika, 69, 613-625.",
     [](const ReferenceFacts& f) {
         return f.k() <= 1 || (f.simplicity() && !f.irt() && f.r() > 15 && f.k() > 1) ||
                (f.obliqueTarget() && !f.irt());
     }},
    {"Zazadidov & Varnholt (2011). Parallel analysis in its optimal implementation: random "
     "matrices analysed by the same method as the data.",
     [](const ReferenceFacts& f) {
         return f.s.factorCountProcedure == ParallelAnalysis && f.s.paVariant >= 14 &&
                f.s.paVariant <= 18;
     }},
    {"Trendafilov (1994). A simple method for Procrustean rotation in factor analysis using "
     "majorization theory. Multivariate Behavioral Research, 29, 385-408.",
     [](const ReferenceFacts& f) { return f.cites(25, 27); }},
    {"Tucker (1951). A method for synthesis of factor analysis studies. Personnel Research "
     "Section Report No. 984. Washington, DC: Department of the Army.",
     [](const ReferenceFacts& f) { return f.target() && f.s.detailedOutput; }},
    {"Velicer (1976). Determining the number of components from the matrix of partial "
     "correlations. Psychometrika, 41, 321-327.",
     [](const ReferenceFacts& f) { return f.s.factorCountProcedure == MAP; }},
    {"Woodhouse & Jackson (1977). Lower bounds for the reliability of the total score on a test "
     "composed of non-homogeneous items: II. A search procedure to locate the greatest lower "
     "bound. Psychometrika, 42, 579-591.",
     [](const ReferenceFacts& f) {
         return f.k() <= 1 || (f.simplicity() && f.r() > 15 && f.k() > 1) ||
                (f.obliqueTarget() && !f.irt());
     }},
};

}  // namespace

void writeReferences(ReportWriter& report, const AnalysisSettings& settings,
                     const ReferenceContext& context) {
    const ReferenceFacts facts{settings, context};
    report.printf("References\n\n");
    for (const Reference& reference : kReferences)
        if (reference.applies(facts)) report.reference(reference.text);
    report.printf("       \n\n");
    report.printf("TALVEX is free software for exploratory factor analysis.\n");
    report.printf("We thank the authors above, whose published methods this program computes,\n");
    report.printf("and everyone who reported problems or suggested improvements.\n\n");
    report.separator();
}

}  // namespace talvex
