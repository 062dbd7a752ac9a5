// The R reference fixture of the extraction tests; report capture, expected
// cells and variable numbering come from support/report_testing.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/matrix.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex::extraction_testing {

// Records of tests/reference/extraction_reference.txt keyed by their leading
// words ("eigen bfi25", "uls harman74 3", ...).
class ReferenceFixture {
public:
    static const ReferenceFixture& instance() {
        static const ReferenceFixture fixture;
        return fixture;
    }
    const std::vector<double>& values(const std::string& key) const {
        const auto it = records_.find(key);
        if (it == records_.end()) {
            ADD_FAILURE() << "missing reference record: " << key;
            static const std::vector<double> none;
            return none;
        }
        return it->second;
    }
    // The analysed matrix of a named data set and its sample size; created in
    // the caller's scope.
    Matrix matrix(const std::string& name, int* sampleSize = nullptr) const {
        const std::vector<double>& v = values("matrix " + name);
        const int p = static_cast<int>(v[0]);
        if (sampleSize != nullptr) *sampleSize = static_cast<int>(v[1]);
        Matrix m(p, p);
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < p; ++j) m[i][j] = v[static_cast<std::size_t>(2 + i * p + j)];
        return m;
    }

private:
    ReferenceFixture() {
        std::ifstream in(testing::referencePath("extraction_reference.txt"));
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream words(line);
            std::string kind, word;
            words >> kind;
            // "matrix NAME", "eigen NAME", "heywood..." alone, else "KIND NAME K".
            int keyWords = kind.rfind("heywood", 0) == 0 ? 1 : (kind == "matrix" || kind == "eigen") ? 2 : 3;
            std::string key = kind;
            while (--keyWords > 0 && words >> word) key += " " + word;
            std::vector<double> numbers;
            while (words >> word) numbers.push_back(std::strtod(word.c_str(), nullptr));
            records_[key] = numbers;
        }
    }
    std::map<std::string, std::vector<double>> records_;
};

}  // namespace talvex::extraction_testing
