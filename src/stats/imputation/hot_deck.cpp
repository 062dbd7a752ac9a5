#include "stats/imputation/hot_deck.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <utility>

#include "core/kernels.h"
#include "core/parallel_for.h"
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

namespace {

// The rows donors are chosen from and their scores, column after column.
// When every pooled score and every score of the recipients is an integer
// and the largest squared distance fits 16 bits, the scores are held as
// 16-bit offsets and the squared distances summed exactly in integers: the
// same order as the double sums (integer sums below 2^53 are exact, and the
// square roots of distinct integers differ), so the donors are the same.
struct DonorPool {
    std::vector<int> rows;  // ascending
    int p = 0;
    bool integer = false;
    double offset = 0.0;
    std::vector<std::int16_t> small;  // p x rows, scores - offset
    std::vector<double> scores;       // p x rows, when not integer
};

DonorPool donorPool(const Matrix& x, const Matrix& mask, std::vector<int> rows,
                    const std::vector<int>& recipients) {
    DonorPool pool;
    pool.rows = std::move(rows);
    pool.p = x.cols();
    const std::size_t size = pool.rows.size();
    double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
    bool integer = true;
    auto look = [&](double v) {
        integer = integer && v == std::trunc(v);
        lowest = std::min(lowest, v);
        highest = std::max(highest, v);
    };
    for (int i : pool.rows)
        for (int j = 0; j < pool.p; ++j) look(x[i][j]);
    for (int i : recipients)
        for (int j = 0; j < pool.p; ++j)
            if (!missingCell(mask, i, j)) look(x[i][j]);
    const double range = highest - lowest;
    pool.integer = integer && size > 0 && range * range * pool.p <= 32767.0;
    pool.offset = lowest;
    if (pool.integer) {
        pool.small.resize(size * static_cast<std::size_t>(pool.p));
        for (int j = 0; j < pool.p; ++j)
            for (std::size_t d = 0; d < size; ++d)
                pool.small[static_cast<std::size_t>(j) * size + d] =
                    static_cast<std::int16_t>(x[pool.rows[d]][j] - lowest);
    } else {
        pool.scores.resize(size * static_cast<std::size_t>(pool.p));
        for (int j = 0; j < pool.p; ++j)
            for (std::size_t d = 0; d < size; ++d)
                pool.scores[static_cast<std::size_t>(j) * size + d] = x[pool.rows[d]][j];
    }
    return pool;
}

// Keeps the `count` smallest (key, position) pairs, smallest first.
template <typename Key>
class Nearest {
public:
    explicit Nearest(int count) : count_(static_cast<std::size_t>(count)) {}
    void offer(Key key, int position) {
        if (count_ == 0) return;
        if (best_.size() == count_ && !(std::make_pair(key, position) < best_.back())) return;
        auto at = std::upper_bound(best_.begin(), best_.end(), std::make_pair(key, position));
        best_.insert(at, {key, position});
        if (best_.size() > count_) best_.pop_back();
    }
    const std::vector<std::pair<Key, int>>& best() const { return best_; }
    // Whether a key can still enter at a later position than every kept one.
    bool mayEnter(Key key) const { return best_.size() < count_ || key < best_.back().first; }

private:
    std::size_t count_;
    std::vector<std::pair<Key, int>> best_;
};

// Adds (column_d - q)² to acc_d for every pooled row d: exact integers,
// so both builds give the same sums.
TALVEX_KERNEL_BODY void addSquaredDifferencesBody(const std::int16_t* column, std::int16_t q, std::size_t size,
                                                  std::int16_t* acc) {
    for (std::size_t d = 0; d < size; ++d) {
        const std::int16_t e = static_cast<std::int16_t>(column[d] - q);
        acc[d] = static_cast<std::int16_t>(acc[d] + e * e);
    }
}
void addSquaredDifferencesPortable(const std::int16_t* column, std::int16_t q, std::size_t size,
                                   std::int16_t* acc) {
    addSquaredDifferencesBody(column, q, size, acc);
}
TALVEX_AVX2 void addSquaredDifferencesAvx2(const std::int16_t* column, std::int16_t q, std::size_t size,
                                           std::int16_t* acc) {
    addSquaredDifferencesBody(column, q, size, acc);
}

// The squared distances of every pooled row to the recipient's observed
// scores, variable after variable: each sum is taken in the same order as
// the distance of one pair.
void squaredDistances(const DonorPool& pool, const Matrix& x, const Matrix& mask, int recipient,
                      std::vector<std::int16_t>& small, std::vector<double>& sums) {
    const std::size_t size = pool.rows.size();
    if (pool.integer) {
        small.assign(size, 0);
        const auto add = kernelPath() == KernelPath::Avx2 ? addSquaredDifferencesAvx2 : addSquaredDifferencesPortable;
        for (int j = 0; j < pool.p; ++j) {
            if (missingCell(mask, recipient, j)) continue;
            const std::int16_t q = static_cast<std::int16_t>(x[recipient][j] - pool.offset);
            add(pool.small.data() + static_cast<std::size_t>(j) * size, q, size, small.data());
        }
        return;
    }
    sums.assign(size, 0.0);
    for (int j = 0; j < pool.p; ++j) {
        if (missingCell(mask, recipient, j)) continue;
        const double q = x[recipient][j];
        const double* column = pool.scores.data() + static_cast<std::size_t>(j) * size;
        for (std::size_t d = 0; d < size; ++d) {
            const double e = column[d] - q;
            sums[d] += e * e;
        }
    }
}

// Up to `count` pooled rows nearest the recipient, nearest first, equal
// distances in row order; the recipient itself is never its own donor.
void nearestDonors(const DonorPool& pool, const Matrix& x, const Matrix& mask, int recipient,
                   int count, std::vector<std::int16_t>& small, std::vector<double>& sums,
                   std::vector<int>& out) {
    squaredDistances(pool, x, mask, recipient, small, sums);
    out.clear();
    const int size = static_cast<int>(pool.rows.size());
    if (pool.integer) {
        Nearest<int> nearest(count);
        // Positions rise, so a key equal to the kept worst never enters.
        for (int d = 0; d < size; ++d)
            if (nearest.mayEnter(small[static_cast<std::size_t>(d)]) && pool.rows[static_cast<std::size_t>(d)] != recipient)
                nearest.offer(small[static_cast<std::size_t>(d)], d);
        for (const auto& [key, d] : nearest.best()) out.push_back(pool.rows[static_cast<std::size_t>(d)]);
    } else {
        Nearest<double> nearest(count);
        for (int d = 0; d < size; ++d)
            if (pool.rows[static_cast<std::size_t>(d)] != recipient)
                nearest.offer(std::sqrt(sums[static_cast<std::size_t>(d)]), d);
        for (const auto& [key, d] : nearest.best()) out.push_back(pool.rows[static_cast<std::size_t>(d)]);
    }
}

std::vector<int> completeRows(const Matrix& mask) {
    std::vector<int> rows;
    for (int i = 0; i < mask.rows(); ++i)
        if (missingInRow(mask, i) == 0) rows.push_back(i);
    return rows;
}

}  // namespace

