// "Simplimax rotation": the user gives a range of expected numbers of
// salient loadings, Compute runs Simplimax for every number of zero
// loadings in that range and lists the criterion of each, one line is
// chosen (by the largest ratio of successive criteria, or by the user), and
// OK fits the chosen zeros once more from the identity.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_model.h"
#include "core/matrix.h"
#include "report/settings.h"
#include "stats/rotation/simplimax.h"
#include "stats/rotation/simplimax_chooser.h"

namespace talvex {

// Message texts of Compute's checks.
inline constexpr const char* kSimplimaxMaximumSalient = "The maximum number of salient loadings is %i";
inline constexpr const char* kSimplimaxMinimumSalient = "The minimum number of salient loadings is %i";
inline constexpr const char* kSimplimaxRangeWrong = "The minimum and maximum number of loadings are worng";
inline constexpr const char* kSimplimaxRangeTooSmall = "The interval of number of zeros is too small";
// Numbers of zeros one Compute runs at most.
inline constexpr int kSimplimaxMaxValues = 500;

// The two statistics the dialog calls: Simplimax for a number of zeros,
// and the fit of fixed weights from a given transformation and factor
// correlations. By default simplimaxRotation and simplimaxStep.
struct SimplimaxRoutines {
    std::function<SimplimaxSolution(const Matrix& loadings, int zeros,
                                    const RotationParameters& parameters)>
        rotate;
    std::function<SimplimaxSolution(const Matrix& loadings, const Matrix& weights,
                                    const Matrix& transformation,
                                    const Matrix& factorCorrelations, double convergence)>
        step;
};
SimplimaxRoutines simplimaxRoutines();

class SimplimaxDialog : public DialogModel {
public:
    // loadings (p x m) stays alive while the dialog is open.
    SimplimaxDialog(const Matrix& loadings, const RotationParameters& parameters,
                    SimplimaxRoutines routines = simplimaxRoutines());

    std::vector<DialogButton> buttons() const override;
    // Compute; a line is selected by clicking it in the list.
    std::vector<DialogButton> widgetButtons() const override;
    // "compute" (before a computation) and "select Z" (after it).
    bool press(const std::string& button, const std::vector<std::string>& args,
               WindowSystem& ws) override;
    // Refused until a computation ran; then fits the selected line.
    bool accept(Messenger& messenger) override;
    bool okEnabled() const override { return computed_; }

    // The range of zeros Compute ran, and the line selected (numbers of
    // zeros); 0 before a computation.
    int zerosFrom() const { return ranFrom_; }
    int zerosTo() const { return ranTo_; }
    int selectedZeros() const { return selected_; }
    // The criterion of each number of zeros run, in order.
    const std::vector<double>& criteria() const { return criteria_; }
    // The fit of the selected zeros, after OK.
    const std::optional<SimplimaxSolution>& chosen() const { return chosen_; }

protected:
    // The range of zeros follows the two edits as they are typed.
    bool watchesEdit(const std::string& key) const override;
    void onChanged(const std::string& key) override;

private:
    bool compute(WindowSystem& ws);
    bool select(int zeros);
    void showRange();
    std::string lineFor(int zeros) const;

    Matrix loadings_;
    RotationParameters parameters_;
    SimplimaxRoutines routines_;
    int p_ = 0, m_ = 0;
    bool computed_ = false;
    int ranFrom_ = 0, ranTo_ = 0;
    int selected_ = 0;
    std::vector<double> criteria_;
    std::vector<Matrix> weights_;  // the winning weights of each number of zeros
    std::optional<SimplimaxSolution> chosen_;
};

// Opens the dialog through the window system.
class SimplimaxDialogChooser : public SimplimaxChooser {
public:
    explicit SimplimaxDialogChooser(WindowSystem& ws) : ws_(ws) {}
    std::optional<SimplimaxSolution> choose(const Matrix& loadings,
                                            const RotationParameters& parameters) override;

private:
    WindowSystem& ws_;
};

}  // namespace talvex
