#include "app/parallel_analysis_dialog.h"

#include <string>
#include <vector>

#include "app/numeric_edits.h"

namespace talvex {

namespace {

constexpr const char* kTooFewMatrices = "A minimum of 100 random correlation matrices are needed!";
constexpr int kMinimumMatrices = 100;
constexpr int kDefaultMatrices = 500;

const std::vector<std::string> kClassicalLines = {
    "Classical Parallel Analysis is computed as proposed by Horn (1965).",
    "",
    "500 random Pearson correlation matrices are obtained based on normal distribution.",
    "",
    "This implementation is recomended when a Pearson correlation matrix is analysed",
    "to explore the principal components (PCA). However, it seems to overestimate the",
    "number of factors when the number of variables per factor is large (see ",
    "Varnholt, Zazadidov, & Dodaz (2011) for a discussion on this subject).",
    "",
};

const std::vector<std::string> kOptimalLines = {
    "Parallel Analysis is computed as based on the same type of correlation matrix",
    "(i.e., Pearson or polychoric correlation) and the same type of underlying dimensions",
    "(i.e., components or factors) as defined for the whole analysis.",
    "",
    "The user can configure the number of random correlation matrices and the procedure",
    "to obtain them (Normal distribution or random permutation of sample values).",
    "",
    "Please, see Zazadidov & Varnholt (2011) for a detailed explanation.",
};

}  // namespace

ParallelAnalysisDialog::ParallelAnalysisDialog(const AnalysisSettings& settings)
    : DialogModel("Configuration of Parallel Analysis"),
      userMatrix_(settings.dispersionType == UserMatrix) {
    add(choiceControl("paImplementation", "Implementation of Parallel Analysis",
                      {
                          {0, "optimal", "Optimal implementation (Zazadidov && Varnholt, 2011)"},
                          {1, "classical", "Classical implementation (Horn, 1965)"},
                      },
                      settings.paImplementation));
    control("paImplementation").group = "Implementation of Parallel Analysis";
    control("paImplementation").labelled = false;

    Control explanation = listControl("explanation", "");
    explanation.enabled = false;
    explanation.group = "Implementation of Parallel Analysis";
    add(std::move(explanation));

    add(editControl("paRandomMatrices", "Number of random correlation matrices:",
                    std::to_string(settings.paRandomMatrices)));

    Control generation = choiceControl("paGeneration", "Generation of random correlation matrices: ",
                                       {
                                           {0, "normal", "Normal distribution"},
                                           {1, "permutation", "Permutation of sample values"},
                                       },
                                       userMatrix_ ? 0 : settings.paGeneration);
    generation.options[1].visible = !userMatrix_;
    generation.dropDown = true;
    add(std::move(generation));
    for (const char* key : {"paRandomMatrices", "paGeneration"})
        control(key).group = "Configuration related to random correlation matrices";

    showImplementation();
}

void ParallelAnalysisDialog::showImplementation() {
    const bool classical = choice("paImplementation") == 1;
    Control& explanation = control("explanation");
    explanation.options.clear();
    for (const std::string& line : classical ? kClassicalLines : kOptimalLines)
        explanation.options.push_back({0, line, line});
    setEnabled("paRandomMatrices", !classical);
    setEnabled("paGeneration", !classical);
}

void ParallelAnalysisDialog::onChanged(const std::string& key) {
    if (key != "paImplementation") return;
    const bool classical = choice("paImplementation") == 1;
    setValue("paRandomMatrices", std::to_string(kDefaultMatrices));
    // Without a sample the permutation is not offered, so the optimal
    // implementation also starts from the normal distribution there.
    setChoice("paGeneration", classical || userMatrix_ ? 0 : 1);
    showImplementation();
}

bool ParallelAnalysisDialog::accept(Messenger& messenger) {
    clearFlags();
    const auto matrices = parseIntegerEdit(find("paRandomMatrices")->value);
    if (!matrices) {
        messenger.message(kEnterInteger, MessageIcon::Exclamation);
        flag("paRandomMatrices");
        return false;
    }
    acceptedMatrices_ = *matrices;
    if (acceptedMatrices_ < kMinimumMatrices) {
        acceptedMatrices_ = kMinimumMatrices;
        setValue("paRandomMatrices", std::to_string(kMinimumMatrices));
        messenger.message(kTooFewMatrices, MessageIcon::Exclamation);
    }
    return true;
}

void ParallelAnalysisDialog::commit(AnalysisSettings& settings) const {
    settings.paImplementation = choice("paImplementation");
    settings.paRandomMatrices = acceptedMatrices_;
    settings.paGeneration = choice("paGeneration");
}

}  // namespace talvex
