// Reference inputs shared by the adequacy, smoothing and MAP tests: the
// committed data sets under tests/reference/ and a capture of report text.
#pragma once

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/report_writer.h"
#include "core/matrix.h"
#include "support/matrix_testing.h"

namespace talvex::testing {

// Unit-diagonal symmetric matrix from its upper triangle, row by row.
inline Matrix symmetric(int p, const std::vector<double>& upper) {
    Matrix m = identity(p);
    std::size_t k = 0;
    for (int i = 0; i < p; ++i)
        for (int j = i + 1; j < p; ++j) m[i][j] = m[j][i] = upper[k++];
    return m;
}

inline std::string referencePath(const std::string& name) {
    return std::string(TALVEX_SOURCE_DIR) + "/tests/reference/" + name;
}

// Whitespace-separated numbers, one matrix row per line.
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

inline Matrix toMatrix(const std::vector<std::vector<double>>& rows) {
    Matrix m(static_cast<int>(rows.size()), static_cast<int>(rows.front().size()));
    for (int i = 0; i < m.rows(); ++i)
        for (int j = 0; j < m.cols(); ++j) m[i][j] = rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
    return m;
}

// Pearson correlations of the columns, two-pass, computed here so the tests
// do not depend on the library's own correlation routine.
inline Matrix pearson(const std::vector<std::vector<double>>& data) {
    const std::size_t n = data.size(), p = data.front().size();
    std::vector<double> mean(p, 0.0);
    for (const auto& row : data)
        for (std::size_t j = 0; j < p; ++j) mean[j] += row[j] / static_cast<double>(n);
    Matrix c(static_cast<int>(p), static_cast<int>(p));
    for (const auto& row : data)
        for (std::size_t i = 0; i < p; ++i)
            for (std::size_t j = 0; j < p; ++j)
                c[static_cast<int>(i)][static_cast<int>(j)] += (row[i] - mean[i]) * (row[j] - mean[j]);
    Matrix r(static_cast<int>(p), static_cast<int>(p));
    for (int i = 0; i < static_cast<int>(p); ++i)
        for (int j = 0; j < static_cast<int>(p); ++j) r[i][j] = c[i][j] / std::sqrt(c[i][i] * c[j][j]);
    return r;
}

struct ReferenceMatrix {
    Matrix r;
    int n = 0;
};

// bfi25: Pearson matrix of the 2436 complete cases; harman74: 24 x 24, N = 145.
inline ReferenceMatrix bfi25Correlation() {
    const auto data = readRows(referencePath("bfi25.dat"));
    return {pearson(data), static_cast<int>(data.size())};
}
inline ReferenceMatrix harman74Correlation() { return {toMatrix(readRows(referencePath("harman74.cor"))), 145}; }

// Runs a section writer on an in-memory stream and returns what it wrote.
template <typename Write>
std::string captureReport(Write write) {
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

// snprintf of one cell, so expected text follows the format, not our output.
template <typename... Args>
std::string formatted(const char* format, Args... args) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

}  // namespace talvex::testing
