#include "results/result_files.h"

#include <filesystem>
#include <system_error>

#include "results/csv_tables.h"

namespace talvex {

std::vector<std::string> writeResultFiles(const nlohmann::json& doc, const ResultFiles& files,
                                          FileWrites& writes) {
    std::vector<std::string> errors;
    auto write = [&](const std::string& path, const std::string& text, const char* what) {
        const WriteResult written = writeTextFile(path, text, writes);
        if (!written) errors.push_back(std::string(what) + " could not be written to " + path + ": " + written.error);
    };
    if (!files.html.empty()) write(files.html, htmlPage(doc, files.page), "The HTML page");
    if (!files.csvFolder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(files.csvFolder, error);
        for (const CsvTable& table : csvTables(doc))
            write((std::filesystem::path(files.csvFolder) / table.fileName).string(), table.text, "The CSV table");
    }
    return errors;
}

}  // namespace talvex
