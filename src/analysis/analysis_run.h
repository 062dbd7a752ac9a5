// The Compute command: every stage of the analysis in its fixed order, each
// writing its section of the report.
#pragma once

namespace talvex {

struct AnalysisSession;
class RunHost;

// Runs the analysis configured in the session and writes the report named
// by its outputFileName; every outcome is reported through the host.
void runAnalysis(AnalysisSession& session, RunHost& host);

}  // namespace talvex
