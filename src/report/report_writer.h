// The open report stream handed to every section writer. Bytes are written
// as they are; formats are printf formats, checked by the compiler.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/output_file.h"

namespace talvex {

struct DataSet;

// 80 dashes and an empty line: the end of every section.
inline constexpr const char* kSeparator =
    "--------------------------------------------------------------------------------\n\n";

// What a part of the report is to a reader of the results page.
enum class PartKind { Section, Plot, Note };

// The report as its writers printed it, for the results document: the
// details block as label/value pairs, the references, and the report's
// parts in their order. A part names the document member that holds its
// numbers (empty when the document has it only as printed text) and keeps
// its text. Text printed outside every part becomes an untitled note.
struct ReportRecord {
    struct Part {
        PartKind kind = PartKind::Note;
        std::string title;
        std::string member;
        std::string text;
    };
    std::vector<Part> parts;
    std::vector<std::pair<std::string, std::string>> details;
    std::vector<std::string> references;
};

class ReportWriter {
public:
    // Writes to an open sink; the caller owns it and learns of its failures.
    // With a record, what is printed is also kept there.
    explicit ReportWriter(TextSink& sink, ReportRecord* record = nullptr)
        : sink_(sink), record_(record) {}
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void write(const std::string& text);
    void separator() { write(kSeparator); }

    // One line of the details block: the label padded to 53 characters,
    // ": " and the value; recorded as a pair.
    void detail(const char* label, const std::string& value);
    // One entry of the References section and its blank line; recorded.
    void reference(const char* text);

    // A part of the report from here to its end(); parts nest (a plot
    // inside its section), and the text after a nested part's end belongs
    // to the enclosing part again.
    void beginPart(PartKind kind, const char* title, const char* member = "");
    void endPart();

private:
    void put(std::string_view text);

    TextSink& sink_;
    ReportRecord* record_ = nullptr;
    std::vector<std::size_t> open_;  // indices of the open parts, innermost last
    bool loose_ = false;             // the last part is text outside every part
};

// A part that ends with its scope.
class ReportPart {
public:
    ReportPart(ReportWriter& report, PartKind kind, const char* title, const char* member = "")
        : report_(report) {
        report_.beginPart(kind, title, member);
    }
    ~ReportPart() { report_.endPart(); }
    ReportPart(const ReportPart&) = delete;
    ReportPart& operator=(const ReportPart&) = delete;

private:
    ReportWriter& report_;
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
