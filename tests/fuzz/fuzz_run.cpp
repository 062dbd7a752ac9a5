// Running cases in child processes and judging their outcome.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "fuzz/fuzz.h"

namespace fs = std::filesystem;

namespace talvex::fuzz {

namespace {

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

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

// Numbers (with their sign) and hexadecimal addresses vary between runs of
// one fault.
std::string maskNumbers(const std::string& text) {
    static const std::regex hex("0x[0-9a-fA-F]+");
    static const std::regex digits("-?[0-9]+");
    return std::regex_replace(std::regex_replace(text, hex, "0x?"), digits, "N");
}

// The first stack frame inside the program's own sources, "src/...:line"
// (not the sanitizer runtime's).
std::string firstSourceFrame(const std::string& text) {
    static const std::regex frame("(src/(?:analysis|app|core|data|report|stats)/[A-Za-z0-9_/.]+:[0-9]+)");
    std::smatch match;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" in ") == std::string::npos && line.find("runtime error") == std::string::npos) continue;
        if (std::regex_search(line, match, frame)) return match[1];
    }
    return {};
}

std::string firstLineWith(const std::string& text, const std::string& needle) {
    const std::size_t at = text.find(needle);
    if (at == std::string::npos) return {};
    const std::size_t start = text.rfind('\n', at);
    const std::size_t end = text.find('\n', at);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       (end == std::string::npos ? text.size() : end) - (start == std::string::npos ? 0 : start + 1));
}

// The sanitizer's own summary of a report, without addresses and sizes.
std::string sanitizerSummary(const std::string& err) {
    for (const char* needle : {"runtime error:", "terminate called", "ERROR: AddressSanitizer",
                               "ERROR: LeakSanitizer", "AddressSanitizer:DEADLYSIGNAL"}) {
        const std::string line = firstLineWith(err, needle);
        if (line.empty()) continue;
        const std::size_t at = line.find(needle);
        std::string summary = line.substr(at);
        if (summary.size() > 120) summary.resize(120);
        return maskNumbers(summary);
    }
    return {};
}

const char* signalName(int signal) {
    switch (signal) {
        case SIGSEGV: return "SIGSEGV";
        case SIGABRT: return "SIGABRT";
        case SIGFPE: return "SIGFPE";
        case SIGBUS: return "SIGBUS";
        case SIGILL: return "SIGILL";
        case SIGKILL: return "SIGKILL";
        case SIGXFSZ: return "SIGXFSZ";
        case SIGXCPU: return "SIGXCPU";
        default: return "signal";
    }
}

// Report paths from the transcript, relative to the case directory.
std::vector<std::string> reportsWritten(const std::string& transcript) {
    std::vector<std::string> paths;
    const std::string marker = "Report written to ";
    std::istringstream lines(transcript);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(marker);
        if (at == std::string::npos) continue;
        std::string path = line.substr(at + marker.size());
        if (!path.empty() && path.back() == '\r') path.pop_back();
        paths.push_back(path);
    }
    return paths;
}

// Compares an input of the case with what was written; empty when unchanged.
std::string inputChange(const CaseFile& file, const fs::path& dir) {
    const fs::path path = dir / file.name;
    std::error_code error;
    const auto status = fs::symlink_status(path, error);
    if (error || !fs::exists(status)) return "removed";
    switch (file.kind) {
        case CaseFile::Kind::Regular:
            if (!fs::is_regular_file(status)) return "no longer a regular file";
            if (readFile(path) != file.content) return "content changed";
            return {};
        case CaseFile::Kind::Symlink:
            if (!fs::is_symlink(status) || fs::read_symlink(path, error) != file.target) return "link changed";
            return {};
        case CaseFile::Kind::Fifo:
            if (!fs::is_fifo(status)) return "no longer a named pipe";
            return {};
    }
    return {};
}

// Where a non-finite number stands: the section title (the first line after
// the last separator of dashes) and, for a "name = value" line, the name.
// Table rows start with variable labels, which vary from case to case.
std::string nonFinitePlace(const std::string& report, const std::string& line) {
    const std::size_t at = report.find(line);
    const std::size_t separator = report.rfind(std::string(40, '-'), at);
    std::string title = "(before the first section)";
    if (separator != std::string::npos) {
        std::istringstream after(report.substr(separator, at - separator));
        std::string l;
        std::getline(after, l);
        while (std::getline(after, l)) {
            if (l.find_first_not_of(" \r") == std::string::npos) continue;
            title = l;
            break;
        }
    }
    while (!title.empty() && (title.back() == ' ' || title.back() == '\r')) title.pop_back();
    std::string place = "section \"" + title + "\"";
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) {
        std::string name = line.substr(0, equals);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        const std::size_t first = name.find_first_not_of(' ');
        if (first != std::string::npos) place += ", \"" + maskNumbers(name.substr(first)) + "\"";
    }
    return place;
}

}  // namespace

