#include "app/rotation_dialog.h"

#include <string>

#include "app/numeric_edits.h"

namespace talvex {

namespace {

constexpr const char* kIterationsAdjusted = "The number of iterations is ajusted to 25";
constexpr const char* kConvergenceTooLarge = "The convergence value is ajusted to 0.001";
constexpr const char* kConvergenceZero = "The convergence value is ajusted to 0.000001";
constexpr const char* kStartsAdjusted10 = "The number of random starts is ajusted to 10";
constexpr const char* kStartsAdjusted50 = "The number of random starts is ajusted to 50";

constexpr std::uint32_t kMinimumIterations = 25;
// Compared in single precision, as stored, so that typing 0.001 is not
// "adjusted" to itself.
constexpr float kLargestConvergence = 0.001f;
constexpr float kZeroConvergenceReplacement = 0.000001f;
constexpr float kDefaultThreshold = 0.3f;
// The clever-start list stops at Promin.
constexpr int kCleverStartChoices = kPromin + 1;

const char* parameterName(CriterionParameter p) {
    switch (p) {
        case CriterionParameter::Gamma: return "gamma";
        case CriterionParameter::K: return "k";
        case CriterionParameter::None: break;
    }
    return "";
}

}  // namespace

RotationDialog::RotationDialog(const RotationParameters& parameters, float salientThreshold,
                               int method, bool targetMethod)
    : DialogModel("Rotation"), method_(method), targetMethod_(targetMethod), accepted_(parameters),
      acceptedThreshold_(salientThreshold) {
    const RotationMethodInfo* info =
        targetMethod ? nullptr : &kRotationMethods[static_cast<std::size_t>(method)];

    std::vector<ControlOption> starts;
    const int choices = targetMethod ? 1 : kCleverStartChoices;
    for (int i = 0; i < choices; ++i) {
        const char* name = kRotationMethods[static_cast<std::size_t>(i)].name;
        starts.push_back({i, name, name});
    }
    int shown = targetMethod ? 0 : parameters.cleverStart;
    if (info != nullptr && info->cleverStart == CleverStartChoice::Fixed)
        shown = info->initialCleverStart;
    Control clever = choiceControl("cleverStart", "Clever Start: ", std::move(starts), shown);
    clever.enabled = info != nullptr && info->cleverStart == CleverStartChoice::Yes;
    clever.dropDown = true;
    add(std::move(clever));

    const CriterionParameter kind = info != nullptr ? info->parameter : CriterionParameter::None;
    Control parameter;
    parameter.kind = ControlKind::Edit;
    parameter.key = "parameter";
    parameter.caption = kind == CriterionParameter::None
                            ? std::string("is set to:")
                            : std::string(parameterName(kind)) + " is set to:";
    parameter.enabled = kind != CriterionParameter::None;
    parameter.value = parameter.enabled ? formatNumberEdit(parameters.parameter) : "0";
    add(std::move(parameter));

    auto edit = [this](const char* key, const char* caption, std::string value) {
        add(editControl(key, caption, std::move(value)));
    };
    edit("randomStarts", "Number of random starts:", std::to_string(parameters.randomStarts));
    edit("maxIterations", "Maximum number of iterations:",
         std::to_string(static_cast<std::uint32_t>(parameters.maxIterations)));
    edit("convergence", "Convergence value:", formatNumberEdit(parameters.convergence));
    edit("salientThreshold", "Salient loading values larger than:",
         formatNumberEdit(salientThreshold));
}

std::vector<DialogButton> RotationDialog::buttons() const {
    DialogButton reset{"default", "default: the initial values of this method"};
    reset.caption = "Default";
    return {reset};
}

bool RotationDialog::press(const std::string& button, const std::vector<std::string>& args,
                           WindowSystem&) {
    if (button != "default" || !args.empty()) return false;
    resetToDefaults();
    return true;
}

void RotationDialog::resetToDefaults() {
    if (targetMethod_) {
        const RotationParameters initial = RotationParameterTable::initialTarget();
        setValue("randomStarts", std::to_string(initial.randomStarts));
        setValue("maxIterations", std::to_string(initial.maxIterations));
        setValue("convergence", formatNumberEdit(initial.convergence));
        return;
    }
    const RotationParameters initial = RotationParameterTable::initialSimplicity(method_);
    setValue("randomStarts", std::to_string(initial.randomStarts));
    setValue("maxIterations", std::to_string(initial.maxIterations));
    setValue("convergence", formatNumberEdit(initial.convergence));
    setValue("parameter", formatNumberEdit(initial.parameter));
    // The non-weighted orthomax methods default to a Weighted Varimax start
    // rather than their initial Weighted Orthomax one.
    const bool rawOrNormalizedOrthomax = method_ == 10 || method_ == 11;
    setChoice("cleverStart", rawOrNormalizedOrthomax ? 6 : initial.cleverStart);
}

bool RotationDialog::accept(Messenger& messenger) {
    clearFlags();
    RotationParameters p = accepted_;

    auto refuse = [&](const char* key, const char* text) {
        messenger.message(text, MessageIcon::Exclamation);
        flag(key);
        return false;
    };
    if (find("parameter")->enabled) {
        const auto v = parseNumberEdit(find("parameter")->value);
        if (!v) return refuse("parameter", kEnterNumber);
        p.parameter = *v;
    }
    const auto starts = parseIntegerEdit(find("randomStarts")->value);
    if (!starts) return refuse("randomStarts", kEnterInteger);
    const auto iterations = parseUnsignedEdit(find("maxIterations")->value);
    if (!iterations) return refuse("maxIterations", kEnterPositiveInteger);
    const auto convergence = parseNumberEdit(find("convergence")->value);
    if (!convergence) return refuse("convergence", kEnterNumber);
    const auto threshold = parseNumberEdit(find("salientThreshold")->value);
    if (!threshold) return refuse("salientThreshold", kEnterNumber);

    std::uint32_t maxIterations = *iterations;
    if (maxIterations < kMinimumIterations) {
        maxIterations = kMinimumIterations;
        messenger.message(kIterationsAdjusted, MessageIcon::Information);
    }
    p.maxIterations = static_cast<std::int32_t>(maxIterations);
    p.convergence = *convergence;
    if (p.convergence > kLargestConvergence) {
        p.convergence = kLargestConvergence;
        messenger.message(kConvergenceTooLarge, MessageIcon::Information);
    }
    if (p.convergence == 0.0f) {
        p.convergence = kZeroConvergenceReplacement;
        messenger.message(kConvergenceZero, MessageIcon::Information);
    }
    float salient = *threshold;
    if (salient < 0.0f || salient > 1.0f) salient = kDefaultThreshold;
    p.randomStarts = *starts;
    const int minimumStarts = !targetMethod_ && method_ == kSimplimax ? 50 : 10;
    if (p.randomStarts < minimumStarts) {
        p.randomStarts = minimumStarts;
        messenger.message(minimumStarts == 50 ? kStartsAdjusted50 : kStartsAdjusted10,
                          MessageIcon::Information);
    }
    p.cleverStart = choice("cleverStart");

    setValue("maxIterations", std::to_string(maxIterations));
    setValue("convergence", formatNumberEdit(p.convergence));
    setValue("salientThreshold", formatNumberEdit(salient));
    setValue("randomStarts", std::to_string(p.randomStarts));
    accepted_ = p;
    acceptedThreshold_ = salient;
    return true;
}

void RotationDialog::commit(RotationParameters& parameters, float& salientThreshold) const {
    parameters = accepted_;
    salientThreshold = acceptedThreshold_;
}

}  // namespace talvex
