// Speed of drawing a whole board frame, beside a plain full-screen memcpy.
#include "board/deal.hpp"
#include "board/layout.hpp"
#include "image/pictures.hpp"
#include "platform/display.hpp"
#include "render/board_view.hpp"
#include "render/draw.hpp"
#include "render/font.hpp"

#include "baseline.hpp"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// A 378 x 240 tile set in memory: every cell a pattern of its own colours.
void make_tileset() {
    static std::vector<uint8_t> pixels(378 * 240);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<uint8_t>(i % 378 / 42 * 16 + i / 378 / 48 * 3 + i % 5);
    }
    for (int i = 0; i < 256; ++i) {
        tileset_image.palette[i] = map_rgb(i, 255 - i, (i * 37) & 255);
    }
    tileset_image.pixels = pixels.data();
    tileset_image.width = 378;
    tileset_image.height = 240;
}

// A fresh deal with the first pairs of its own solution taken.
void deal_with_pairs_taken(int pairs) {
    std::srand(1);
    deal_board(layout_table);
    for (int k = 0; k < 2 * pairs; ++k) {
        tiles[deal_solution[k]].flags |= TILE_REMOVED;
    }
}

void bench_board(benchmark::State& state) {
    deal_with_pairs_taken(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        draw_board();
        benchmark::ClobberMemory();
    }
}

} // namespace

int main(int argc, char** argv) {
    open_bench_display();
    font_build();
    mask_alloc();
    make_tileset();
    fill_rect(0, 0, display.width, display.height, 60, 84, 12);
    save_screen(0);
    benchmark::RegisterBenchmark("draw_board full board", bench_board)->Arg(0);
    benchmark::RegisterBenchmark("draw_board half-cleared board", bench_board)->Arg(36);
    benchmark::RegisterBenchmark("memcpy 640*400*2 bytes", bench_plain_memcpy);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
