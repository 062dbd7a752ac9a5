// Text plots of the report: ordinal bar charts, the residual histogram and
// the stem-and-leaf plot.
#pragma once

#include "core/matrix.h"

namespace talvex {

class ReportWriter;
struct DataSet;

// BAR CHARTS FOR ORDINAL VARIABLES: one chart per column of x (N x m), with
// a warning for a variable that does not use every category of the matrix.
void writeOrdinalBarCharts(ReportWriter& report, const DataSet& data, const Matrix& x);

// One bar chart of the values of `column` (n x 1): one category per integer
// between the truncated extremes. Returns the number of categories.
int ordinalBarChart(ReportWriter& report, const Matrix& column);

// A histogram of `column` (n x 1): 7 bins below 51 values, otherwise 11.
void residualHistogram(ReportWriter& report, const Matrix& column);

// A stem-and-leaf plot of `column` (n x 1) rounded to one decimal.
void stemLeafPlot(ReportWriter& report, const Matrix& column);

}  // namespace talvex
