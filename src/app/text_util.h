// Small text helpers shared by the dialog models and the terminal front end.
#pragma once

#include <string>

namespace talvex {

// s with every ASCII letter in lower case.
std::string lower(std::string s);
// s without leading and trailing blanks, tabs, carriage returns and newlines.
std::string trim(const std::string& s);

}  // namespace talvex
