// A scores file checked whole for a script: its format, header, row names,
// missing tokens, rows of equal length.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "data/scores_table.h"
#include "data/table_formats.h"
#include "support/temp_files.h"

namespace talvex {
namespace {

TEST(ScoresTable, HeaderMissingTokensAndRows) {
    using Labels = std::vector<std::string>;
    const struct {
        const char* content;
        std::optional<int> code;
        Labels labels;
        int rows, columns;
        const char* text;
    } cases[] = {
        // No header: numbers and blanks as the reader takes them.
        {"1 2 3\n4 5 6\n", 999, {}, 2, 3, "1,2,3\n4,5,6\n"},
        // A header (quotes dropped), CRLF, a byte-order mark, blank lines at the end.
        {"\xEF\xBB\xBF\"a\",b,c\r\n1,2,3\r\n4,5,6\r\n\n  \n", 999, {"a", "b", "c"}, 2, 3,
         "1,2,3\n4,5,6\n"},
        // NA and an empty field take the code; without a code they stay.
        {"x y\n1 NA\n", 999, {"x", "y"}, 1, 2, "1,999\n"},
        {"1,,3\nNA,2,3\n", -9, {}, 2, 3, "1,-9,3\n-9,2,3\n"},
        {"1,,3\n", std::nullopt, {}, 1, 3, "1,,3\n"},
        // A first line of missing tokens only is a row, not a header.
        {"NA NA\n1 2\n", 0, {}, 2, 2, "0,0\n1,2\n"},
        // A label that looks partly like a number is still a label.
        {"item1 2b\n1 2\n", 999, {"item1", "2b"}, 1, 2, "1,2\n"},
        // A tab in the first line: tab-separated, blanks inside fields.
        {"a\tb c\tz\n1\t\t3\n", 999, {"a", "b c", "z"}, 1, 3, "1,999,3\n"},
        // Distinct names in the first column are row names.
        {"p1,1,2\np2,3,4\n", 999, {}, 2, 2, "1,2\n3,4\n"},
    };
    testing::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        ScoresTableOptions options;
        options.missingCode = c.code;
        const ScoresTableResult result = readScoresTable(dir.write("s.dat", c.content), options);
        ASSERT_TRUE(result.table) << result.error;
        EXPECT_EQ(result.table->labels, c.labels);
        EXPECT_EQ(result.table->headerLines, c.labels.empty() ? 0 : 1);
        EXPECT_EQ(result.table->rows, c.rows);
        EXPECT_EQ(result.table->columns, c.columns);
        EXPECT_EQ(result.table->text, c.text);
    }
}

TEST(ScoresTable, ErrorsNameTheLine) {
    const struct {
        const char* content;
        const char* error;
    } cases[] = {
        {"a b c\n1 2 3\n1 2\n", "line 3: 2 values where line 2 has 3"},
        {"1 2 3\n1 2 3 4\n", "line 2: 4 values where line 1 has 3"},
        {"1 2\n\n3 4\n", "line 2: an empty line among the rows"},
        {"1 2\n3 x\n", "line 2: column 2: \"x\" is neither a number nor the missing-value token \"NA\""},
        {"a,b\n1,2\n3,x\n", "line 3: column \"b\": \"x\" is neither"},
        // Row names must be distinct.
        {"p1,1\np1,2\n", "line 1: column 1: \"p1\" is neither"},
        {"1,2\n3,4\"\n", "line 2: a double quote inside a field"},
        {"a,\"b\n1,2\n", "line 1: a quoted field that is never closed"},
        {"a b c\n1 2\n", "line 1: 3 labels where line 2 has 2 values"},
        {"a b c\n", "holds no rows of scores"},
        {"", "holds no rows of scores"},
    };
    testing::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        const ScoresTableResult result = readScoresTable(dir.write("s.dat", c.content), {});
        EXPECT_FALSE(result.table);
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
    }
    EXPECT_NE(readScoresTable(dir.file("none.dat"), {}).error.find("cannot read"), std::string::npos);
    ScoresTableOptions options;
    options.idColumn = "id";
    EXPECT_NE(readScoresTable(dir.write("s.csv", "a,b\n1,2\n"), options).error.find("no column is labelled \"id\""),
              std::string::npos);
}

