#include "core/random.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/distributions.h"

#if TALVEX_AVX2_BUILD
#include <immintrin.h>
#endif

namespace talvex {

namespace {
// The one generator state of the program (never reseeded).
std::uint32_t generatorState = kRandomStartState;
constexpr double kInverse32767 = 3.051850947599719e-5;

// Values a RandomReplay on this thread hands out instead of the stream.
thread_local const std::vector<int>* replayValues = nullptr;
thread_local std::size_t replayNext = 0;

// One step of the linear congruential generator (mod 2^32), and the 15-bit
// value a state gives.
constexpr std::uint32_t kMultiplier = 214013u, kIncrement = 2531011u;
constexpr std::uint32_t advance(std::uint32_t state) { return state * kMultiplier + kIncrement; }
constexpr int drawOf(std::uint32_t state) { return static_cast<int>((state >> 16) & 0x7FFFu); }
}  // namespace

int randomNext() {
    if (replayValues != nullptr) {
        const int value = (*replayValues)[replayNext];
        replayNext = (replayNext + 1) % replayValues->size();
        return value;
    }
    generatorState = advance(generatorState);
    return drawOf(generatorState);
}

void fillRandomDraws(int* values, std::size_t count) {
    if (replayValues != nullptr) {
        for (std::size_t i = 0; i < count; ++i) values[i] = randomNext();
        return;
    }
    std::uint32_t state = generatorState;
    for (std::size_t i = 0; i < count; ++i) {
        state = advance(state);
        values[i] = drawOf(state);
    }
    generatorState = state;
}

RandomReplay::RandomReplay(const std::vector<int>& values)
    : previousValues_(replayValues), previousNext_(replayNext) {
    replayValues = values.empty() ? nullptr : &values;
    replayNext = 0;
}

RandomReplay::~RandomReplay() {
    replayValues = previousValues_;
    replayNext = previousNext_;
}

std::uint32_t randomState() { return generatorState; }

void restoreRandomState(std::uint32_t state) { generatorState = state; }

Matrix randomUniform(int rows, int cols) {
    Matrix u(rows, cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) u[i][j] = randomNext() * kInverse32767;
    return u;
}

Matrix randomUniformRange(int lo, int hi, int rows, int cols) {
    if (hi < lo) std::swap(lo, hi);
    Matrix u(rows, cols);
    const double width = static_cast<double>(hi - lo);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) u[i][j] = width * (randomNext() / 32767.0) + lo;
    return u;
}

void fillRandomStart(double* values, int rows, int cols) {
    // One draw ahead: each element uses the value drawn before it, and a
    // fresh value is drawn after every element (so rows·cols + 1 draws),
    // taken from the stream in blocks.
    constexpr int kBlock = 512;
    int draws[kBlock + 1];
    fillRandomDraws(draws, 1);
    const int count = std::max(0, rows * cols);
    for (int done = 0; done < count; done += kBlock) {
        const int n = std::min(kBlock, count - done);
        fillRandomDraws(draws + 1, static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) values[done + i] = 2.0 * ((121 * (draws[i] % 1000) + 567) * 0.001 - 0.5);
        draws[0] = draws[n];
    }
}

Matrix randomStartMatrix(int rows, int cols) {
    Matrix m(rows, cols);
    if (rows > 0 && cols > 0) fillRandomStart(m[0], rows, cols);
    return m;
}

