// A whitespace-separated table of numbers for the benchmarks: the file named
// by the environment variable, or the default path under the source tree.
// An unreadable file gives an empty matrix (the benchmark then skips).
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/matrix.h"

namespace talvex {

inline Matrix readBenchTable(const char* environmentVariable, const std::string& defaultPath) {
    const char* path = std::getenv(environmentVariable);
    std::ifstream in(path != nullptr ? std::string(path) : std::string(TALVEX_SOURCE_DIR) + "/" + defaultPath);
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<double> row;
        double v;
        while (fields >> v) row.push_back(v);
        if (!row.empty()) rows.push_back(row);
    }
    Matrix x(static_cast<int>(rows.size()), rows.empty() ? 0 : static_cast<int>(rows[0].size()));
    for (int i = 0; i < x.rows(); ++i)
        for (int j = 0; j < x.cols(); ++j)
            x[i][j] = rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
    return x;
}

}  // namespace talvex
