#include "results/csv_tables.h"

#include <cstdio>
#include <string_view>

#include "data/data_files.h"
#include "results/text_encoding.h"

namespace talvex {

namespace {

using nlohmann::json;

// Shortest text that reads back as the same double.
std::string number(const json& value) {
    if (value.is_null()) return "NA";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", value.get<double>());
    return buffer;
}

std::string line(const std::vector<std::string>& fields) {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) text += ',';
        text += csvField(fields[i]);
    }
    return text + "\r\n";
}

std::vector<std::string> variableNames(const json& doc) {
    std::vector<std::string> names;
    if (!doc.contains("variables")) return names;
    for (const json& v : doc["variables"])
        names.push_back(v.contains("label") ? csvText(asUtf8(v["label"].get<std::string>()))
                                            : "V" + std::to_string(v["number"].get<int>()));
    return names;
}

std::string factorName(const json& doc, std::size_t j) {
    return (doc.value("extraction", "") == "PCA" ? "C" : "F") + std::to_string(j + 1);
}

// Rows of a matrix, each led by its name.
std::string matrixCsv(const json& doc, const json& rows, const std::vector<std::string>& names,
                      const char* corner) {
    std::vector<std::string> head{corner};
    const std::size_t cols = rows.empty() ? 0 : rows[0].size();
    for (std::size_t j = 0; j < cols; ++j) head.push_back(factorName(doc, j));
    std::string text = line(head);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<std::string> fields{i < names.size() ? names[i] : std::to_string(i + 1)};
        for (const json& value : rows[i]) fields.push_back(number(value));
        text += line(fields);
    }
    return text;
}

}  // namespace

std::string csvText(const std::string& text) {
    if (!text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos)
        return "'" + text;
    return text;
}

std::string csvField(const std::string& value) {
    const bool quote = value.find_first_of(",\"\r\n") != std::string::npos ||
                       (!value.empty() && (value.front() == ' ' || value.back() == ' '));
    if (!quote) return value;
    std::string text = "\"";
    for (const char c : value) {
        if (c == '"') text += '"';
        text += c;
    }
    return text + "\"";
}

std::vector<CsvTable> csvTables(const json& doc) {
    std::vector<CsvTable> tables;
    const auto names = variableNames(doc);
    if (doc.contains("rotated_loadings"))
        tables.push_back({kCsvTableNames[0], matrixCsv(doc, doc["rotated_loadings"], names, "variable")});
    else if (doc.contains("unrotated_loadings"))
        tables.push_back({kCsvTableNames[0], matrixCsv(doc, doc["unrotated_loadings"], names, "variable")});
    if (doc.contains("structure"))
        tables.push_back({kCsvTableNames[1], matrixCsv(doc, doc["structure"], names, "variable")});
    if (doc.contains("factor_correlations")) {
        std::vector<std::string> factors;
        for (std::size_t j = 0; j < doc["factor_correlations"].size(); ++j) factors.push_back(factorName(doc, j));
        tables.push_back(
            {kCsvTableNames[2], matrixCsv(doc, doc["factor_correlations"], factors, "factor")});
    }
    if (doc.contains("communalities")) {
        std::string text = line({"variable", "communality"});
        for (std::size_t i = 0; i < doc["communalities"].size(); ++i)
            text += line({i < names.size() ? names[i] : "", number(doc["communalities"][i])});
        tables.push_back({kCsvTableNames[3], text});
    }
    if (doc.contains("descriptives")) {
        const json& d = doc["descriptives"];
        static const char* const kColumns[] = {"mean", "mean_lower_95", "mean_upper_95",
                                               "variance", "skewness", "kurtosis"};
        std::vector<std::string> head{"variable"};
        for (const char* column : kColumns) head.push_back(column);
        std::string text = line(head);
        for (std::size_t i = 0; i < d["mean"].size(); ++i) {
            std::vector<std::string> fields{i < names.size() ? names[i] : ""};
            for (const char* column : kColumns) fields.push_back(number(d[column][i]));
            text += line(fields);
        }
        tables.push_back({kCsvTableNames[4], text});
    }
    return tables;
}

}  // namespace talvex