namespace {

// The candidate 8·(r1/32767) - 4 of a first draw r1 is kept when the second
// draw r2 satisfies r2/32767 <= exp(-x²/2), the unnormalised density
// obtained through the scaled density. r2/32767 grows with r2, so the test
// is r2 <= limit[r1]: the largest r2 passing it, -1 when none does.
double normalCandidate(int r1) { return 8.0 * (r1 / 32767.0) - 4.0; }

struct NormalTables {
    std::int32_t limit[32768];
    NormalTables() {
        const double scale = 0.0001 / std::sqrt(6.283185307179586);
        for (int r1 = 0; r1 < 32768; ++r1) {
            const double e = normalDensityScaled(normalCandidate(r1), 0.0001) / scale;
            // Start near e·32767 and settle on the exact boundary of the test.
            int r2 = static_cast<int>(std::min(32767.0, std::max(-1.0, std::floor(e * 32767.0))));
            while (r2 >= 0 && !(r2 / 32767.0 <= e)) --r2;
            while (r2 < 32767 && (r2 + 1) / 32767.0 <= e) ++r2;
            limit[r1] = r2;
        }
    }
};

const NormalTables& normalTables() {
    static const NormalTables tables;
    return tables;
}

// Trials advanced together: eight lanes, the generator moved 2·kLanes
// steps at once being state_{n+2·kLanes} = kLaneMultiplier·state_n +
// kLaneIncrement (mod 2^32).
constexpr int kLanes = 8;
constexpr std::uint32_t laneMultiplier() {
    std::uint32_t a = 1;
    for (int k = 0; k < 2 * kLanes; ++k) a *= kMultiplier;
    return a;
}
constexpr std::uint32_t laneIncrement() {
    std::uint32_t c = 0;
    for (int k = 0; k < 2 * kLanes; ++k) c = advance(c);
    return c;
}
constexpr std::uint32_t kLaneMultiplier = laneMultiplier();
constexpr std::uint32_t kLaneIncrement = laneIncrement();
// Kept first draws collected before they become deviates.
constexpr int kKeptChunk = 1024;

// The lane of the trials whose keep bits are `mask` that gives the
// needed-th kept value of the group (needed >= 1).
inline int laneOfKept(unsigned mask, int needed) {
    for (int k = 1; k < needed; ++k) mask &= mask - 1;
    return __builtin_ctz(mask);
}

// Both builds run trials eight at a time from `state` until `want` (>= 1)
// candidates are kept, write their first draws in order to kept (which
// has room for want + kLanes - 1, the last group's surplus), and leave
// state after the second draw of the trial that gave the last one.
void keptDrawsPortable(std::uint32_t& state, const std::int32_t* limit, int* kept, int want) {
    std::uint32_t first[kLanes], second[kLanes];
    std::uint32_t s = state;
    for (int t = 0; t < kLanes; ++t) {
        first[t] = s = advance(s);
        second[t] = s = advance(s);
    }
    int n = 0;
    for (;;) {
        unsigned mask = 0;
        for (int t = 0; t < kLanes; ++t) {
            const int r1 = drawOf(first[t]);
            const unsigned keep = drawOf(second[t]) <= limit[r1];
            kept[n] = r1;
            n += static_cast<int>(keep);
            mask |= keep << t;
        }
        if (n >= want) {
            state = second[laneOfKept(mask, __builtin_popcount(mask) - (n - want))];
            return;
        }
        for (int t = 0; t < kLanes; ++t) {
            first[t] = first[t] * kLaneMultiplier + kLaneIncrement;
            second[t] = second[t] * kLaneMultiplier + kLaneIncrement;
        }
    }
}

// The candidates of kept first draws (a vector division is cheaper than
// reading a table of them).
TALVEX_KERNEL_BODY void candidatesBody(const int* kept, int count, double* values) {
    for (int k = 0; k < count; ++k) values[k] = normalCandidate(kept[k]);
}

#if TALVEX_AVX2_BUILD
TALVEX_AVX2 void candidatesAvx2(const int* kept, int count, double* values) { candidatesBody(kept, count, values); }

// For each 8-bit keep mask, the lanes it keeps in order (the rest 0).
struct CompressTable {
    std::int32_t lanes[256][kLanes] = {};
    constexpr CompressTable() {
        for (int m = 0; m < 256; ++m) {
            int k = 0;
            for (int t = 0; t < kLanes; ++t)
                if (m >> t & 1) lanes[m][k++] = t;
        }
    }
};
constexpr CompressTable kCompress;

TALVEX_AVX2 void keptDrawsAvx2(std::uint32_t& state, const std::int32_t* limit, int* kept, int want) {
    alignas(32) std::uint32_t start[2][kLanes];
    std::uint32_t s = state;
    for (int t = 0; t < kLanes; ++t) {
        start[0][t] = s = advance(s);
        start[1][t] = s = advance(s);
    }
    __m256i first = _mm256_load_si256(reinterpret_cast<const __m256i*>(start[0]));
    __m256i second = _mm256_load_si256(reinterpret_cast<const __m256i*>(start[1]));
    const __m256i multiplier = _mm256_set1_epi32(static_cast<int>(kLaneMultiplier));
    const __m256i increment = _mm256_set1_epi32(static_cast<int>(kLaneIncrement));
    const __m256i low15 = _mm256_set1_epi32(0x7FFF);
    int n = 0;
    for (;;) {
        const __m256i r1 = _mm256_and_si256(_mm256_srli_epi32(first, 16), low15);
        const __m256i r2 = _mm256_and_si256(_mm256_srli_epi32(second, 16), low15);
        const __m256i bound = _mm256_i32gather_epi32(limit, r1, 4);
        const unsigned mask =
            ~static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(r2, bound)))) & 0xFFu;
        const __m256i order = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kCompress.lanes[mask]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(kept + n), _mm256_permutevar8x32_epi32(r1, order));
        const int count = __builtin_popcount(mask);
        n += count;
        if (n >= want) {
            alignas(32) std::uint32_t last[kLanes];
            _mm256_store_si256(reinterpret_cast<__m256i*>(last), second);
            state = last[laneOfKept(mask, count - (n - want))];
            return;
        }
        first = _mm256_add_epi32(_mm256_mullo_epi32(first, multiplier), increment);
        second = _mm256_add_epi32(_mm256_mullo_epi32(second, multiplier), increment);
    }
}
#endif

}  // namespace

int normalAcceptanceLimit(int r1) { return normalTables().limit[r1]; }

