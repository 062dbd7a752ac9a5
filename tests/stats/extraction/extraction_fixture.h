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

// Records of an R reference file keyed by their leading words:
// extraction_reference.txt ("eigen bfi25", "uls harman74 3", "heywood1", ...)
// and ml_mrfa_reference.txt (always "KIND NAME K": "mlpsi harman74 1",
// "matrix thurstone 0").
class ReferenceFixture {
public:
    static const ReferenceFixture& instance() {
        static const ReferenceFixture fixture("extraction_reference.txt", false);
        return fixture;
    }
    static const ReferenceFixture& mlMrfa() {
        static const ReferenceFixture fixture("ml_mrfa_reference.txt", true);
        return fixture;
    }
    const std::vector<double>& values(const std::string& key) const {
        const auto it = records_.find(key);
        if (it != records_.end()) return it->second;
        ADD_FAILURE() << "missing reference record: " << key;
        static const std::vector<double> none;
        return none;
    }
    // rows x cols numbers of a record stored row-major from `offset`; created
    // in the caller's scope.
    Matrix block(const std::string& key, int rows, int cols, int offset = 0) const {
        const std::vector<double>& v = values(key);
        Matrix m(rows, cols);
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < cols; ++j) m[i][j] = v[static_cast<std::size_t>(offset + i * cols + j)];
        return m;
    }
    // The analysed matrix of a named data set ("matrix NAME p N R") and its sample size.
    Matrix matrix(const std::string& name, int* sampleSize = nullptr) const {
        const std::string key = "matrix " + name + (threeWordKeys_ ? " 0" : "");
        const std::vector<double>& v = values(key);
        if (sampleSize != nullptr) *sampleSize = static_cast<int>(v[1]);
        return block(key, static_cast<int>(v[0]), static_cast<int>(v[0]), 2);
    }

private:
    ReferenceFixture(const char* file, bool threeWordKeys) : threeWordKeys_(threeWordKeys) {
        std::ifstream in(testing::referencePath(file));
        std::string line, kind, word;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream words(line);
            words >> kind;
            // "matrix NAME", "eigen NAME", "heywood..." alone, else "KIND NAME K".
            int keyWords = threeWordKeys                       ? 3
                           : kind.rfind("heywood", 0) == 0     ? 1
                           : kind == "matrix" || kind == "eigen" ? 2
                                                               : 3;
            std::string key = kind;
            while (--keyWords > 0 && words >> word) key += " " + word;
            std::vector<double>& numbers = records_[key];
            while (words >> word) numbers.push_back(std::strtod(word.c_str(), nullptr));
        }
    }
    bool threeWordKeys_;
    std::map<std::string, std::vector<double>> records_;
};

}  // namespace talvex::extraction_testing
