#include "stats/imputation/hot_deck.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

#include "core/random.h"
#include "data/dataset.h"

namespace talvex {

namespace {

bool missingCell(const Matrix& mask, int i, int j) { return mask[i][j] != 0.0; }

int missingInRow(const Matrix& mask, int i) {
    int count = 0;
    for (int j = 0; j < mask.cols(); ++j) count += missingCell(mask, i, j) ? 1 : 0;
    return count;
}

}  // namespace

int completeRowCount(const Matrix& mask) {
    int count = 0;
    for (int i = 0; i < mask.rows(); ++i) count += missingInRow(mask, i) == 0 ? 1 : 0;
    return count;
}

MissingSummary writeMissingDescriptives(ReportWriter& report, const DataSet& data,
                                        const Matrix& mask, int missingCode) {
    const int n = mask.rows();
    const int p = mask.cols();
    std::map<int, int> perCase;  // missing variables -> participants
    std::vector<int> perVariable(static_cast<std::size_t>(p), 0);
    int total = 0;
    for (int i = 0; i < n; ++i) {
        const int count = missingInRow(mask, i);
        ++perCase[count];
        total += count;
        for (int j = 0; j < p; ++j)
            if (missingCell(mask, i, j)) ++perVariable[static_cast<std::size_t>(j)];
    }

    report.printf("DESCRIPTIVES RELATED TO MISSING DATA\n\n");
    if (total == 0) {
        report.printf(" Missing value code           :     % 5.2i\n\n", missingCode);
        report.printf(" No missing data was observed in your data\n\n");
        report.separator();
        return {};
    }
    report.printf(" Missing value code           :     %i\n", missingCode);
    report.printf(" Total number of missing data :     %i\n", total);
    report.printf(
        " Method to handle missing data:     Hot-Deck Multiple Imputation in Exploratory Factor "
        "Analysis (Varnholt & Van Zazuvi, 2015)\n");
    report.printf(" Number of imputated datasets :     Five\n");
    const int complete = completeRowCount(mask);
    if (complete < kImputedSets) {
        if (complete == 0)
            report.printf(
                " No participant without missing data: every missing value is replaced by the "
                "mode\n");
        else
            report.printf(
                " Participants without missing data: %i (fewer than five), so each is a donor "
                "in more than one dataset\n",
                complete);
    }
    report.printf("\n\n");

    report.printf(" NUMBER OF VARIABLES MISSING PER CASE\n\n");
    report.printf(" Number of variables     Frequency\n");
    report.printf("             missing      \n\n");
    for (const auto& [missing, cases] : perCase)
        report.printf("                %4i  |   %4i (%5.1f%%)\n", missing, cases,
                      100.0 * cases / n);
    report.printf("\n\n");

    report.printf(" NUMBER OF CASES MISSING PER VARIABLE\n\n");
    if (usesLabels(data))
        report.printf(" Variable                                       Frequency of cases missing\n");
    else
        report.printf(" Variable      Frequency of cases missing\n");
    for (int j = 0; j < p; ++j) {
        report.printf(" ");
        report.write(variableName(data, j));
        report.printf("% 6i     \n", perVariable[static_cast<std::size_t>(j)]);
    }
    report.separator();
    MissingSummary summary;
    summary.total = total;
    summary.complete = complete;
    summary.perCase.assign(perCase.begin(), perCase.end());
    summary.perVariable = std::move(perVariable);
    return summary;
}

Matrix columnModes(const Matrix& x, const Matrix& mask) {
    const int n = x.rows();
    const int p = x.cols();
    Matrix modes(1, p);
    double lowest = std::numeric_limits<double>::infinity();
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < p; ++j)
            if (!missingCell(mask, i, j)) lowest = std::min(lowest, x[i][j]);
    if (!std::isfinite(lowest)) lowest = 0.0;
    std::vector<double> column;
    for (int j = 0; j < p; ++j) {
        column.clear();
        for (int i = 0; i < n; ++i)
            if (!missingCell(mask, i, j)) column.push_back(x[i][j]);
        std::sort(column.begin(), column.end());
        double mode = lowest;
        std::size_t best = 0;
        for (std::size_t a = 0; a < column.size();) {
            std::size_t b = a;
            while (b < column.size() && column[b] == column[a]) ++b;
            // Ascending order: a later run must be strictly longer to win.
            if (b - a > best) {
                best = b - a;
                mode = column[a];
            }
            a = b;
        }
        modes[0][j] = mode;
    }
    return modes;
}

std::vector<int> selectDonors(const Matrix& x, const Matrix& mask, int recipient, int count) {
    const int n = x.rows();
    const int p = x.cols();
    std::vector<int> observed;
    for (int j = 0; j < p; ++j)
        if (!missingCell(mask, recipient, j)) observed.push_back(j);
    std::vector<std::pair<double, int>> candidates;
    for (int i = 0; i < n; ++i) {
        if (i == recipient || missingInRow(mask, i) > 0) continue;
        double sum = 0.0;
        for (int j : observed) {
            const double d = x[i][j] - x[recipient][j];
            sum += d * d;
        }
        candidates.emplace_back(std::sqrt(sum), i);
    }
    const std::size_t keep = std::min(candidates.size(), static_cast<std::size_t>(count));
    // Pairs compare by distance, then by row: equal distances keep file order.
    std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(keep),
                      candidates.end());
    std::vector<int> donors;
    for (std::size_t d = 0; d < keep; ++d) donors.push_back(candidates[d].second);
    return donors;
}

std::vector<Matrix> imputeHotDeck(const Matrix& x, const Matrix& mask) {
    const int n = x.rows();
    const int p = x.cols();
    std::vector<Matrix> sets;
    for (int k = 0; k < kImputedSets; ++k) sets.push_back(x.copy());
    const Matrix modes = columnModes(x, mask);
    MatrixScope scope;
    for (int i = 0; i < n; ++i) {
        const int missing = missingInRow(mask, i);
        if (missing == 0) continue;
        std::vector<int> donors;
        if (2 * missing <= p) donors = selectDonors(x, mask, i);
        if (donors.empty()) {
            for (int j = 0; j < p; ++j)
                if (missingCell(mask, i, j))
                    for (Matrix& set : sets) set[i][j] = modes[0][j];
            continue;
        }
        // Random order: ascending uniform keys, ties mapped as permuteColumns maps them.
        MatrixScope drawScope;
        Matrix rows(static_cast<int>(donors.size()), 1);
        for (std::size_t d = 0; d < donors.size(); ++d)
            rows[static_cast<int>(d)][0] = donors[d];
        const Matrix order = permuteColumns(rows);
        for (int k = 0; k < kImputedSets; ++k) {
            const int donor = static_cast<int>(order[k % order.rows()][0]);
            for (int j = 0; j < p; ++j)
                if (missingCell(mask, i, j)) sets[static_cast<std::size_t>(k)][i][j] = x[donor][j];
        }
    }
    return sets;
}

}  // namespace talvex
