// The plots against the numbers of the golden reports: the plot data hold
// the printed values, the advised mark of each SVG maps back to them, and
// the files go only where they may.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include "results/plot_data.h"
#include "results/plot_files.h"
#include "results/plot_render.h"

namespace talvex {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

json golden(const std::string& name) {
    return json::parse(slurp(std::string(TALVEX_TEST_DIR) + "/reports/expected/" + name + ".json"));
}

// The rows of a report table: the numbers of each line after `heading`
// up to the first line without any ('*' marks dropped).
std::vector<std::vector<std::string>> reportRows(const std::string& name, const std::string& heading,
                                                 int skip) {
    std::istringstream in(slurp(std::string(TALVEX_TEST_DIR) + "/reports/expected/" + name + ".txt"));
    std::string line;
    while (std::getline(in, line) && line.find(heading) == std::string::npos) {}
    for (int i = 0; i < skip; ++i) std::getline(in, line);
    std::vector<std::vector<std::string>> rows;
    while (std::getline(in, line)) {
        for (char& c : line)
            if (c == '*') c = ' ';
        std::istringstream fields(line);
        std::vector<std::string> row;
        for (std::string f; fields >> f;) row.push_back(f);
        if (row.empty()) break;
        rows.push_back(row);
    }
    return rows;
}

std::string printed(const char* format, double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, v);
    return buffer;
}

TEST(PlotData, ChartsHoldTheNumbersOfTheReportTables) {
    const auto scree = screePlotOf(golden("pa_default"));
    ASSERT_TRUE(scree);
    const auto pa = reportRows("pa_default", "percentile of random", 2);
    ASSERT_EQ(pa.size(), 10u);
    ASSERT_EQ(scree->real.size(), 10u);
    for (std::size_t i = 0; i < pa.size(); ++i) {
        EXPECT_EQ(scree->real[i].x, double(i + 1));
        EXPECT_EQ(printed("%.1f", scree->real[i].y), pa[i][1]) << "rank " << i + 1;
        EXPECT_EQ(printed("%.1f", scree->mean[i].y), pa[i][2]);
        EXPECT_EQ(printed("%.1f", scree->percentile[i].y), pa[i][3]);
    }
    // "** ... 95 percentile ...: 1", "* ... mean ...: 2": the percentile's is marked.
    EXPECT_TRUE(scree->percentages);
    EXPECT_EQ(scree->advisedByPercentile, 1);
    EXPECT_EQ(scree->advisedByMean, 2);
    EXPECT_EQ(scree->advised, 1);

    const auto map = mapPlotOf(golden("user_matrix_no_sample"));
    ASSERT_TRUE(map);
    const auto averages = reportRows("user_matrix_no_sample", "Averaged Partial", 1);
    ASSERT_EQ(map->averages.size(), averages.size());
    for (std::size_t i = 0; i < averages.size(); ++i) {
        EXPECT_EQ(printed("%.0f", map->averages[i].x), averages[i][0]);
        EXPECT_EQ(printed("%.5f", map->averages[i].y), averages[i][1]);
    }
    EXPECT_EQ(map->advised, 1);

    // The RMSEA hull has only the points 0 and 2; one factor is advised
    // and drawn among the solutions, fit as the index itself.
    const auto hull = hullPlotOf(golden("hull_rmsea"));
    ASSERT_TRUE(hull);
    const auto rows = reportRows("hull_rmsea", "Scree test", 2);
    ASSERT_EQ(hull->hull.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(std::to_string(hull->hullFactors[i]), rows[i][0]);
        EXPECT_EQ(printed("%.3f", hull->hull[i].y), rows[i][1]);
        EXPECT_EQ(printed("%.0f", hull->hull[i].x), rows[i][2]);
    }
    EXPECT_EQ(hull->index, "RMSEA");
    EXPECT_EQ(hull->advised, 1);
    EXPECT_EQ(hull->solutionFactors, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(hull->solutions[0].y, hull->hull[0].y);
    EXPECT_EQ(hull->solutions[2].y, hull->hull[1].y);
}

TEST(PlotData, LoadingsAreSortedByMainFactorThenSize) {
    const json doc = golden("mrfa");
    const auto plot = loadingsPlotOf(doc);
    ASSERT_TRUE(plot);
    EXPECT_TRUE(plot->rotated);
    ASSERT_EQ(plot->values.size(), 12u);
    ASSERT_EQ(plot->correlations.size(), 3u);
    int lastMain = 0;
    double lastSize = 2.0;
    for (std::size_t r = 0; r < plot->values.size(); ++r) {
        const int source = plot->order[r];
        const json& row = doc["rotated_loadings"][static_cast<std::size_t>(source)];
        EXPECT_EQ(plot->labels[r], doc["variables"][static_cast<std::size_t>(source)]["label"]);
        int main = 0;
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(plot->values[r][j], row[j].get<double>());
            if (std::fabs(row[j].get<double>()) > std::fabs(row[main].get<double>())) main = j;
        }
        const double size = std::fabs(row[main].get<double>());
        ASSERT_GE(main, lastMain) << "row " << r;
        if (main == lastMain) {
            EXPECT_LE(size, lastSize) << "row " << r;
        }
        lastMain = main;
        lastSize = size;
    }
}

