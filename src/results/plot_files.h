// The plots of a run as files: scree, map, hull and loadings, each as .svg
// and .png in the plot folder (README.md lists them).
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "data/dataset.h"
#include "results/html_page.h"

namespace talvex {

// Why the plots may not go to `folder`: it cannot be created or written,
// or one of the plot files would replace an input file, the report or the
// JSON results. A folder that does not exist is created. Nothing for an
// empty name (no plots) or a usable folder.
std::optional<std::string> plotFolderProblem(const DataSet& data, const std::string& folder,
                                             const std::string& reportFileName,
                                             const std::string& jsonFileName);

struct PlotsWritten {
    nlohmann::json summary;  // the "plots" member of the results
    std::string error;       // empty when every plot was written
    // The plots written, for the page: each SVG inline, its PNG file beside.
    std::vector<HtmlOptions::Picture> pictures;
};

// Draws each plot whose numbers the results document holds and writes it
// into `folder`; a plot file is replaced only once it is complete.
PlotsWritten writePlots(const nlohmann::json& doc, const std::string& folder);

}  // namespace talvex
