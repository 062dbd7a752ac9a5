#include "report/report_writer.h"

#include <cstdarg>
#include <cstdio>

#include "core/format_text.h"
#include "data/dataset.h"

namespace talvex {

void ReportWriter::printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    sink_.write(formatTextV(format, args));
    va_end(args);
}

void ReportWriter::write(const std::string& text) { sink_.write(text); }

bool usesLabels(const DataSet& data) { return data.labelsEnabled && !data.labels.empty(); }

std::string variableName(const DataSet& data, int analysedIndex) {
    const int number = data.fileNumber(analysedIndex);
    char buffer[64];
    if (usesLabels(data)) {
        const std::string& label = data.labels[static_cast<std::size_t>(number - 1)];
        std::snprintf(buffer, sizeof buffer, "%-45.45s ", label.c_str());
    } else {
        std::snprintf(buffer, sizeof buffer, "V%4i      ", number);
    }
    return buffer;
}

std::string variableHeading(const DataSet& data) {
    if (!usesLabels(data)) return "Variable  ";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%-45s", "Variable");
    return buffer;
}

}  // namespace talvex
