// talvex_fuzz: a deterministic mutation fuzzer for the whole program. Case N
// of seed S (input files and a terminal session) is the same bytes on every
// machine; each case runs the built executable in its own scratch folder as a
// child process with time, memory and file-size limits. A case fails when the
// program is killed by a signal, exits with a status other than 0 or 1 (1: the
// session's last run did not complete), prints a
// sanitizer report, does not end in time, writes a report with nan or inf
// where a number belongs, or changes an input file, link or pipe.
//
//   talvex_fuzz --talvex PATH [--seed 1] [--cases 300] [--first 0] [--jobs 2]
//               [--timeout 10] [--memory 4096] [--work DIR] [--failures DIR] [--keep 3]
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// splitmix64: the fuzzer's own stream, independent of the program's.
struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }
    bool chance(int percent) { return static_cast<int>(below(100)) < percent; }
    template <class T>
    const T& pick(const std::vector<T>& items) { return items[below(items.size())]; }
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

using Lines = std::vector<std::string>;

// Split at '\n'; joining with '\n' gives the text back byte for byte.
Lines splitLines(const std::string& text) {
    Lines lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

std::string joinLines(const Lines& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) text += (i ? "\n" : "") + lines[i];
    return text;
}

std::string repeatRow(const std::string& row, int count) {
    std::string text;
    while (count-- > 0) text += row + "\n";
    return text;
}

// Numbers beyond the int and float ranges, subnormal, not finite, malformed,
// and the codes the program treats specially.
const Lines kHostileNumbers = {"3e9", "1e30", "-3e9", "2147483648", "1e400", "-1e400", "1e-400", "3.5e38",
                               "1e-45", "nan", "-nan", "inf", "-inf", "0", "-0", "999", "-999", "9", "-9",
                               "99999999999999999999", "0x10", "1e", ".", "-", "1.5.5", "1,5", "--1", "-1"};
const Lines kOddBytes = {std::string(1, '\0'), "\r", "\n", "\t", ",", ";", ":", "/", " ", ".", "-", "e",
                         "\f", "\v", "\xff", "\xef\xbb\xbf", "\x80", "9", "%n%s", "\""};

using Mutation = std::function<std::string(std::string&, Random&)>;

std::string onLines(std::string& t, const std::function<std::string(Lines&)>& edit) {
    Lines lines = splitLines(t);
    std::string name = edit(lines);
    t = joinLines(lines);
    return name;
}

