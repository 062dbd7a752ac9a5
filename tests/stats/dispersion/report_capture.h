// Helpers for the descriptives and text-plot tests: committed reference
// files, report text captured from a section writer, and snprintf cells.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/report_writer.h"
#include "core/matrix.h"

namespace talvex::report_capture {

inline std::string referencePath(const std::string& name) {
    return std::string(TALVEX_SOURCE_DIR) + "/tests/reference/" + name;
}

// Whitespace-separated numbers, one matrix row per line.
inline Matrix readMatrix(const std::string& path) {
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
    Matrix m(static_cast<int>(rows.size()), rows.empty() ? 0 : static_cast<int>(rows.front().size()));
    for (int i = 0; i < m.rows(); ++i)
        for (int j = 0; j < m.cols(); ++j) m[i][j] = rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
    return m;
}

// Runs a section writer on an in-memory stream and returns what it wrote.
template <typename Write>
std::string capture(Write write) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    {
        ReportWriter report(stream);
        write(report);
    }
    std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

// One cell formatted with the section's own format.
template <typename... Args>
std::string formatted(const char* format, Args... args) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

}  // namespace talvex::report_capture
