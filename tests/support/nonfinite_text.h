// Finds what printf makes of a value that is not a finite number ("nan",
// "-nan", "inf", "-inf", in any case) in a report, as a word of its own, so
// that words such as "Gnanadesikan" or "Determinant" do not count.
#pragma once

#include <cctype>
#include <string>

namespace talvex::testing {

// The first non-finite number printed in `text`, with its line, or an
// empty string when there is none.
inline std::string firstNonFiniteNumber(const std::string& text) {
    const auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i > 0 && letter(text[i - 1])) continue;
        for (const char* word : {"nan", "inf"}) {
            bool match = i + 3 <= text.size();
            for (std::size_t k = 0; match && k < 3; ++k)
                match = std::tolower(static_cast<unsigned char>(text[i + k])) == word[k];
            if (!match || (i + 3 < text.size() && letter(text[i + 3]))) continue;
            const std::size_t start = text.rfind('\n', i);
            const std::size_t end = text.find('\n', i);
            return text.substr(start == std::string::npos ? 0 : start + 1,
                               end == std::string::npos ? std::string::npos : end - start - 1);
        }
    }
    return {};
}

}  // namespace talvex::testing
