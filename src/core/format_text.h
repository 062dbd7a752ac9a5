// printf into a std::string of the exact length (message and warning texts).
#pragma once

#include <cstdarg>
#include <string>

namespace talvex {

std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same with the arguments of a variadic caller (args is left as it was).
std::string formatTextV(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace talvex
