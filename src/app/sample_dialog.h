// "Sample": the sizes of the data, the data file and its kind, the side
// files and the missing value code, checked on OK.
#pragma once

#include <string>
#include <vector>

#include "app/dialog_model.h"
#include "data/dataset.h"

namespace talvex {

// Codes of the dataKind choice.
enum SampleDataKind : int { ScoresFile = 0, MatrixFile = 1 };

// What the dialog hands back after OK; numbers converted from the edits.
struct SampleValues {
    int participantCount = 0;
    int variableCount = 0;
    SampleDataKind dataKind = ScoresFile;
    std::string scoresFileName;
    std::string matrixFileName;
    bool labelsEnabled = false;
    std::string labelsFileName;
    bool targetEnabled = false;
    std::string targetFileName;
    bool missingCodeEnabled = false;
    int missingCode = 0;
};

class SampleDialog : public DialogModel {
public:
    // Filled from the data set; userMatrix when the current dispersion type
    // is a user matrix (the dialog then opens on the matrix file).
    SampleDialog(const DataSet& data, bool userMatrix);

    // "browse KEY" with KEY one of the four file-name edits.
    std::vector<DialogButton> buttons() const override;
    // One Browse button beside each file-name edit, enabled with it.
    std::vector<DialogButton> widgetButtons() const override;
    bool press(const std::string& button, const std::vector<std::string>& args,
               WindowSystem& ws) override;
    bool accept(Messenger& messenger) override;
    int fontPoints() const override { return 10; }

    SampleValues values() const;

protected:
    void onChanged(const std::string& key) override;

private:
    // Enabling rules: the data kind decides which file edit is active and
    // resets the missing value code; each check box enables its edit.
    void applyDataKind();
    void applyCheckBoxes();
};

}  // namespace talvex
