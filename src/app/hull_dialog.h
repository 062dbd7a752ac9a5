// "The Hull method": the goodness-of-fit index the Hull method uses.
#pragma once

#include "report/settings.h"
#include "app/dialog_model.h"

namespace talvex {

class HullDialog : public DialogModel {
public:
    explicit HullDialog(const AnalysisSettings& settings);

    // Writes the chosen index into settings (after OK).
    void commit(AnalysisSettings& settings) const;
};

}  // namespace talvex