TEST(PlotData, ValuesThatAreNotFiniteAreLeftOutAndListed) {
    json doc = golden("pa_default");
    doc["parallel_analysis"]["real"][2] = std::nan("");
    doc["parallel_analysis"]["random_mean"][0] = nullptr;
    doc["rotated_loadings"][4][1] = INFINITY;
    const auto scree = screePlotOf(doc);
    ASSERT_TRUE(scree);
    ASSERT_EQ(scree->real.size(), 9u);
    EXPECT_EQ(scree->real[2].x, 4.0);
    EXPECT_EQ(scree->mean[0].x, 2.0);
    // The advised rank cannot be marked without its real value.
    json noFirst = golden("pa_default");
    noFirst["parallel_analysis"]["real"][0] = INFINITY;
    EXPECT_EQ(screePlotOf(noFirst)->advised, 0);

    const fs::path folder = fs::temp_directory_path() / "talvex-plots-left-out";
    fs::remove_all(folder);
    fs::create_directories(folder);
    const PlotsWritten written = writePlots(doc, folder.string());
    EXPECT_EQ(written.error, "");
    const json expected = json::parse(R"([{"plot":"scree","series":"real","position":3},
        {"plot":"scree","series":"random_mean","position":1},
        {"plot":"loadings","series":"loadings","position":5,"factor":2}])");
    EXPECT_EQ(written.summary["left_out"], expected);
    fs::remove_all(folder);
}

// The centre of the one diamond drawn outside the glyph definitions.
struct Found {
    int diamonds = 0;
    double x = 0.0, y = 0.0;
};

void findDiamonds(xmlNode* node, Found& found) {
    for (; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        const std::string name = reinterpret_cast<const char*>(node->name);
        if (name == "symbol" || name == "defs") continue;
        if (name == "path") {
            xmlChar* d = xmlGetProp(node, reinterpret_cast<const xmlChar*>("d"));
            std::istringstream in(d ? reinterpret_cast<const char*>(d) : "");
            xmlFree(d);
            std::vector<std::pair<double, double>> points;
            std::string op;
            bool lines = true;
            while (in >> op && op != "Z") {
                double x, y;
                lines = lines && (op == "M" ? points.empty() : op == "L");
                if (in >> x >> y) points.push_back({x, y});
            }
            if (lines && points.size() == 4 && std::fabs(points[0].first - points[2].first) < 0.01 &&
                std::fabs(points[1].second - points[3].second) < 0.01 &&
                std::fabs(points[0].second - points[2].second) > 1.0) {
                ++found.diamonds;
                found.x = points[0].first;
                found.y = points[1].second;
            }
        }
        findDiamonds(node->children, found);
    }
}

Found advisedMarkOf(const std::string& svg) {
    xmlDoc* doc = xmlReadMemory(svg.data(), static_cast<int>(svg.size()), "plot.svg", nullptr, XML_PARSE_NONET);
    Found found;
    if (doc == nullptr) {
        found.diamonds = -1;
        return found;
    }
    findDiamonds(xmlDocGetRootElement(doc), found);
    xmlFreeDoc(doc);
    return found;
}

// Data coordinates of a pixel position through the frame's scales.
PlotPoint dataAt(const PlotFrame& f, double x, double y) {
    return {f.xMin + (x - f.left) / f.width * (f.xMax - f.xMin),
            f.yMin + (f.top + f.height - y) / f.height * (f.yMax - f.yMin)};
}