// A file still being written is read to the size it had when it was
// opened, a half-written line included as it stood, with its progress told
// by tenths; one that shrinks meanwhile is refused.
TEST(ScoresTable, AFileChangedWhileReadIsReadAsOpenedOrRefused) {
    testing::TempDir dir;
    const std::string path = dir.write("s.dat", "1 2\n3 4\n");
    TableReadHooks hooks;
    std::vector<int> told;
    hooks.progress = [&told](int percent) { told.push_back(percent); };
    hooks.opened = [&] { std::ofstream(path, std::ios::app) << "5 6\n7"; };
    const TableCellsResult grown = readTableCells(path, hooks);
    ASSERT_TRUE(grown.cells) << grown.error;
    EXPECT_EQ(grown.cells->records.size(), 2u);
    EXPECT_EQ(told, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    hooks.opened = [&] { std::filesystem::resize_file(path, 3); };
    const TableCellsResult shrunk = readTableCells(path, hooks);
    EXPECT_FALSE(shrunk.cells);
    EXPECT_NE(shrunk.error.find("became shorter while it was read"), std::string::npos) << shrunk.error;
    // 2,000 bytes need 10,000 of memory: refused before a byte is read.
    std::string rows;
    for (int i = 0; i < 500; ++i) rows += "1 2\n";
    const std::string big = dir.write("big.dat", rows);
    TableReadHooks budget;
    budget.budget.bytes = 9999;
    EXPECT_NE(readTableCells(big, budget).error.find("(2 kB) needs about 10 kB of memory to be read"),
              std::string::npos);
    budget.budget.bytes = 10000;
    EXPECT_TRUE(readTableCells(big, budget).cells);
}

// Files as R, Python and haven write them (exports/make_exports.sh): row
// names left out, labels with commas, quotes and blanks, the lines of rows
// after a line end inside a field, user-missing SPSS values.
TEST(ScoresTable, ExportsOfStatisticsTools) {
    const std::string folder = std::string(TALVEX_TEST_DIR) + "/data/exports/";
    const std::vector<std::string> items = {"item one", "item, two", "say \"hi\""};
    const std::vector<std::string> q = {"q1", "q2", "q3"};
    const struct {
        const char* file;
        TableFormat format;
        std::vector<std::string> labels;
        const char* idLabel;
        const char* text;
        std::vector<int> lines;
    } cases[] = {
        {"r_write.csv", TableFormat::Csv, items, "", "1,2,3\n2,999,3\n3,4,2\n4,3,5\n5,5,1\n2,1,4\n",
         {2, 3, 4, 5, 6, 7}},
        {"python_csv.csv", TableFormat::Csv, items, "id", "1,2,3\n2,999,3\n3,4,2\n4,3,5\n", {2, 3, 4, 6}},
        {"scores.sav", TableFormat::Spss, q, "name", "1,3,5\n2,999,4\n999,999,3\n4,2,999\n", {1, 2, 3, 4}},
        {"scores.zsav", TableFormat::Spss, q, "name", "1,3,5\n2,999,4\n999,999,3\n4,2,999\n", {1, 2, 3, 4}},
    };
    ScoresTableOptions options;
    options.missingCode = 999;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const ScoresTableResult result = readScoresTable(folder + c.file, options);
        ASSERT_TRUE(result.table) << result.error;
        EXPECT_EQ(result.table->format.format, c.format);
        EXPECT_EQ(result.table->labels, c.labels);
        EXPECT_EQ(result.table->idColumn, 0);
        EXPECT_EQ(result.table->idLabel, c.idLabel);
        EXPECT_EQ(result.table->text, c.text);
        EXPECT_EQ(result.table->rowLines, c.lines);
    }
    // A variable of text is refused by its name unless it holds the row names.
    EXPECT_NE(readScoresTable(folder + "remark.dta", options).error.find("variable \"remark\" holds text"),
              std::string::npos);
    options.idColumn = "remark";
    const ScoresTableResult named = readScoresTable(folder + "remark.dta", options);
    ASSERT_TRUE(named.table) << named.error;
    EXPECT_EQ(named.table->text, "1\n2\n3\n");
}

}  // namespace
}  // namespace talvex
