#include "app/numeric_edits.h"

#include "app/dialog_model.h"

#include <gtest/gtest.h>

namespace talvex {
namespace {

// The Sample dialog's conversion: leading digits, 0 for text, and a number
// with too many digits saturates rather than wrapping to a negative one.
TEST(NumericEdits, LeadingIntegerOfTheSampleDialog) {
    EXPECT_EQ(leadingInteger("12abc"), 12);
    EXPECT_EQ(leadingInteger("abc"), 0);
    EXPECT_EQ(leadingInteger("99999999999"), 2147483647);
    EXPECT_EQ(leadingInteger("-99999999999"), -2147483647 - 1);
}

TEST(NumericEdits, IntegersMustBeTheWholeTextAndFit) {
    EXPECT_EQ(parseIntegerEdit(" -3 "), -3);
    EXPECT_EQ(parseIntegerEdit("+7"), 7);
    EXPECT_EQ(parseIntegerEdit("2147483647"), 2147483647);
    EXPECT_EQ(parseIntegerEdit("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "12abc", "1.5", "1e3", "-", "2147483648", "0x10"})
        EXPECT_FALSE(parseIntegerEdit(bad).has_value()) << bad;
    EXPECT_EQ(parseUnsignedEdit("4294967295"), 4294967295u);
    EXPECT_EQ(parseUnsignedEdit("0"), 0u);
    for (const char* bad : {"-1", "-0", "4294967296", "ten", ""})
        EXPECT_FALSE(parseUnsignedEdit(bad).has_value()) << bad;
}

TEST(NumericEdits, NumbersAreFiniteFloatsShownWithSixDigits) {
    const std::pair<const char*, float> good[] = {
        {"0.01", 0.01f}, {"1e-5", 1e-5f}, {" -2 ", -2.0f}, {".5", 0.5f}};
    for (const auto& [text, expected] : good) EXPECT_FLOAT_EQ(*parseNumberEdit(text), expected);
    for (const char* bad : {"", "abc", "0,3", "inf", "nan", "1e39", "0x1p3", "1.2.3"})
        EXPECT_FALSE(parseNumberEdit(bad).has_value()) << bad;
    EXPECT_EQ(formatNumberEdit(0.3f), "0.3");
    EXPECT_EQ(formatNumberEdit(1e-5f), "1e-05");
    EXPECT_EQ(formatNumberEdit(4.0f), "4");
    // Shown text converts back to the same float.
    for (float v : {0.001f, 0.000001f, 1e-8f, 0.45f}) EXPECT_EQ(*parseNumberEdit(formatNumberEdit(v)), v);
}

}  // namespace
}  // namespace talvex