TEST(PlotSvg, TheAdvisedMarkLandsOnTheReportedValue) {
    // Scree: rank 1, 38.1 % of common variance.
    const auto scree = screePlotOf(golden("pa_default"));
    const RenderedPlot s = renderScree(*scree);
    ASSERT_TRUE(s.ok);
    Found f = advisedMarkOf(s.svg);
    ASSERT_EQ(f.diamonds, 1);
    PlotPoint p = dataAt(screeFrame(*scree), f.x, f.y);
    EXPECT_NEAR(p.x, 1.0, 0.01);
    EXPECT_NEAR(p.y, 38.1, 0.06);

    // MAP: 1 dimension, average 0.06424.
    const auto map = mapPlotOf(golden("user_matrix_no_sample"));
    f = advisedMarkOf(renderMap(*map).svg);
    ASSERT_EQ(f.diamonds, 1);
    p = dataAt(mapFrame(*map), f.x, f.y);
    EXPECT_NEAR(p.x, 1.0, 0.01);
    EXPECT_NEAR(p.y, 0.06424, 0.0001);

    // Hull: one factor, 14 free parameters (p = 7: 2·7 − 0).
    const auto hull = hullPlotOf(golden("hull_rmsea"));
    f = advisedMarkOf(renderHull(*hull).svg);
    ASSERT_EQ(f.diamonds, 1);
    p = dataAt(hullFrame(*hull), f.x, f.y);
    EXPECT_NEAR(p.x, 14.0, 0.02);
    EXPECT_NEAR(p.y, 0.15565, 0.0005);

    // The heat map has no advised mark but is a well-formed document.
    EXPECT_EQ(advisedMarkOf(renderLoadings(*loadingsPlotOf(golden("mrfa"))).svg).diamonds, 0);
}

std::pair<int, int> pngSize(const std::string& png) {
    EXPECT_EQ(png.substr(1, 3), "PNG");
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(png[i]); };
    const auto at = [&](std::size_t i) { return (byte(i) << 24) | (byte(i + 1) << 16) | (byte(i + 2) << 8) | byte(i + 3); };
    return {at(16), at(20)};
}

// Every text element of an SVG, in document order.
void textsOf(xmlNode* node, std::vector<std::string>& texts) {
    for (; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && std::string(reinterpret_cast<const char*>(node->name)) == "text") {
            xmlChar* content = xmlNodeGetContent(node);
            texts.emplace_back(content ? reinterpret_cast<const char*>(content) : "");
            xmlFree(content);
        }
        textsOf(node->children, texts);
    }
}

