// Case generation: seed files, text mutations, hostile hand-made files and
// mutated sessions.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "fuzz/fuzz.h"

namespace talvex::fuzz {

std::uint64_t FuzzRandom::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::size_t FuzzRandom::below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

bool FuzzRandom::chance(int percent) { return static_cast<int>(below(100)) < percent; }

std::uint64_t caseSeed(std::uint64_t campaignSeed, std::uint64_t index) {
    FuzzRandom mix(campaignSeed * 0xD1B54A32D192ED03ULL + index);
    mix.next();
    return mix.next();
}

namespace {

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read seed file " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Lines split at '\n'; joining them with '\n' gives the text back exactly
// (a final newline leaves an empty last element).
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

// Lines that hold text (not the empty tail after the last newline).
std::size_t contentLines(const std::vector<std::string>& lines) {
    return (!lines.empty() && lines.back().empty()) ? lines.size() - 1 : lines.size();
}

std::vector<std::vector<std::string>> splitTable(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (const std::string& line : splitLines(text)) {
        std::istringstream in(line);
        std::vector<std::string> row;
        for (std::string field; in >> field;) row.push_back(field);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

std::string joinTable(const std::vector<std::vector<std::string>>& rows) {
    std::string text;
    for (const auto& row : rows) {
        for (std::size_t j = 0; j < row.size(); ++j) text += (j ? " " : "") + row[j];
        text += '\n';
    }
    return text;
}

// Numbers that strain the conversions: beyond the int and float ranges,
// subnormal, not finite, malformed, and the codes the program treats
// specially.
const std::vector<std::string> kHostileNumbers = {
    "3e9", "1e30", "-3e9", "2147483648", "-2147483649", "2147483647", "1e400", "-1e400", "1e-400",
    "3.4e38", "3.5e38", "1e-45", "nan", "NaN", "-nan", "inf", "-inf", "Infinity", "0", "-0", "999",
    "-999", "9", "-9", "1.0000001", "99999999999999999999", "0x10", "1e", ".", "-", "+.e5", "1.5.5",
    "1,5", "--1", "1e+", "12345678", "4294967296", "0.0", "1e-30", "-1",
};

const std::vector<std::string> kInterestingBytes = {
    std::string(1, '\0'), "\r", "\n", "\t", ",", ";", ":", "/", " ", ".", "-", "+", "e", "E", "\f",
    "\v", "\xff", "\xef\xbb\xbf", "\x80", "9", "0", "\r\n", "\\", "\"", "%n", "%s",
};

const std::vector<std::string> kSeparators = {",", ";", ":", "/", "\t", " , ", ",,", "  ", "\t\t", " ;"};

bool isNumberChar(char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

// Start and length of every run of number characters that holds a digit.
std::vector<std::pair<std::size_t, std::size_t>> numberSpans(const std::string& text) {
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    std::size_t i = 0;
    while (i < text.size()) {
        if (!isNumberChar(text[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        bool digit = false;
        while (j < text.size() && isNumberChar(text[j])) digit |= (text[j] >= '0' && text[j] <= '9'), ++j;
        if (digit) spans.emplace_back(i, j - i);
        i = j;
    }
    return spans;
}

using Mutation = std::string (*)(std::string&, FuzzRandom&);

std::string flipBit(std::string& t, FuzzRandom& r) {
    if (t.empty()) return "flip-bit(empty)";
    const std::size_t at = r.below(t.size());
    t[at] = static_cast<char>(t[at] ^ (1 << r.below(8)));
    return "flip-bit@" + std::to_string(at);
}

std::string replaceByte(std::string& t, FuzzRandom& r) {
    if (t.empty()) return "replace-byte(empty)";
    const std::size_t at = r.below(t.size());
    t.replace(at, 1, r.pick(kInterestingBytes));
    return "replace-byte@" + std::to_string(at);
}

std::string insertBytes(std::string& t, FuzzRandom& r) {
    const std::size_t at = r.below(t.size() + 1);
    std::string bytes;
    if (r.chance(60)) {
        bytes = r.pick(kInterestingBytes);
    } else {
        for (std::size_t n = 1 + r.below(4); n > 0; --n) bytes += static_cast<char>(r.below(256));
    }
    t.insert(at, bytes);
    return "insert-bytes@" + std::to_string(at);
}

std::string deleteRange(std::string& t, FuzzRandom& r) {
    if (t.empty()) return "delete-range(empty)";
    const std::size_t at = r.below(t.size());
    const std::size_t n = 1 + r.below(std::min<std::size_t>(16, t.size() - at));
    t.erase(at, n);
    return "delete-range@" + std::to_string(at) + "+" + std::to_string(n);
}

std::string duplicateRange(std::string& t, FuzzRandom& r) {
    if (t.empty()) return "duplicate-range(empty)";
    const std::size_t at = r.below(t.size());
    const std::size_t n = 1 + r.below(std::min<std::size_t>(32, t.size() - at));
    t.insert(at, t.substr(at, n));
    return "duplicate-range@" + std::to_string(at) + "+" + std::to_string(n);
}

std::string truncateText(std::string& t, FuzzRandom& r) {
    const std::size_t at = r.below(t.size() + 1);
    t.resize(at);
    return "truncate@" + std::to_string(at);
}

std::string deleteLine(std::string& t, FuzzRandom& r) {
    auto lines = splitLines(t);
    const std::size_t at = r.below(lines.size());
    lines.erase(lines.begin() + static_cast<long>(at));
    t = joinLines(lines);
    return "delete-line " + std::to_string(at + 1);
}

std::string duplicateLine(std::string& t, FuzzRandom& r) {
    auto lines = splitLines(t);
    const std::size_t at = r.below(contentLines(lines) ? contentLines(lines) : 1);
    lines.insert(lines.begin() + static_cast<long>(at), lines[at]);
    t = joinLines(lines);
    return "duplicate-line " + std::to_string(at + 1);
}

std::string swapLines(std::string& t, FuzzRandom& r) {
    auto lines = splitLines(t);
    const std::size_t n = std::max<std::size_t>(1, contentLines(lines));
    const std::size_t a = r.below(n), b = r.below(n);
    std::swap(lines[a], lines[b]);
    t = joinLines(lines);
    return "swap-lines " + std::to_string(a + 1) + "," + std::to_string(b + 1);
}

std::string insertOddLine(std::string& t, FuzzRandom& r) {
    static const std::vector<std::string> odd = {"", " ", "\t", "\r", ",,,,", "; ; ;", "\f", "\v",
                                                 "-", "#", "NA NA NA", std::string(1, '\0')};
    auto lines = splitLines(t);
    const std::size_t at = r.below(lines.size() + 1);
    lines.insert(lines.begin() + static_cast<long>(at), r.pick(odd));
    t = joinLines(lines);
    return "odd-line@" + std::to_string(at + 1);
}

std::string replaceNumber(std::string& t, FuzzRandom& r) {
    const auto spans = numberSpans(t);
    if (spans.empty()) return "replace-number(none)";
    const auto& [at, n] = r.pick(spans);
    const std::string& number = r.pick(kHostileNumbers);
    t.replace(at, n, number);
    return "number@" + std::to_string(at) + "=" + number;
}

std::string negateNumber(std::string& t, FuzzRandom& r) {
    const auto spans = numberSpans(t);
    if (spans.empty()) return "negate(none)";
    const auto& span = r.pick(spans);
    t.insert(span.first, "-");
    return "negate@" + std::to_string(span.first);
}

std::string changeSeparators(std::string& t, FuzzRandom& r) {
    auto lines = splitLines(t);
    const bool whole = r.chance(30);
    const std::string& sep = r.pick(kSeparators);
    const std::size_t only = r.below(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!whole && i != only) continue;
        std::string out;
        for (char c : lines[i]) out += (c == ' ') ? sep : std::string(1, c);
        lines[i] = out;
    }
    t = joinLines(lines);
    return std::string("separators") + (whole ? "(all)" : "@" + std::to_string(only + 1)) + "='" + sep + "'";
}

std::string prependBom(std::string& t, FuzzRandom&) {
    t.insert(0, "\xef\xbb\xbf");
    return "bom";
}

std::string carriageReturns(std::string& t, FuzzRandom& r) {
    const int style = static_cast<int>(r.below(3));
    std::string out;
    for (char c : t) {
        if (c != '\n') {
            out += c;
        } else if (style == 0) {
            out += "\r\n";
        } else if (style == 1) {
            out += '\r';  // old Mac line ends: one long line
        } else {
            out += r.chance(50) ? "\r\n" : "\n";
        }
    }
    t = out;
    return "cr-style" + std::to_string(style);
}

std::string trailingNewlines(std::string& t, FuzzRandom& r) {
    if (r.chance(50) && !t.empty() && t.back() == '\n') {
        t.pop_back();
        return "no-final-newline";
    }
    t.append(1 + r.below(5), '\n');
    return "extra-final-newlines";
}

std::string swapFields(std::string& t, FuzzRandom& r) {
    auto lines = splitLines(t);
    const std::size_t at = r.below(lines.size());
    std::istringstream in(lines[at]);
    std::vector<std::string> fields;
    for (std::string f; in >> f;) fields.push_back(f);
    if (fields.size() < 2) return "swap-fields(short)";
    std::swap(fields[r.below(fields.size())], fields[r.below(fields.size())]);
    std::string line;
    for (std::size_t j = 0; j < fields.size(); ++j) line += (j ? " " : "") + fields[j];
    lines[at] = line;
    t = joinLines(lines);
    return "swap-fields@" + std::to_string(at + 1);
}

std::string longLine(std::string& t, FuzzRandom& r) {
    auto lines = splitLines(t);
    const std::size_t at = r.below(lines.size());
    std::string filler;
    const int kind = static_cast<int>(r.below(3));
    for (int i = 0; i < 4000; ++i) filler += kind == 0 ? "1 " : kind == 1 ? " " : "9";
    lines[at] += filler;
    t = joinLines(lines);
    return "long-line@" + std::to_string(at + 1);
}

const std::vector<Mutation> kMutations = {
    flipBit,       replaceByte,   insertBytes,      deleteRange,   duplicateRange,
    truncateText,  deleteLine,    duplicateLine,    swapLines,     insertOddLine,
    replaceNumber, replaceNumber, replaceNumber,    negateNumber,  changeSeparators,
    prependBom,    carriageReturns, trailingNewlines, swapFields,  longLine,
    swapLines,     deleteLine,
};

// Degenerate data built from the table of scores: what a careless data file
// or an odd sample really looks like.
std::string mutateScoresTable(std::string& text, FuzzRandom& r) {
    auto rows = splitTable(text);
    if (rows.empty() || rows[0].empty()) return "table(empty)";
    const std::size_t columns = rows[0].size();
    const std::size_t a = r.below(columns), b = r.below(columns);
    std::string name;
    switch (r.below(7)) {
        case 0:  // a constant item
            for (auto& row : rows) if (a < row.size()) row[a] = "3";
            name = "constant-item " + std::to_string(a + 1);
            break;
        case 1:  // two identical items
            for (auto& row : rows) if (a < row.size() && b < row.size()) row[b] = row[a];
            name = "identical-items " + std::to_string(a + 1) + "," + std::to_string(b + 1);
            break;
        case 2:  // every score equal
            for (auto& row : rows) for (auto& f : row) f = "2";
            name = "all-scores-equal";
            break;
        case 3:  // every row misses a value
            for (std::size_t i = 0; i < rows.size(); ++i) rows[i][i % columns] = "999";
            name = "every-row-missing";
            break;
        case 4:  // one item in other units
            for (auto& row : rows) if (a < row.size()) row[a] += "000000";
            name = "scaled-item " + std::to_string(a + 1);
            break;
        case 5:  // only missing an item that may be excluded
            for (std::size_t i = 0; i < rows.size(); i += 3) if (a < rows[i].size()) rows[i][a] = "999";
            name = "missing-in-item " + std::to_string(a + 1);
            break;
        default:  // opposite items
            for (auto& row : rows)
                if (a < row.size() && b < row.size() && a != b)
                    row[b] = std::to_string(6 - std::atoi(row[a].c_str()));
            name = "reversed-items " + std::to_string(a + 1) + "," + std::to_string(b + 1);
            break;
    }
    text = joinTable(rows);
    return name;
}

// A matrix that is no covariance matrix: not symmetric, singular, not
// positive definite, with units far apart.
std::string mutateMatrixTable(std::string& text, FuzzRandom& r) {
    auto rows = splitTable(text);
    if (rows.size() < 2) return "matrix(small)";
    const std::size_t n = rows.size();
    const std::size_t a = r.below(n), b = (a + 1 + r.below(n - 1)) % n;
    std::string name;
    switch (r.below(6)) {
        case 0:
            std::swap(rows[a], rows[b]);
            name = "asymmetric(swapped rows)";
            break;
        case 1:  // variable b a copy of variable a
            rows[b] = rows[a];
            for (auto& row : rows) if (b < row.size() && a < row.size()) row[b] = row[a];
            name = "singular(copied variable)";
            break;
        case 2:
            if (a < rows[a].size()) rows[a][a] = "-" + rows[a][a];
            name = "negative-variance";
            break;
        case 3:
            for (auto& row : rows) for (auto& f : row) f += "e6";
            name = "scaled-1e6";
            break;
        case 4:
            if (b < rows[a].size() && a < rows[b].size()) rows[a][b] = rows[b][a] = "1000";
            name = "not-positive-definite";
            break;
        default:
            for (auto& row : rows) for (auto& f : row) f = "0";
            name = "zero-matrix";
            break;
    }
    text = joinTable(rows);
    return name;
}

// Hand-made hostile files.
struct HostileFile {
    const char* name;
    std::string content;
};

std::string repeatRow(const std::string& row, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += row + "\n";
    return text;
}

const std::vector<HostileFile>& hostileScores() {
    static const std::vector<HostileFile> files = {
        {"empty", ""},
        {"only-newlines", "\n\n\n\n\n\n"},
        {"one-row", "1 2 3 4 5 1 2 3 4 5 1 2\n"},
        {"two-rows", "1 2 3 4 5 1 2 3 4 5 1 2\n2 3 4 5 1 2 3 4 5 1 2 3\n"},
        {"all-equal", repeatRow("3 3 3 3 3 3 3 3 3 3 3 3", 30)},
        {"huge-values", repeatRow("3e9 1e30 -3e9 2147483648 1 2 3 4 5 1 2 3", 20)},
        {"nan-inf", repeatRow("nan inf -inf 1 2 3 4 5 1 2 3 4", 20)},
        {"all-missing", repeatRow("999 999 999 999 999 999 999 999 999 999 999 999", 20)},
        {"separators-only", repeatRow(",,,,;;;;::://///", 20)},
        {"binary", [] {
             std::string s;
             for (int i = 0; i < 1024; ++i) s += static_cast<char>((i * 37) & 0xff);
             return s;
         }()},
        {"bom-crlf", "\xef\xbb\xbf" + repeatRow("1 2 3 4 5 1 2 3 4 5 1 2\r", 15)},
        {"form-feeds", repeatRow("\f1\v2\f3 4 5 1 2 3 4 5 1 2", 15)},
        {"tiny-values", repeatRow("1e-40 2e-40 3e-40 1e-45 1 2 3 4 5 1 2 3", 15)},
        {"alternating", [] {
             std::string s;
             for (int i = 0; i < 40; ++i)
                 s += (i % 2) ? "1 1 1 1 1 1 1 1 1 1 1 1\n" : "5 5 5 5 5 5 5 5 5 5 5 5\n";
             return s;
         }()},
    };
    return files;
}

const std::vector<HostileFile>& hostileMatrices() {
    static const std::vector<HostileFile> files = {
        {"empty", ""},
        {"identity", "1 0 0 0 0 0 0\n0 1 0 0 0 0 0\n0 0 1 0 0 0 0\n0 0 0 1 0 0 0\n0 0 0 0 1 0 0\n"
                     "0 0 0 0 0 1 0\n0 0 0 0 0 0 1\n"},
        {"all-ones", repeatRow("1 1 1 1 1 1 1", 7)},
        {"above-one", "1 1.0000001 .3 .3 .3 .3 .3\n1.0000001 1 .3 .3 .3 .3 .3\n.3 .3 1 .3 .3 .3 .3\n"
                      ".3 .3 .3 1 .3 .3 .3\n.3 .3 .3 .3 1 .3 .3\n.3 .3 .3 .3 .3 1 .3\n"
                      ".3 .3 .3 .3 .3 .3 1\n"},
        {"contradictory", "1 .9 .9 .4 .4 .4 .4\n.9 1 -.9 .4 .4 .4 .4\n.9 -.9 1 .4 .4 .4 .4\n"
                          ".4 .4 .4 1 .35 .35 .35\n.4 .4 .4 .35 1 .35 .35\n.4 .4 .4 .35 .35 1 .35\n"
                          ".4 .4 .4 .35 .35 .35 1\n"},
        {"nan-diagonal", "nan 0 0 0 0 0 0\n0 1 0 0 0 0 0\n0 0 1 0 0 0 0\n0 0 0 1 0 0 0\n"
                         "0 0 0 0 1 0 0\n0 0 0 0 0 1 0\n0 0 0 0 0 0 inf\n"},
        {"huge", repeatRow("1e38 1e38 1e38 1e38 1e38 1e38 1e38", 7)},
    };
    return files;
}

const std::vector<HostileFile>& hostileTargets() {
    static const std::vector<HostileFile> files = {
        {"empty", ""},
        {"empty-first-line", "\n" + repeatRow("9 0 0", 12)},
        {"all-free", repeatRow("9 -9 9", 12)},
        {"one-column", repeatRow("9", 12)},
        {"many-columns", repeatRow("9 0 0 0 0 0 0 0 0 0 0 0 0 0", 12)},
        {"nan", repeatRow("nan 0 inf", 12)},
        {"huge", repeatRow("1e30 -3e9 0", 12)},
    };
    return files;
}

const std::vector<HostileFile>& hostileLabels() {
    static const std::vector<HostileFile> files = {
        {"empty", ""},
        {"long", repeatRow(std::string(5000, 'x'), 12)},
        {"binary", repeatRow(std::string("\x01\x02\xff\xfe%s%n\t\r", 10), 12)},
        {"short", "one\ntwo\n"},
        {"crlf", repeatRow("label\r", 12)},
    };
    return files;
}

// The first rows of the scores seed.
std::string firstRows(const std::string& text, std::size_t count) {
    auto lines = splitLines(text);
    if (lines.size() > count) lines.resize(count);
    return joinLines(lines) + "\n";
}

std::string firstRows(const std::string& text, std::size_t count, std::size_t columns) {
    auto rows = splitTable(text);
    if (rows.size() > count) rows.resize(count);
    for (auto& row : rows) if (row.size() > columns) row.resize(columns);
    return joinTable(rows);
}

// Hostile texts for a number edit of a dialog.
const std::vector<std::string> kHostileEdits = {
    "", "0", "-1", "1", "2", "abc", "1e400", "3e2", "1.2e1", "12345678", "2000000000", "100000",
    "2147483648", "-2147483649", " 5", "5 ", "0x1f", "+3", "3.7", "nan", "\f", "99999",
};

std::string pickEdit(FuzzRandom& r, const std::string& usual, int hostilePercent) {
    return r.chance(hostilePercent) ? r.pick(kHostileEdits) : usual;
}

// Lines a user or a broken script might send to any prompt.
const std::vector<std::string> kHostileLines = {
    "\f", "\v", "\t", " ", "", "=", " = ", "= 5", "key =", "show", "help", "show nothing",
    "yes", "no", "cancel", "ok", "\r", std::string(1, '\0'), std::string(3000, 'a'), "\xff\xfe",
    "exclude", "exclude 0", "exclude 999", "exclude -1", "include 1", "exclude 1 1 1",
    "configure", "compute", "read", "about", "default", "browse scoresFileName",
    "factorCount = \f", "variableCount =\v", "%s%s%n",
};

struct SessionPlan {
    bool matrix = false;
    int rows = 0;     // data rows written
    int columns = 0;  // variables in the file
    bool labels = false;
    bool target = false;
};

std::string configureLines(const SessionPlan& plan, FuzzRandom& r, std::vector<std::string>& notes,
                           bool hostile) {
    const int m = plan.columns;
    std::string s = "configure\n";
    if (!plan.matrix && r.chance(70)) {
        static const std::vector<std::string> kinds = {"covariance", "pearson", "polychoric"};
        s += "dispersionType = " + r.pick(kinds) + "\n";
        if (r.chance(20)) s += "lowestScore = " + pickEdit(r, "1", 50) + "\n";
        if (r.chance(20)) s += "highestScore = " + pickEdit(r, "5", 50) + "\n";
    }
    if (r.chance(50)) {
        static const std::vector<std::string> procedures = {"MAP", "PA", "Hull"};
        s += "factorCountProcedure = " + r.pick(procedures) + "\n";
    }
    if (r.chance(50)) {
        const int excluded = static_cast<int>(r.below(static_cast<std::size_t>(std::max(1, m))));
        std::string line = "exclude";
        for (int i = 0; i < excluded; ++i) line += " " + std::to_string(1 + r.below(std::max(1, m)));
        s += line + "\n";
        notes.push_back("excluded: " + line.substr(7));
    }
    const std::vector<std::string> counts = {"0", "1", "2", "3", std::to_string(m - 1), std::to_string(m),
                                             std::to_string(m + 1)};
    if (r.chance(85)) s += "factorCount = " + (hostile ? pickEdit(r, r.pick(counts), 25) : r.pick(counts)) + "\n";
    if (r.chance(50)) {
        static const std::vector<std::string> methods = {"ULS", "PCA", "ML", "MRFA", "ULS", "PCA"};
        s += "extractionMethod = " + r.pick(methods) + "\n";
    }
    if (r.chance(40)) s += "simplicityRotation = " + std::to_string(r.below(30)) + "\n";
    if (r.chance(30)) s += "glbOmega = 1\n";
    if (r.chance(20)) s += "secondOrderCount = " + pickEdit(r, "1", 40) + "\n";
    if (r.chance(25)) s += "saveFactorScores = 1\n";
    if (r.chance(15)) s += "personFit = 1\n";
    s += std::string("detailedOutput = ") + (r.chance(80) ? "1" : "0") + "\n";
    std::string output = "report.txt";
    if (r.chance(hostile ? 30 : 6)) {
        std::vector<std::string> names = {"", ".", "no-such-folder/report.txt", "alias.dat"};
        const std::string data = plan.matrix ? "matrix.dat" : "scores.dat";
        for (const char* prefix : {"", "./", "sub/../"}) names.push_back(std::string(prefix) + data);
        if (plan.labels) names.push_back("labels.txt");
        if (plan.target) names.push_back("./target.dat");
        output = r.pick(names);
        notes.push_back("output file '" + output + "'");
    }
    s += "outputFileName = " + output + "\n";
    s += "ok\n";
    return s;
}

std::string readLines(const SessionPlan& plan, FuzzRandom& r, std::vector<std::string>& notes, bool hostile) {
    std::string s = "read\n";
    const int hostilePercent = hostile ? 30 : 0;
    std::string n = std::to_string(plan.matrix ? 200 : plan.rows);
    if (!hostile && !plan.matrix && r.chance(10)) n = std::to_string(plan.rows + 1);
    if (plan.matrix && r.chance(20)) n = "0";
    n = pickEdit(r, n, hostilePercent);
    const std::string m = pickEdit(r, std::to_string(plan.columns), hostilePercent);
    s += "participantCount = " + n + "\nvariableCount = " + m + "\n";
    if (n != std::to_string(plan.rows) || m != std::to_string(plan.columns))
        notes.push_back("N='" + n + "' m='" + m + "'");
    std::string dataFile = plan.matrix ? "matrix.dat" : "scores.dat";
    if (r.chance(hostile ? 10 : 1)) {
        static const std::vector<std::string> odd = {"/dev/zero", "pipe.dat", ".", "missing.dat",
                                                     "alias.dat", "scores.dat ", "/dev/null"};
        dataFile = r.pick(odd);
        notes.push_back("data file '" + dataFile + "'");
    }
    if (plan.matrix) {
        s += "dataKind = matrix\nmatrixFileName = " + dataFile + "\n";
    } else {
        s += "dataKind = scores\nscoresFileName = " + dataFile + "\n";
        if (r.chance(85)) {
            s += "missingCodeEnabled = 1\nmissingCode = " + pickEdit(r, "999", hostilePercent) + "\n";
        } else {
            s += "missingCodeEnabled = 0\n";
        }
    }
    if (plan.labels) s += "labelsEnabled = 1\nlabelsFileName = labels.txt\n";
    if (plan.target) s += "targetEnabled = 1\ntargetFileName = target.dat\n";
    s += "ok\n";
    return s;
}

// Session edits: hostile lines in random places, lines lost, repeated or
// swapped, and line ends of another system.
std::string mutateSession(std::string session, FuzzRandom& r, std::vector<std::string>& notes) {
    auto lines = splitLines(session);
    const std::size_t edits = 1 + r.below(3);
    for (std::size_t e = 0; e < edits; ++e) {
        const std::size_t n = std::max<std::size_t>(1, contentLines(lines));
        const std::size_t at = r.below(n);
        switch (r.below(5)) {
            case 0:
            case 1: {
                const std::string& line = r.pick(kHostileLines);
                lines.insert(lines.begin() + static_cast<long>(at), line);
                std::string shown;
                for (char c : line.substr(0, 24))
                    shown += (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126)
                                 ? "\\x" + std::to_string(static_cast<unsigned char>(c))
                                 : std::string(1, c);
                notes.push_back("session line " + std::to_string(at + 1) + " inserted '" + shown + "'");
                break;
            }
            case 2:
                notes.push_back("session line " + std::to_string(at + 1) + " deleted");
                lines.erase(lines.begin() + static_cast<long>(at));
                break;
            case 3:
                notes.push_back("session line " + std::to_string(at + 1) + " repeated");
                lines.insert(lines.begin() + static_cast<long>(at), lines[at]);
                break;
            default: {
                const std::size_t b = r.below(n);
                notes.push_back("session lines " + std::to_string(at + 1) + "," + std::to_string(b + 1) +
                                " swapped");
                std::swap(lines[at], lines[b]);
                break;
            }
        }
    }
    if (r.chance(10)) {
        for (auto& line : lines) line += "\r";
        notes.push_back("session with CR LF");
    }
    return joinLines(lines);
}

std::string applyMutations(std::string text, FuzzRandom& r, std::size_t count, const std::string& file,
                           std::vector<std::string>& notes) {
    for (std::size_t i = 0; i < count; ++i) notes.push_back(file + ": " + r.pick(kMutations)(text, r));
    return text;
}

}  // namespace

std::string mutateText(std::string& text, FuzzRandom& random) { return random.pick(kMutations)(text, random); }

SeedFiles loadSeedFiles(const std::string& sourceDir) {
    SeedFiles seeds;
    seeds.scores = readWhole(sourceDir + "/examples/items.dat");
    seeds.labels = readWhole(sourceDir + "/examples/labels.txt");
    seeds.target = readWhole(sourceDir + "/examples/target.dat");
    seeds.covariance = readWhole(sourceDir + "/tests/reports/inputs/covariance.dat");
    return seeds;
}

FuzzCase makeCase(const SeedFiles& seeds, std::uint64_t campaignSeed, std::uint64_t index) {
    FuzzCase c;
    c.index = index;
    c.seed = caseSeed(campaignSeed, index);
    FuzzRandom r(c.seed);

    // What this case aims at.
    enum Focus { Scores, Matrix, Labels, Target, Session, Hostile };
    static const std::vector<Focus> foci = {Scores, Scores, Scores, Scores, Matrix, Matrix, Matrix,
                                            Labels, Target, Target, Session, Session, Hostile, Hostile};
    const Focus focus = r.pick(foci);
    static const char* focusNames[] = {"scores", "matrix", "labels", "target", "session", "hostile"};
    c.mutations.push_back(std::string("focus: ") + focusNames[focus]);

    SessionPlan plan;
    plan.matrix = focus == Matrix || (focus == Hostile && r.chance(40)) || (focus == Session && r.chance(30));
    std::string data;
    if (plan.matrix) {
        plan.columns = 7;
        plan.rows = 7;
        if (focus == Hostile) {
            const auto& h = r.pick(hostileMatrices());
            data = h.content;
            c.mutations.push_back(std::string("matrix: hand-made ") + h.name);
        } else {
            data = seeds.covariance;
            if (r.chance(40)) c.mutations.push_back("matrix: " + mutateMatrixTable(data, r));
        }
    } else {
        static const std::vector<int> rowChoices = {300, 60, 40, 20, 13, 12, 8, 4, 3, 2, 1};
        static const std::vector<int> columnChoices = {12, 12, 12, 6, 3, 2, 1};
        plan.rows = r.pick(rowChoices);
        plan.columns = (focus == Labels || focus == Target) ? 12 : r.pick(columnChoices);
        if (focus == Hostile) {
            const auto& h = r.pick(hostileScores());
            data = h.content;
            plan.rows = 20;
            plan.columns = 12;
            c.mutations.push_back(std::string("scores: hand-made ") + h.name);
        } else {
            data = plan.columns == 12 ? firstRows(seeds.scores, static_cast<std::size_t>(plan.rows))
                                      : firstRows(seeds.scores, static_cast<std::size_t>(plan.rows),
                                                  static_cast<std::size_t>(plan.columns));
            c.mutations.push_back("scores: " + std::to_string(plan.rows) + " x " + std::to_string(plan.columns));
            if (r.chance(25)) c.mutations.push_back("scores: " + mutateScoresTable(data, r));
        }
    }
    if (focus == Scores || focus == Matrix || (focus == Hostile && r.chance(30)))
        data = applyMutations(data, r, 1 + r.below(4), plan.matrix ? "matrix" : "scores", c.mutations);

    const bool twelve = !plan.matrix && plan.columns == 12;
    plan.labels = focus == Labels || (twelve && r.chance(25)) || (focus == Hostile && r.chance(20));
    plan.target = focus == Target || (twelve && r.chance(20)) || (focus == Hostile && r.chance(20));
    std::string labels = firstRows(seeds.labels, static_cast<std::size_t>(plan.columns));
    std::string target = firstRows(seeds.target, static_cast<std::size_t>(plan.columns));
    if (plan.matrix) {
        labels = firstRows(seeds.labels, 7);
        target = firstRows(seeds.target, 7);
    }
    if (focus == Labels) labels = applyMutations(labels, r, 1 + r.below(4), "labels", c.mutations);
    if (focus == Target) target = applyMutations(target, r, 1 + r.below(4), "target", c.mutations);
    if (focus == Hostile && plan.labels && r.chance(50)) {
        const auto& h = r.pick(hostileLabels());
        labels = h.content;
        c.mutations.push_back(std::string("labels: hand-made ") + h.name);
    }
    if (focus == Hostile && plan.target && r.chance(60)) {
        const auto& h = r.pick(hostileTargets());
        target = h.content;
        c.mutations.push_back(std::string("target: hand-made ") + h.name);
    }

    const bool hostileSession = focus == Session || focus == Hostile;
    std::string session = readLines(plan, r, c.mutations, hostileSession);
    // A question about dropped rows takes the next line as its answer.
    if (r.chance(30)) session += "yes\n";
    session += configureLines(plan, r, c.mutations, hostileSession);
    session += "compute\n";
    if (r.chance(10)) session += "compute\n";
    session += "exit\n";
    if (focus == Session) session = mutateSession(session, r, c.mutations);

    const std::string dataName = plan.matrix ? "matrix.dat" : "scores.dat";
    c.files.push_back({dataName, CaseFile::Kind::Regular, data, {}});
    if (plan.labels) c.files.push_back({"labels.txt", CaseFile::Kind::Regular, labels, {}});
    if (plan.target) c.files.push_back({"target.dat", CaseFile::Kind::Regular, target, {}});
    c.files.push_back({"alias.dat", CaseFile::Kind::Symlink, {}, dataName});
    c.files.push_back({"pipe.dat", CaseFile::Kind::Fifo, {}, {}});
    c.session = session;
    return c;
}

}  // namespace talvex::fuzz
