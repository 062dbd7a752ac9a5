// A fixed split of independent work over at most two threads. The range is
// cut into two contiguous halves, the calling thread takes the first and a
// second thread the other; each item is computed by the same code whatever
// the thread count, so the results are the same bit for bit. The body must
// not create or release matrices (the pool is not shared between threads)
// and must not draw random numbers.
#pragma once

#include <cstdlib>
#include <thread>

namespace talvex {

// Threads for parallelFor: TALVEX_THREADS when it is 1 or 2, otherwise the
// hardware's threads, at most 2.
inline int parallelThreads() {
    if (const char* text = std::getenv("TALVEX_THREADS")) {
        const int n = std::atoi(text);
        if (n == 1 || n == 2) return n;
    }
    return std::thread::hardware_concurrency() >= 2 ? 2 : 1;
}

// Set on a thread while it runs a parallelFor body: a parallelFor nested in
// it runs on that thread alone (the machine's threads are taken already).
inline thread_local bool insideParallelBody = false;

// Calls body(begin, end, slot) for [0, count): slot 0 on the calling thread,
// slot 1 on the second thread, which exists only with two threads and at
// least `least` items (small ranges are not worth a thread).
template <typename Body>
void parallelFor(int count, int least, Body&& body) {
    if (count <= 0) return;
    if (insideParallelBody || count < least || count < 2 || parallelThreads() < 2) {
        body(0, count, 0);
        return;
    }
    const int half = (count + 1) / 2;
    std::thread second([&body, half, count] {
        insideParallelBody = true;
        body(half, count, 1);
    });
    insideParallelBody = true;
    body(0, half, 0);
    insideParallelBody = false;
    second.join();
}

}  // namespace talvex