// Each mutation changes the text once, at a place the stream picks, and
// returns what it did for the failure log.
const std::vector<Mutation> kMutations = {
    [](std::string& t, Random& r) {
        if (t.empty()) return std::string("flip-bit(empty)");
        const std::size_t at = r.below(t.size());
        t[at] = static_cast<char>(t[at] ^ (1 << r.below(8)));
        return "flip-bit@" + std::to_string(at);
    },
    [](std::string& t, Random& r) {
        const std::size_t at = r.below(t.size() + 1);
        t.insert(at, r.pick(kOddBytes));
        return "insert-bytes@" + std::to_string(at);
    },
    [](std::string& t, Random& r) {
        const std::size_t at = r.below(t.size() + 1), n = 1 + r.below(16);
        t.erase(at, n);
        return "delete@" + std::to_string(at) + "+" + std::to_string(n);
    },
    [](std::string& t, Random& r) {
        const std::size_t at = r.below(t.size() + 1), n = 1 + r.below(32);
        t.insert(at, t.substr(at, n));
        return "duplicate@" + std::to_string(at) + "+" + std::to_string(n);
    },
    [](std::string& t, Random& r) {
        t.resize(r.below(t.size() + 1));
        return "truncate@" + std::to_string(t.size());
    },
    [](std::string& t, Random& r) {
        return onLines(t, [&](Lines& l) {
            const std::size_t a = r.below(l.size()), b = r.below(l.size());
            switch (r.below(4)) {
                case 0: l.erase(l.begin() + static_cast<long>(a)); return "delete-line " + std::to_string(a + 1);
                case 1: l.insert(l.begin() + static_cast<long>(a), l[a]); return "repeat-line " + std::to_string(a + 1);
                case 2: std::swap(l[a], l[b]); return "swap-lines " + std::to_string(a + 1) + "," + std::to_string(b + 1);
                default:
                    l.insert(l.begin() + static_cast<long>(a), r.pick(Lines{"", " ", "\r", ",,,,", "\f", "#", "NA NA"}));
                    return "odd-line@" + std::to_string(a + 1);
            }
        });
    },
    [](std::string& t, Random& r) {  // a number replaced by a hostile one
        std::vector<std::pair<std::size_t, std::size_t>> spans;
        for (std::size_t i = 0, j; i < t.size(); i = j + 1) {
            for (j = i; j < t.size() && std::string_view("0123456789.eE+-").find(t[j]) != std::string_view::npos;) ++j;
            if (t.substr(i, j - i).find_first_of("0123456789") != std::string::npos) spans.emplace_back(i, j - i);
        }
        if (spans.empty()) return std::string("number(none)");
        const auto& [at, n] = r.pick(spans);
        const std::string& number = r.pick(kHostileNumbers);
        t.replace(at, n, number);
        return "number@" + std::to_string(at) + "=" + number;
    },
    [](std::string& t, Random& r) {
        const int style = static_cast<int>(r.below(3));
        std::string out;
        for (char c : t) out += c != '\n' ? std::string(1, c) : style == 0 ? "\r\n" : style == 1 ? "\r" : "\n\n";
        t = out;
        return "line-ends" + std::to_string(style);
    },
    [](std::string& t, Random&) {
        t.insert(0, "\xef\xbb\xbf");
        return std::string("bom");
    },
    [](std::string& t, Random& r) {
        const std::string filler = r.pick(Lines{"1 ", " ", "9"});
        return onLines(t, [&](Lines& l) {
            const std::size_t at = r.below(l.size());
            for (int i = 0; i < 4000; ++i) l[at] += filler;
            return "long-line@" + std::to_string(at + 1);
        });
    },
};

// Hand-made hostile files the mutations rarely reach (12 items, 7 x 7
// matrices): degenerate columns and samples, non-finite and extreme values,
// asymmetric, singular and contradictory matrices.
const Lines kHostileScores = {
    "", "\n\n\n\n", repeatRow("3 3 3 3 3 3 3 3 3 3 3 3", 30), repeatRow("nan inf -inf 1 2 3 4 5 1 2 3 4", 20),
    repeatRow("3 1 2 3 4 5 1 2 3 4 5 1\n3 2 3 4 5 1 2 3 4 5 1 2\n3 5 4 3 2 1 5 4 3 2 1 5", 10),
    repeatRow("1 1 2 2 3 3 4 4 5 5 1 5\n2 2 1 1 5 5 3 3 4 4 2 4\n5 5 4 4 1 1 2 2 3 3 5 1", 10),
    repeatRow("3e9 1e30 -3e9 2147483648 1 2 3 4 5 1 2 3", 20), repeatRow("1e-40 2e-40 1e-45 1 2 3 4 5 1 2 3 4", 15),
    repeatRow("5 5 5 5 5 5 5 5 5 5 5 5\n1 1 1 1 1 1 1 1 1 1 1 1", 20)};
const Lines kHostileMatrices = {
    repeatRow("1 1 1 1 1 1 1", 7), repeatRow("1e38 1e38 1e38 1e38 1e38 1e38 1e38", 7), repeatRow("0 0 0 0 0 0 0", 7),
    "1 .5 0 0 0 0 0\n.2 1 0 0 0 0 0\n0 0 1 0 0 0 0\n0 0 0 1 0 0 0\n0 0 0 0 1 0 0\n0 0 0 0 0 1 0\n0 0 0 0 0 0 -1\n",
    "nan 0 0 0 0 0 0\n0 1 0 0 0 0 0\n0 0 1 0 0 0 0\n0 0 0 1 0 0 0\n0 0 0 0 1 0 0\n0 0 0 0 0 1 0\n0 0 0 0 0 0 inf\n",
    "1 .9 .9 .4 .4 .4 .4\n.9 1 -.9 .4 .4 .4 .4\n.9 -.9 1 .4 .4 .4 .4\n" + repeatRow(".4 .4 .4 1 1 1 1", 4)};
