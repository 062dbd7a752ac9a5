// The open report stream handed to every section writer. Bytes are written
// as they are; formats are printf formats, checked by the compiler.
#pragma once

#include <string>

#include "data/output_file.h"

namespace talvex {

struct DataSet;

// 80 dashes and an empty line: the end of every section.
inline constexpr const char* kSeparator =
    "--------------------------------------------------------------------------------\n\n";

class ReportWriter {
public:
    // Writes to an open sink; the caller owns it and learns of its failures.
    explicit ReportWriter(TextSink& sink) : sink_(sink) {}
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void write(const std::string& text);
    void separator() { write(kSeparator); }

private:
    TextSink& sink_;
};

// Name of the i-th analysed variable (0-based) as tables print it:
// "V%4i      " with its file number, or its label cut or padded to 45
// characters and a blank when a labels file was read.
std::string variableName(const DataSet& data, int analysedIndex);
// Heading of the variable column: "Variable  ", or "Variable" padded to 45
// characters when labels were read.
std::string variableHeading(const DataSet& data);
// True when names are labels (the wide column).
bool usesLabels(const DataSet& data);

}  // namespace talvex
