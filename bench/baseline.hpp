// What the drawing benchmarks measure against: copying one whole screen.
#pragma once

#include "platform/display.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <vector>

constexpr int SCREEN_BYTES = 640 * 400 * 2;

// A plain memcpy of a 640 x 400 x 2-byte screen.
inline void bench_plain_memcpy(benchmark::State& state) {
    std::vector<uint8_t> from(SCREEN_BYTES, 1), to(SCREEN_BYTES);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), SCREEN_BYTES);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * SCREEN_BYTES);
}

// The game's display under SDL's dummy driver (unless another is chosen).
inline void open_bench_display() {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    display_open(640, 400);
    std::atexit(display_close);
}
