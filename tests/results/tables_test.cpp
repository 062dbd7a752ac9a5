// The publication order on a planted solution, the CSV tables read back by
// libcsv, and the Windows-1252 conversion.
#include <csv.h>

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "results/csv_tables.h"
#include "results/paper_table.h"
#include "results/text_encoding.h"

namespace talvex {
namespace {

using nlohmann::json;
using ::testing::ElementsAre;
using Cells = std::vector<std::vector<std::string>>;

TEST(PaperTable, GroupsByMainFactorAndBlanksBelowTheThreshold) {
    const Rows loadings = {{0.20, 0.70},    // 0: factor 2
                           {0.80, 0.10},    // 1: factor 1
                           {-0.90, 0.35},   // 2: factor 1, the larger
                           {0.10, -0.50},   // 3: factor 2
                           {0.29, -0.31},   // 4: factor 2, the smallest
                           {0.40, -0.40}};  // 5: a tie goes to the first factor
    const PaperTable t = paperTable(loadings, 0.30);
    EXPECT_THAT(t.variable, ElementsAre(2, 1, 5, 0, 3, 4));
    EXPECT_THAT(t.mainFactor, ElementsAre(0, 0, 0, 1, 1, 1));
    EXPECT_THAT(t.loadings[0], ElementsAre(-0.90, 0.35));
    EXPECT_THAT(t.loadings[1], ElementsAre(0.80, std::nullopt));
    EXPECT_THAT(t.loadings[5], ElementsAre(std::nullopt, -0.31));
    // A loading exactly at the threshold is kept.
    EXPECT_THAT(paperTable({{0.30, 0.1}}, 0.30).loadings[0], ElementsAre(0.30, std::nullopt));
}

// What a CSV reader without options gets back: rows of fields.
Cells readCsv(const std::string& text) {
    struct Reader {
        Cells rows{{}};
    } reader;
    csv_parser parser;
    csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI);
    auto field = [](void* data, std::size_t size, void* r) {
        static_cast<Reader*>(r)->rows.back().emplace_back(static_cast<char*>(data), size);
    };
    auto row = [](int, void* r) { static_cast<Reader*>(r)->rows.emplace_back(); };
    EXPECT_EQ(csv_parse(&parser, text.data(), text.size(), field, row, &reader), text.size());
    csv_fini(&parser, field, row, &reader);
    csv_free(&parser);
    reader.rows.pop_back();
    return reader.rows;
}

TEST(CsvTables, LabelsAndNumbersReadBackAsWritten) {
    const json doc = {{"extraction", "ML"},
                      {"variables",
                       {{{"number", 1}, {"label", "=A&B \"x\", y"}},
                        {{"number", 2}, {"label", "two\nlines"}},
                        {{"number", 7}}}},
                      {"rotated_loadings", {{0.1, 0.2}, {-1.0 / 3.0, 0.4}, {0.5, 0.6}}},
                      {"factor_correlations", {{1.0, 0.25}, {0.25, 1.0}}}};
    const std::vector<CsvTable> tables = csvTables(doc);
    ASSERT_EQ(tables.size(), 2u);
    EXPECT_EQ(tables[0].fileName, "loadings.csv");
    const Cells loadings = readCsv(tables[0].text);
    ASSERT_EQ(loadings.size(), 4u);
    EXPECT_THAT(loadings[0], ElementsAre("variable", "F1", "F2"));
    // A label a spreadsheet would run as a formula reads back with an apostrophe.
    EXPECT_THAT(loadings[1], ElementsAre("'=A&B \"x\", y", "0.10000000000000001", "0.20000000000000001"));
    EXPECT_EQ(loadings[2][0], "two\nlines");
    EXPECT_EQ(std::stod(loadings[2][1]), -1.0 / 3.0);
    EXPECT_EQ(loadings[3][0], "V7");
    EXPECT_THAT(readCsv(tables[1].text)[2], ElementsAre("F2", "0.25", "1"));
    EXPECT_EQ(csvField(" padded"), "\" padded\"");
    EXPECT_EQ(csvField("plain"), "plain");
    for (const char* formula : {"+1", "-1", "@SUM(A1)", "\tx", "\rx"})
        EXPECT_EQ(csvText(formula), std::string("'") + formula);
    EXPECT_EQ(csvText("a=b"), "a=b");
    EXPECT_EQ(csvText(""), "");
}

TEST(TextEncoding, Windows1252BecomesUtf8AndValidUtf8IsKept) {
    EXPECT_EQ(windows1252ToUtf8("Muth\xe9n \x80 \x93x\x94 \x81"), "Muth\xc3\xa9n \xe2\x82\xac \xe2\x80\x9cx\xe2\x80\x9d \xef\xbf\xbd");
    EXPECT_EQ(asUtf8("Muth\xc3\xa9n"), "Muth\xc3\xa9n");
    EXPECT_EQ(asUtf8("Muth\xe9n"), "Muth\xc3\xa9n");
    EXPECT_TRUE(isUtf8("\xf0\x9f\x98\x80 \xe2\x82\xac"));
    for (const char* bad : {"\xc0\xaf", "\xed\xa0\x80", "\xe2\x82", "\xf4\x90\x80\x80", "\xe9t\xe9"})
        EXPECT_FALSE(isUtf8(bad)) << bad;
}

}  // namespace
}  // namespace talvex
