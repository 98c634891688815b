// Timing shared by the benchmark programs: the steady clock in seconds and the best time of one
// call over repeated runs.
#pragma once
#include <chrono>
#include <functional>

inline double BenchNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Best time of one call after a warm-up call, over at least ~0.3 s of work and 5 runs (at most
// maxRuns runs).
inline double BenchBestTime(const std::function<void()> &fn, int maxRuns = 500)
{
    fn();
    double best = 1e9, start = BenchNow();
    int runs = 0;
    do {
        double t0 = BenchNow();
        fn();
        double t = BenchNow() - t0;
        if (t < best) best = t;
        runs++;
    } while ((BenchNow() - start < 0.3 || runs < 5) && runs < maxRuns);
    return best;
}
