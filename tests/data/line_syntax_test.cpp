// The field syntax shared by the scores, matrix and target files.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "data/data_files.h"

namespace talvex {
namespace {

using Fields = std::vector<std::optional<double>>;
constexpr std::nullopt_t NA = std::nullopt;

TEST(LineSyntax, FieldsOfALine) {
    const Fields oneTwoThree = {1.0, 2.0, 3.0};
    const struct {
        const char* line;
        Fields fields;
    } cases[] = {
        // Every separator; runs of blanks, also around another separator, are one.
        {"1:2:3", oneTwoThree}, {"  1   2 \t 3  ", oneTwoThree}, {"1 , 2 ;\t3", oneTwoThree},
        {"1, 2, 3,", oneTwoThree}, {"\t1/ 2 :3 ", oneTwoThree},
        // The decimal mark is the point, so a comma splits.
        {"1,5", {1.0, 5.0}}, {"1.5", {1.5}},
        // Single precision: 0.1 is the float nearest to it, not the double.
        {"0.1 -2.5 1e2 +3 .5", {static_cast<double>(0.1f), -2.5, 100.0, 3.0, 0.5}},
        // Whole numbers; past 2^24 the nearest float.
        {"-3 0012 +7 9999999 16777217 -", {-3.0, 12.0, 7.0, 9999999.0, 16777216.0, NA}},
        // Below the single-precision range a number is still a number: 0, or
        // the nearest subnormal; above it there is no finite value.
        {"1e-50 -1e-50 0.00000000000000000000000000000000000000000000000000001",
         {0.0, -0.0, 0.0}},
        {"1e-40 1e40 -3.5e38", {static_cast<double>(1e-40f), NA, NA}},
        // An empty field is not a value and does not swallow the next one;
        // none follows the last separator.
        {"1,,3", {1.0, NA, 3.0}}, {",1,2", {NA, 1.0, 2.0}}, {"1 , ,2", {1.0, NA, 2.0}},
        {"1;;", {1.0, NA}},
        // Text is not a number, nor is a lone or doubled sign.
        {"4 NA 6", {4.0, NA, 6.0}}, {"4 ? 6", {4.0, NA, 6.0}}, {"4 n/a 6", {4.0, NA, NA, 6.0}},
        {"4 3x 6", {4.0, NA, 6.0}}, {"4 inf 6", {4.0, NA, 6.0}}, {"4 nan 6", {4.0, NA, 6.0}},
        {"4 1e 6", {4.0, NA, 6.0}}, {"4 + 6", {4.0, NA, 6.0}}, {"4 +-1 6", {4.0, NA, 6.0}},
        {"", {}}, {" \t  ", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(parseLine(c.line), c.fields) << '"' << c.line << '"';
}

// The fast reading of whole numbers takes a line only when it reads what
// the general split and parse would: random lines over digits, blanks and
// the characters that make other fields.
TEST(LineSyntax, WholeNumbersReadFastAreTheFieldsOfTheLine) {
    const std::string alphabet = "0123456789012345678901234567890123456789      \t\t-+.,;x\r";
    std::mt19937 engine(20261208);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1), length(0, 24);
    int taken = 0, declined = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        std::string line;
        for (std::size_t k = length(engine); k > 0; --k) line += alphabet[pick(engine)];
        const int count = 1 + trial % 4;
        std::vector<float> values = {-1.0f};
        const bool fast = appendWholeNumbers(line, count, values);
        const Fields fields = parseLine(line);
        if (!fast) {
            ++declined;
            EXPECT_EQ(values, std::vector<float>{-1.0f}) << '"' << line << '"';
            continue;
        }
        ++taken;
        ASSERT_GE(leadingNumbers(fields, count), count) << '"' << line << '"';
        ASSERT_EQ(values.size(), static_cast<std::size_t>(count) + 1);
        for (int k = 0; k < count; ++k)
            EXPECT_EQ(values[static_cast<std::size_t>(k) + 1], *fields[static_cast<std::size_t>(k)]) << '"' << line << '"';
    }
    EXPECT_GT(taken, 1000);
    EXPECT_GT(declined, 1000);
    // A signed number, a number glued to text and other separators go the
    // general way.
    std::vector<float> values;
    for (const char* line : {"-3 1", "3x 1", "1,2", "1\r2", "1"})
        EXPECT_FALSE(appendWholeNumbers(line, 2, values)) << line;
    EXPECT_TRUE(appendWholeNumbers(" \t1234567\t0 junk", 2, values));
    EXPECT_EQ(values, (std::vector<float>{1234567.0f, 0.0f}));
}

}  // namespace
}  // namespace talvex
