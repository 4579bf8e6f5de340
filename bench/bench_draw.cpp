// Speed of the framebuffer primitives of one frame, beside a plain full-screen memcpy.
#include "image/pcx.hpp"
#include "platform/display.hpp"
#include "render/draw.hpp"

#include "baseline.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

void bench_blit_face(benchmark::State& state) {
    std::vector<uint8_t> pixels(376 * 238);
    IndexedImage image{.palette = {}, .pixels = pixels.data(), .width = 376, .height = 238};
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>(i * 7);
    }
    for (int i = 0; i < 256; ++i) {
        image.palette[i] = static_cast<uint32_t>(i * 257);
    }
    for (auto _ : state) {
        blit_image(289, 164, &image, 4 * 42, 2 * 48, 40, 46);
        benchmark::ClobberMemory();
    }
}

struct MaskRect {
    int x, y, width, height;
};

// One tile's shadow with every side open: the band, both strips, the corner.
const MaskRect SHADOW[] = {{6, -8, 40, 1},  {4, -7, 43, 1},  {2, -6, 43, 1},  {1, -5, 43, 1},
                           {0, -4, 43, 1},  {-1, -3, 43, 1}, {-2, -2, 43, 1}, {-3, -1, 43, 1},
                           {46, -6, 2, 23}, {45, -6, 1, 24}, {44, -5, 1, 24}, {43, -4, 1, 24},
                           {42, -3, 1, 24}, {41, -2, 1, 24}, {40, -1, 1, 24}, {47, 16, 1, 24},
                           {46, 17, 1, 24}, {45, 18, 1, 24}, {44, 19, 1, 24}, {43, 20, 1, 24},
                           {42, 21, 1, 24}, {41, 22, 1, 24}, {40, 23, 1, 24}, {38, 0, 2, 2}};

void bench_mask_shadow(benchmark::State& state) {
    for (auto _ : state) {
        for (const MaskRect& r : SHADOW) {
            mask_rect(323 + r.x, 130 + r.y, r.width, r.height, 1);
        }
        benchmark::ClobberMemory();
    }
}

void bench_dim_half_mask(benchmark::State& state) {
    std::mt19937 rng(1);
    std::vector<uint8_t> mask(static_cast<size_t>(mask_stride) * display.height);
    for (uint8_t& b : mask) {
        b = static_cast<uint8_t>(rng()); // about half the bits set
    }
    for (auto _ : state) {
        dim_masked(mask.data());
        benchmark::ClobberMemory();
    }
}

void bench_restore_screen(benchmark::State& state) {
    save_screen(0);
    for (auto _ : state) {
        restore_screen(0);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * SCREEN_BYTES);
}

} // namespace

int main(int argc, char** argv) {
    open_bench_display();
    mask_alloc();
    benchmark::RegisterBenchmark("blit_image 40x46 face", bench_blit_face);
    benchmark::RegisterBenchmark("mask_rect one tile shadow (24 rects)", bench_mask_shadow);
    benchmark::RegisterBenchmark("dim_masked half-set mask", bench_dim_half_mask);
    benchmark::RegisterBenchmark("restore_screen 640x400", bench_restore_screen);
    benchmark::RegisterBenchmark("memcpy 640*400*2 bytes", bench_plain_memcpy);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
