// talvex_fuzz: runs a campaign of mutated cases against the built program.
//
//   talvex_fuzz --talvex build/talvex [--seed 1] [--cases 300] [--first 0]
//               [--jobs 2] [--timeout 10] [--memory 4096]
//               [--work DIR] [--failures DIR] [--keep 3]
//   talvex_fuzz --write-case N --seed S --out DIR   (the case's files, not run)
//   talvex_fuzz --minimize SAVED --talvex PATH --out DIR [--max-runs 400]
//               (shrinks a saved failing case while it fails the same way)
//
// Every failing case is listed with its kind, detail and mutations; the first
// few cases of each distinct fault are saved under the failures folder with a
// replay script. Exit status 1 when any case failed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>

#include "fuzz/fuzz.h"

#ifndef TALVEX_SOURCE_DIR
#define TALVEX_SOURCE_DIR "."
#endif

namespace fs = std::filesystem;
using namespace talvex::fuzz;

namespace {

struct Options {
    std::string talvex;
    std::string source = TALVEX_SOURCE_DIR;
    std::uint64_t seed = 1;
    std::uint64_t cases = 300;
    std::uint64_t first = 0;
    int jobs = 2;
    double timeout = 10.0;
    long memory = 4096;
    std::string work;
    std::string failures = "fuzz-failures";
    int keep = 3;
    long writeCase = -1;
    std::string out;
    std::string minimize;
    int maxRuns = 400;
};

[[noreturn]] void usage(const char* problem) {
    std::fprintf(stderr,
                 "talvex_fuzz: %s\n"
                 "usage: talvex_fuzz --talvex PATH [--seed S] [--cases N] [--first K] [--jobs J]\n"
                 "                   [--timeout SECONDS] [--memory MB] [--work DIR] [--failures DIR] [--keep K]\n"
                 "       talvex_fuzz --write-case N [--seed S] --out DIR\n"
                 "       talvex_fuzz --minimize SAVED_CASE --talvex PATH --out DIR [--max-runs N]\n",
                 problem);
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(("missing value after " + a).c_str());
            return argv[++i];
        };
        if (a == "--talvex") o.talvex = value();
        else if (a == "--source") o.source = value();
        else if (a == "--seed") o.seed = std::stoull(value());
        else if (a == "--cases") o.cases = std::stoull(value());
        else if (a == "--first") o.first = std::stoull(value());
        else if (a == "--jobs") o.jobs = std::stoi(value());
        else if (a == "--timeout") o.timeout = std::stod(value());
        else if (a == "--memory") o.memory = std::stol(value());
        else if (a == "--work") o.work = value();
        else if (a == "--failures") o.failures = value();
        else if (a == "--keep") o.keep = std::stoi(value());
        else if (a == "--write-case") o.writeCase = std::stol(value());
        else if (a == "--out") o.out = value();
        else if (a == "--minimize") o.minimize = value();
        else if (a == "--max-runs") o.maxRuns = std::stoi(value());
        else usage(("unknown option " + a).c_str());
    }
    return o;
}

std::string oneLine(const std::vector<std::string>& items) {
    std::string s;
    for (const auto& item : items) s += (s.empty() ? "" : "; ") + item;
    return s;
}