TEST(PlotSvg, LabelsAndNumbersAreTextThatParsesBack) {
    // Labels from a user's file are text, never markup; the cell numbers
    // are there to be selected.
    LoadingsPlot plot;
    plot.labels = {"<script>alert(1)</script>", "A&B \"x\""};
    plot.order = {0, 1};
    plot.values = {{0.71, -0.05}, {0.12, 0.64}};
    const RenderedPlot r = renderLoadings(plot);
    ASSERT_TRUE(r.ok);
    xmlDoc* doc = xmlReadMemory(r.svg.data(), static_cast<int>(r.svg.size()), "plot.svg", nullptr, XML_PARSE_NONET);
    ASSERT_NE(doc, nullptr);
    std::vector<std::string> texts;
    textsOf(xmlDocGetRootElement(doc), texts);
    xmlFreeDoc(doc);
    for (const char* expected : {"<script>alert(1)</script>", "A&B \"x\"", "0.71", "-0.05", "0.64"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << expected;
    EXPECT_EQ(r.svg.find("<script>"), std::string::npos);
}

TEST(PlotPng, ImagesHaveTheDocumentedSize) {
    EXPECT_EQ(pngSize(renderMap(*mapPlotOf(golden("pca"))).png), std::make_pair(720, 480));
    // 12 variables, 3 factors, oblique: max(600, 248 + 64·3 + 88 + 56·3) x (212 + 24·12).
    EXPECT_EQ(pngSize(renderLoadings(*loadingsPlotOf(golden("mrfa"))).png), std::make_pair(696, 500));
    // 12 variables, 3 orthogonal factors: the width's floor.
    EXPECT_EQ(pngSize(renderLoadings(*loadingsPlotOf(golden("pca"))).png), std::make_pair(600, 500));
}

TEST(PlotData, IntervalsFollowTheLoadingsOrderAndLeaveOutBoundsNotFinite) {
    json doc = golden("mrfa"), lower, upper;
    for (int i = 0; i < 12; ++i)  // bounds that name their cell: ±(10·row + column)
        for (int j = 0; j < 3; ++j) lower[i][j] = -(10 * i + j), upper[i][j] = 10 * i + j;
    lower[6][2] = nullptr;
    doc["bootstrap"] = {{"used", 480}, {"loadings", {{"lower", lower}, {"upper", upper}}}};
    const auto plot = intervalsPlotOf(doc);
    const auto loadings = loadingsPlotOf(doc);
    ASSERT_TRUE(plot);
    for (int r = 0; r < 12; ++r)
        for (int j = 0; j < 3; ++j) {
            const int i = loadings->order[static_cast<std::size_t>(r)], cell = 10 * i + j;
            const bool kept = !(i == 6 && j == 2);
            EXPECT_EQ(plot->lower[r][j] == -cell && plot->upper[r][j] == cell, kept) << i << " " << j;
            EXPECT_EQ(plot->estimates[r][j] == loadings->values[r][j], kept);
        }
    const fs::path folder = fs::temp_directory_path() / "talvex-plots-intervals";
    fs::create_directories(folder);
    EXPECT_EQ(writePlots(doc, folder.string()).summary["left_out"].back(),
              json::parse(R"({"plot":"intervals","series":"intervals","position":7,"factor":3})"));
    EXPECT_TRUE(fs::is_regular_file(folder / "intervals.png"));
    fs::remove_all(folder);
    for (const char* side : {"lower", "upper"}) doc["bootstrap"]["loadings"][side].erase(11);
    EXPECT_FALSE(intervalsPlotOf(doc));  // bounds of another shape than the loadings
}

TEST(PlotFiles, OnlyPlotsWithNumbersAreWrittenAndBadFoldersAreRefused) {
    const fs::path base = fs::temp_directory_path() / "talvex-plots-files";
    fs::remove_all(base);
    fs::create_directories(base);
    DataSet data;
    const std::string report = (base / "output.txt").string();

    // A missing folder is created; a run that stopped after its eigenvalues
    // gets the scree plot alone.
    const fs::path folder = base / "new" / "plots";
    EXPECT_EQ(plotFolderProblem(data, folder.string(), report, ""), std::nullopt);
    EXPECT_TRUE(fs::is_directory(folder));
    const json early = {{"eigenvalues", {3.1, 1.2, 0.5}}, {"ending", "failed"}};
    const PlotsWritten written = writePlots(early, folder.string());
    EXPECT_EQ(written.error, "");
    EXPECT_EQ(written.summary["files"],
              json({(folder / "scree.svg").string(), (folder / "scree.png").string()}));
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
    EXPECT_EQ(count, 2u);  // no temporary file is left
    EXPECT_TRUE(fs::is_regular_file(folder / "scree.png"));
    // The page gets the plot as an SVG element it can inline, and its PNG.
    ASSERT_EQ(written.pictures.size(), 1u);
    EXPECT_EQ(written.pictures[0].svg.find("<svg"), written.pictures[0].svg.find_first_not_of(" \r\n"));
    EXPECT_EQ(written.pictures[0].png, (folder / "scree.png").string());

    // A file, a folder under a file, a folder no one may write to, and a
    // plot name that is the report or an input.
    std::ofstream(base / "file") << "x";
    EXPECT_NE(plotFolderProblem(data, (base / "file").string(), report, ""), std::nullopt);
    EXPECT_NE(plotFolderProblem(data, (base / "file" / "plots").string(), report, ""), std::nullopt);
    EXPECT_NE(plotFolderProblem(data, "/proc", report, ""), std::nullopt);
    EXPECT_NE(plotFolderProblem(data, base.string(), (base / "hull.png").string(), ""), std::nullopt);
    data.labelsFileName = (base / "loadings.svg").string();
    EXPECT_NE(plotFolderProblem(data, base.string(), report, ""), std::nullopt);

    // A folder that went away during the run is an error, not success.
    fs::remove_all(folder);
    EXPECT_NE(writePlots(early, folder.string()).error, "");
    fs::remove_all(base);
}

}  // namespace
}  // namespace talvex
