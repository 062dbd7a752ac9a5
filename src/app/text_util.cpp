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

std::size_t editDistance(const std::string& first, const std::string& second) {
    const std::string a = lower(first);
    const std::string b = lower(second);
    const std::size_t n = a.size();
    const std::size_t m = b.size();
    // Three rows of the optimal-string-alignment table.
    std::vector<std::size_t> before(m + 1), previous(m + 1), current(m + 1);
    for (std::size_t j = 0; j <= m; ++j) previous[j] = j;
    for (std::size_t i = 1; i <= n; ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                current[j] = std::min(current[j], before[j - 2] + 1);
        }
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[m];
}

std::vector<std::string> closestMatches(const std::string& typed,
                                        const std::vector<std::string>& candidates) {
    const std::string word = lower(trim(typed));
    std::vector<std::string> found;
    if (word.empty()) return found;
    for (const std::string& c : candidates)
        if (lower(c) == word) return found;
    if (word.size() >= 3) {
        for (const std::string& c : candidates)
            if (lower(c).find(word) != std::string::npos) found.push_back(c);
    }
    if (found.empty()) {
        const std::size_t limit = std::max<std::size_t>(1, word.size() / 3);
        std::size_t best = limit + 1;
        for (const std::string& c : candidates) {
            const std::size_t d = editDistance(word, c);
            if (d > limit) continue;
            if (d < best) {
                best = d;
                found.clear();
            }
            if (d == best) found.push_back(c);
        }
    }
    if (found.size() > kMostSuggestions) found.resize(kMostSuggestions);
    return found;
}

std::string didYouMean(const std::vector<std::string>& words) {
    if (words.empty()) return "";
    std::string text = "did you mean " + words.front();
    for (std::size_t i = 1; i < words.size(); ++i)
        text += (i + 1 == words.size() ? " or " : ", ") + words[i];
    return text + "?";
}

std::vector<std::string> withPrefix(const std::string& prefix,
                                    const std::vector<std::string>& candidates) {
    const std::string p = lower(prefix);
    std::vector<std::string> found;
    for (const std::string& c : candidates)
        if (lower(c).rfind(p, 0) == 0 && std::find(found.begin(), found.end(), c) == found.end())
            found.push_back(c);
    return found;
}

std::size_t inputWordStart(const std::string& before) {
    const auto eq = before.rfind('=');
    if (eq != std::string::npos) {
        const auto value = before.find_first_not_of(" \t", eq + 1);
        return value == std::string::npos ? before.size() : value;
    }
    const auto blank = before.find_last_of(" \t");
    return blank == std::string::npos ? 0 : blank + 1;
}

}  // namespace talvex
