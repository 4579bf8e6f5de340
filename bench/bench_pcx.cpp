// Decoding speed of the PCX loader, in megabytes of file per second, beside SDL_image's.
#include "image/pcx.hpp"
#include "platform/display.hpp"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#ifdef MAHJONG_HAVE_SDL_IMAGE
#include <SDL_image.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// A picture written for the benchmarks: its path and its size in bytes.
struct BenchFile {
    std::string path;
    int64_t size;
};

// The pictures, written into a temporary directory by main before any benchmark.
BenchFile picture_8bit;
BenchFile picture_16colour;
BenchFile picture_cut;     // the 640 x 400 background cut after 2 KB of data
BenchFile picture_hostile; // a 128-byte header claiming 8192 x 8192 in 255 planes

void put16(Bytes& out, size_t at, int value) {
    out[at] = static_cast<uint8_t>(value & 255);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

Bytes header(int bits, int planes, int width, int height, int bytes_per_line) {
    Bytes h(PCX_HEADER_SIZE, 0);
    h[0] = 10;
    h[1] = 5;
    h[2] = 1;
    h[3] = static_cast<uint8_t>(bits);
    put16(h, 8, width - 1);
    put16(h, 10, height - 1);
    for (int i = 0; i < 48; ++i) {
        h[16 + i] = static_cast<uint8_t>(i * 16 + i / 3); // 16 distinct colours
    }
    h[65] = static_cast<uint8_t>(planes);
    put16(h, 66, bytes_per_line);
    return h;
}

void encode_line(const Bytes& line, Bytes& out) {
    size_t i = 0;
    while (i < line.size()) {
        size_t run = 1;
        while (i + run < line.size() && line[i + run] == line[i] && run < 63) {
            ++run;
        }
        if (run > 1 || line[i] >= 0xC0) {
            out.push_back(static_cast<uint8_t>(0xC0 | run));
        }
        out.push_back(line[i]);
        i += run;
    }
}

// A background: diagonal colour bands, solid discs and bars, and a patch of
// fine texture where runs are rare.
uint8_t background_pixel(int x, int y) {
    int dx = x - 420, dy = y - 170;
    if (dx * dx + dy * dy < 90 * 90) {
        return static_cast<uint8_t>(200 + (dx * dx + dy * dy) / 1400);
    }
    if (x > 60 && x < 260 && y > 250 && y < 330 && (y / 10) % 2 == 0) {
        return static_cast<uint8_t>(30 + y / 10);
    }
    if (x > 480 && y > 300) {
        return static_cast<uint8_t>(((x * 7 + y * 13) ^ (x * y)) & 63);
    }
    return static_cast<uint8_t>(64 + ((x / 6 + y / 4) & 127));
}

// A tile set: cells of 42 x 48 with a border, a face background and a few
// coloured strokes and dots, in 16 colours.
uint8_t tileset_pixel(int x, int y) {
    int cx = x % 42, cy = y % 48, cell = x / 42 + 9 * (y / 48);
    if (cx < 2 || cy < 2 || cx > 39 || cy > 45) {
        return 0;
    }
    int dx = cx - 21, dy = cy - 24;
    if (dx * dx + dy * dy < 40 + cell % 5 * 20) {
        return static_cast<uint8_t>(1 + cell % 14);
    }
    if ((cy + cell) % 9 < 2 && cx > 8 && cx < 34) {
        return static_cast<uint8_t>(14 - cell % 7);
    }
    return 15;
}

Bytes make_8bit(int width, int height) {
    Bytes out = header(8, 1, width, height, width);
    Bytes line(width);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            line[x] = background_pixel(x, y);
        }
        encode_line(line, out);
    }
    out.push_back(12);
    for (int i = 0; i < 256; ++i) {
        out.insert(out.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                               static_cast<uint8_t>(i * 5)});
    }
    return out;
}

