// The field syntax shared by the scores, matrix and target files.
#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "data/data_files.h"

namespace talvex {
namespace {

constexpr int kAll = std::numeric_limits<int>::max();

// The numbers of a line, stopping at the first field that is not one.
std::vector<double> numbers(const std::string& line) {
    const auto fields = parseLine(line);
    std::vector<double> out;
    for (int j = 0; j < leadingNumbers(fields, kAll); ++j) out.push_back(*fields[j]);
    return out;
}

TEST(LineSyntax, EverySeparatorSplitsTheSameThreeValues) {
    const std::vector<double> expected = {1.0, 2.0, 3.0};
    for (const char* line : {"1 2 3", "1\t2\t3", "1,2,3", "1;2;3", "1:2:3", "1/2/3"})
        EXPECT_EQ(numbers(line), expected) << '"' << line << '"';
}

TEST(LineSyntax, BlanksAroundSeparatorsAndAtTheEndsAreOneSeparator) {
    const std::vector<double> expected = {1.0, 2.0, 3.0};
    for (const char* line : {"  1   2 \t 3  ", "1 , 2 ;\t3", "1, 2, 3,", "\t1/ 2 :3 "})
        EXPECT_EQ(numbers(line), expected) << '"' << line << '"';
}

TEST(LineSyntax, DecimalMarkIsThePointSoACommaSplits) {
    EXPECT_EQ(numbers("1,5"), (std::vector<double>{1.0, 5.0}));
    EXPECT_EQ(numbers("1.5"), (std::vector<double>{1.5}));
}

TEST(LineSyntax, NumbersAreReadAsSinglePrecision) {
    // 0.1 is not exact in binary: the value is the float nearest to it.
    const auto fields = parseLine("0.1 -2.5 1e2 +3 .5");
    ASSERT_EQ(fields.size(), 5u);
    EXPECT_EQ(*fields[0], static_cast<double>(0.1f));
    EXPECT_NE(*fields[0], 0.1);
    EXPECT_EQ(*fields[1], -2.5);
    EXPECT_EQ(*fields[2], 100.0);
    EXPECT_EQ(*fields[3], 3.0);
    EXPECT_EQ(*fields[4], 0.5);
}

TEST(LineSyntax, EmptyFieldIsNotAValueAndDoesNotSwallowTheNext) {
    const auto fields = parseLine("1,,3");
    ASSERT_EQ(fields.size(), 3u);
    EXPECT_EQ(*fields[0], 1.0);
    EXPECT_FALSE(fields[1].has_value());
    EXPECT_EQ(*fields[2], 3.0);
    EXPECT_EQ(leadingNumbers(fields, 3), 1);

    EXPECT_EQ(leadingNumbers(parseLine(",1,2"), kAll), 0);
    EXPECT_EQ(leadingNumbers(parseLine("1 , ,2"), kAll), 1);
    // An empty field between the two separators, none after the last one.
    EXPECT_EQ(parseLine("1;;").size(), 2u);
}

TEST(LineSyntax, TextFieldsAreNotNumbers) {
    for (const char* line : {"4 NA 6", "4 ? 6", "4 n/a 6", "4 3x 6", "4 inf 6", "4 nan 6", "4 1e 6"})
        EXPECT_EQ(leadingNumbers(parseLine(line), kAll), 1) << '"' << line << '"';
    EXPECT_EQ(leadingNumbers(parseLine("NA 1 2"), kAll), 0);
}

TEST(LineSyntax, EmptyOrBlankLineHasNoFields) {
    EXPECT_TRUE(parseLine("").empty());
    EXPECT_TRUE(parseLine(" \t  ").empty());
}

TEST(LineSyntax, LeadingNumbersStopsAtTheLimit) {
    // Values beyond the m-th are ignored, whatever they are.
    const auto fields = parseLine("1 2 3 NA 5");
    EXPECT_EQ(leadingNumbers(fields, 2), 2);
    EXPECT_EQ(leadingNumbers(fields, 3), 3);
    EXPECT_EQ(leadingNumbers(fields, 5), 3);
    EXPECT_EQ(fields.size(), 5u);
}

}  // namespace
}  // namespace talvex
