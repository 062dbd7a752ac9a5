#include "app/numeric_edits.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "app/text_util.h"

namespace talvex {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Optional sign followed by at least one digit and nothing else.
bool isIntegerText(const std::string& t, bool allowMinus) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || (allowMinus && t[i] == '-'))) ++i;
    if (i == t.size()) return false;
    for (; i < t.size(); ++i)
        if (!isDigit(t[i])) return false;
    return true;
}

}  // namespace

std::optional<std::int32_t> parseIntegerEdit(const std::string& text) {
    const std::string t = trim(text);
    if (!isIntegerText(t, true)) return std::nullopt;
    errno = 0;
    const long long v = std::strtoll(t.c_str(), nullptr, 10);
    if (errno == ERANGE || v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(v);
}

std::optional<std::uint32_t> parseUnsignedEdit(const std::string& text) {
    const std::string t = trim(text);
    if (!isIntegerText(t, false)) return std::nullopt;
    errno = 0;
    const unsigned long long v = std::strtoull(t.c_str(), nullptr, 10);
    if (errno == ERANGE || v > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

std::optional<float> parseNumberEdit(const std::string& text) {
    const std::string t = trim(text);
    if (t.empty()) return std::nullopt;
    // strtod alone would also take "inf", "nan" and hexadecimal forms.
    for (char c : t)
        if (!isDigit(c) && c != '+' && c != '-' && c != '.' && c != 'e' && c != 'E')
            return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v)) return std::nullopt;
    if (std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max())) return std::nullopt;
    return static_cast<float>(v);
}

std::string formatNumberEdit(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", static_cast<double>(value));
    return buffer;
}

}  // namespace talvex
