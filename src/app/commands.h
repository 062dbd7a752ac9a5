// The commands of the main window.
#pragma once

namespace talvex {

struct AnalysisSession;
class WindowSystem;

// Read Data: the Sample dialog, then the data file and the side files.
void readDataCommand(AnalysisSession& session, WindowSystem& ws);
// Configure Analysis: the Configuration dialog and its sub-dialogs.
void configureCommand(AnalysisSession& session, WindowSystem& ws);

}  // namespace talvex
