#include "app/sample_dialog.h"

#include <optional>

#include "app/numeric_edits.h"
#include "app/text_util.h"
#include "app/window_system.h"
#include "data/data_files.h"

namespace talvex {

namespace {

struct BrowseTarget {
    const char* key;
    const char* title;
    const char* filter;
};

const BrowseTarget kBrowseTargets[] = {
    {"scoresFileName", "PARTICIPANTS' SCORES: Choose your input file", "*.dat"},
    {"matrixFileName", "VARIANCE/COVARIANCE MATRIX: Choose your input file", "*.dat"},
    {"labelsFileName", "VARIABLE LABELS: Choose your input file", "*.txt"},
    {"targetFileName", "ROTATION TARGET MATRIX: Choose your input file", "*.dat"},
};

// Only a regular file is a data file: a folder, a device or a FIFO gets the
// check's "does not exist" message instead of a read that fails or never ends.
bool fileExists(const std::string& name) { return isRegularFile(name); }

// An integer edit as the dialog converts it: an empty edit is 0 (the checks
// then ask for the number); other text must be a whole number that fits the
// edit's width when it has one.
std::optional<int> integerEdit(const Control& edit) {
    const std::string text = trim(edit.value);
    if (text.empty()) return 0;
    if (edit.maxLength > 0 && static_cast<int>(text.size()) > edit.maxLength) return std::nullopt;
    return parseIntegerEdit(text);
}

}  // namespace

SampleDialog::SampleDialog(const DataSet& data, bool userMatrix) : DialogModel("Sample") {
    // After a matrix file the rows of a scores file mean nothing; the sample
    // size typed with the matrix is shown instead.
    const int participants = data.userMatrixRead ? data.participantCount : data.rowsRead;
    add(editControl("participantCount", "Number of participants:", std::to_string(participants)));
    add(editControl("variableCount", "Number of variables:", std::to_string(data.variableCount)));

    add(choiceControl("dataKind", "File names",
                      {{ScoresFile, "scores", "Participants' scores:"},
                       {MatrixFile, "matrix", "Variance/covariance matrix:"}},
                      userMatrix ? MatrixFile : ScoresFile));

    add(editControl("scoresFileName", "Participants' scores file:", data.scoresFileName));
    add(editControl("matrixFileName", "Variance/covariance matrix file:", data.matrixFileName));
    add(checkControl("labelsEnabled", "Variable labels:", data.labelsEnabled));
    add(editControl("labelsFileName", "Variable labels file:", data.labelsFileName));
    add(checkControl("targetEnabled", "Rotation target matrix:", data.targetEnabled));
    add(editControl("targetFileName", "Rotation target matrix file:", data.targetFileName));
    add(checkControl("missingCodeEnabled", "Missing value code:", data.missingCodeEnabled));
    Control code = editControl("missingCode", "Missing value code", std::to_string(data.missingCode));
    code.maxLength = 5;
    add(std::move(code));

    for (const char* key : {"participantCount", "variableCount"}) control(key).group = "Size of data matrices";
    for (const char* key : {"dataKind", "scoresFileName", "matrixFileName", "labelsEnabled",
                            "labelsFileName", "targetEnabled", "targetFileName"})
        control(key).group = "File names";
    // The file edits sit beside their radio button or check box.
    for (const char* key : {"dataKind", "scoresFileName", "matrixFileName", "labelsFileName",
                            "targetFileName", "missingCode"})
        control(key).labelled = false;

    applyDataKind();
    applyCheckBoxes();
}

void SampleDialog::applyDataKind() {
    const bool scores = choice("dataKind") == ScoresFile;
    setEnabled("scoresFileName", scores);
    setEnabled("matrixFileName", !scores);
    // A missing value code only makes sense for scores.
    setChecked("missingCodeEnabled", scores);
    setEnabled("missingCodeEnabled", scores);
}

void SampleDialog::applyCheckBoxes() {
    setEnabled("labelsFileName", checked("labelsEnabled"));
    setEnabled("targetFileName", checked("targetEnabled"));
    setEnabled("missingCode", checked("missingCodeEnabled") && find("missingCodeEnabled")->enabled);
}

void SampleDialog::onChanged(const std::string& key) {
    if (key == "dataKind") applyDataKind();
    applyCheckBoxes();
}

std::vector<DialogButton> SampleDialog::buttons() const {
    return {{"browse", "browse KEY: choose the file of KEY (scoresFileName, matrixFileName, "
                       "labelsFileName, targetFileName) in a file dialog"}};
}

std::vector<DialogButton> SampleDialog::widgetButtons() const {
    std::vector<DialogButton> browse;
    for (const BrowseTarget& target : kBrowseTargets) {
        DialogButton b{"browse", "", find(target.key)->enabled};
        b.caption = "Browse";
        b.args = {target.key};
        b.beside = target.key;
        browse.push_back(std::move(b));
    }
    return browse;
}

bool SampleDialog::press(const std::string& button, const std::vector<std::string>& args,
                         WindowSystem& ws) {
    if (button != "browse" || args.size() != 1) return false;
    for (const BrowseTarget& target : kBrowseTargets) {
        if (args[0] != target.key) continue;
        // The Browse button shares the enabled state of its edit.
        if (!find(target.key)->enabled) return false;
        if (auto path = ws.openFile(target.title, target.filter)) setValue(target.key, *path);
        return true;
    }
    return false;
}

bool SampleDialog::accept(Messenger& messenger) {
    clearFlags();
    auto fail = [&](const char* key, const std::string& text) {
        messenger.message(text, MessageIcon::Error);
        flag(key);
        return false;
    };
    // The numbers are converted first, in the order of the dialog, as the
    // Configuration dialog does.
    for (const char* key : {"participantCount", "variableCount", "missingCode"}) {
        const Control& edit = *find(key);
        if (edit.enabled && !integerEdit(edit)) {
            messenger.message(kEnterInteger, MessageIcon::Exclamation);
            flag(key);
            return false;
        }
    }
    const int participants = *integerEdit(*find("participantCount"));
    const int variables = *integerEdit(*find("variableCount"));
    const bool scores = choice("dataKind") == ScoresFile;

    if (participants < 0)
        return fail("participantCount",
                    "Please, check the number of participants in the sample.\n\nIt cannot be a "
                    "negative number");
    if (participants == 0 && scores)
        return fail("participantCount", "Please, enter the number of participants in the sample");
    if (variables < 1) return fail("variableCount", "Please, enter the number of variables");
    if (const auto problem = checkDataSize(participants, variables, scores))
        return fail(problem->field == SizeProblem::Variables ? "variableCount" : "participantCount",
                    problem->text);
    if (scores && find("scoresFileName")->value.empty())
        return fail("scoresFileName", "Please, select a file name for the Participants' Scores");
    if (scores && !fileExists(find("scoresFileName")->value))
        return fail("scoresFileName", "The file name for the Participants' Scores does not exist");
    if (!scores && find("matrixFileName")->value.empty())
        return fail("matrixFileName",
                    "Please, select a file name for the Variance/Covariance matrix");
    if (!scores && !fileExists(find("matrixFileName")->value))
        return fail("matrixFileName",
                    "The file name for the Variance/Covariance matrix does not exist");
    if (checked("labelsEnabled") && !fileExists(find("labelsFileName")->value))
        return fail("labelsFileName", "The file name for the Variable Labels does not exist");
    if (checked("targetEnabled") && !fileExists(find("targetFileName")->value))
        return fail("targetFileName",
                    "The file name for the Rotation Target Matrix does not exist");
    if (checked("missingCodeEnabled") && trim(find("missingCode")->value).empty())
        return fail("missingCode", "Select a missing value code");
    return true;
}

SampleValues SampleDialog::values() const {
    SampleValues v;
    // After a refused OK the numbers that do not convert read as 0.
    v.participantCount = integerEdit(*find("participantCount")).value_or(0);
    v.variableCount = integerEdit(*find("variableCount")).value_or(0);
    v.dataKind = choice("dataKind") == MatrixFile ? MatrixFile : ScoresFile;
    v.scoresFileName = find("scoresFileName")->value;
    v.matrixFileName = find("matrixFileName")->value;
    v.labelsEnabled = checked("labelsEnabled");
    v.labelsFileName = find("labelsFileName")->value;
    v.targetEnabled = checked("targetEnabled");
    v.targetFileName = find("targetFileName")->value;
    v.missingCodeEnabled = checked("missingCodeEnabled");
    v.missingCode = integerEdit(*find("missingCode")).value_or(0);
    return v;
}

}  // namespace talvex
