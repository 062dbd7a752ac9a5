// "Rotation": the parameters of one rotation method (clever start,
// criterion parameter, random starts, iterations, convergence) and the
// salient-loading threshold shared by all methods.
#pragma once

#include "report/settings.h"
#include "app/dialog_model.h"

namespace talvex {

class RotationDialog : public DialogModel {
public:
    // method indexes kRotationMethods, or the target methods when
    // targetMethod is set; parameters is that method's record.
    RotationDialog(const RotationParameters& parameters, float salientThreshold, int method,
                   bool targetMethod);

    std::vector<DialogButton> buttons() const override;
    // "default": the method's initial values.
    bool press(const std::string& button, const std::vector<std::string>& args,
               WindowSystem& ws) override;
    bool accept(Messenger& messenger) override;
    // Writes the accepted values back (after OK).
    void commit(RotationParameters& parameters, float& salientThreshold) const;

private:
    void resetToDefaults();

    int method_;
    bool targetMethod_;
    RotationParameters accepted_;
    float acceptedThreshold_ = 0.0f;
};

}  // namespace talvex
