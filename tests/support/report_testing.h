// Shared helpers of the tests that check report text: capture of what a
// section writer writes, the committed reference files under
// tests/reference/ and the numbering of analysed variables.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "report/report_writer.h"
#include "core/matrix.h"
#include "data/dataset.h"

namespace talvex::testing {

// The 80 dashes of a section end, and the whole end with its empty line.
inline const std::string kDashes(80, '-');
inline const std::string kSectionEnd = kDashes + "\n\n";

struct StringSink : TextSink {
    std::string text;
    void write(std::string_view more) override { text += more; }
};

// Runs write(ReportWriter&) on an in-memory sink and returns what it wrote.
template <typename Write>
std::string captureReport(Write&& write) {
    StringSink sink;
    ReportWriter report(sink);
    write(report);
    return sink.text;
}

inline std::string referencePath(const std::string& name) {
    return std::string(TALVEX_SOURCE_DIR) + "/tests/reference/" + name;
}

// Whitespace-separated numbers, one row per non-empty line.
inline std::vector<std::vector<double>> readRows(const std::string& path) {
    std::vector<std::vector<double>> rows;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<double> row;
        double x;
        while (fields >> x) row.push_back(x);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

// Rows as a matrix; the column count is that of the first row.
inline Matrix toMatrix(const std::vector<std::vector<double>>& rows) {
    Matrix m(static_cast<int>(rows.size()), rows.empty() ? 0 : static_cast<int>(rows.front().size()));
    for (int i = 0; i < m.rows(); ++i)
        for (int j = 0; j < m.cols(); ++j) m[i][j] = rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
    return m;
}

// A matrix file: whitespace-separated numbers, one matrix row per line.
inline Matrix readMatrix(const std::string& path) { return toMatrix(readRows(path)); }

// A whole file, byte for byte.
inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Numbering first..first+p-1 for p analysed variables.
inline void numberVariables(DataSet& data, int p, int first = 1) {
    data.includedIndex = Matrix(p, 1);
    for (int i = 0; i < p; ++i) data.includedIndex[i][0] = first + i;
}

}  // namespace talvex::testing