const char* faultKindName(FaultKind kind) {
    switch (kind) {
        case FaultKind::Clean: return "clean";
        case FaultKind::Crash: return "crash";
        case FaultKind::Hang: return "hang";
        case FaultKind::NonFinite: return "nan/inf";
        case FaultKind::InputModified: return "input modified";
    }
    return "?";
}

std::optional<std::string> findNonFiniteNumber(std::string_view report) {
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < report.size(); ++i) {
        if (report[i] == '\n') {
            lineStart = i + 1;
            continue;
        }
        for (std::string_view word : {"nan", "inf", "NaN", "Inf", "NAN", "INF"}) {
            if (report.compare(i, word.size(), word) != 0) continue;
            if (i > 0 && isLetter(report[i - 1])) continue;
            const std::size_t after = i + word.size();
            std::size_t end = after;
            if (report.compare(after, 5, "inity") == 0) end = after + 5;  // Infinity
            if (end < report.size() && isLetter(report[end])) continue;
            std::size_t lineEnd = report.find('\n', i);
            if (lineEnd == std::string_view::npos) lineEnd = report.size();
            return std::string(report.substr(lineStart, lineEnd - lineStart));
        }
    }
    return std::nullopt;
}

void writeCase(const FuzzCase& fuzzCase, const std::string& directory) {
    const fs::path dir(directory);
    fs::create_directories(dir / "sub");
    for (const CaseFile& file : fuzzCase.files) {
        const fs::path path = dir / file.name;
        switch (file.kind) {
            case CaseFile::Kind::Regular: writeFile(path, file.content); break;
            case CaseFile::Kind::Symlink: fs::create_symlink(file.target, path); break;
            case CaseFile::Kind::Fifo:
                if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("cannot make fifo " + path.string());
                break;
        }
    }
    writeFile(dir / "session.txt", fuzzCase.session);
}

Finding judge(const FuzzCase& fuzzCase, const std::string& directory, const ProcessOutcome& outcome) {
    const std::string sanitizer = sanitizerSummary(outcome.stderrText);
    const std::string frame = firstSourceFrame(outcome.stderrText);
    if (outcome.timedOut) {
        return {FaultKind::Hang, "no end within the time limit", "hang " + (frame.empty() ? "(where unknown)" : frame)};
    }
    if (outcome.signalled && outcome.signal == SIGXFSZ) {
        return {FaultKind::Hang, "output beyond the file size limit", "runaway output " + frame};
    }
    if (outcome.signalled || outcome.exitStatus != 0 || !sanitizer.empty()) {
        std::string detail = outcome.signalled ? std::string("killed by ") + signalName(outcome.signal)
                                               : "exit status " + std::to_string(outcome.exitStatus);
        if (!sanitizer.empty()) detail += ": " + sanitizer;
        std::string signature = sanitizer.empty() ? detail : sanitizer;
        if (!frame.empty()) signature += " at " + frame;
        return {FaultKind::Crash, detail, signature};
    }
    const fs::path dir(directory);
    for (const CaseFile& file : fuzzCase.files) {
        const std::string change = inputChange(file, dir);
        if (!change.empty()) {
            return {FaultKind::InputModified, file.name + ": " + change, "input modified: " + file.name};
        }
    }
    for (const std::string& report : reportsWritten(outcome.stdoutText)) {
        const fs::path path = dir / report;
        std::error_code error;
        if (!fs::is_regular_file(path, error)) continue;
        const std::string text = readFile(path);
        if (const auto line = findNonFiniteNumber(text)) {
            std::string shown = *line;
            if (shown.size() > 100) shown.resize(100);
            return {FaultKind::NonFinite, report + ": " + shown, "nan/inf in " + nonFinitePlace(text, *line)};
        }
    }
    return {};
}

bool isSanitizedExecutable(const std::string& path) {
    const std::string bytes = readFile(path);
    return bytes.find("__asan_init") != std::string::npos;
}

CaseRunner::CaseRunner(std::string executable, std::string workDir, RunLimits limits, int jobs)
    : executable_(fs::absolute(executable).string()),
      workDir_(fs::absolute(workDir).string()),  // the child changes into its case directory
      limits_(limits),
      jobs_(jobs < 1 ? 1 : jobs) {}

