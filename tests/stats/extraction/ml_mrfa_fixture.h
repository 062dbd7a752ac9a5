// Records of tests/reference/ml_mrfa_reference.txt ("KIND NAME K numbers"),
// written by tests/reference/ml_mrfa.R from factanal and psych.
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

namespace talvex::extraction_testing {

class MlMrfaReference {
public:
    static const MlMrfaReference& instance() {
        static const MlMrfaReference reference;
        return reference;
    }
    // "mlpsi harman74 1", "matrix thurstone 0", ...
    const std::vector<double>& values(const std::string& key) const {
        const auto it = records_.find(key);
        if (it != records_.end()) return it->second;
        ADD_FAILURE() << "missing reference record: " << key;
        static const std::vector<double> none;
        return none;
    }
    // The analysed matrix of a data set (in the caller's scope) and its N.
    Matrix matrix(const std::string& name, int* sampleSize = nullptr) const {
        const std::vector<double>& v = values("matrix " + name + " 0");
        const int p = static_cast<int>(v[0]);
        if (sampleSize != nullptr) *sampleSize = static_cast<int>(v[1]);
        Matrix m(p, p);
        for (int i = 0; i < p; ++i)
            for (int j = 0; j < p; ++j) m[i][j] = v[static_cast<std::size_t>(2 + i * p + j)];
        return m;
    }

private:
    MlMrfaReference() {
        std::ifstream in(testing::referencePath("ml_mrfa_reference.txt"));
        std::string line, kind, name, k, word;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream words(line);
            words >> kind >> name >> k;
            std::vector<double>& numbers = records_[kind + " " + name + " " + k];
            while (words >> word) numbers.push_back(std::strtod(word.c_str(), nullptr));
        }
    }
    std::map<std::string, std::vector<double>> records_;
};

}  // namespace talvex::extraction_testing
