// Drawing of the plots with cairo: the same drawing goes to an SVG and to
// a PNG surface. Sizes are in pixels at 100 %.
#pragma once

#include <string>

#include "results/plot_data.h"

namespace talvex {

// Where the values of a chart land: the plot area in pixels and the data
// ranges its axes span.
struct PlotFrame {
    double left = 0.0, top = 0.0, width = 0.0, height = 0.0;
    double xMin = 0.0, xMax = 1.0, yMin = 0.0, yMax = 1.0;
    double px(double x) const { return left + (x - xMin) / (xMax - xMin) * width; }
    double py(double y) const { return top + height - (y - yMin) / (yMax - yMin) * height; }
};

// The three charts are kChartWidth x kChartHeight pixels.
inline constexpr int kChartWidth = 720;
inline constexpr int kChartHeight = 480;

PlotFrame screeFrame(const ScreePlot& plot);
PlotFrame mapFrame(const MapPlot& plot);
PlotFrame hullFrame(const HullPlot& plot);

// Size of the heat map: a row per variable, a column per factor, and the
// panel of factor correlations beside it when there is one.
struct PixelSize {
    int width = 0;
    int height = 0;
};
PixelSize loadingsSize(const LoadingsPlot& plot);
// The intervals plot: a row per variable, a panel per factor.
PixelSize intervalsSize(const IntervalsPlot& plot);

// One plot drawn as an SVG document and a PNG image (their bytes).
struct RenderedPlot {
    std::string svg;
    std::string png;
    bool ok = false;  // cairo reported no error
};

RenderedPlot renderScree(const ScreePlot& plot);
RenderedPlot renderMap(const MapPlot& plot);
RenderedPlot renderHull(const HullPlot& plot);
RenderedPlot renderLoadings(const LoadingsPlot& plot);
RenderedPlot renderIntervals(const IntervalsPlot& plot);

}  // namespace talvex