namespace {

struct Running {
    pid_t pid = -1;
    CaseResult result;
    std::string dir;
    std::chrono::steady_clock::time_point start;
    bool abortSent = false;
    bool killSent = false;
};

pid_t startCase(const std::string& executable, const std::string& dir, const RunLimits& limits) {
    const std::string in = dir + "/session.txt", out = dir + "/stdout.txt", err = dir + "/stderr.txt";
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid > 0) return pid;
    setpgid(0, 0);
    if (chdir(dir.c_str()) != 0) _exit(125);
    const int fdIn = open(in.c_str(), O_RDONLY);
    const int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fdIn < 0 || fdOut < 0 || fdErr < 0) _exit(125);
    dup2(fdIn, 0);
    dup2(fdOut, 1);
    dup2(fdErr, 2);
    rlimit size{static_cast<rlim_t>(limits.outputMegabytes) << 20, static_cast<rlim_t>(limits.outputMegabytes) << 20};
    setrlimit(RLIMIT_FSIZE, &size);
    rlimit core{0, 0};
    setrlimit(RLIMIT_CORE, &core);
    if (!limits.sanitized) {
        rlimit memory{static_cast<rlim_t>(limits.memoryMegabytes) << 20,
                      static_cast<rlim_t>(limits.memoryMegabytes) << 20};
        setrlimit(RLIMIT_AS, &memory);
    } else {
        // Memory is bounded by the sanitizer; a hang is stopped with SIGABRT
        // first so that the sanitizer prints where the program was.
        const std::string asan = "abort_on_error=0:handle_abort=1:allocator_may_return_null=1:"
                                 "max_allocation_size_mb=" + std::to_string(limits.memoryMegabytes) +
                                 ":hard_rss_limit_mb=" + std::to_string(limits.memoryMegabytes) +
                                 ":detect_leaks=0:symbolize=1";
        setenv("ASAN_OPTIONS", asan.c_str(), 1);
        setenv("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1", 1);
    }
    setenv("LC_ALL", "C", 1);
    signal(SIGXFSZ, SIG_DFL);
    execl(executable.c_str(), executable.c_str(), "--console", static_cast<char*>(nullptr));
    _exit(127);
}

}  // namespace

void CaseRunner::runWith(std::vector<FuzzCase> cases, void (*onDone)(CaseResult&, const std::string&, void*),
                         void* context) {
    fs::create_directories(workDir_);
    std::vector<Running> running;
    std::size_t next = 0;
    const auto limit = std::chrono::duration<double>(limits_.seconds);
    while (next < cases.size() || !running.empty()) {
        while (next < cases.size() && static_cast<int>(running.size()) < jobs_) {
            Running r;
            r.dir = workDir_ + "/case-" + std::to_string(cases[next].index);
            std::error_code ignored;
            fs::remove_all(r.dir, ignored);
            r.result.fuzzCase = std::move(cases[next++]);
            writeCase(r.result.fuzzCase, r.dir);
            r.start = std::chrono::steady_clock::now();
            r.pid = startCase(executable_, r.dir, limits_);
            running.push_back(std::move(r));
        }
        bool progressed = false;
        for (std::size_t i = 0; i < running.size();) {
            Running& r = running[i];
            int status = 0;
            const pid_t done = waitpid(r.pid, &status, WNOHANG);
            const auto elapsed = std::chrono::steady_clock::now() - r.start;
            if (done == 0) {
                if (elapsed > limit && !r.abortSent) {
                    r.result.outcome.timedOut = true;
                    r.abortSent = true;
                    kill(-r.pid, limits_.sanitized ? SIGABRT : SIGKILL);
                } else if (elapsed > limit * 1.5 + std::chrono::seconds(5) && !r.killSent) {
                    r.killSent = true;
                    kill(-r.pid, SIGKILL);
                }
                ++i;
                continue;
            }
            progressed = true;
            kill(-r.pid, SIGKILL);  // anything the program left behind
            ProcessOutcome& o = r.result.outcome;
            o.signalled = WIFSIGNALED(status);
            o.signal = o.signalled ? WTERMSIG(status) : 0;
            o.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            o.stdoutText = readFile(r.dir + "/stdout.txt");
            o.stderrText = readFile(r.dir + "/stderr.txt");
            r.result.seconds = std::chrono::duration<double>(elapsed).count();
            r.result.finding = judge(r.result.fuzzCase, r.dir, o);
            onDone(r.result, r.dir, context);
            std::error_code ignored;
            fs::remove_all(r.dir, ignored);
            running.erase(running.begin() + static_cast<long>(i));
        }
        if (!progressed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void saveFailure(const CaseResult& result, const std::string& runDir, const std::string& saveDir,
                 std::uint64_t campaignSeed) {
    const fs::path save(saveDir);
    std::error_code ignored;
    fs::remove_all(save, ignored);
    writeCase(result.fuzzCase, (save / "input").string());
    fs::create_directories(save / "run");
    for (const auto& entry : fs::directory_iterator(runDir)) {
        std::error_code error;
        if (!entry.is_regular_file(error) || entry.is_symlink(error)) continue;
        if (fs::file_size(entry.path(), error) > (8u << 20)) continue;
        fs::copy_file(entry.path(), save / "run" / entry.path().filename(), fs::copy_options::overwrite_existing,
                      error);
    }
    std::ostringstream about;
    about << "case " << result.fuzzCase.index << " of campaign seed " << campaignSeed << " (case seed "
          << result.fuzzCase.seed << ")\n"
          << "kind: " << faultKindName(result.finding.kind) << "\n"
          << "detail: " << result.finding.detail << "\n"
          << "signature: " << result.finding.signature << "\n"
          << "seconds: " << result.seconds << "\n"
          << "mutations:\n";
    for (const std::string& m : result.fuzzCase.mutations) about << "  " << m << "\n";
    writeFile(save / "finding.txt", about.str());
    writeFile(save / "replay.sh",
              "#!/bin/sh\n"
              "# usage: replay.sh TALVEX  (runs the case on a fresh copy of input/)\n"
              "set -eu\n"
              "talvex=$(cd \"$(dirname \"$1\")\" && pwd)/$(basename \"$1\")\n"
              "here=$(cd \"$(dirname \"$0\")\" && pwd)\n"
              "work=$(mktemp -d)\n"
              "cp -a \"$here/input/.\" \"$work/\"\n"
              "cd \"$work\" && echo \"in $work\" && \"$talvex\" --console < session.txt\n");
    fs::permissions(save / "replay.sh", fs::perms::owner_exec, fs::perm_options::add);
}

FuzzCase loadCase(const std::string& directory) {
    FuzzCase c;
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(directory)) entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    for (const fs::path& path : entries) {
        const std::string name = path.filename().string();
        const auto status = fs::symlink_status(path);
        if (name == "session.txt") {
            c.session = readFile(path);
        } else if (fs::is_symlink(status)) {
            c.files.push_back({name, CaseFile::Kind::Symlink, {}, fs::read_symlink(path).string()});
        } else if (fs::is_fifo(status)) {
            c.files.push_back({name, CaseFile::Kind::Fifo, {}, {}});
        } else if (fs::is_regular_file(status)) {
            c.files.push_back({name, CaseFile::Kind::Regular, readFile(path), {}});
        }
    }
    return c;
}

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size() - 1;
        lines.push_back(text.substr(start, end + 1 - start));
        start = end + 1;
    }
    return lines;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line;
    return text;
}

}  // namespace

