// The fuzzer's own checks: a harness that misses a fault, or reports one
// that is not there, is worse than none.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "fuzz/fuzz.h"
#include "support/temp_files.h"

namespace fs = std::filesystem;
using namespace talvex::fuzz;
using talvex::testing::TempDir;

namespace {

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(FindNonFiniteNumber, FlagsPrintfSpellingsAndSparesWords) {
    struct Case {
        const char* report;
        bool flagged;
    };
    const Case cases[] = {
        {"Mean            nan", true},
        {"  -nan   0.500", true},
        {"Bartlett's statistic =     -inf (df = 21)", true},
        {"  1.000    inf", true},
        {"x=nan,", true},
        {"Infinity", true},
        {"nan", true},
        {"INF", true},
        {"Kaiser-Meyer-Olkin (KMO) test = 0.81 (information)", false},
        {"financial, infer, Nancy, infant", false},
        {"_nan", false},
        {"Determinant of the matrix     = 0.123456789", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(findNonFiniteNumber(c.report).has_value(), c.flagged) << '"' << c.report << '"';
    }
}

TEST(FindNonFiniteNumber, ReturnsTheWholeOffendingLine) {
    const auto line = findNonFiniteNumber("Header information\nVariable 1   -nan  0.3\nlast line\n");
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, "Variable 1   -nan  0.3");
}

// The golden reports are sound runs: the scan must find nothing there, or
// every clean case would count as a fault.
TEST(FindNonFiniteNumber, GoldenReportsAreClean) {
    int scanned = 0;
    for (const auto& entry : fs::directory_iterator(fs::path(TALVEX_SOURCE_DIR) / "tests/reports/expected")) {
        const auto line = findNonFiniteNumber(readAll(entry.path()));
        EXPECT_FALSE(line.has_value()) << entry.path() << ": " << line.value_or("");
        ++scanned;
    }
    EXPECT_GT(scanned, 0);
}

TEST(MakeCase, SameNumbersGiveTheSameBytes) {
    const SeedFiles seeds = loadSeedFiles(TALVEX_SOURCE_DIR);
    std::set<std::string> sessions;
    for (std::uint64_t i = 0; i < 60; ++i) {
        const FuzzCase a = makeCase(seeds, 7, i), b = makeCase(seeds, 7, i);
        ASSERT_EQ(a.session, b.session) << "case " << i;
        ASSERT_EQ(a.files.size(), b.files.size());
        for (std::size_t f = 0; f < a.files.size(); ++f) EXPECT_EQ(a.files[f].content, b.files[f].content);
        EXPECT_EQ(a.mutations, b.mutations);
        sessions.insert(a.session + a.files.front().content);
    }
    // Distinct cases, not one case repeated.
    EXPECT_GT(sessions.size(), 50u);
    EXPECT_NE(makeCase(seeds, 7, 3).files.front().content + makeCase(seeds, 7, 3).session,
              makeCase(seeds, 8, 3).files.front().content + makeCase(seeds, 8, 3).session);
}

// A campaign of a few hundred cases reaches every reader and the kinds of
// damage it is meant to try.
TEST(MakeCase, ShortCampaignCoversTheReadersAndTheDamage) {
    const SeedFiles seeds = loadSeedFiles(TALVEX_SOURCE_DIR);
    std::string all;
    for (std::uint64_t i = 0; i < 300; ++i) {
        const FuzzCase c = makeCase(seeds, 1, i);
        for (const auto& m : c.mutations) all += m + "\n";
        all += c.session;
    }
    const char* expected[] = {
        "focus: scores", "focus: matrix", "focus: labels", "focus: target", "focus: session", "focus: hostile",
        "swap-lines", "bom", "cr-style", "truncate@", "number@", "flip-bit", "separators", "odd-line",
        "insert-bytes", "delete-range", "duplicate-line", "hand-made", "output file", "excluded:",
        "session line", "dataKind = matrix", "labelsEnabled = 1", "targetEnabled = 1", "factorCount = 0",
        "missingCodeEnabled = 0", "dispersionType = polychoric", "constant-item", "asymmetric",
    };
    for (const char* text : expected) EXPECT_NE(all.find(text), std::string::npos) << text;
}

TEST(WriteCase, WritesFilesLinksPipesAndSession) {
    TempDir dir;
    FuzzCase c;
    c.files = {{"scores.dat", CaseFile::Kind::Regular, "1 2\n3 4\n", {}},
               {"alias.dat", CaseFile::Kind::Symlink, {}, "scores.dat"},
               {"pipe.dat", CaseFile::Kind::Fifo, {}, {}}};
    c.session = "read\nexit\n";
    const std::string where = dir.file("case");
    writeCase(c, where);
    EXPECT_EQ(readAll(where + "/scores.dat"), "1 2\n3 4\n");
    EXPECT_EQ(readAll(where + "/alias.dat"), "1 2\n3 4\n");
    EXPECT_TRUE(fs::is_fifo(where + "/pipe.dat"));
    EXPECT_EQ(readAll(where + "/session.txt"), "read\nexit\n");
    EXPECT_TRUE(fs::is_directory(where + "/sub"));
}

// Stand-ins for the program: shell scripts that misbehave in one way each.
struct Script {
    const char* name;
    const char* body;
    FaultKind kind;
    const char* signatureHolds;
};

const Script kScripts[] = {
    {"clean", "printf 'ok\\n' > report.txt; echo 'Report written to report.txt'", FaultKind::Clean, ""},
    {"clean report with words", "printf 'information infer\\n' > r.txt; echo 'Report written to r.txt'",
     FaultKind::Clean, ""},
    {"segfault", "kill -SEGV $$", FaultKind::Crash, "SIGSEGV"},
    {"abort", "kill -ABRT $$", FaultKind::Crash, "SIGABRT"},
    {"exit status", "exit 3", FaultKind::Crash, "exit status 3"},
    {"sanitizer report",
     "echo '/x/src/data/data_files.cpp:42:7: runtime error: signed integer overflow: 2147483647 + 1' >&2; exit 1",
     FaultKind::Crash, "src/data/data_files.cpp:42"},
    {"sanitizer report with status 0", "echo 'ERROR: AddressSanitizer: heap-buffer-overflow' >&2",
     FaultKind::Crash, "heap-buffer-overflow"},
    {"hang", "sleep 30", FaultKind::Hang, "hang"},
    {"runaway output", "while :; do echo xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx; done", FaultKind::Hang,
     "runaway"},
    {"overwrites its data", "echo report > scores.dat; echo 'Report written to scores.dat'",
     FaultKind::InputModified, "input modified"},
    {"replaces the link", "rm alias.dat; echo x > alias.dat", FaultKind::InputModified, "input modified"},
    {"removes the pipe", "rm pipe.dat", FaultKind::InputModified, "input modified"},
    {"nan in report", "printf 'Mean\\n  1.0  -nan\\n' > out.txt; echo 'Report written to out.txt'",
     FaultKind::NonFinite, "nan/inf"},
    {"inf in report",
     "printf 'x\\n%080d\\n\\nADEQUACY\\n\\nBartlett = -inf\\n' 0 | tr 0 - > out.txt; echo 'Report written to out.txt'",
     FaultKind::NonFinite, "section \"ADEQUACY\", \"Bartlett\""},
};

TEST(CaseRunner, ClassifiesEveryKindOfMisbehaviour) {
    TempDir dir;
    std::vector<FuzzCase> cases;
    for (std::size_t i = 0; i < std::size(kScripts); ++i) {
        FuzzCase c;
        c.index = i;
        c.files = {{"scores.dat", CaseFile::Kind::Regular, "1 2\n", {}},
                   {"alias.dat", CaseFile::Kind::Symlink, {}, "scores.dat"},
                   {"pipe.dat", CaseFile::Kind::Fifo, {}, {}}};
        // The session names the script to run; the stand-in reads it.
        c.session = kScripts[i].body;
        cases.push_back(c);
    }
    const std::string program = dir.write("program.sh", "#!/bin/sh\n. ./session.txt\n");
    chmod(program.c_str(), 0755);
    RunLimits limits;
    limits.seconds = 1.5;
    limits.outputMegabytes = 1;
    CaseRunner runner(program, dir.file("work"), limits, 3);
    std::map<std::uint64_t, Finding> findings;
    runner.run(cases, [&](CaseResult& r, const std::string&) { findings[r.fuzzCase.index] = r.finding; });
    ASSERT_EQ(findings.size(), std::size(kScripts));
    for (std::size_t i = 0; i < std::size(kScripts); ++i) {
        const Finding& f = findings[i];
        EXPECT_EQ(f.kind, kScripts[i].kind) << kScripts[i].name << ": " << f.detail;
        EXPECT_NE(f.signature.find(kScripts[i].signatureHolds), std::string::npos)
            << kScripts[i].name << ": " << f.signature;
    }
}

// The child changes into its case folder before it opens the session, so a
// work folder given relative to the caller must still be found.
TEST(CaseRunner, AcceptsARelativeWorkFolder) {
    TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    FuzzCase c;
    c.files = {{"scores.dat", CaseFile::Kind::Regular, "1\n", {}}};
    c.session = "exit 0";
    const std::string program = dir.write("program.sh", "#!/bin/sh\n. ./session.txt\n");
    chmod(program.c_str(), 0755);
    CaseRunner runner("program.sh", "work", RunLimits{}, 1);
    Finding finding{FaultKind::Crash, "not run", ""};
    runner.run({c}, [&](CaseResult& r, const std::string&) { finding = r.finding; });
    fs::current_path(before);
    EXPECT_EQ(finding.kind, FaultKind::Clean) << finding.detail;
}

TEST(SaveFailure, KeepsTheInputsAsWrittenNotAsTheRunLeftThem) {
    TempDir dir;
    FuzzCase c;
    c.index = 12;
    c.files = {{"scores.dat", CaseFile::Kind::Regular, "5 5\n", {}}};
    c.session = "echo overwritten > scores.dat; echo 'Report written to scores.dat'";
    const std::string program = dir.write("program.sh", "#!/bin/sh\n. ./session.txt\n");
    chmod(program.c_str(), 0755);
    CaseRunner runner(program, dir.file("work"), RunLimits{}, 1);
    const std::string saved = dir.file("saved");
    runner.run({c}, [&](CaseResult& r, const std::string& runDir) {
        EXPECT_EQ(r.finding.kind, FaultKind::InputModified);
        saveFailure(r, runDir, saved, 99);
    });
    EXPECT_EQ(readAll(saved + "/input/scores.dat"), "5 5\n");
    EXPECT_EQ(readAll(saved + "/run/scores.dat"), "overwritten\n");
    EXPECT_NE(readAll(saved + "/finding.txt").find("case 12 of campaign seed 99"), std::string::npos);
    EXPECT_TRUE(fs::exists(saved + "/replay.sh"));
}

}  // namespace