Bytes make_planar(int width, int height, int planes) {
    int bytes_per_line = (width + 15) / 16 * 2; // even, as writers make it
    Bytes out = header(1, planes, width, height, bytes_per_line);
    for (int y = 0; y < height; ++y) {
        Bytes line(static_cast<size_t>(bytes_per_line) * planes, 0);
        for (int x = 0; x < width; ++x) {
            uint8_t index = tileset_pixel(x, y);
            for (int p = 0; p < planes; ++p) {
                if ((index >> p) & 1) {
                    line[p * bytes_per_line + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                }
            }
        }
        encode_line(line, out);
    }
    return out;
}

BenchFile write_picture(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(f);
    return {path, static_cast<int64_t>(bytes.size())};
}

void load_with_pcx(benchmark::State& state, const BenchFile& file) {
    IndexedImage image{};
    for (auto _ : state) {
        if (pcx_load(file.path.c_str(), &image) != PCX_OK) {
            state.SkipWithError("pcx_load failed");
            break;
        }
        benchmark::DoNotOptimize(image.pixels[image.width * image.height - 1]);
        image_free(&image);
    }
    state.SetBytesProcessed(state.iterations() * file.size);
}

void BM_pcx_8bit_640x400(benchmark::State& state) {
    load_with_pcx(state, picture_8bit);
}
BENCHMARK(BM_pcx_8bit_640x400);

void BM_pcx_16colour_376x240(benchmark::State& state) {
    load_with_pcx(state, picture_16colour);
}
BENCHMARK(BM_pcx_16colour_376x240);

// Pictures cut off early: every missing byte decodes as 0xFF.
void BM_pcx_8bit_640x400_cut_after_2k(benchmark::State& state) {
    load_with_pcx(state, picture_cut);
}
BENCHMARK(BM_pcx_8bit_640x400_cut_after_2k)->Unit(benchmark::kMillisecond);

void BM_pcx_header_only_8192x8192_255_planes(benchmark::State& state) {
    load_with_pcx(state, picture_hostile);
}
BENCHMARK(BM_pcx_header_only_8192x8192_255_planes)->Unit(benchmark::kMillisecond);

#ifdef MAHJONG_HAVE_SDL_IMAGE
void load_with_sdl_image(benchmark::State& state, const BenchFile& file) {
    for (auto _ : state) {
        SDL_Surface* surface = IMG_Load(file.path.c_str());
        if (surface == nullptr) {
            state.SkipWithError(IMG_GetError());
            break;
        }
        benchmark::DoNotOptimize(surface->pixels);
        SDL_FreeSurface(surface);
    }
    state.SetBytesProcessed(state.iterations() * file.size);
}

void BM_sdl_image_8bit_640x400(benchmark::State& state) {
    load_with_sdl_image(state, picture_8bit);
}
BENCHMARK(BM_sdl_image_8bit_640x400);

void BM_sdl_image_16colour_376x240(benchmark::State& state) {
    load_with_sdl_image(state, picture_16colour);
}
BENCHMARK(BM_sdl_image_16colour_376x240);
#endif

} // namespace

int main(int argc, char** argv) {
    char dir_template[] = "/tmp/bench-pcx-XXXXXX";
    if (mkdtemp(dir_template) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    std::string dir = dir_template;
    picture_8bit = write_picture(dir + "/background.pcx", make_8bit(640, 400));
    picture_16colour = write_picture(dir + "/tiles.pcx", make_planar(376, 240, 4));
    Bytes cut = make_8bit(640, 400);
    cut.resize(PCX_HEADER_SIZE + 2048);
    picture_cut = write_picture(dir + "/cut.pcx", cut);
    picture_hostile = write_picture(dir + "/hostile.pcx", header(1, 255, 8192, 8192, 65535));
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    display_open(640, 400);
    benchmark::Initialize(&argc, argv);
    benchmark::AddCustomContext("8-bit file bytes", std::to_string(picture_8bit.size));
    benchmark::AddCustomContext("16-colour file bytes", std::to_string(picture_16colour.size));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    display_close();
    std::filesystem::remove_all(dir);
    return 0;
}