struct Fault {
    FaultKind kind;
    std::uint64_t count = 0;
    std::uint64_t firstCase = 0;
    std::string detail;
    std::string savedIn;
};

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    const SeedFiles seeds = loadSeedFiles(o.source);

    if (o.writeCase >= 0) {
        if (o.out.empty()) usage("--write-case needs --out");
        const FuzzCase c = makeCase(seeds, o.seed, static_cast<std::uint64_t>(o.writeCase));
        writeCase(c, o.out);
        std::printf("case %ld of seed %llu written to %s\n%s\n", o.writeCase,
                    static_cast<unsigned long long>(o.seed), o.out.c_str(), oneLine(c.mutations).c_str());
        return 0;
    }
    if (o.talvex.empty()) usage("--talvex is required");

    RunLimits limits;
    limits.seconds = o.timeout;
    limits.memoryMegabytes = o.memory;
    limits.sanitized = isSanitizedExecutable(o.talvex);
    const std::string work =
        o.work.empty() ? (fs::temp_directory_path() / ("talvex-fuzz-" + std::to_string(getpid()))).string() : o.work;

    if (!o.minimize.empty()) {
        if (o.out.empty()) usage("--minimize needs --out");
        const fs::path saved(o.minimize);
        const FuzzCase failing = loadCase((fs::exists(saved / "input") ? saved / "input" : saved).string());
        CaseRunner runner(o.talvex, work, limits, 1);
        const Minimized m = minimizeCase(failing, runner, o.maxRuns);
        std::error_code ignored;
        fs::remove_all(work, ignored);
        if (m.finding.kind == FaultKind::Clean) {
            std::printf("the case does not fail with %s\n", o.talvex.c_str());
            return 1;
        }
        fs::remove_all(o.out, ignored);
        writeCase(m.fuzzCase, o.out);
        std::printf("%d runs; %s: %s\nminimal case in %s\n", m.runs, faultKindName(m.finding.kind),
                    m.finding.signature.c_str(), o.out.c_str());
        return 0;
    }

    std::vector<FuzzCase> cases;
    cases.reserve(o.cases);
    for (std::uint64_t i = 0; i < o.cases; ++i) cases.push_back(makeCase(seeds, o.seed, o.first + i));

    std::printf("fuzzing %s%s: seed %llu, cases %llu to %llu, %d jobs, %.0f s limit\n", o.talvex.c_str(),
                limits.sanitized ? " (sanitized)" : "", static_cast<unsigned long long>(o.seed),
                static_cast<unsigned long long>(o.first), static_cast<unsigned long long>(o.first + o.cases - 1),
                o.jobs, o.timeout);
    std::fflush(stdout);

    std::map<std::string, Fault> faults;
    std::map<FaultKind, std::uint64_t> perKind;
    std::uint64_t done = 0;
    double slowest = 0.0;
    const auto start = std::chrono::steady_clock::now();
    CaseRunner runner(o.talvex, work, limits, o.jobs);
    runner.run(std::move(cases), [&](CaseResult& r, const std::string& dir) {
        ++done;
        slowest = std::max(slowest, r.seconds);
        if (done % 1000 == 0) {
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::printf("... %llu cases, %.0f s\n", static_cast<unsigned long long>(done), s);
            std::fflush(stdout);
        }
        if (r.finding.kind == FaultKind::Clean) return;
        ++perKind[r.finding.kind];
        Fault& fault = faults[r.finding.signature];
        fault.kind = r.finding.kind;
        std::string saved;
        if (fault.count < static_cast<std::uint64_t>(o.keep)) {
            saved = o.failures + "/case-" + std::to_string(r.fuzzCase.index);
            saveFailure(r, dir, saved, o.seed);
        }
        if (fault.count++ == 0) {
            fault.firstCase = r.fuzzCase.index;
            fault.detail = r.finding.detail;
            fault.savedIn = saved;
        }
        std::printf("FAIL case %llu (seed %llu): %s: %s\n     mutations: %s\n%s",
                    static_cast<unsigned long long>(r.fuzzCase.index), static_cast<unsigned long long>(o.seed),
                    faultKindName(r.finding.kind), r.finding.detail.c_str(), oneLine(r.fuzzCase.mutations).c_str(),
                    saved.empty() ? "" : ("     saved in " + saved + "\n").c_str());
        std::fflush(stdout);
    });
    std::error_code ignored;
    fs::remove_all(work, ignored);

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::uint64_t failed = 0;
    for (const auto& [kind, n] : perKind) failed += n;
    std::printf("\n%llu cases in %.1f s (slowest case %.2f s): %llu clean, %llu crashes, %llu hangs, "
                "%llu reports with nan/inf, %llu with an input file modified\n",
                static_cast<unsigned long long>(done), seconds, slowest,
                static_cast<unsigned long long>(done - failed),
                static_cast<unsigned long long>(perKind[FaultKind::Crash]),
                static_cast<unsigned long long>(perKind[FaultKind::Hang]),
                static_cast<unsigned long long>(perKind[FaultKind::NonFinite]),
                static_cast<unsigned long long>(perKind[FaultKind::InputModified]));
    if (!faults.empty()) {
        std::printf("%zu distinct faults:\n", faults.size());
        for (const auto& [signature, f] : faults) {
            std::printf("  %-14s x%-5llu first case %llu  %s\n", faultKindName(f.kind),
                        static_cast<unsigned long long>(f.count), static_cast<unsigned long long>(f.firstCase),
                        signature.c_str());
            if (!f.savedIn.empty()) std::printf("  %14s        saved in %s\n", "", f.savedIn.c_str());
        }
        std::printf("Replay a saved case with: sh <saved>/replay.sh path/to/talvex\n"
                    "or rebuild it with: talvex_fuzz --write-case N --seed %llu --out DIR\n",
                    static_cast<unsigned long long>(o.seed));
    }
    return failed == 0 ? 0 : 1;
}
