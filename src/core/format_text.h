// printf into a std::string of the exact length (message and warning texts).
#pragma once

#include <string>

namespace talvex {

std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace talvex
