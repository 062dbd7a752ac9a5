// The files rendered from the results document at the end of a run: the
// HTML page and the CSV tables.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "data/output_file.h"
#include "results/html_page.h"

namespace talvex {

struct ResultFiles {
    std::string html;       // the page; empty: none
    std::string csvFolder;  // the tables; empty: none
    HtmlOptions page;
};

// Writes what is named, each file put in place only when complete; one
// message (the file and the system's reason) for each that could not be.
std::vector<std::string> writeResultFiles(const nlohmann::json& doc, const ResultFiles& files,
                                          FileWrites& writes = systemFileWrites());

}  // namespace talvex
