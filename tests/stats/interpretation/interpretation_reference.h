// Records of tests/reference/reliability_irt_reference.txt, keyed by their
// first two words ("omega bfi25", "irt ability16").
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/matrix.h"
#include "support/report_testing.h"

namespace talvex::interpretation_testing {

class ReliabilityIrtReference {
public:
    static const ReliabilityIrtReference& instance() {
        static const ReliabilityIrtReference reference;
        return reference;
    }
    const std::vector<double>& values(const std::string& key) const {
        const auto it = records_.find(key);
        if (it != records_.end()) return it->second;
        ADD_FAILURE() << "missing reference record: " << key;
        static const std::vector<double> none(4096, 0.0);
        return none;
    }
    double value(const std::string& key, std::size_t i = 0) const { return values(key)[i]; }
    // rows x cols numbers stored row-major from `offset`, in the caller's scope.
    Matrix block(const std::string& key, int rows, int cols, int offset) const {
        const std::vector<double>& v = values(key);
        Matrix m(rows, cols);
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j)
                m[i][j] = v[static_cast<std::size_t>(offset + i * cols + j)];
        return m;
    }
    // "matrix NAME p S".
    Matrix matrix(const std::string& name) const {
        const int p = static_cast<int>(value("matrix " + name));
        return block("matrix " + name, p, p, 1);
    }

private:
    ReliabilityIrtReference() {
        std::ifstream in(testing::referencePath("reliability_irt_reference.txt"));
        std::string line, kind, name, word;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream words(line);
            words >> kind >> name;
            std::vector<double>& numbers = records_[kind + " " + name];
            while (words >> word) numbers.push_back(std::strtod(word.c_str(), nullptr));
        }
    }
    std::map<std::string, std::vector<double>> records_;
};

}  // namespace talvex::interpretation_testing
