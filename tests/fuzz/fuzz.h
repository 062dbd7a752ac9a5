// A deterministic mutation fuzzer for the whole program: it builds a case
// (input files and a terminal session) from a seed number, runs the built
// executable on it in a scratch directory as a separate process with a time
// and memory limit, and checks the outcome: the process ended normally, no
// sanitizer report, no hang, no "nan"/"inf" where the report prints a
// number, and every input file is unchanged.
//
// The fuzzer draws from its own generator, never from the program's random
// stream, so a case is the same bytes on every machine and every run.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvex::fuzz {

// splitmix64: small, fast, and good enough to pick mutations.
class FuzzRandom {
public:
    explicit FuzzRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    // Uniform in [0, n); n must be above 0.
    std::size_t below(std::size_t n);
    // True with the given chance in percent.
    bool chance(int percent);
    template <class T>
    const T& pick(const std::vector<T>& items) {
        return items[below(items.size())];
    }

private:
    std::uint64_t state_;
};

// The seed of case number index of a campaign with seed campaignSeed.
std::uint64_t caseSeed(std::uint64_t campaignSeed, std::uint64_t index);

// The valid inputs the mutations start from.
struct SeedFiles {
    std::string scores;      // participants x 12 item scores
    std::string labels;      // 12 labels
    std::string target;      // 12 x 3 semi-specified target
    std::string covariance;  // 7 x 7 covariance matrix
};

// Reads the bundled example files and the covariance matrix of the golden
// reports from the source tree; throws when one is missing.
SeedFiles loadSeedFiles(const std::string& sourceDir);

// One file of a case. A symbolic link points at target (a name in the case
// directory); a fifo is a named pipe nobody writes to.
struct CaseFile {
    enum class Kind { Regular, Symlink, Fifo };
    std::string name;
    Kind kind = Kind::Regular;
    std::string content;  // Regular
    std::string target;   // Symlink
};

struct FuzzCase {
    std::uint64_t index = 0;
    std::uint64_t seed = 0;
    std::vector<CaseFile> files;
    std::string session;                 // piped into the terminal front end
    std::vector<std::string> mutations;  // what was done, for the failure log
};

// Builds case number index of the campaign: every byte follows from the two
// numbers and the seed files.
FuzzCase makeCase(const SeedFiles& seeds, std::uint64_t campaignSeed, std::uint64_t index);

// Text mutations, each applied once at a place the generator picks; the
// returned name says what was done.
std::string mutateText(std::string& text, FuzzRandom& random);

// Tokens printed where a number belongs that mean the value does not exist:
// nan, -nan, inf, -inf (as printf writes them), standing alone, not inside a
// word such as "information". Returns the first offending line, if any.
std::optional<std::string> findNonFiniteNumber(std::string_view report);

// What went wrong in one run; Clean when nothing did.
enum class FaultKind { Clean, Crash, Hang, NonFinite, InputModified };
const char* faultKindName(FaultKind kind);

struct Finding {
    FaultKind kind = FaultKind::Clean;
    std::string detail;     // signal, sanitizer line, offending report line, file
    std::string signature;  // what identifies the fault (location in src/ when known)
};

// How a case is run.
struct RunLimits {
    double seconds = 10.0;
    long memoryMegabytes = 4096;  // address-space limit; not applied to sanitized builds
    long outputMegabytes = 64;    // any file the program writes
    bool sanitized = false;       // the executable is built with AddressSanitizer
};

// The raw outcome of one process.
struct ProcessOutcome {
    bool timedOut = false;
    bool signalled = false;
    int signal = 0;
    int exitStatus = 0;
    std::string stdoutText;
    std::string stderrText;
};

// Writes the case into directory (which must exist and be empty).
void writeCase(const FuzzCase& fuzzCase, const std::string& directory);

// Checks a finished run: the process outcome, the reports it wrote (read
// from the "Report written to" lines of its transcript) and the input files
// of the case, which must be byte for byte as written.
Finding judge(const FuzzCase& fuzzCase, const std::string& directory, const ProcessOutcome& outcome);

// Starts the executable on cases and collects their outcomes, at most jobs
// at a time; each case gets its own directory under workDir.
struct CaseResult {
    FuzzCase fuzzCase;
    ProcessOutcome outcome;
    Finding finding;
    double seconds = 0.0;
};

class CaseRunner {
public:
    CaseRunner(std::string executable, std::string workDir, RunLimits limits, int jobs);
    // Runs every case; onDone is called in the order cases finish. Case
    // directories of clean runs are removed, failing ones are kept until
    // onDone returns (it may save them).
    template <class Done>
    void run(std::vector<FuzzCase> cases, Done onDone);
    void runWith(std::vector<FuzzCase> cases, void (*onDone)(CaseResult&, const std::string&, void*),
                 void* context);

private:
    std::string executable_;
    std::string workDir_;
    RunLimits limits_;
    int jobs_;
};

template <class Done>
void CaseRunner::run(std::vector<FuzzCase> cases, Done onDone) {
    runWith(
        std::move(cases),
        [](CaseResult& result, const std::string& dir, void* context) {
            (*static_cast<Done*>(context))(result, dir);
        },
        &onDone);
}

// True when the executable is built with AddressSanitizer (it calls the
// runtime's __asan_init, linked statically or not).
bool isSanitizedExecutable(const std::string& path);

// Copies the case as written (pristine inputs and the session), the run's
// transcript, error output and reports, and a replay script into saveDir.
void saveFailure(const CaseResult& result, const std::string& runDir, const std::string& saveDir,
                 std::uint64_t campaignSeed);

// Reads a case back from a folder written by writeCase (files, links,
// pipes and session.txt).
FuzzCase loadCase(const std::string& directory);

// Shrinks a failing case: drops runs of lines from its session and its
// regular files, halving the run length, as long as the program still fails
// with the same signature. At most maxRuns runs of the program.
struct Minimized {
    FuzzCase fuzzCase;
    Finding finding;
    int runs = 0;
};
Minimized minimizeCase(const FuzzCase& failing, CaseRunner& runner, int maxRuns);

}  // namespace talvex::fuzz
