#include "results/result_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
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

std::vector<HtmlOptions::Picture> plotPictures(const nlohmann::json& doc) {
    std::vector<HtmlOptions::Picture> pictures;
    if (!doc.contains("plots")) return pictures;
    for (const auto& file : doc["plots"].value("files", nlohmann::json::array())) {
        const std::filesystem::path path = file.get<std::string>();
        if (path.extension() != ".svg") continue;
        std::ifstream in(path, std::ios::binary);
        std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Inline, the document's XML declaration has no place.
        if (svg.rfind("<?xml", 0) == 0) svg.erase(0, svg.find("?>") + 2);
        std::filesystem::path png = path;
        png.replace_extension(".png");
        std::error_code error;
        if (!in.bad() && !svg.empty())
            pictures.push_back({"Plot: " + path.stem().string(), svg,
                                std::filesystem::exists(png, error) ? std::filesystem::absolute(png, error).string() : ""});
    }
    return pictures;
}

}  // namespace talvex
