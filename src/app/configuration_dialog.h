// "Configuration": every option of an analysis and the variables included.
// Edits a copy of the settings and of the inclusion flags; the caller
// commits them after OK. The rotation parameters of a method are written
// into the table as soon as its Rotation dialog is closed with OK.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/settings.h"
#include "app/dialog_model.h"
#include "data/dataset.h"

namespace talvex {

class ConfigurationDialog : public DialogModel {
public:
    ConfigurationDialog(const AnalysisSettings& settings, const DataSet& data,
                        RotationParameterTable& rotations);

    std::vector<DialogButton> buttons() const override;
    // The three Configure buttons beside what they configure.
    std::vector<DialogButton> widgetButtons() const override;
    // ">" moves the selection of Included to Excluded, "<" back; Included
    // until Excluded has had the focus.
    std::optional<ListMove> listMove(const std::string& focusedList) const override;
    int layoutColumns() const override { return 2; }
    // "exclude N...", "include N..." (1-based variable numbers, each in the
    // list it leaves), "configureParallelAnalysis", "configureHull",
    // "configureRotation"; false when refused.
    bool press(const std::string& button, const std::vector<std::string>& args,
               WindowSystem& ws) override;
    bool accept(Messenger& messenger) override;
    // The bootstrap edits into s; false (with the message) when refused.
    bool acceptBootstrap(AnalysisSettings& s, Messenger& messenger);
    // Writes the accepted options with their derived values into settings,
    // and the inclusion flags into data.variableList (after OK).
    void commit(AnalysisSettings& settings, DataSet& data) const;

    // Number of variables currently in the Included list.
    int includedCount() const;
    // Why polychoric correlations cannot be computed from the included
    // variables' scores, if they cannot.
    std::optional<std::string> polychoricScoresProblem() const;

protected:
    void onChanged(const std::string& key) override;
    bool watchesEdit(const std::string& key) const override { return key == "factorCount"; }

private:
    void applyRules();
    bool acceptResultOutputs(Messenger& messenger, AnalysisSettings& s, const std::string& scores);
    void showVariableLists();
    bool moveVariables(const std::vector<std::string>& args, bool toIncluded);
    int typedFactorCount() const;
    // The typed number, or kAdvisedForRules while the advice is used.
    int factorsForRules() const;
    static constexpr int kAdvisedForRules = 2;
    bool parallelAnalysisButtonEnabled() const;
    bool hullButtonEnabled() const;
    bool rotationButtonEnabled() const;

    AnalysisSettings settings_;  // working copy; sub-dialogs write into it
    AnalysisSettings accepted_;
    RotationParameterTable& rotations_;
    std::vector<bool> included_;
    int participantCount_;
    int observedMin_;
    int observedMax_;
    int targetColumns_;  // 0 without a target
    const DataSet& data_;  // the input files the report must not overwrite
};

}  // namespace talvex
