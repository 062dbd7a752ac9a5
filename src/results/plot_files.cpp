#include "results/plot_files.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

#include <unistd.h>

#include "core/format_text.h"
#include "data/data_files.h"
#include "data/output_file.h"
#include "results/plot_data.h"
#include "results/plot_render.h"

namespace talvex {

namespace {

const char* const kFolderNotCreated =
    "The folder %s for the plots cannot be created: %s.\n\nPlease, choose another folder for the plots.";
const char* const kNotAFolder =
    "The plots cannot be written to %s: it is not a folder.\n\nPlease, choose another folder for the plots.";
const char* const kFolderNotWritable =
    "The plots cannot be written to the folder %s: it is not writable.\n\nPlease, choose another "
    "folder for the plots.";
const char* const kPlotNotWritten = "The plot could not be written to %s: %s";
const char* const kPlotNotDrawn = "The plot %s could not be drawn.";

std::string fileIn(const std::string& folder, const std::string& name) {
    return (std::filesystem::path(folder) / name).string();
}

}  // namespace

std::optional<std::string> plotFolderProblem(const DataSet& data, const std::string& folder,
                                             const std::string& reportFileName,
                                             const std::string& jsonFileName) {
    namespace fs = std::filesystem;
    if (folder.empty()) return std::nullopt;
    std::error_code error;
    if (!fs::exists(folder, error)) {
        fs::create_directories(folder, error);
        if (error) return formatText(kFolderNotCreated, folder.c_str(), error.message().c_str());
    }
    if (!fs::is_directory(folder, error)) return formatText(kNotAFolder, folder.c_str());
    // Writable means a file can be created there, not only what the
    // permission bits claim (a read-only mount, another owner).
    std::string probe = fileIn(folder, ".talvex-probe-XXXXXX");
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return formatText(kFolderNotWritable, folder.c_str());
    ::close(fd);
    std::remove(probe.c_str());
    if (auto problem = resultOutputsProblem(data, {reportFileName, jsonFileName, "", "", "", folder}))
        return std::move(problem->message);
    return std::nullopt;
}

PlotsWritten writePlots(const nlohmann::json& doc, const std::string& folder) {
    PlotsWritten out;
    nlohmann::json files = nlohmann::json::array(), leftOut = nlohmann::json::array();
    const auto keep = [&](const char* name, const auto& plot, const auto& draw) {
        if (!plot || !out.error.empty()) return;
        for (const LeftOut& value : plot->leftOut) {
            nlohmann::json entry = {{"plot", name}, {"series", value.series}, {"position", value.position}};
            if (value.factor > 0) entry["factor"] = value.factor;
            leftOut.push_back(entry);
        }
        const RenderedPlot rendered = draw(*plot);
        if (!rendered.ok) {
            out.error = formatText(kPlotNotDrawn, name);
            return;
        }
        for (const auto& [extension, bytes] : {std::pair{".svg", &rendered.svg}, std::pair{".png", &rendered.png}}) {
            const std::string path = fileIn(folder, std::string(name) + extension);
            if (const WriteResult written = writeTextFile(path, *bytes); !written) {
                out.error = formatText(kPlotNotWritten, path.c_str(), written.error.c_str());
                return;
            }
            files.push_back(path);
        }
        // Inline in a page, the SVG's XML declaration has no place.
        std::string svg = rendered.svg;
        if (svg.rfind("<?xml", 0) == 0) svg.erase(0, svg.find("?>") + 2);
        std::error_code error;
        const std::filesystem::path png = std::filesystem::absolute(fileIn(folder, std::string(name) + ".png"), error);
        out.pictures.push_back({std::string("Plot: ") + name, std::move(svg), png.string()});
    };
    keep("scree", screePlotOf(doc), renderScree);
    keep("map", mapPlotOf(doc), renderMap);
    keep("hull", hullPlotOf(doc), renderHull);
    keep("loadings", loadingsPlotOf(doc), renderLoadings);
    keep("intervals", intervalsPlotOf(doc), renderIntervals);
    out.summary = {{"folder", folder}, {"files", files}, {"left_out", leftOut}};
    return out;
}

}  // namespace talvex
