// The files rendered from the results document at the end of a run: the
// HTML page and the CSV tables.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "results/html_page.h"

namespace talvex {

struct ResultFiles {
    std::string html;       // the page; empty: none
    std::string csvFolder;  // the tables; empty: none
    HtmlOptions page;
};

// Writes what is named; one message for each file that could not be
// written (the run's other outputs are written regardless).
std::vector<std::string> writeResultFiles(const nlohmann::json& doc, const ResultFiles& files);

}  // namespace talvex
