// What the plots add to a run: all four drawn and written (SVG and PNG)
// from a results document, for the bundled example's size and for the
// largest heat map (300 variables, 12 oblique factors).
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <benchmark/benchmark.h>

#include "results/plot_files.h"

namespace {

using nlohmann::json;

json golden(const char* name) {
    std::ifstream in(std::string(TALVEX_SOURCE_DIR) + "/tests/reports/expected/" + name + ".json");
    std::stringstream s;
    s << in.rdbuf();
    return json::parse(s.str());
}

// The example's loadings, MAP and parallel analysis with a Hull curve.
json exampleDocument() {
    json doc = golden("mrfa");
    doc["parallel_analysis"] = golden("pa_default")["parallel_analysis"];
    doc["hull"] = golden("hull_rmsea")["hull"];
    return doc;
}

json largestDocument() {
    json doc = exampleDocument();
    const int m = 300, k = 12;
    json rows = json::array(), phi = json::array(), variables = json::array();
    for (int i = 0; i < m; ++i) {
        json row = json::array();
        for (int j = 0; j < k; ++j) row.push_back(j == i % k ? 0.7 : 0.05 * std::sin(i + j));
        rows.push_back(row);
        variables.push_back({{"number", i + 1}, {"label", "A rather long label of item " + std::to_string(i + 1)}});
    }
    for (int a = 0; a < k; ++a) {
        json row = json::array();
        for (int b = 0; b < k; ++b) row.push_back(a == b ? 1.0 : 0.2);
        phi.push_back(row);
    }
    doc["rotated_loadings"] = rows;
    doc["factor_correlations"] = phi;
    doc["variables"] = variables;
    return doc;
}

void writeAll(benchmark::State& state, const json& doc) {
    const auto folder = std::filesystem::temp_directory_path() / "talvex-plots-bench";
    std::filesystem::create_directories(folder);
    for (auto _ : state) {
        const talvex::PlotsWritten written = talvex::writePlots(doc, folder.string());
        if (!written.error.empty()) state.SkipWithError(written.error.c_str());
    }
    std::filesystem::remove_all(folder);
}

void BM_PlotsOfTheExample(benchmark::State& state) { writeAll(state, exampleDocument()); }
void BM_PlotsOf300Variables12Factors(benchmark::State& state) { writeAll(state, largestDocument()); }

BENCHMARK(BM_PlotsOfTheExample)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotsOf300Variables12Factors)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
