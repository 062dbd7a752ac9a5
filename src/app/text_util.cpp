#include "app/text_util.h"

#include <algorithm>
#include <cctype>

namespace talvex {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(kWhiteSpace);
    if (b == std::string::npos) return "";
    const auto e = s.find_last_not_of(kWhiteSpace);
    return s.substr(b, e - b + 1);
}

}  // namespace talvex
