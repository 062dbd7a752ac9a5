#include "app/configuration_dialog.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "app/hull_dialog.h"
#include "app/numeric_edits.h"
#include "app/parallel_analysis_dialog.h"
#include "app/rotation_dialog.h"
#include "app/window_system.h"
#include "core/format_text.h"
#include "data/data_files.h"
#include "stats/bootstrap/bootstrap.h"
#include "stats/interpretation/factor_scores.h"
#include "results/plot_files.h"

namespace talvex {

namespace {

constexpr const char* kNoFactors =
    "As the number of Factors/Components was not specified, factor/components will not be "
    "computed!";
constexpr const char* kThresholdRange =
    "Please enter a number between 0 and 1 for the loadings left blank in the publication table.";
constexpr const char* kHighestAdjusted = "The highest possible items score is adjusted to the data.";
constexpr const char* kLowestAdjusted = "The lowest possible items score is adjusted to the data.";
// Polychoric correlations of scores that are not ordered categories: the
// variable's number and the score; the lowest and highest score and the
// number of categories they span.
constexpr const char* kScoresNotWhole =
    "Polychoric correlations treat the item scores as ordered categories, but variable %i has "
    "the score %g, which is not a whole number.\n\nPlease choose the Pearson correlation matrix "
    "for these data.";
constexpr const char* kTooManyCategories =
    "Polychoric correlations treat the item scores as ordered categories, but the scores range "
    "from %i to %i, which makes %i categories (at most %i can be estimated).\n\nPlease choose "
    "the Pearson correlation matrix for these data.";
constexpr int kMostCategories = 10;

constexpr int kFirstOblique = 16;

}  // namespace

ConfigurationDialog::ConfigurationDialog(const AnalysisSettings& settings, const DataSet& data,
                                         RotationParameterTable& rotations)
    : DialogModel("Configuration"),
      settings_(settings),
      accepted_(settings),
      rotations_(rotations),
      participantCount_(data.participantCount),
      observedMin_(data.observedMin),
      observedMax_(data.observedMax),
      targetColumns_(data.targetEnabled && data.targetMatrix.valid() ? data.targetMatrix.cols()
                                                                     : 0),
      data_(data) {
    if (settings_.dispersionType == DispersionNotChosen)
        settings_.dispersionType = PearsonCorrelation;
    if (data.variableList.valid()) {
        for (int i = 0; i < data.variableList.rows(); ++i)
            included_.push_back(data.variableList[i][1] != 0.0);
    } else {
        included_.assign(static_cast<std::size_t>(std::max(data.variableCount, 0)), true);
    }

    const AnalysisSettings& s = settings_;
    add(listControl("included", "Included:"));
    add(listControl("excluded", "Excluded:"));
    showVariableLists();

    Control dispersion = choiceControl("dispersionType", "Matrix analyzed",
                                       {{Covariance, "covariance", "Covariance matrix"},
                                        {PearsonCorrelation, "pearson", "Pearson correlation matrix"},
                                        {PolychoricCorrelation, "polychoric",
                                         "Polychoric (tetrachoric) correlation"},
                                        {UserMatrix, "user", "Variance/covariance matrix"}},
                                       s.dispersionType);
    // A user matrix is a state of the data, never a choice of the user.
    dispersion.options.back().visible = false;
    add(std::move(dispersion));
    add(editControl("lowestScore", "Lowest possible items score:", std::to_string(s.lowestScore)));
    add(editControl("highestScore", "Highest possible items score:",
                    std::to_string(s.highestScore)));

    add(choiceControl("factorCountProcedure",
                      "Procedure for determining the number of factors/components",
                      {{MAP, "MAP", "Minimum Average Partial (MAP)"},
                       {ParallelAnalysis, "PA", "Parallel Analysis (PA)"},
                       {Hull, "Hull", "Hull method"}},
                      s.factorCountProcedure));

    add(editControl("factorCount", "Number of factors / components:", std::to_string(s.factorCount)));
    add(checkControl("useAdvisedFactorCount", "Use the advised number of factors",
                     s.useAdvisedFactorCount));
    add(choiceControl("extractionMethod", "Factors && Components",
                      {{ULS, "ULS", "Unweighted Least Squares (ULS)"},
                       {ML, "ML", "Exploratory Maximum Likelihood (ML)"},
                       {MRFA, "MRFA", "Minimum Rank Factor Analysis (MRFA)"},
                       {PCA, "PCA", "Principal Component Analysis (PCA)"}},
                      s.extractionMethod));
    add(checkControl("irtParameterization", "Display IRT parameterization", s.irtParameterization));
    add(checkControl("saveFactorScores", "Save factor scores", s.saveFactorScores));
    add(checkControl("personFit", "Compute continuous person-fit index", s.personFit));
    add(checkControl("glbOmega", "Compute glb and Omega", s.glbOmega));
    add(editControl("secondOrderCount",
                    "Number of second-order factors/components for Schmid-Leiman solution: ",
                    std::to_string(s.secondOrderCount)));

    add(choiceControl("rotationKind", "Rotation",
                      {{Simplicity, "simplicity", "Rotation to maximize factor simplicity:"},
                       {Target, "target", "Rotation to user provided target matrix:"}},
                      s.rotationKind));
    std::vector<ControlOption> methods;
    for (int i = 0; i < kRotationMethodCount; ++i) {
        const char* name = kRotationMethods[static_cast<std::size_t>(i)].name;
        methods.push_back({i, name, name});
    }
    add(choiceControl("simplicityRotation", "Rotation to maximize factor simplicity:",
                      std::move(methods), s.simplicityRotation));
    add(choiceControl("targetRotation", "Rotation to user provided target matrix:",
                      {{OrthogonalTarget, "orthogonal", kTargetRotationNames[0]},
                       {ObliqueTarget, "oblique", kTargetRotationNames[1]}},
                      s.targetRotation));

    add(checkControl("detailedOutput", "Detailed output", s.detailedOutput));
    add(editControl("outputFileName", "File name:", s.outputFileName));
    add(editControl("jsonFileName", "JSON results file:", s.jsonFileName));
    add(editControl("plotFolder", "Plot folder:", s.plotFolder));
    add(editControl("htmlFileName", "HTML page:", s.htmlFileName));
    add(editControl("paperThreshold", "Publication table: blank loadings below",
                    formatNumberEdit(s.paperThreshold)));
    add(editControl("csvFolder", "CSV tables folder:", s.csvFolder));
    add(choiceControl("reportEncoding", "Report encoding:",
                      {{0, "windows-1252", "Windows-1252"}, {1, "utf-8", "UTF-8"}}, s.reportUtf8 ? 1 : 0));
    add(editControl("bootstrapSamples", "Bootstrap resamples (0: none; on: 500):",
                    std::to_string(s.bootstrapSamples)));
    add(editControl("bootstrapLevel", "Confidence level of the bootstrap intervals (%):",
                    std::to_string(s.bootstrapLevel)));

    struct Group {
        const char* caption;
        std::vector<const char*> keys;
    };
    const Group groups[] = {
        {"Variables in the analysis", {"included", "excluded"}},
        {" Matrix analyzed ", {"dispersionType", "lowestScore", "highestScore"}},
        {"Procedure for determining the number of factors/components", {"factorCountProcedure"}},
        {" Factors && Components ",
         {"factorCount", "useAdvisedFactorCount", "extractionMethod", "irtParameterization", "saveFactorScores",
          "personFit", "glbOmega", "secondOrderCount"}},
        {" Rotation", {"rotationKind", "simplicityRotation", "targetRotation"}},
        {" Output ", {"detailedOutput", "outputFileName", "jsonFileName", "plotFolder", "htmlFileName",
                      "paperThreshold", "csvFolder", "reportEncoding"}},
        {" Bootstrap ", {"bootstrapSamples", "bootstrapLevel"}},
    };
    for (const Group& g : groups)
        for (const char* key : g.keys) control(key).group = g.caption;
    for (const char* key : {"dispersionType", "factorCountProcedure", "extractionMethod",
                            "rotationKind", "simplicityRotation", "targetRotation"})
        control(key).labelled = false;
    control("simplicityRotation").dropDown = true;
    control("targetRotation").dropDown = true;
    control("reportEncoding").dropDown = true;
    control("included").multiSelect = true;
    control("excluded").multiSelect = true;

    applyRules();
}

std::vector<DialogButton> ConfigurationDialog::widgetButtons() const {
    std::vector<DialogButton> all = buttons();
    std::vector<DialogButton> shown;
    for (DialogButton& b : all) {
        if (b.name == "exclude" || b.name == "include") continue;  // the move button
        if (b.name == "configureParallelAnalysis") {
            b.caption = "Configure";
            b.beside = "factorCountProcedure";
            b.besideOption = ParallelAnalysis;
        } else if (b.name == "configureHull") {
            b.caption = "Configure";
            b.beside = "factorCountProcedure";
            b.besideOption = Hull;
        } else {
            b.caption = "Configure rotation";
            b.beside = "targetRotation";
        }
        shown.push_back(std::move(b));
    }
    return shown;
}

std::optional<ListMove> ConfigurationDialog::listMove(const std::string& focusedList) const {
    if (focusedList == "excluded") return ListMove{"include", "<"};
    return ListMove{"exclude", ">"};
}

int ConfigurationDialog::includedCount() const {
    int n = 0;
    for (bool in : included_) n += in ? 1 : 0;
    return n;
}

void ConfigurationDialog::showVariableLists() {
    Control& in = control("included");
    Control& out = control("excluded");
    in.options.clear();
    out.options.clear();
    for (std::size_t i = 0; i < included_.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const std::string name = "V" + std::to_string(number);
        (included_[i] ? in : out).options.push_back({number, name, name});
    }
}

int ConfigurationDialog::typedFactorCount() const { return leadingInteger(find("factorCount")->value); }

// The advice is not known before the run: every control that needs factors
// is offered as for several, and the run checks the advised number.
int ConfigurationDialog::factorsForRules() const {
    return checked("useAdvisedFactorCount") ? kAdvisedForRules : typedFactorCount();
}

bool ConfigurationDialog::parallelAnalysisButtonEnabled() const {
    return choice("factorCountProcedure") == ParallelAnalysis;
}
bool ConfigurationDialog::hullButtonEnabled() const { return choice("factorCountProcedure") == Hull; }
bool ConfigurationDialog::rotationButtonEnabled() const { return factorsForRules() >= 2; }

// The rules are idempotent, so they are simply applied in full after every
// change rather than per control.
void ConfigurationDialog::applyRules() {
    const int dispersion = choice("dispersionType");
    const bool userMatrix = dispersion == UserMatrix;
    const bool polychoric = dispersion == PolychoricCorrelation;
    const bool advised = checked("useAdvisedFactorCount");
    const int factors = factorsForRules();

    setEnabled("factorCount", !advised);
    setEnabled("dispersionType", !userMatrix);
    setEnabled("lowestScore", polychoric);
    setEnabled("highestScore", polychoric);

    // ML is not offered for polychoric correlations.
    setOptionEnabled("extractionMethod", ML, !polychoric);
    if (polychoric && choice("extractionMethod") == ML) setChoice("extractionMethod", ULS);
    setEnabled("extractionMethod", factors >= 1);

    // The Hull method needs common factors; PCA falls back to classical PA.
    const bool pca = choice("extractionMethod") == PCA;
    if (pca && choice("factorCountProcedure") == Hull) {
        setChoice("factorCountProcedure", ParallelAnalysis);
        settings_.paImplementation = 1;
        settings_.paRandomMatrices = 500;
        settings_.paGeneration = 0;
    }
    // Without a sample neither permutation nor any procedure but MAP works.
    if (userMatrix) settings_.paGeneration = 0;
    const bool onlyMap = userMatrix && participantCount_ == 0;
    if (onlyMap) setChoice("factorCountProcedure", MAP);
    setOptionEnabled("factorCountProcedure", ParallelAnalysis, !onlyMap);
    setOptionEnabled("factorCountProcedure", Hull, !onlyMap && !pca);

    if (userMatrix) {
        setChecked("saveFactorScores", false);
        setChecked("personFit", false);
    }
    setEnabled("irtParameterization", polychoric && factors >= 1);
    setEnabled("saveFactorScores", !userMatrix && factors >= 1);
    setEnabled("personFit", !userMatrix && factors >= 1);

    // With the advice, the run checks that it equals the target's columns.
    const bool targetAvailable = targetColumns_ > 0 && (advised || targetColumns_ == factors);
    setOptionEnabled("rotationKind", Target, targetAvailable);
    if (!targetAvailable) setChoice("rotationKind", Simplicity);
    const bool rotate = factors >= 2;
    setEnabled("rotationKind", rotate);
    setEnabled("simplicityRotation", rotate);
    setEnabled("targetRotation", rotate && targetAvailable);

    const int kind = choice("rotationKind");
    const bool secondOrder =
        rotate && ((kind == Simplicity && choice("simplicityRotation") >= kFirstOblique) ||
                   (kind == Target && choice("targetRotation") == ObliqueTarget));
    setEnabled("secondOrderCount", secondOrder);
}

void ConfigurationDialog::onChanged(const std::string&) { applyRules(); }

std::vector<DialogButton> ConfigurationDialog::buttons() const {
    return {
        {"exclude", "exclude N...: move variables N (1-based) to the Excluded list", true},
        {"include", "include N...: move variables N (1-based) to the Included list", true},
        {"configureParallelAnalysis", "configureParallelAnalysis: options of parallel analysis",
         parallelAnalysisButtonEnabled()},
        {"configureHull", "configureHull: goodness-of-fit index of the Hull method",
         hullButtonEnabled()},
        {"configureRotation", "configureRotation: parameters of the chosen rotation method",
         rotationButtonEnabled()},
    };
}

bool ConfigurationDialog::moveVariables(const std::vector<std::string>& args, bool toIncluded) {
    if (args.empty()) return false;
    std::vector<std::size_t> moves;
    for (const std::string& arg : args) {
        const auto number = parseIntegerEdit(arg);
        if (!number || *number < 1 || *number > static_cast<int>(included_.size())) return false;
        const auto i = static_cast<std::size_t>(*number - 1);
        if (included_[i] == toIncluded) return false;  // not in the list it would leave
        moves.push_back(i);
    }
    for (std::size_t i : moves) included_[i] = toIncluded;
    showVariableLists();
    return true;
}

bool ConfigurationDialog::press(const std::string& button, const std::vector<std::string>& args,
                                WindowSystem& ws) {
    if (button == "exclude") return moveVariables(args, false);
    if (button == "include") return moveVariables(args, true);
    if (!args.empty()) return false;

    AnalysisSettings current = settings_;
    current.dispersionType = static_cast<DispersionType>(choice("dispersionType"));
    if (button == "configureParallelAnalysis") {
        if (!parallelAnalysisButtonEnabled()) return false;
        ParallelAnalysisDialog dialog(current);
        if (ws.runDialog(dialog)) dialog.commit(settings_);
        return true;
    }
    if (button == "configureHull") {
        if (!hullButtonEnabled()) return false;
        HullDialog dialog(current);
        if (ws.runDialog(dialog)) dialog.commit(settings_);
        return true;
    }
    if (button == "configureRotation") {
        if (!rotationButtonEnabled()) return false;
        const bool target = choice("rotationKind") == Target;
        const int method = target ? choice("targetRotation") : choice("simplicityRotation");
        RotationParameters& record = target ? rotations_.target[static_cast<std::size_t>(method)]
                                            : rotations_.simplicity[static_cast<std::size_t>(method)];
        RotationDialog dialog(record, settings_.salientThreshold, method, target);
        if (ws.runDialog(dialog)) dialog.commit(record, settings_.salientThreshold);
        return true;
    }
    return false;
}

// Scores of the included variables (complete cases once they are built)
// that polychoric correlation cannot take: one that is not a whole number,
// or a range of more than kMostCategories categories.
std::optional<std::string> ConfigurationDialog::polychoricScoresProblem() const {
    const Matrix& scores = data_.completeScores.valid() ? data_.completeScores : data_.rawScores;
    if (!scores.valid()) return std::nullopt;
    double lowest = 0.0, highest = 0.0;
    bool any = false;
    for (int j = 0; j < scores.cols() && j < static_cast<int>(included_.size()); ++j) {
        if (!included_[static_cast<std::size_t>(j)]) continue;
        for (int i = 0; i < scores.rows(); ++i) {
            const double v = scores[i][j];
            if (v != std::floor(v)) return formatText(kScoresNotWhole, j + 1, v);
            lowest = any ? std::min(lowest, v) : v;
            highest = any ? std::max(highest, v) : v;
            any = true;
        }
    }
    if (!any || highest - lowest + 1.0 <= kMostCategories) return std::nullopt;
    return formatText(kTooManyCategories, static_cast<int>(lowest), static_cast<int>(highest),
                      static_cast<int>(highest - lowest + 1.0), kMostCategories);
}

// The page, its threshold, the CSV folder and the report's encoding.
bool ConfigurationDialog::acceptResultOutputs(Messenger& messenger, AnalysisSettings& s,
                                              const std::string& scores) {
    auto named = [this](const char* key) {
        const std::string& value = find(key)->value;
        return value.find_first_not_of(" \t") == std::string::npos ? std::string() : value;
    };
    s.htmlFileName = named("htmlFileName");
    s.csvFolder = named("csvFolder");
    s.reportUtf8 = choice("reportEncoding") == 1;
    const auto threshold = parseNumberEdit(find("paperThreshold")->value);
    if (!threshold || *threshold < 0.0f || *threshold > 1.0f) {
        messenger.message(kThresholdRange, MessageIcon::Exclamation);
        flag("paperThreshold");
        return false;
    }
    s.paperThreshold = *threshold;
    const ResultOutputs outputs{s.outputFileName, s.jsonFileName, scores, s.htmlFileName, s.csvFolder,
                                s.plotFolder};
    if (const auto problem = resultOutputsProblem(data_, outputs)) {
        messenger.message(problem->message, MessageIcon::Error);
        flag(problem->key);
        return false;
    }
    return true;
}

// The number of resamples ("on" asks for the default number, "off" for
// none) and the confidence level; resamples need participants' scores.
bool ConfigurationDialog::acceptBootstrap(AnalysisSettings& s, Messenger& messenger) {
    const std::string& text = find("bootstrapSamples")->value;
    std::optional<std::int32_t> samples = parseIntegerEdit(text);
    if (text == "on" || text == "yes") samples = kBootstrapDefaultSamples;
    if (text == "off" || text == "no") samples = 0;
    const std::optional<std::int32_t> level = parseIntegerEdit(find("bootstrapLevel")->value);
    if (!samples || !level) {
        messenger.message(kEnterInteger, MessageIcon::Exclamation);
        flag(samples ? "bootstrapLevel" : "bootstrapSamples");
        return false;
    }
    if (*samples != 0 &&
        (*samples < kBootstrapMinimumSamples || *samples > kBootstrapMaximumSamples)) {
        messenger.message(kBootstrapSamplesRange, MessageIcon::Error);
        flag("bootstrapSamples");
        return false;
    }
    if (*level < kBootstrapLowestLevel || *level > kBootstrapHighestLevel) {
        messenger.message(kBootstrapLevelRange, MessageIcon::Error);
        flag("bootstrapLevel");
        return false;
    }
    if (*samples != 0 && s.dispersionType == UserMatrix) {
        messenger.message(kBootstrapNeedsScores, MessageIcon::Error);
        flag("bootstrapSamples");
        return false;
    }
    s.bootstrapSamples = *samples;
    s.bootstrapLevel = *level;
    return true;
}

bool ConfigurationDialog::accept(Messenger& messenger) {
    clearFlags();
    AnalysisSettings s = settings_;

    // Integer edits in the order of the dialog. A disabled edit cannot be
    // corrected, so text there that does not convert keeps the old value.
    struct IntegerEdit {
        const char* key;
        std::int32_t* field;
    };
    const IntegerEdit edits[] = {{"lowestScore", &s.lowestScore},
                                 {"highestScore", &s.highestScore},
                                 {"factorCount", &s.factorCount},
                                 {"secondOrderCount", &s.secondOrderCount}};
    for (const IntegerEdit& edit : edits) {
        const Control& c = *find(edit.key);
        const auto value = parseIntegerEdit(c.value);
        if (value) {
            *edit.field = *value;
        } else if (c.enabled) {
            messenger.message(kEnterInteger, MessageIcon::Exclamation);
            flag(edit.key);
            return false;
        }
    }
    s.dispersionType = static_cast<DispersionType>(choice("dispersionType"));
    s.factorCountProcedure = static_cast<FactorCountProcedure>(choice("factorCountProcedure"));
    s.extractionMethod = static_cast<ExtractionMethod>(choice("extractionMethod"));
    s.irtParameterization = checked("irtParameterization");
    s.saveFactorScores = checked("saveFactorScores");
    s.personFit = checked("personFit");
    s.glbOmega = checked("glbOmega");
    s.useAdvisedFactorCount = checked("useAdvisedFactorCount");
    s.rotationKind = static_cast<RotationKind>(choice("rotationKind"));
    s.simplicityRotation = choice("simplicityRotation");
    s.targetRotation = static_cast<TargetRotationMethod>(choice("targetRotation"));
    s.detailedOutput = checked("detailedOutput");
    s.outputFileName = find("outputFileName")->value;
    // An empty name, or one that reaches an input file, would lose the report
    // or the user's data.
    if (const auto problem = outputFileProblem(data_, s.outputFileName)) {
        messenger.message(*problem, MessageIcon::Error);
        flag("outputFileName");
        return false;
    }
    // Blanks ask for no JSON file, as an empty name does.
    const std::string& json = find("jsonFileName")->value;
    s.jsonFileName = json.find_first_not_of(" \t") == std::string::npos ? "" : json;
    const std::string scores = s.saveFactorScores ? scoresFileName(s.outputFileName) : "";
    if (const auto problem = jsonFileProblem(data_, s.jsonFileName, s.outputFileName, scores)) {
        messenger.message(*problem, MessageIcon::Error);
        flag("jsonFileName");
        return false;
    }
    const std::string& plots = find("plotFolder")->value;
    s.plotFolder = plots.find_first_not_of(" \t") == std::string::npos ? "" : plots;
    if (const auto problem = plotFolderProblem(data_, s.plotFolder, s.outputFileName, s.jsonFileName)) {
        messenger.message(*problem, MessageIcon::Error);
        flag("plotFolder");
        return false;
    }
    if (!acceptResultOutputs(messenger, s, scores)) return false;

    if (!acceptBootstrap(s, messenger)) return false;

    // The advised number is checked by the run.
    if (!s.useAdvisedFactorCount) {
        if (const auto problem = factorCountProblem(s, includedCount(), s.factorCount)) {
            messenger.message(problem->message, MessageIcon::Error);
            flag(problem->secondOrder ? "secondOrderCount" : "factorCount");
            return false;
        }
        if (s.factorCount < 1) messenger.message(kNoFactors, MessageIcon::Exclamation);
    }
    // Second-order factors need correlated first-order factors, whichever
    // rotation kind gives them.
    s.schmidLeiman = secondOrderSolution(s, s.factorCount);

    if (s.dispersionType == PolychoricCorrelation) {
        if (const auto problem = polychoricScoresProblem()) {
            messenger.message(*problem, MessageIcon::Error);
            flag("dispersionType");
            return false;
        }
        if (s.highestScore < observedMax_) {
            s.highestScore = observedMax_;
            setValue("highestScore", std::to_string(s.highestScore));
            messenger.message(kHighestAdjusted, MessageIcon::Exclamation);
        }
        if (s.lowestScore > observedMin_) {
            s.lowestScore = observedMin_;
            setValue("lowestScore", std::to_string(s.lowestScore));
            messenger.message(kLowestAdjusted, MessageIcon::Exclamation);
        }
    }
    accepted_ = s;
    return true;
}

void ConfigurationDialog::commit(AnalysisSettings& settings, DataSet& data) const {
    settings = accepted_;
    deriveSettings(settings, accepted_.irtParameterization);
    if (data.variableList.valid())
        for (int i = 0; i < data.variableList.rows() && i < static_cast<int>(included_.size()); ++i)
            data.variableList[i][1] = included_[static_cast<std::size_t>(i)] ? 1.0 : 0.0;
}

}  // namespace talvex