// Texts for a number edit of a dialog, and lines sent to any prompt.
const Lines kHostileEdits = {"", "0", "-1", "1", "2", "abc", "1e400", "3e2", "12345678", "2147483648",
                             " 5", "0x1f", "+3", "3.7", "nan", "\f"};
const Lines kHostileLines = {"\f", "\t", " ", "", "=", "= 5", "key =", "yes", "no", "cancel", "ok",
                             std::string(1, '\0'), std::string(3000, 'a'), "\xff\xfe", "exclude 0",
                             "exclude 999", "include 1", "configure", "compute", "read", "about",
                             "factorCount = \f", "%s%s%n"};

struct CaseFile {
    enum Kind { Regular, Symlink, Fifo } kind;
    std::string name, content;  // content: the link's target for a symlink
};

struct Case {
    std::uint64_t index = 0;
    std::vector<CaseFile> files;
    std::string session;
    Lines notes;  // what was done, for the failure log
};

struct Seeds {
    std::string scores, labels, target, covariance;
};

// The first rows and columns of a table of numbers, one space between them.
std::string firstRows(const std::string& text, std::size_t rows, std::size_t columns = 1000) {
    std::string out;
    for (const std::string& line : splitLines(text)) {
        std::istringstream in(line);
        std::string row, field;
        for (std::size_t j = 0; j < columns && in >> field; ++j) row += (j ? " " : "") + field;
        if (row.empty()) continue;
        if (rows-- == 0) break;
        out += row + "\n";
    }
    return out;
}