std::vector<int> donorPoolRows(std::vector<int> complete, int limit) {
    const std::size_t size = complete.size();
    const std::size_t keep = static_cast<std::size_t>(limit);
    if (size <= keep) return complete;
    // Evenly spread over the file: pool row t is complete row floor(t·C/L).
    std::vector<int> rows(keep);
    for (std::size_t t = 0; t < keep; ++t) rows[t] = complete[t * size / keep];
    return rows;
}

std::vector<int> selectDonors(const Matrix& x, const Matrix& mask, int recipient, int count) {
    const DonorPool pool = donorPool(x, mask, completeRows(mask), {recipient});
    std::vector<std::int16_t> small;
    std::vector<double> sums;
    std::vector<int> donors;
    nearestDonors(pool, x, mask, recipient, count, small, sums, donors);
    return donors;
}

std::vector<Matrix> imputeHotDeck(const Matrix& x, const Matrix& mask, int poolLimit) {
    const int n = x.rows();
    const int p = x.cols();
    std::vector<Matrix> sets;
    for (int k = 0; k < kImputedSets; ++k) sets.push_back(x.copy());
    const Matrix modes = columnModes(x, mask);
    MatrixScope scope;
    // Recipients with donors, and their donors: no random draw, so shared
    // between threads; the random order is drawn afterwards, row by row.
    std::vector<int> missing(static_cast<std::size_t>(n)), recipients;
    for (int i = 0; i < n; ++i) {
        missing[static_cast<std::size_t>(i)] = missingInRow(mask, i);
        const int m = missing[static_cast<std::size_t>(i)];
        if (m > 0 && 2 * m <= p) recipients.push_back(i);
    }
    const DonorPool pool = donorPool(x, mask, donorPoolRows(completeRows(mask), poolLimit), recipients);
    const int count = static_cast<int>(std::min<std::size_t>(pool.rows.size(), kImputedSets));
    std::vector<int> donorsOf(recipients.size() * static_cast<std::size_t>(count));
    parallelFor(static_cast<int>(recipients.size()), 64, [&](int begin, int end, int) {
        std::vector<std::int16_t> small;
        std::vector<double> sums;
        std::vector<int> donors;
        for (int r = begin; r < end; ++r) {
            nearestDonors(pool, x, mask, recipients[static_cast<std::size_t>(r)], count, small, sums, donors);
            std::copy(donors.begin(), donors.end(),
                      donorsOf.begin() + static_cast<std::ptrdiff_t>(r) * count);
        }
    });
    std::size_t next = 0;
    for (int i = 0; i < n; ++i) {
        const int m = missing[static_cast<std::size_t>(i)];
        if (m == 0) continue;
        std::vector<int> donors;
        if (2 * m <= p) {
            const auto first = donorsOf.begin() + static_cast<std::ptrdiff_t>(next) * count;
            donors.assign(first, first + count);
            ++next;
        }
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
