// Benchmarks of dealing (per-deal time distribution and attempts) and of the free-tile analysis.
#include "board/deal.hpp"
#include "board/rules.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace {

constexpr int DEALS = 10000;

double percentile(const std::vector<double>& sorted, double fraction) {
    size_t at = static_cast<size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[at];
}

// Times every deal on its own, so the counters give the distribution of
// single deals: mean, median and 99th percentile in microseconds, and the
// number of attempts the random game needed per deal.
void BM_DealBoard(benchmark::State& state) {
    std::srand(12345);
    std::vector<double> micros;
    micros.reserve(DEALS);
    long attempts = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        deal_board(layout_table);
        auto stop = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(tiles);
        micros.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
        attempts += deal_attempts;
    }
    std::vector<double> sorted = micros;
    std::sort(sorted.begin(), sorted.end());
    double total = 0;
    for (double m : micros) {
        total += m;
    }
    const double count = static_cast<double>(micros.size());
    state.counters["mean_us"] = total / count;
    state.counters["median_us"] = percentile(sorted, 0.5);
    state.counters["p99_us"] = percentile(sorted, 0.99);
    state.counters["max_us"] = sorted.back();
    state.counters["attempts_per_deal"] = static_cast<double>(attempts) / count;
}
BENCHMARK(BM_DealBoard)->Iterations(DEALS)->Unit(benchmark::kMicrosecond);

void BM_UpdateFreeTiles(benchmark::State& state) {
    std::srand(1);
    deal_board(layout_table);
    for (auto _ : state) {
        update_free_tiles();
        benchmark::DoNotOptimize(tiles);
    }
}
BENCHMARK(BM_UpdateFreeTiles)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