Case makeCase(const Seeds& seeds, std::uint64_t campaignSeed, std::uint64_t index) {
    Case c;
    c.index = index;
    Random r{campaignSeed * 0xD1B54A32D192ED03ULL + index};
    r.next();
    enum Focus { Scores, Matrix, Labels, Target, Session, Hostile };
    const Focus focus = r.pick(std::vector<Focus>{Scores, Scores, Scores, Scores, Matrix, Matrix, Matrix, Labels,
                                                  Target, Target, Session, Session, Hostile, Hostile});
    c.notes.push_back("focus " + Lines{"scores", "matrix", "labels", "target", "session", "hostile"}[focus]);
    const bool hostile = focus == Session || focus == Hostile;
    auto edit = [&](const std::string& usual) { return hostile && r.chance(30) ? r.pick(kHostileEdits) : usual; };
    auto mutate = [&](std::string& text, const std::string& what) {
        for (std::size_t n = 1 + r.below(4); n > 0; --n) c.notes.push_back(what + ": " + r.pick(kMutations)(text, r));
    };

    const bool matrix = focus == Matrix || ((focus == Hostile || focus == Session) && r.chance(35));
    std::size_t rows = 7, columns = 7;
    std::string data;
    if (matrix) {
        data = focus == Hostile ? r.pick(kHostileMatrices) : seeds.covariance;
    } else {
        rows = r.pick(std::vector<std::size_t>{300, 60, 40, 20, 13, 12, 8, 4, 3, 2, 1});
        columns = (focus == Labels || focus == Target) ? 12 : r.pick(std::vector<std::size_t>{12, 12, 12, 6, 3, 2, 1});
        if (focus == Hostile) rows = 20, columns = 12;
        data = focus == Hostile ? r.pick(kHostileScores) : firstRows(seeds.scores, rows, columns);
        c.notes.push_back("scores " + std::to_string(rows) + " x " + std::to_string(columns));
    }
    if (focus == Scores || focus == Matrix) mutate(data, "data");
    const bool twelve = !matrix && columns == 12;
    const bool labels = focus == Labels || (twelve && r.chance(25)) || (focus == Hostile && r.chance(20));
    const bool target = focus == Target || (twelve && r.chance(20)) || (focus == Hostile && r.chance(20));
    std::string labelText = firstRows(seeds.labels, columns), targetText = firstRows(seeds.target, columns);
    if (focus == Labels) mutate(labelText, "labels");
    if (focus == Target) mutate(targetText, "target");

    // Read Data, perhaps the answer to a question about dropped rows, the
    // configuration, and the computation.
    const std::string dataName = matrix ? "matrix.dat" : "scores.dat";
    std::string file = dataName;
    if (r.chance(hostile ? 10 : 1))
        c.notes.push_back("data file " + (file = r.pick(Lines{"/dev/zero", "pipe.dat", ".", "missing.dat",
                                                              "alias.dat", "/dev/null"})));
    std::string s = "read\nparticipantCount = " + edit(std::to_string(matrix ? 200 : rows)) +
                    "\nvariableCount = " + edit(std::to_string(columns)) + "\n";
    if (matrix) {
        s += "dataKind = matrix\nmatrixFileName = " + file + "\n";
    } else {
        s += "dataKind = scores\nscoresFileName = " + file + "\n";
        s += r.chance(85) ? "missingCodeEnabled = 1\nmissingCode = " + edit("999") + "\n" : "missingCodeEnabled = 0\n";
    }
    if (labels) s += "labelsEnabled = 1\nlabelsFileName = labels.txt\n";
    if (target) s += "targetEnabled = 1\ntargetFileName = target.dat\n";
    s += "ok\n";
    if (r.chance(30)) s += "yes\n";
    s += "configure\n";
    if (!matrix && r.chance(70)) s += "dispersionType = " + r.pick(Lines{"covariance", "pearson", "polychoric"}) + "\n";
    if (!matrix && r.chance(20)) s += "lowestScore = " + edit("1") + "\nhighestScore = " + edit("5") + "\n";
    if (r.chance(50)) s += "factorCountProcedure = " + r.pick(Lines{"MAP", "PA", "Hull"}) + "\n";
    if (r.chance(50)) {
        std::string line = "exclude";
        for (std::size_t n = r.below(columns); n > 0; --n) line += " " + std::to_string(1 + r.below(columns));
        s += line + "\n";
    }
    const std::size_t m = columns;
    if (r.chance(85))
        s += "factorCount = " + edit(r.pick(Lines{"0", "1", "2", "3", std::to_string(m - 1), std::to_string(m),
                                                   std::to_string(m + 1)})) + "\n";
    if (r.chance(50)) s += "extractionMethod = " + r.pick(Lines{"ULS", "PCA", "ML", "MRFA"}) + "\n";
    if (r.chance(40)) s += "simplicityRotation = " + std::to_string(r.below(30)) + "\n";
    if (r.chance(30)) s += "glbOmega = 1\n";
    if (r.chance(20)) s += "secondOrderCount = " + edit("1") + "\n";
    if (r.chance(25)) s += "saveFactorScores = 1\n";
    if (r.chance(15)) s += "personFit = 1\n";
    s += std::string("detailedOutput = ") + (r.chance(80) ? "1" : "0") + "\n";
    std::string output = "report.txt";
    if (r.chance(hostile ? 30 : 6))  // a report that must not overwrite an input
        c.notes.push_back("output " + (output = r.pick(Lines{"", ".", "no-such-folder/report.txt", "alias.dat",
                                                             dataName, "./" + dataName, "sub/../" + dataName,
                                                             "labels.txt", "./target.dat"})));
    s += "outputFileName = " + output + "\nok\ncompute\n" + (r.chance(10) ? "compute\n" : "") + "exit\n";

    if (focus == Session) {  // hostile lines, lines lost, repeated or swapped
        Lines lines = splitLines(s);
        for (std::size_t e = 1 + r.below(3); e > 0; --e) {
            const std::size_t at = r.below(lines.size() - 1), b = r.below(lines.size() - 1);
            const int kind = static_cast<int>(r.below(5));
            c.notes.push_back("session line " + std::to_string(at + 1) + " " +
                              Lines{"hostile", "hostile", "deleted", "repeated", "swapped"}[kind]);
            if (kind < 2) lines.insert(lines.begin() + static_cast<long>(at), r.pick(kHostileLines));
            if (kind == 2) lines.erase(lines.begin() + static_cast<long>(at));
            if (kind == 3) lines.insert(lines.begin() + static_cast<long>(at), lines[at]);
            if (kind == 4) std::swap(lines[at], lines[b]);
        }
        if (r.chance(10)) for (std::string& line : lines) line += "\r";
        s = joinLines(lines);
    }
    c.session = s;
    c.files.push_back({CaseFile::Regular, dataName, data});
    if (labels) c.files.push_back({CaseFile::Regular, "labels.txt", labelText});
    if (target) c.files.push_back({CaseFile::Regular, "target.dat", targetText});
    c.files.push_back({CaseFile::Symlink, "alias.dat", dataName});
    c.files.push_back({CaseFile::Fifo, "pipe.dat", ""});
    return c;
}

