#include "results/paper_table.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace talvex {

PaperTable paperTable(const Rows& loadings, double threshold) {
    const std::size_t m = loadings.size();
    for (const auto& row : loadings)
        if (row.empty()) return {};
    std::vector<int> main(m, 0);
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = 1; j < loadings[i].size(); ++j)
            if (std::fabs(loadings[i][j]) > std::fabs(loadings[i][static_cast<std::size_t>(main[i])]))
                main[i] = static_cast<int>(j);

    std::vector<int> order(m);
    std::iota(order.begin(), order.end(), 0);
    auto mainLoading = [&](int i) {
        const auto r = static_cast<std::size_t>(i);
        return std::fabs(loadings[r][static_cast<std::size_t>(main[r])]);
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int fa = main[static_cast<std::size_t>(a)], fb = main[static_cast<std::size_t>(b)];
        if (fa != fb) return fa < fb;
        return mainLoading(a) > mainLoading(b);
    });

    PaperTable table;
    for (const int i : order) {
        const auto r = static_cast<std::size_t>(i);
        table.variable.push_back(i);
        table.mainFactor.push_back(main[r]);
        std::vector<std::optional<double>> row;
        for (const double value : loadings[r])
            row.push_back(std::fabs(value) < threshold ? std::nullopt : std::optional<double>(value));
        table.loadings.push_back(std::move(row));
    }
    return table;
}

}  // namespace talvex
