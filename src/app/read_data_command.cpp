#include <fstream>

#include "analysis/session.h"
#include "app/commands.h"
#include "app/sample_dialog.h"
#include "app/target_info_dialog.h"
#include "app/window_system.h"
#include "core/format_text.h"
#include "data/data_files.h"

namespace talvex {

namespace {

// Every failed read ends the command the same way: no data, and the
// reader's text on status line 1.
void fail(AnalysisSession& session, WindowSystem& ws, const ReadResult& result) {
    session.data.dataRead = false;
    ws.setStatus(result.status, "", "");
}

constexpr const char* kWideFirstRow =
    "The first row of the data file holds %i values, but the number of variables is %i.\n\n"
    "Only the first %i values of each row are read: please check the number of variables.";

// Values (fields that are numbers) on the first line of a scores file; 0
// when it cannot be read.
int firstRowValues(const std::string& path) {
    if (!isRegularFile(path)) return 0;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!std::getline(in, line)) return 0;
    if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // UTF-8 byte-order mark
    int values = 0;
    for (const auto& field : parseLine(line))
        if (field) ++values;
    return values;
}

// Typing fewer variables than the file has columns is the commonest slip:
// each row would be cut without a word, so say it once before reading.
void noteWideFirstRow(const DataSet& data, Messenger& messenger) {
    const int m = data.variableCount;
    if (m <= 0) return;
    const int values = firstRowValues(data.scoresFileName);
    if (values > m) messenger.message(formatText(kWideFirstRow, values, m, m), MessageIcon::Information);
}

}  // namespace

void readDataCommand(AnalysisSession& session, WindowSystem& ws) {
    DataSet& data = session.data;
    AnalysisSettings& settings = session.settings;

    ws.setStatus("", "", "");
    session.ticker.resetCount();
    session.ticker.resetBar();

    SampleDialog dialog(data, settings.dispersionType == UserMatrix);
    if (!ws.runDialog(dialog)) return;
    const SampleValues v = dialog.values();

    if (v.participantCount > 0) {
        data.participantCount = v.participantCount;
    } else {
        // Without a sample size only MAP can advise the number of factors.
        data.participantCount = 0;
        settings.factorCountProcedure = MAP;
    }
    data.variableCount = v.variableCount;
    data.scoresFileName = v.scoresFileName;
    data.matrixFileName = v.matrixFileName;
    data.labelsEnabled = v.labelsEnabled;
    data.labelsFileName = v.labelsFileName;
    data.targetEnabled = v.targetEnabled;
    data.targetFileName = v.targetFileName;
    data.missingCodeEnabled = v.missingCodeEnabled;
    data.missingCode = v.missingCode;
    // Side files of an earlier read must not outlive it: they may not even
    // have the current number of variables.
    data.targetMatrix = Matrix();
    data.analysedTarget = Matrix();
    data.labels.clear();

    if (v.dataKind == ScoresFile) {
        settings.dispersionType = DispersionNotChosen;
        noteWideFirstRow(data, ws);
        const ReadResult result = readScoresFile(data, ws);
        if (!result.ok) return fail(session, ws, result);
        settings.lowestScore = data.observedMin;
        settings.highestScore = data.observedMax;
    } else {
        settings.dispersionType = UserMatrix;
        settings.lowestScore = 0;
        settings.highestScore = 0;
        const ReadResult result = readMatrixFile(data, ws);
        if (!result.ok) return fail(session, ws, result);
    }

    if (data.targetEnabled) {
        TargetCounts counts;
        const ReadResult result = readTargetFile(data, ws, counts);
        if (!result.ok) return fail(session, ws, result);
        settings.factorCount = counts.columns;
        settings.rotationKind = Target;
        TargetInfoDialog info(counts);
        ws.runDialog(info);
    }
    if (data.labelsEnabled) {
        const ReadResult result = readLabelsFile(data, ws);
        if (!result.ok) return fail(session, ws, result);
    }

    includeAllVariables(data);
    data.dataRead = true;
    session.configured = false;
    session.rotations.reset();
    ws.setStatus("Ready!", "", "");
}

}  // namespace talvex
