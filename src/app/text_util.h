// Small text helpers shared by the dialog models and the terminal front end.
#pragma once

#include <string>

namespace talvex {

// s with every ASCII letter in lower case.
std::string lower(std::string s);
// The white space of a line: blank, tab, carriage return, newline, form feed
// and vertical tab (the set the standard streams skip).
inline constexpr const char* kWhiteSpace = " \t\r\n\f\v";

// s without leading and trailing white space.
std::string trim(const std::string& s);

}  // namespace talvex