namespace {

TEST(LoadCase, ReadsBackWhatWriteCaseWrote) {
    TempDir dir;
    FuzzCase c;
    c.files = {{"alias.dat", CaseFile::Kind::Symlink, {}, "scores.dat"},
               {"pipe.dat", CaseFile::Kind::Fifo, {}, {}},
               {"scores.dat", CaseFile::Kind::Regular, std::string("1\r\n\0\xff", 5), {}}};
    c.session = "read\n\f\n";
    writeCase(c, dir.file("case"));
    const FuzzCase back = loadCase(dir.file("case"));
    EXPECT_EQ(back.session, c.session);
    ASSERT_EQ(back.files.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(back.files[i].name, c.files[i].name);
        EXPECT_EQ(back.files[i].kind, c.files[i].kind);
        EXPECT_EQ(back.files[i].content, c.files[i].content);
        EXPECT_EQ(back.files[i].target, c.files[i].target);
    }
}

// The stand-in crashes only when its data holds the line "bad"; everything
// else in the data and the session is noise the minimizer must drop.
TEST(MinimizeCase, KeepsOnlyTheLinesThatMakeTheFault) {
    TempDir dir;
    FuzzCase c;
    c.files = {{"scores.dat", CaseFile::Kind::Regular, "1 2\n3 4\nbad\n5 6\n7 8\n9 9\n", {}}};
    c.session = "echo one\nx=1\ngrep -q '^bad$' scores.dat && kill -SEGV $$\necho two\nexit 0\n";
    const std::string program = dir.write("program.sh", "#!/bin/sh\n. ./session.txt\n");
    chmod(program.c_str(), 0755);
    CaseRunner runner(program, dir.file("work"), RunLimits{}, 1);
    const Minimized m = minimizeCase(c, runner, 200);
    EXPECT_EQ(m.finding.kind, FaultKind::Crash);
    EXPECT_EQ(m.fuzzCase.files[0].content, "bad\n");
    EXPECT_EQ(m.fuzzCase.session, "grep -q '^bad$' scores.dat && kill -SEGV $$\n");
    EXPECT_LE(m.runs, 200);
}

TEST(MinimizeCase, LeavesACleanCaseAlone) {
    TempDir dir;
    FuzzCase c;
    c.files = {{"scores.dat", CaseFile::Kind::Regular, "1\n2\n", {}}};
    c.session = "exit 0\n";
    const std::string program = dir.write("program.sh", "#!/bin/sh\n. ./session.txt\n");
    chmod(program.c_str(), 0755);
    CaseRunner runner(program, dir.file("work"), RunLimits{}, 1);
    const Minimized m = minimizeCase(c, runner, 50);
    EXPECT_EQ(m.finding.kind, FaultKind::Clean);
    EXPECT_EQ(m.runs, 1);
    EXPECT_EQ(m.fuzzCase.files[0].content, "1\n2\n");
}

}  // namespace