Minimized minimizeCase(const FuzzCase& failing, CaseRunner& runner, int maxRuns) {
    Minimized best;
    best.fuzzCase = failing;
    auto attempt = [&](const FuzzCase& candidate) {
        Finding finding;
        runner.run({candidate}, [&](CaseResult& r, const std::string&) { finding = r.finding; });
        ++best.runs;
        return finding;
    };
    best.finding = attempt(failing);
    if (best.finding.kind == FaultKind::Clean) return best;
    const std::string signature = best.finding.signature;

    // Text slots: the session (index -1) and every regular file.
    std::vector<int> slots = {-1};
    for (std::size_t i = 0; i < failing.files.size(); ++i)
        if (failing.files[i].kind == CaseFile::Kind::Regular) slots.push_back(static_cast<int>(i));
    bool shrunk = true;
    while (shrunk && best.runs < maxRuns) {
        shrunk = false;
        for (int slot : slots) {
            auto text = [&](FuzzCase& c) -> std::string& { return slot < 0 ? c.session : c.files[slot].content; };
            std::vector<std::string> lines = linesOf(text(best.fuzzCase));
            for (std::size_t chunk = std::max<std::size_t>(1, lines.size() / 2); chunk >= 1 && best.runs < maxRuns;
                 chunk /= 2) {
                for (std::size_t at = 0; at < lines.size() && best.runs < maxRuns;) {
                    std::vector<std::string> fewer(lines.begin(), lines.begin() + static_cast<long>(at));
                    fewer.insert(fewer.end(), lines.begin() + static_cast<long>(std::min(lines.size(), at + chunk)),
                                 lines.end());
                    FuzzCase candidate = best.fuzzCase;
                    text(candidate) = joined(fewer);
                    const Finding finding = attempt(candidate);
                    if (finding.kind == best.finding.kind && finding.signature == signature) {
                        best.fuzzCase = candidate;
                        best.finding = finding;
                        lines = fewer;
                        shrunk = true;
                    } else {
                        at += chunk;
                    }
                }
                if (chunk == 1) break;
            }
        }
    }
    return best;
}

}  // namespace talvex::fuzz
