// The one random stream of the program: the classic linear congruential
// generator state = state·214013 + 2531011 (mod 2^32), value = (state >> 16)
// & 0x7FFF. It starts at state 1 and is never reseeded, so every run of the
// program draws the same sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/kernels.h"
#include "core/matrix.h"

namespace talvex {

// The state every process starts from.
inline constexpr std::uint32_t kRandomStartState = 1;

// How many values one draw can take: randomNext gives 0 .. 32767.
inline constexpr int kRandomDrawValues = 32768;

// Next value of the stream, 0 .. 32767.
int randomNext();
// Current generator state; restoreRandomState puts it back (tests, and an
// analysis called in process, which starts where a process of the program does).
std::uint32_t randomState();
void restoreRandomState(std::uint32_t state);

// While it lives, randomNext on the calling thread returns `values` in
// turn (from the first again after the last) and leaves the stream alone:
// work spread over threads draws from values taken from the stream
// beforehand, in a fixed order. The values must outlive it.
class RandomReplay {
public:
    explicit RandomReplay(const std::vector<int>& values);
    ~RandomReplay();
    RandomReplay(const RandomReplay&) = delete;
    RandomReplay& operator=(const RandomReplay&) = delete;

private:
    const std::vector<int>* previousValues_;
    std::size_t previousNext_;
};

// The next `count` values of randomNext, in order (a replay included).
void fillRandomDraws(int* values, std::size_t count);
// Each element randomNext()/32767: uniform on [0, 1], both ends possible.
Matrix randomUniform(int rows, int cols);
// Each element (hi - lo)·(randomNext()/32767) + lo; lo and hi swapped when hi < lo.
Matrix randomUniformRange(int lo, int hi, int rows, int cols);
// Starting matrix for random rotation starts (only directions matter).
Matrix randomStartMatrix(int rows, int cols);
// The same values, row-major into rows·cols doubles, without a matrix (for
// loops that draw millions of them).
void fillRandomStart(double* values, int rows, int cols);
// Standard normal deviates restricted to [-4, 4] by rejection, filled
// column by column.
Matrix randomNormalMatrix(int rows, int cols);
// The same deviates into count doubles in drawing order (a rows x cols
// matrix column after column), without a matrix; either build of the
// kernels draws the same values (a replay included).
void fillRandomNormal(double* values, std::size_t count, KernelPath path = kernelPath());
// The rejection test of the normal sampler as a table: a candidate from the
// first draw r1 is kept when the second draw is at most this (-1: never).
int normalAcceptanceLimit(int r1);
// Each column of x randomly reordered, independently of the others; every
// value of a column occurs exactly once in the result.
Matrix permuteColumns(const Matrix& x);

}  // namespace talvex
