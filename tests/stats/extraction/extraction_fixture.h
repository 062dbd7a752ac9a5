// Shared helpers of the extraction tests: the R reference fixture, captured
// report text and snprintf-built expected cells.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/report_writer.h"
#include "core/matrix.h"
#include "data/dataset.h"
#include "support/matrix_testing.h"

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
        std::ifstream in(std::string(TALVEX_SOURCE_DIR) + "/tests/reference/extraction_reference.txt");
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

// Captures what a section writer prints.
class CapturedReport {
public:
    CapturedReport() : stream_(open_memstream(&buffer_, &size_)), report_(stream_) {}
    ~CapturedReport() {
        std::fclose(stream_);
        std::free(buffer_);
    }
    ReportWriter& report() { return report_; }
    std::string text() {
        std::fflush(stream_);
        return std::string(buffer_, size_);
    }

private:
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* stream_;
    ReportWriter report_;
};

inline std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
inline std::string format(const char* fmt, ...) {
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

// Numbering 1..p for p analysed variables.
inline void numberVariables(DataSet& data, int p, int first = 1) {
    data.includedIndex = Matrix(p, 1);
    for (int i = 0; i < p; ++i) data.includedIndex[i][0] = first + i;
}

}  // namespace talvex::extraction_testing
