#include "report/report_writer.h"

#include <cstdarg>
#include <cstdio>

#include "core/format_text.h"
#include "data/dataset.h"

namespace talvex {

void ReportWriter::printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string text = formatTextV(format, args);
    va_end(args);
    put(text);
}

void ReportWriter::write(const std::string& text) { put(text); }

void ReportWriter::put(std::string_view text) {
    sink_.write(text);
    if (record_ == nullptr || text.empty()) return;
    if (open_.empty()) {
        if (!loose_) record_->parts.emplace_back();
        loose_ = true;
        record_->parts.back().text += text;
        return;
    }
    record_->parts[open_.back()].text += text;
}

void ReportWriter::detail(const char* label, const std::string& value) {
    printf("%-53s: %s\n", label, value.c_str());
    if (record_ != nullptr) record_->details.emplace_back(label, value);
}

void ReportWriter::reference(const char* text) {
    printf("%s\n\n", text);
    if (record_ != nullptr) record_->references.emplace_back(text);
}

void ReportWriter::beginPart(PartKind kind, const char* title, const char* member) {
    if (record_ == nullptr) return;
    record_->parts.push_back({kind, title, member, {}});
    open_.push_back(record_->parts.size() - 1);
    loose_ = false;
}

void ReportWriter::endPart() {
    if (record_ == nullptr || open_.empty()) return;
    open_.pop_back();
    loose_ = false;
}

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
