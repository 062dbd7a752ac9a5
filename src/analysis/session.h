// Everything the main window holds for the life of the program.
#pragma once

#include "analysis/progress.h"
#include "report/settings.h"
#include "data/dataset.h"

namespace talvex {

struct AnalysisSession {
    AnalysisSettings settings;
    DataSet data;
    RotationParameterTable rotations;
    ProgressTicker ticker;
    bool configured = false;  // Configure Analysis accepted since the last Read Data
};

}  // namespace talvex
