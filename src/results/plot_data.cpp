#include "results/plot_data.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace talvex {

namespace {

using nlohmann::json;

// A number of the document; null (a value written as not defined) and
// anything not finite give nothing.
std::optional<double> finiteNumber(const json& value) {
    if (!value.is_number()) return std::nullopt;
    const double v = value.get<double>();
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

// The points (x of each, the array's values) whose both coordinates are
// finite; the others are listed under `series`.
std::vector<PlotPoint> pointsOf(const json& xs, const json& ys, const char* series,
                                std::vector<LeftOut>& leftOut) {
    std::vector<PlotPoint> points;
    if (!ys.is_array()) return points;
    for (std::size_t i = 0; i < ys.size(); ++i) {
        const auto x = xs.is_array() && i < xs.size() ? finiteNumber(xs[i]) : std::optional<double>(double(i + 1));
        const auto y = finiteNumber(ys[i]);
        if (x && y)
            points.push_back({*x, *y});
        else
            leftOut.push_back({series, static_cast<int>(i + 1), 0});
    }
    return points;
}

int integerOr(const json& doc, const char* key, int fallback) {
    const auto it = doc.find(key);
    return it != doc.end() && it->is_number_integer() ? it->get<int>() : fallback;
}

std::string labelOf(const json& variables, std::size_t i) {
    if (variables.is_array() && i < variables.size()) {
        const json& v = variables[i];
        if (v.contains("label") && v["label"].is_string() && !v["label"].get<std::string>().empty())
            return v["label"].get<std::string>();
        if (v.contains("number")) return "Variable " + std::to_string(v["number"].get<int>());
    }
    return "Variable " + std::to_string(i + 1);
}

}  // namespace

std::optional<ScreePlot> screePlotOf(const json& doc) {
    ScreePlot plot;
    const json none;
    if (doc.contains("parallel_analysis")) {
        const json& pa = doc["parallel_analysis"];
        plot.parallel = true;
        plot.percentages = pa.value("values", "") == "percentages";
        plot.percentileLevel = integerOr(pa, "percentile", 95);
        plot.real = pointsOf(none, pa["real"], "real", plot.leftOut);
        plot.mean = pointsOf(none, pa["random_mean"], "random_mean", plot.leftOut);
        plot.percentile = pointsOf(none, pa["random_percentile"], "random_percentile", plot.leftOut);
        plot.advisedByMean = integerOr(pa, "advised_mean", 0);
        plot.advisedByPercentile = integerOr(pa, "advised_percentile", 0);
        // The percentile's advice is the stricter one; the mean's stands
        // alone when no value exceeds the percentile.
        plot.advised = plot.advisedByPercentile > 0 ? plot.advisedByPercentile : plot.advisedByMean;
    } else if (doc.contains("eigenvalues")) {
        plot.real = pointsOf(none, doc["eigenvalues"], "eigenvalues", plot.leftOut);
    } else {
        return std::nullopt;
    }
    // A rank whose real value was left out cannot be marked.
    const bool drawn = std::any_of(plot.real.begin(), plot.real.end(),
                                   [&](const PlotPoint& p) { return p.x == plot.advised; });
    if (!drawn) plot.advised = 0;
    if (plot.real.empty()) return std::nullopt;
    return plot;
}

std::optional<MapPlot> mapPlotOf(const json& doc) {
    if (!doc.contains("map")) return std::nullopt;
    const json& map = doc["map"];
    MapPlot plot;
    plot.averages = pointsOf(map["dimensions"], map["averages"], "averages", plot.leftOut);
    plot.advised = integerOr(map, "advised", 0);
    if (plot.averages.empty()) return std::nullopt;
    return plot;
}

std::optional<HullPlot> hullPlotOf(const json& doc) {
    if (!doc.contains("hull")) return std::nullopt;
    const json& hull = doc["hull"];
    HullPlot plot;
    plot.index = hull.value("index", "");
    plot.advised = integerOr(hull, "advised", 0);
    const auto collect = [&](const json& from, const char* series, std::vector<PlotPoint>& points,
                             std::vector<int>& factors) {
        if (!from.is_object() || !from.contains("fit") || !from.contains("parameters") ||
            !from.contains("factors"))
            return;
        const json& fit = from["fit"];
        for (std::size_t i = 0; i < fit.size(); ++i) {
            const auto x = i < from["parameters"].size() ? finiteNumber(from["parameters"][i]) : std::nullopt;
            const auto y = finiteNumber(fit[i]);
            const int k = i < from["factors"].size() ? from["factors"][i].get<int>() : static_cast<int>(i);
            if (x && y) {
                points.push_back({*x, *y});
                factors.push_back(k);
            } else {
                plot.leftOut.push_back({series, k, 0});
            }
        }
    };
    collect(hull.contains("solutions") ? hull["solutions"] : hull, "solutions", plot.solutions,
            plot.solutionFactors);
    collect(hull, "hull", plot.hull, plot.hullFactors);
    if (plot.solutions.empty()) return std::nullopt;
    return plot;
}

std::optional<LoadingsPlot> loadingsPlotOf(const json& doc) {
    LoadingsPlot plot;
    const json* rows = nullptr;
    if (doc.contains("rotated_loadings")) {
        rows = &doc["rotated_loadings"];
        plot.rotated = true;
    } else if (doc.contains("unrotated_loadings")) {
        rows = &doc["unrotated_loadings"];
    }
    if (rows == nullptr || !rows->is_array() || rows->empty()) return std::nullopt;
    const double nan = std::nan("");
    std::vector<std::vector<double>> values;
    for (const json& row : *rows) {
        std::vector<double> r;
        for (const json& cell : row) r.push_back(finiteNumber(cell).value_or(nan));
        values.push_back(std::move(r));
    }
    // Each variable's main factor is the column of its largest absolute
    // loading; rows go by that factor, then by the size of that loading.
    std::vector<int> main(values.size(), 0);
    std::vector<double> size(values.size(), 0.0);
    for (std::size_t i = 0; i < values.size(); ++i)
        for (std::size_t j = 0; j < values[i].size(); ++j)
            if (std::fabs(values[i][j]) > size[i]) {
                size[i] = std::fabs(values[i][j]);
                main[i] = static_cast<int>(j);
            }
    plot.order.resize(values.size());
    std::iota(plot.order.begin(), plot.order.end(), 0);
    std::stable_sort(plot.order.begin(), plot.order.end(), [&](int a, int b) {
        if (main[a] != main[b]) return main[a] < main[b];
        return size[a] > size[b];
    });
    const json variables = doc.value("variables", json::array());
    for (const int i : plot.order) {
        plot.labels.push_back(labelOf(variables, static_cast<std::size_t>(i)));
        plot.values.push_back(values[static_cast<std::size_t>(i)]);
        for (std::size_t j = 0; j < values[i].size(); ++j)
            if (std::isnan(values[i][j])) plot.leftOut.push_back({"loadings", i + 1, static_cast<int>(j + 1)});
    }
    if (plot.rotated && doc.contains("factor_correlations"))
        for (const json& row : doc["factor_correlations"]) {
            std::vector<double> r;
            for (const json& cell : row) r.push_back(finiteNumber(cell).value_or(nan));
            plot.correlations.push_back(std::move(r));
        }
    return plot;
}

std::optional<IntervalsPlot> intervalsPlotOf(const json& doc) {
    const auto boot = doc.find("bootstrap");
    if (boot == doc.end() || !boot->contains("loadings")) return std::nullopt;
    const json& lower = (*boot)["loadings"]["lower"];
    const json& upper = (*boot)["loadings"]["upper"];
    const auto loadings = loadingsPlotOf(doc);
    if (!loadings || !lower.is_array() || !upper.is_array() || lower.size() != loadings->values.size() ||
        upper.size() != lower.size())
        return std::nullopt;
    IntervalsPlot plot;
    plot.level = integerOr(*boot, "level", 95);
    plot.used = integerOr(*boot, "used", 0);
    plot.failed = integerOr(*boot, "failed", 0);
    plot.rotated = loadings->rotated;
    plot.labels = loadings->labels;
    const double nan = std::nan("");
    for (std::size_t r = 0; r < loadings->order.size(); ++r) {
        const auto i = static_cast<std::size_t>(loadings->order[r]);
        const std::vector<double>& estimates = loadings->values[r];
        std::vector<double> lo(estimates.size(), nan), hi(estimates.size(), nan), at(estimates.size(), nan);
        for (std::size_t j = 0; j < estimates.size(); ++j) {
            const auto l = j < lower[i].size() ? finiteNumber(lower[i][j]) : std::nullopt;
            const auto u = j < upper[i].size() ? finiteNumber(upper[i][j]) : std::nullopt;
            if (l && u && !std::isnan(estimates[j])) {
                lo[j] = *l;
                hi[j] = *u;
                at[j] = estimates[j];
            } else {
                plot.leftOut.push_back({"intervals", static_cast<int>(i + 1), static_cast<int>(j + 1)});
            }
        }
        plot.estimates.push_back(std::move(at));
        plot.lower.push_back(std::move(lo));
        plot.upper.push_back(std::move(hi));
    }
    return plot;
}

}  // namespace talvex