namespace {

// Faults are counted by signature, so one fault seen with other numbers,
// addresses or labels must keep its signature, and two faults must not share
// one.
Finding judgeText(const std::string& stderrText, const std::string& report = {}) {
    TempDir dir;
    FuzzCase c;
    ProcessOutcome outcome;
    outcome.stderrText = stderrText;
    if (!report.empty()) {
        std::ofstream(dir.file("report.txt"), std::ios::binary) << report;
        outcome.stdoutText = "Report written to report.txt\n";
    }
    return judge(c, dir.path().string(), outcome);
}

const std::string kSeparator = std::string(80, '-') + "\n\n";

TEST(Judge, SignaturesIgnoreNumbersAddressesAndLabels) {
    struct Pair {
        const char* name;
        std::string stderrA, stderrB, reportA, reportB;
        bool same;
    };
    const std::string overflow =
        "/w/src/data/data_files.cpp:129:43: runtime error: signed integer overflow: %s - 1 cannot be "
        "represented in type 'int'\n    #0 0x55d9be6f6d89 in setObservedRange /w/src/data/data_files.cpp:129\n";
    auto withValue = [&](const char* v) {
        std::string s = overflow;
        s.replace(s.find("%s"), 2, v);
        return s;
    };
    const std::string heapA = "==1==ERROR: AddressSanitizer: heap-buffer-overflow on address 0x602000000540 at pc "
                              "0x55\n    #0 0x7f in talvex::Matrix::operator[] /w/src/core/matrix.cpp:84\n";
    const std::string heapB = "==7==ERROR: AddressSanitizer: heap-buffer-overflow on address 0x602000000260 at pc "
                              "0x66\n    #0 0x7f in talvex::Matrix::operator[] /w/src/core/matrix.cpp:84\n";
    const std::string heapElsewhere = "==7==ERROR: AddressSanitizer: heap-buffer-overflow on address 0x6020 at pc "
                                      "0x66\n    #0 0x7f in talvex::f /w/src/stats/extraction/fit.cpp:12\n";
    const std::string univariate = "T\n" + kSeparator + "UNIVARIATE DESCRIPTIVES \n\n";
    const std::string adequacy = "T\n" + kSeparator + "ADEQUACY OF THE CORRELATION MATRIX \n\n";
    const Pair pairs[] = {
        {"overflow with other values", withValue("-2147483648"), withValue("2147483647"), "", "", true},
        {"heap overflow at other addresses", heapA, heapB, "", "", true},
        {"heap overflow in another place", heapA, heapElsewhere, "", "", false},
        {"overflow and heap overflow", withValue("7"), heapA, "", "", false},
        {"nan rows with other labels", "", "", univariate + "V   1   3.000  -nan\n",
         univariate + "Enjoys meeting new people   2.000  -nan\n", true},
        {"nan statistics with other values", "", "", adequacy + "Determinant of the matrix     = -nan\n",
         adequacy + "Determinant of the matrix     =  nan\n", true},
        {"nan chi-square with other degrees of freedom", "", "",
         adequacy + "Chi-Square with 8 degrees of freedom =    -nan (P =    -nan)\n",
         adequacy + "Chi-Square with 44 degrees of freedom =    -nan (P = 0.5)\n", true},
        {"nan in two statistics", "", "", adequacy + "Determinant of the matrix     = -nan\n",
         adequacy + "Bartlett's statistic          = -nan (df = 3; P = 0.5)\n", false},
        {"nan in two sections", "", "", univariate + "V   1   3.000  -nan\n", adequacy + "V   1   3.000  -nan\n",
         false},
    };
    for (const Pair& p : pairs) {
        const Finding a = judgeText(p.stderrA, p.reportA), b = judgeText(p.stderrB, p.reportB);
        EXPECT_NE(a.kind, FaultKind::Clean) << p.name;
        EXPECT_EQ(a.signature == b.signature, p.same) << p.name << "\n  " << a.signature << "\n  " << b.signature;
    }
}

}  // namespace
