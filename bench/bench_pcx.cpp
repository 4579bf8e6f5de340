// Decoding speed of the PCX loader, in megabytes of file per second, beside SDL_image's.
#include "image/pcx.hpp"
#include "platform/display.hpp"
#include "support.hpp"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#ifdef MAHJONG_HAVE_SDL_IMAGE
#include <SDL_image.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

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

template <class Pixel> Bytes indices(int width, int height, Pixel pixel) {
    Bytes out;
    for (int i = 0; i < width * height; ++i) {
        out.push_back(pixel(i % width, i / width));
    }
    return out;
}

std::vector<Rgb> palette(int count) {
    std::vector<Rgb> colours;
    for (int i = 0; i < count; ++i) {
        colours.push_back({uint8_t(i * 17), uint8_t(255 - i), uint8_t(i * 5)});
    }
    return colours;
}

// The pictures timed, written into a temporary directory by main.
struct BenchFile {
    const char* name;
    Bytes bytes;
    bool whole; // false: cut off early, which SDL_image refuses
    std::string path;
};

std::vector<BenchFile> make_files() {
    Bytes background = pcx_8bit(640, 400, indices(640, 400, background_pixel), palette(256));
    Bytes cut(background.begin(), background.begin() + 128 + 2048);
    // The shipped 16-colour tile set: 1 bit per pixel in 4 planes.
    std::ifstream shipped(MAHJONG_DATA_DIR "/tiles2.pcx", std::ios::binary);
    Bytes tileset((std::istreambuf_iterator<char>(shipped)), std::istreambuf_iterator<char>());
    return {
        {"8bit_640x400", background, true, ""},
        {"16colour_378x240_shipped", tileset, true, ""},
        // Cut off early: every missing byte decodes as 0xFF.
        {"8bit_640x400_cut_after_2k", cut, false, ""},
        {"header_only_8192x8192_255_planes", pcx_header(1, 255, 8192, 8192, 65535), false, ""},
    };
}

void load_with_pcx(benchmark::State& state, const BenchFile* file) {
    IndexedImage image{};
    for (auto _ : state) {
        if (pcx_load(file->path.c_str(), &image) != PCX_OK) {
            state.SkipWithError("pcx_load failed");
            break;
        }
        benchmark::DoNotOptimize(image.pixels[image.width * image.height - 1]);
        image_free(&image);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file->bytes.size()));
}

#ifdef MAHJONG_HAVE_SDL_IMAGE
void load_with_sdl_image(benchmark::State& state, const BenchFile* file) {
    for (auto _ : state) {
        SDL_Surface* surface = IMG_Load(file->path.c_str());
        if (surface == nullptr) {
            state.SkipWithError(IMG_GetError());
            break;
        }
        benchmark::DoNotOptimize(surface->pixels);
        SDL_FreeSurface(surface);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file->bytes.size()));
}
#endif

} // namespace

int main(int argc, char** argv) {
    char dir_template[] = "/tmp/bench-pcx-XXXXXX";
    if (mkdtemp(dir_template) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    std::string dir = dir_template;
    std::vector<BenchFile> files = make_files();
    for (BenchFile& file : files) {
        file.path = dir + "/" + file.name + ".pcx";
        write_file(file.path, file.bytes);
        benchmark::RegisterBenchmark((std::string("pcx_") + file.name).c_str(), load_with_pcx,
                                     &file)
            ->Unit(benchmark::kMicrosecond);
    }
#ifdef MAHJONG_HAVE_SDL_IMAGE
    for (const BenchFile& file : files) {
        if (file.whole) {
            benchmark::RegisterBenchmark((std::string("sdl_image_") + file.name).c_str(),
                                         load_with_sdl_image, &file)
                ->Unit(benchmark::kMicrosecond);
        }
    }
#endif
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    display_open(640, 400);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    display_close();
    std::filesystem::remove_all(dir);
    return 0;
}
