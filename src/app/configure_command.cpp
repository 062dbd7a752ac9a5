#include "analysis/session.h"
#include "app/commands.h"
#include "app/configuration_dialog.h"
#include "app/window_system.h"
#include "data/data_files.h"

namespace talvex {

namespace {
constexpr const char* kNoData = "Data must be read before the definition of the analysis";
}  // namespace

void configureCommand(AnalysisSession& session, WindowSystem& ws) {
    if (!session.data.dataRead) {
        ws.message(kNoData, MessageIcon::Error);
        return;
    }
    // With a missing-value code the complete cases may have changed since
    // the read, and the dialog shows the current sample and score range.
    if (session.data.missingCodeEnabled) {
        buildCompleteCases(session.data);
        session.settings.lowestScore = session.data.observedMin;
        session.settings.highestScore = session.data.observedMax;
    }
    ws.setStatus("", "", "");

    ConfigurationDialog dialog(session.settings, session.data, session.rotations);
    if (!ws.runDialog(dialog)) return;
    dialog.commit(session.settings, session.data);
    session.configured = true;
    ws.setStatus("Ready!", "", "");
}

}  // namespace talvex
