// Conversion of a numeric edit's text when a dialog reads its controls. The
// whole text, blanks around it aside, must be the number; anything else is
// refused with one of the three fixed messages below.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace talvex {

inline constexpr const char* kEnterInteger = "Please enter an integer.";
inline constexpr const char* kEnterPositiveInteger = "Please enter a positive integer.";
inline constexpr const char* kEnterNumber = "Please enter a number.";

// A signed 32-bit integer ("-3", " 12 "); nothing for "", "1.5", "12abc" or
// a value out of range.
std::optional<std::int32_t> parseIntegerEdit(const std::string& text);
// An unsigned 32-bit integer; a minus sign is refused.
std::optional<std::uint32_t> parseUnsignedEdit(const std::string& text);
// A finite decimal number that fits a 32-bit float ("0.01", "1e-5", "-2").
std::optional<float> parseNumberEdit(const std::string& text);

// How an edit shows a float: shortest of fixed and exponent form, six
// significant digits ("0.3", "1e-05").
std::string formatNumberEdit(float value);

}  // namespace talvex