void writeCase(const Case& c, const fs::path& dir) {
    fs::create_directories(dir / "sub");
    for (const CaseFile& f : c.files) {
        if (f.kind == CaseFile::Regular) writeFile(dir / f.name, f.content);
        if (f.kind == CaseFile::Symlink) fs::create_symlink(f.content, dir / f.name);
        if (f.kind == CaseFile::Fifo && mkfifo((dir / f.name).c_str(), 0600) != 0)
            throw std::runtime_error("cannot make a named pipe in " + dir.string());
    }
    writeFile(dir / "session.txt", c.session);
}

// The first line holding nan or inf as a word of its own (printf's spellings;
// "information" and "infinite" are words).
std::string nonFiniteLine(const std::string& report) {
    for (const std::string& line : splitLines(report)) {
        std::string lower;
        for (char ch : line) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        for (const char* word : {"nan", "inf"}) {
            for (std::size_t at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1)) {
                const bool before = at > 0 && std::isalpha(static_cast<unsigned char>(lower[at - 1]));
                std::size_t end = at + 3;
                if (lower.compare(end, 5, "inity") == 0) end += 5;
                const bool after = end < lower.size() && std::isalpha(static_cast<unsigned char>(lower[end]));
                if (!before && !after) return line;
            }
        }
    }
    return {};
}

struct Limits {
    double seconds = 10;
    long memoryMegabytes = 4096;
    bool sanitized = false;
};

