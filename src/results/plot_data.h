// The numbers of each plot, taken from the results document of a run
// (docs/results-schema.md). A plot exists only when the document holds its
// section; values that are not finite are left out and listed.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace talvex {

struct PlotPoint {
    double x = 0.0;
    double y = 0.0;
};

// A value left out of a plot: its series and its 1-based position there
// (a rank, a number of dimensions or factors, a variable); factor is the
// column of a loading, 0 elsewhere.
struct LeftOut {
    std::string series;
    int position = 0;
    int factor = 0;
};

// Real-data values against their rank and, after parallel analysis, the
// mean and the percentile of the random values.
struct ScreePlot {
    bool parallel = false;
    bool percentages = false;  // % of common variance rather than eigenvalues
    int percentileLevel = 0;
    std::vector<PlotPoint> real, mean, percentile;
    int advised = 0;  // rank marked; 0: none
    int advisedByMean = 0;
    int advisedByPercentile = 0;
    std::vector<LeftOut> leftOut;
};

// Averaged squared partial correlations against the dimensions removed.
struct MapPlot {
    std::vector<PlotPoint> averages;
    int advised = 0;
    std::vector<LeftOut> leftOut;
};

// Fit index against the free parameters of every solution, and the hull.
struct HullPlot {
    std::string index;  // "CAF", "CFI" or "RMSEA": the values drawn
    std::vector<PlotPoint> solutions, hull;
    std::vector<int> solutionFactors, hullFactors;
    int advised = 0;
    std::vector<LeftOut> leftOut;
};

// Loadings sorted by their variable's main factor and then by its size.
struct LoadingsPlot {
    bool rotated = false;
    std::vector<std::string> labels;           // in the sorted order
    std::vector<int> order;                    // sorted row -> row of the document
    std::vector<std::vector<double>> values;   // sorted rows; nan marks a cell left out
    std::vector<std::vector<double>> correlations;  // factor correlations (oblique only)
    std::vector<LeftOut> leftOut;
};

// Bootstrap percentile intervals of the loadings, rows in the order of the
// loadings plot; nan marks a cell left out.
struct IntervalsPlot {
    int level = 0, used = 0, failed = 0;
    bool rotated = false;
    std::vector<std::string> labels;
    std::vector<std::vector<double>> estimates, lower, upper;
    std::vector<LeftOut> leftOut;
};

std::optional<ScreePlot> screePlotOf(const nlohmann::json& doc);
std::optional<MapPlot> mapPlotOf(const nlohmann::json& doc);
std::optional<HullPlot> hullPlotOf(const nlohmann::json& doc);
std::optional<LoadingsPlot> loadingsPlotOf(const nlohmann::json& doc);
std::optional<IntervalsPlot> intervalsPlotOf(const nlohmann::json& doc);

}  // namespace talvex
