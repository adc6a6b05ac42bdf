// Timing for the benchmarks: a millisecond clock, the median, and runs of one step timed.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

// Milliseconds from the performance counter.
inline double now_ms()
{
    static const double ticks_per_ms = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / ticks_per_ms;
}

inline double median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 != 0 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The first run of a step, which pays for what is started once, apart from the median of the others.
struct Timing {
    double first = 0;
    double median = 0;
};

// Times `step` once and then `runs` more times, each after an untimed `set_up`; all zero when a run of
// the step fails (returns false).
template <class SetUp, class Step> Timing time_runs(int runs, SetUp set_up, Step step)
{
    Timing timing;
    std::vector<double> times;
    for (int run = 0; run <= runs; ++run) {
        set_up();
        const double start = now_ms();
        if (!step())
            return {};
        const double took = now_ms() - start;
        if (run == 0)
            timing.first = took;
        else
            times.push_back(took);
    }
    timing.median = median(times);
    return timing;
}

} // namespace bench
