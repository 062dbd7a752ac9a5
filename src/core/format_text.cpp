#include "core/format_text.h"

#include <cstdarg>
#include <cstdio>

namespace talvex {

std::string formatTextV(const char* format, va_list args) {
    // Most texts are short: one pass into a buffer on the stack.
    char small[256];
    va_list first;
    va_copy(first, args);
    const int size = std::vsnprintf(small, sizeof small, format, first);
    va_end(first);
    if (size <= 0) return {};
    if (static_cast<std::size_t>(size) < sizeof small) return std::string(small, static_cast<std::size_t>(size));
    std::string text(static_cast<std::size_t>(size), '\0');
    va_list second;
    va_copy(second, args);
    std::vsnprintf(text.data(), text.size() + 1, format, second);
    va_end(second);
    return text;
}

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatTextV(format, args);
    va_end(args);
    return text;
}

}  // namespace talvex
