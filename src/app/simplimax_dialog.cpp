#include "app/simplimax_dialog.h"

#include <charconv>
#include <cstdio>

#include "app/window_system.h"
#include "core/format_text.h"

namespace talvex {

namespace {

constexpr const char* kMinimum = "minimumSalient";
constexpr const char* kMaximum = "maximumSalient";
constexpr const char* kRange = "zeroRange";
constexpr const char* kList = "functionValues";
constexpr const char* kSelected = "selected";

// A whole integer and nothing else.
std::optional<int> wholeInteger(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || ptr != end) return std::nullopt;
    return value;
}

}  // namespace

SimplimaxRoutines simplimaxRoutines() {
    SimplimaxRoutines r;
    r.rotate = [](const Matrix& loadings, int zeros, const RotationParameters& p) {
        return simplimaxRotation(loadings, zeros, p.maxIterations,
                                 static_cast<double>(p.convergence), p.randomStarts,
                                 p.cleverStart);
    };
    r.step = simplimaxStep;
    return r;
}

SimplimaxDialog::SimplimaxDialog(const Matrix& loadings, const RotationParameters& parameters,
                                 SimplimaxRoutines routines)
    : DialogModel("Simplimax rotation"),
      loadings_(loadings),
      parameters_(parameters),
      routines_(std::move(routines)),
      p_(loadings.rows()),
      m_(loadings.cols()) {
    // The offered range of zeros centres on (m − 1)·p, the count of a
    // perfect simple structure, and never goes below 3m.
    const int n0 = (m_ - 1) * p_;
    int fewest = n0 - 2 * n0 / 3;
    const int most = n0 + p_ / 3;
    if (fewest < 3 * m_) fewest = 3 * m_;
    const int cells = p_ * m_;
    add(editControl(kMinimum, "Minimum:", std::to_string(cells - most)));
    add(editControl(kMaximum, "Maximum:", std::to_string(cells - fewest)));
    Control range;
    range.kind = ControlKind::Display;
    range.key = kRange;
    range.caption = "Number of zero loadings in the range: ";
    add(std::move(range));
    Control values = listControl(kList, "Simplimax function values");
    values.selectButton = "select";
    add(std::move(values));
    Control selected;
    selected.kind = ControlKind::Display;
    selected.key = kSelected;
    selected.caption = "Selected line:";
    add(std::move(selected));
    showRange();
}

void SimplimaxDialog::showRange() {
    const long long cells = static_cast<long long>(p_) * m_;
    const long long from = cells - leadingInteger(find(kMaximum)->value);
    const long long to = cells - leadingInteger(find(kMinimum)->value);
    setValue(kRange, std::to_string(from) + " and " + std::to_string(to));
}

bool SimplimaxDialog::watchesEdit(const std::string& key) const {
    return key == kMinimum || key == kMaximum;
}

void SimplimaxDialog::onChanged(const std::string& key) {
    (void)key;
    showRange();
}

std::vector<DialogButton> SimplimaxDialog::buttons() const {
    return {{"compute", "compute       run Simplimax for every number of zeros in the range",
             !computed_},
            {"select Z", "select Z      choose the line with Z zero loadings", computed_}};
}

std::vector<DialogButton> SimplimaxDialog::widgetButtons() const {
    DialogButton compute{"compute", "", !computed_};
    compute.caption = "Compute";
    compute.beside = kRange;
    return {compute};
}

bool SimplimaxDialog::press(const std::string& button, const std::vector<std::string>& args,
                            WindowSystem& ws) {
    if (button == "compute" && args.empty() && !computed_) return compute(ws);
    if (button == "select" && args.size() == 1) {
        const std::optional<int> zeros = wholeInteger(args[0]);
        return zeros && select(*zeros);
    }
    return false;
}

std::string SimplimaxDialog::lineFor(int zeros) const {
    return formatText("Salient loadings = %i ; Zero loadings = %i; fr = %f", p_ * m_ - zeros, zeros,
                      criteria_[static_cast<std::size_t>(zeros - ranFrom_)]);
}

bool SimplimaxDialog::compute(WindowSystem& ws) {
    // Wide arithmetic: the edits may hold any integer.
    const int cells = p_ * m_;
    const int leastZeros = 3 * m_;
    const long long from = static_cast<long long>(cells) - leadingInteger(find(kMaximum)->value);
    long long to = static_cast<long long>(cells) - leadingInteger(find(kMinimum)->value);
    if (from < leastZeros) {
        ws.message(formatText(kSimplimaxMaximumSalient, cells - leastZeros), MessageIcon::None);
        setValue(kMaximum, std::to_string(cells - leastZeros));
        showRange();
        return true;
    }
    if (to > cells) {
        ws.message(formatText(kSimplimaxMinimumSalient, 0), MessageIcon::None);
        setValue(kMinimum, "0");
        showRange();
        return true;
    }
    if (to < from) {
        ws.message(kSimplimaxRangeWrong, MessageIcon::None);
        return true;
    }
    if (to - from < 3) {
        ws.message(kSimplimaxRangeTooSmall, MessageIcon::None);
        return true;
    }
    if (to - from + 1 > kSimplimaxMaxValues) to = from + kSimplimaxMaxValues - 1;

    ranFrom_ = static_cast<int>(from);
    ranTo_ = static_cast<int>(to);
    ws.setWaitCursor(true);
    double bestRatio = 0.0;
    int choice = ranFrom_;
    for (int z = ranFrom_; z <= ranTo_; ++z) {
        Matrix kept(p_, m_);
        double criterion = 0.0;
        {
            MatrixScope scope;
            const SimplimaxSolution s = routines_.rotate(loadings_, z, parameters_);
            for (int i = 0; i < p_; ++i)
                for (int j = 0; j < m_; ++j) kept[i][j] = s.weights[i][j];
            criterion = s.criterion;
        }
        weights_.push_back(kept);
        criteria_.push_back(criterion);
        const std::string line = lineFor(z);
        control(kList).options.push_back({z, line, line});
        ws.listLineAdded(*this, kList, line);
        // The number of zeros after which the criterion grows the most.
        if (z > ranFrom_) {
            const double ratio = criterion / criteria_[criteria_.size() - 2];
            if (ratio > bestRatio) {
                bestRatio = ratio;
                choice = z - 1;
            }
        }
    }
    ws.setWaitCursor(false);
    computed_ = true;
    select(choice);
    setEnabled(kMinimum, false);
    setEnabled(kMaximum, false);
    return true;
}

bool SimplimaxDialog::select(int zeros) {
    if (!computed_ || zeros < ranFrom_ || zeros > ranTo_) return false;
    selected_ = zeros;
    setValue(kSelected, lineFor(zeros));
    return true;
}

bool SimplimaxDialog::accept(Messenger& messenger) {
    (void)messenger;
    if (!computed_) return false;
    const Matrix& weights = weights_[static_cast<std::size_t>(selected_ - ranFrom_)];
    chosen_ = routines_.step(loadings_, weights, identity(m_), identity(m_),
                             static_cast<double>(parameters_.convergence));
    chosen_->weights = weights;  // the chosen zeros are the method's target
    return true;
}

std::optional<SimplimaxSolution> SimplimaxDialogChooser::choose(
    const Matrix& loadings, const RotationParameters& parameters) {
    SimplimaxDialog dialog(loadings, parameters);
    if (!ws_.runDialog(dialog)) return std::nullopt;
    return dialog.chosen();
}

}  // namespace talvex
