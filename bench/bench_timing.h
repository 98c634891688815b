// Timing shared by the benchmark programs: the steady clock in seconds and the best time of one
// call over repeated runs.
#pragma once
#include <chrono>
#include <functional>

inline double BenchNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Best time of one call after a warm-up call, over at least minSeconds of work and minRuns runs
// (at most maxRuns runs).
inline double BenchBestTime(const std::function<void()> &fn, int maxRuns = 500, double minSeconds = 0.3,
                            int minRuns = 5)
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
    } while ((BenchNow() - start < minSeconds || runs < minRuns) && runs < maxRuns);
    return best;
}
