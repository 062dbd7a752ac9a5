// Small text helpers shared by the dialog models and the terminal front end.
#pragma once

#include <string>
#include <vector>

namespace talvex {

// s with every ASCII letter in lower case.
std::string lower(std::string s);
// The white space of a line: blank, tab, carriage return, newline, form feed
// and vertical tab (the set the standard streams skip).
inline constexpr const char* kWhiteSpace = " \t\r\n\f\v";

// s without leading and trailing white space.
std::string trim(const std::string& s);

// Edits (insert, delete, replace, swap of two neighbours) that turn a into
// b, ignoring the case of ASCII letters.
std::size_t editDistance(const std::string& a, const std::string& b);

// The candidates a person probably meant by typed, ignoring case, in the
// order given, at most kMostSuggestions: those that contain it when it has
// at least 3 characters, otherwise (or when none does) those at the least
// edit distance when that distance is at most a third of typed's length
// (at least 1). None for an exact match or an empty word.
std::vector<std::string> closestMatches(const std::string& typed,
                                        const std::vector<std::string>& candidates);
inline constexpr std::size_t kMostSuggestions = 5;

// "did you mean a?", "did you mean a or b?", "did you mean a, b or c?";
// empty for no words.
std::string didYouMean(const std::vector<std::string>& words);

// The candidates that start with prefix, ignoring case, in the order given,
// without repeats.
std::vector<std::string> withPrefix(const std::string& prefix,
                                    const std::vector<std::string>& candidates);

// Where the word being typed at the end of an input line begins: after the
// last '=' and the blanks that follow it when the line has one (a value may
// hold blanks), otherwise after the last blank.
std::size_t inputWordStart(const std::string& before);

}  // namespace talvex