void fillRandomNormal(double* values, std::size_t count, KernelPath path) {
    if (replayValues != nullptr) {
        // Replayed draws, trial by trial.
        const NormalTables& tables = normalTables();
        for (std::size_t i = 0; i < count;) {
            const int r1 = randomNext();
            if (randomNext() <= tables.limit[r1]) values[i++] = normalCandidate(r1);
        }
        return;
    }
    // Every trial takes exactly two draws; the kept first draws are gathered
    // a chunk at a time and then turned into deviates.
    const NormalTables& tables = normalTables();
    int kept[kKeptChunk + kLanes - 1];
    std::uint32_t state = generatorState;
    for (std::size_t done = 0; done < count;) {
        const int want = static_cast<int>(std::min<std::size_t>(kKeptChunk, count - done));
#if TALVEX_AVX2_BUILD
        if (path == KernelPath::Avx2) {
            keptDrawsAvx2(state, tables.limit, kept, want);
            candidatesAvx2(kept, want, values + done);
        } else
#endif
        {
            keptDrawsPortable(state, tables.limit, kept, want);
            candidatesBody(kept, want, values + done);
        }
        done += static_cast<std::size_t>(want);
    }
    generatorState = state;
}

Matrix randomNormalMatrix(int rows, int cols) {
    Matrix m(rows, cols);
    if (rows <= 0 || cols <= 0) return m;
    std::vector<double> values(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
    fillRandomNormal(values.data(), values.size());
    for (int j = 0; j < cols; ++j)
        for (int i = 0; i < rows; ++i)
            m[i][j] = values[static_cast<std::size_t>(j) * static_cast<std::size_t>(rows) + static_cast<std::size_t>(i)];
    return m;
}

Matrix permuteColumns(const Matrix& x) {
    const int r = x.rows();
    const int c = x.cols();
    Matrix result(r, c);
    // One uniform key per cell, drawn row by row; the key is the 15-bit
    // value itself (the uniform is that value divided by 32767). With more
    // rows than 15-bit keys, whole runs of rows would share a key and keep
    // their file order (a sorted file would stay partly sorted), so each key
    // is then two draws, 32768a + b.
    const bool wide = r > kRandomDrawValues;
    std::vector<int> keys(static_cast<std::size_t>(r) * static_cast<std::size_t>(c));
    if (!wide) {
        fillRandomDraws(keys.data(), keys.size());
    } else {
        std::vector<int> pair(2 * static_cast<std::size_t>(c));
        for (std::size_t i = 0; i < static_cast<std::size_t>(r); ++i) {
            fillRandomDraws(pair.data(), pair.size());
            for (std::size_t j = 0; j < static_cast<std::size_t>(c); ++j)
                keys[i * static_cast<std::size_t>(c) + j] = pair[2 * j] * kRandomDrawValues + pair[2 * j + 1];
        }
    }
    // Each column's rows in increasing order of their keys, tied keys in row
    // order (so every row is used exactly once: a true permutation), by
    // stable counting passes over the key's bytes, lowest first. The key
    // travels with its row (key·2³² + row).
    const int passes = wide ? 4 : 2;
    std::vector<std::uint64_t> entries(static_cast<std::size_t>(r)), sorted(static_cast<std::size_t>(r));
    // Column j of x is copied out first: the permuted reads then stay in a
    // small array instead of touching a different row of x each time.
    std::vector<double> column(static_cast<std::size_t>(r));
    std::vector<const double*> from(static_cast<std::size_t>(r));
    std::vector<double*> to(static_cast<std::size_t>(r));
    for (int i = 0; i < r; ++i) {
        from[static_cast<std::size_t>(i)] = x[i];
        to[static_cast<std::size_t>(i)] = result[i];
    }
    for (int j = 0; j < c; ++j) {
        std::size_t tally[4][256] = {};
        for (int i = 0; i < r; ++i) {
            const auto key = static_cast<std::uint64_t>(
                keys[static_cast<std::size_t>(i) * static_cast<std::size_t>(c) + static_cast<std::size_t>(j)]);
            entries[static_cast<std::size_t>(i)] = key << 32 | static_cast<std::uint64_t>(i);
            for (int b = 0; b < passes; ++b) ++tally[b][(key >> (8 * b)) & 0xFF];
        }
        for (int b = 0; b < passes; ++b) {
            std::size_t start = 0;
            for (std::size_t& n : tally[b]) start += std::exchange(n, start);
            const int shift = 32 + 8 * b;
            for (const std::uint64_t e : entries) sorted[tally[b][(e >> shift) & 0xFF]++] = e;
            entries.swap(sorted);
        }
        for (std::size_t i = 0; i < column.size(); ++i) column[i] = from[i][j];
        for (std::size_t i = 0; i < column.size(); ++i) to[i][j] = column[entries[i] & 0xFFFFFFFFu];
    }
    return result;
}

}  // namespace talvex
