// "Configuration of Parallel Analysis": implementation, number of random
// matrices and how they are generated.
#pragma once

#include "report/settings.h"
#include "app/dialog_model.h"

namespace talvex {

class ParallelAnalysisDialog : public DialogModel {
public:
    // Reads the three options and the dispersion type: a user matrix has no
    // sample to permute, so only the normal distribution is offered.
    explicit ParallelAnalysisDialog(const AnalysisSettings& settings);

    bool accept(Messenger& messenger) override;
    // Writes the accepted options into settings (after OK).
    void commit(AnalysisSettings& settings) const;

protected:
    void onChanged(const std::string& key) override;

private:
    void showImplementation();

    bool userMatrix_;
    int acceptedMatrices_ = 0;
};

}  // namespace talvex
