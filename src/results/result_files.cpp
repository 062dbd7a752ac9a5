#include "results/result_files.h"

#include <filesystem>
#include <system_error>

#include "results/csv_tables.h"
#include "data/scores_table.h"

namespace talvex {

namespace {

// Every output of this file goes through here.
bool writeOutput(const std::string& path, const std::string& text) { return writeTextFile(path, text); }

}  // namespace

std::vector<std::string> writeResultFiles(const nlohmann::json& doc, const ResultFiles& files) {
    std::vector<std::string> errors;
    if (!files.html.empty() && !writeOutput(files.html, htmlPage(doc, files.page)))
        errors.push_back("The HTML page could not be written to " + files.html);
    if (!files.csvFolder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(files.csvFolder, error);
        for (const CsvTable& table : csvTables(doc)) {
            const std::string path = (std::filesystem::path(files.csvFolder) / table.fileName).string();
            if (!writeOutput(path, table.text)) errors.push_back("The CSV table could not be written to " + path);
        }
    }
    return errors;
}

}  // namespace talvex