pid_t start(const std::string& executable, const fs::path& dir, const Limits& limits) {
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid > 0) return pid;
    setpgid(0, 0);
    const int in = open((dir / "session.txt").c_str(), O_RDONLY);
    const int out = open((dir / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open((dir / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(125);
    dup2(in, 0), dup2(out, 1), dup2(err, 2);
    const rlimit size{64u << 20, 64u << 20}, none{0, 0};
    setrlimit(RLIMIT_FSIZE, &size);
    setrlimit(RLIMIT_CORE, &none);
    // Nothing may allocate after the address-space limit: a fuzzer built
    // with the sanitizer would fail to map its own memory before the exec.
    setenv("LC_ALL", "C", 1);
    const rlim_t bytes = static_cast<rlim_t>(limits.memoryMegabytes) << 20;
    if (limits.sanitized) {  // the sanitizer reserves address space; it bounds the memory itself
        const std::string mb = std::to_string(limits.memoryMegabytes);
        setenv("ASAN_OPTIONS", ("allocator_may_return_null=1:detect_leaks=0:max_allocation_size_mb=" + mb +
                                ":hard_rss_limit_mb=" + mb).c_str(), 1);
        setenv("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1", 1);
    } else {
        const rlimit memory{bytes, bytes};
        setrlimit(RLIMIT_AS, &memory);
    }
    execl(executable.c_str(), executable.c_str(), "--console", static_cast<char*>(nullptr));
    _exit(127);
}

// What went wrong, as "kind: detail"; empty when the run was clean.
std::string judge(const Case& c, const fs::path& dir, bool timedOut, int status) {
    const std::string err = readFile(dir / "stderr.txt");
    if (timedOut) return "hang: no end within the time limit";
    if (WIFSIGNALED(status)) return "crash: killed by signal " + std::to_string(WTERMSIG(status));
    for (const char* mark : {"runtime error:", "ERROR: AddressSanitizer", "ERROR: LeakSanitizer"})
        if (const std::size_t at = err.find(mark); at != std::string::npos)
            return "crash: " + err.substr(at, err.find('\n', at) - at);
    if (WEXITSTATUS(status) > 1) return "crash: exit status " + std::to_string(WEXITSTATUS(status));
    for (const CaseFile& f : c.files) {
        std::error_code e;
        const fs::path path = dir / f.name;
        const auto st = fs::symlink_status(path, e);
        const bool same = f.kind == CaseFile::Regular   ? fs::is_regular_file(st) && readFile(path) == f.content
                          : f.kind == CaseFile::Symlink ? fs::is_symlink(st) && fs::read_symlink(path, e) == f.content
                                                        : fs::is_fifo(st);
        if (!same) return "input modified: " + f.name;
    }
    const std::string marker = "Report written to ";
    for (std::string line : splitLines(readFile(dir / "stdout.txt"))) {
        const std::size_t at = line.find(marker);
        if (at == std::string::npos) continue;
        line = line.substr(at + marker.size());
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (const std::string bad = nonFiniteLine(readFile(dir / line)); !bad.empty())
            return "nan/inf: " + line + ": " + bad.substr(0, 100);
    }
    return {};
}

void saveFailure(const Case& c, const fs::path& runDir, const fs::path& save, const std::string& finding,
                 std::uint64_t seed) {
    fs::remove_all(save);
    writeCase(c, save / "input");
    fs::create_directories(save / "run");
    for (const auto& entry : fs::directory_iterator(runDir)) {
        std::error_code e;
        if (entry.is_regular_file(e) && !entry.is_symlink(e) && entry.file_size(e) < (8u << 20))
            fs::copy_file(entry.path(), save / "run" / entry.path().filename(), e);
    }
    std::string about = "case " + std::to_string(c.index) + " of seed " + std::to_string(seed) + "\n" + finding + "\n";
    for (const std::string& note : c.notes) about += "  " + note + "\n";
    writeFile(save / "finding.txt", about);
    writeFile(save / "replay.sh",
              "#!/bin/sh\n# usage: replay.sh TALVEX  (runs the case on a fresh copy of input/)\nset -eu\n"
              "talvex=$(cd \"$(dirname \"$1\")\" && pwd)/$(basename \"$1\")\n"
              "here=$(cd \"$(dirname \"$0\")\" && pwd)\nwork=$(mktemp -d)\ncp -a \"$here/input/.\" \"$work/\"\n"
              "cd \"$work\" && echo \"in $work\" && \"$talvex\" --console < session.txt\n");
    fs::permissions(save / "replay.sh", fs::perms::owner_exec, fs::perm_options::add);
}

[[noreturn]] void usage(const std::string& problem) {
    std::fprintf(stderr, "talvex_fuzz: %s\nusage: talvex_fuzz --talvex PATH [--seed S] [--cases N] [--first K] "
                         "[--jobs J] [--timeout S] [--memory MB] [--work DIR] [--failures DIR] [--keep K]\n",
                 problem.c_str());
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> o = {{"--seed", "1"}, {"--cases", "300"}, {"--first", "0"}, {"--jobs", "2"},
                                            {"--timeout", "10"}, {"--memory", "4096"}, {"--keep", "3"},
                                            {"--failures", "fuzz-failures"}, {"--source", TALVEX_SOURCE_DIR}};
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc || std::string(argv[i]).rfind("--", 0) != 0) usage(std::string("bad option ") + argv[i]);
        o[argv[i]] = argv[i + 1];
    }
    const std::uint64_t seed = std::stoull(o["--seed"]);
    Seeds seeds;
    for (auto [text, path] : {std::pair{&seeds.scores, "examples/items.dat"}, {&seeds.labels, "examples/labels.txt"},
                              {&seeds.target, "examples/target.dat"},
                              {&seeds.covariance, "tests/reports/inputs/covariance.dat"}}) {
        *text = readFile(fs::path(o["--source"]) / path);
        if (text->empty()) usage(std::string("cannot read ") + path + " under " + o["--source"]);
    }
    if (!o.count("--talvex")) usage("--talvex is required");
    const std::string talvex = fs::absolute(o["--talvex"]).string();
    Limits limits{std::stod(o["--timeout"]), std::stol(o["--memory"]),
                  readFile(talvex).find("__asan_init") != std::string::npos};
    const fs::path work = fs::absolute(o.count("--work") ? o["--work"]
                                                          : (fs::temp_directory_path() /
                                                             ("talvex-fuzz-" + std::to_string(getpid()))).string());
    const std::uint64_t first = std::stoull(o["--first"]), count = std::stoull(o["--cases"]);
    const std::size_t jobs = std::max(1, std::stoi(o["--jobs"]));
    std::printf("fuzzing %s%s: seed %llu, cases %llu to %llu\n", talvex.c_str(), limits.sanitized ? " (sanitized)" : "",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(first),
                static_cast<unsigned long long>(first + count - 1));
    std::fflush(stdout);

    struct Running {
        pid_t pid;
        Case c;
        fs::path dir;
        std::chrono::steady_clock::time_point started;
        bool timedOut = false;
    };
    std::vector<Running> running;
    std::map<std::string, int> perKind;  // failures by kind and detail, to keep a few of each
    std::uint64_t next = first, failed = 0;
    fs::create_directories(work);
    while (next < first + count || !running.empty()) {
        while (next < first + count && running.size() < jobs) {
            Running r{0, makeCase(seeds, seed, next), work / ("case-" + std::to_string(next)), {}};
            ++next;
            fs::remove_all(r.dir);
            writeCase(r.c, r.dir);
            r.started = std::chrono::steady_clock::now();
            r.pid = start(talvex, r.dir, limits);
            running.push_back(std::move(r));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        for (std::size_t i = 0; i < running.size();) {
            Running& r = running[i];
            int status = 0;
            if (waitpid(r.pid, &status, WNOHANG) == 0) {
                if (!r.timedOut && std::chrono::steady_clock::now() - r.started >
                                       std::chrono::duration<double>(limits.seconds)) {
                    r.timedOut = true;
                    kill(-r.pid, SIGKILL);
                }
                ++i;
                continue;
            }
            kill(-r.pid, SIGKILL);  // anything the program left running
            const std::string finding = judge(r.c, r.dir, r.timedOut, status);
            if (!finding.empty()) {
                ++failed;
                std::string saved;
                if (perKind[finding]++ < std::stoi(o["--keep"])) {
                    saved = o["--failures"] + "/case-" + std::to_string(r.c.index);
                    saveFailure(r.c, r.dir, saved, finding, seed);
                }
                std::string notes;
                for (const std::string& note : r.c.notes) notes += "; " + note;
                std::printf("FAIL case %llu: %s\n     %s\n%s", static_cast<unsigned long long>(r.c.index),
                            finding.c_str(), notes.substr(2).c_str(), saved.empty() ? "" : ("     saved in " + saved + "\n").c_str());
                std::fflush(stdout);
            }
            fs::remove_all(r.dir);
            running.erase(running.begin() + static_cast<long>(i));
        }
    }
    fs::remove_all(work);
    std::printf("%llu cases, %llu failed\n", static_cast<unsigned long long>(count),
                static_cast<unsigned long long>(failed));
    return failed == 0 ? 0 : 1;
}
