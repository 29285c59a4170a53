#pragma once
// The latency benchmarks' summary of their samples: median, 99th percentile and maximum, as
// counters of the benchmark ("p50_us", "p99_us", "max_us").
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace bench {

// Sorts `samples` (microseconds) and sets the three counters on `state`; the percentiles take the
// sample at or below their rank. No samples, no counters.
inline void ReportPercentiles(benchmark::State& state, std::vector<double>& samples) {
    if (samples.empty()) return;
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) {
        return samples[static_cast<std::size_t>(q * static_cast<double>(samples.size() - 1))];
    };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = samples.back();
}

} // namespace bench
