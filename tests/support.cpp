// Helpers shared by the tests: a display under SDL's dummy driver, a scratch
// directory, PCX files built byte by byte, child processes, seeds and checksums.
#include "support.hpp"

#include "platform/display.hpp"

#include <SDL.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Under the sanitizers too, a failed allocation must come back as null, not end the program.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

void open_test_display() {
    if (display.screen == nullptr) {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        display_open(640, 400);
        std::atexit(display_close);
    }
}

uint16_t test_pixel(int red, int green, int blue) {
    return static_cast<uint16_t>(SDL_MapRGB(display.screen->format, red, green, blue));
}

ScratchDir::ScratchDir() : previous(std::filesystem::current_path()) {
    char name[] = "/tmp/mahjong-test-XXXXXX";
    if (mkdtemp(name) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    std::filesystem::current_path(path = name);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous, ignored);
    std::filesystem::remove_all(path, ignored);
}

std::vector<uint8_t> pcx_header(int bits, int planes, int width, int height, int bytes_per_line) {
    std::vector<uint8_t> h{10, 5, 1, static_cast<uint8_t>(bits)};
    h.resize(128);
    // Two-byte fields, low byte first: xmax, ymax, resolutions, bytes per line, palette type.
    const std::pair<int, int> fields[] = {{8, width - 1}, {10, height - 1},     {12, 72},
                                          {14, 72},       {66, bytes_per_line}, {68, 1}};
    for (auto [at, value] : fields) {
        h[at] = static_cast<uint8_t>(value & 255);
        h[at + 1] = static_cast<uint8_t>((value >> 8) & 255);
    }
    h[65] = static_cast<uint8_t>(planes);
    return h;
}

std::vector<uint8_t> pcx_8bit(int width, int height, const std::vector<uint8_t>& indices,
                              const std::vector<Rgb>& palette) {
    const int line_bytes = width + (width & 1);
    std::vector<uint8_t> out = pcx_header(8, 1, width, height, line_bytes);
    for (int y = 0; y < height; ++y) { // runs of up to 63 equal bytes, never past a row's end
        std::vector<uint8_t> line(line_bytes, 0);
        std::copy_n(indices.begin() + y * width, width, line.begin());
        for (int i = 0, run = 1; i < line_bytes; i += run, run = 1) {
            while (i + run < line_bytes && line[i + run] == line[i] && run < 63) {
                ++run;
            }
            if (run > 1 || line[i] >= 0xC0) {
                out.push_back(static_cast<uint8_t>(0xC0 | run));
            }
            out.push_back(line[i]);
        }
    }
    out.push_back(12);
    for (size_t i = 0; i < 256; ++i) {
        Rgb c = i < palette.size() ? palette[i] : Rgb{0, 0, 0};
        out.insert(out.end(), {c.red, c.green, c.blue});
    }
    return out;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    if (!file.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<std::streamsize>(bytes.size()))) {
        throw std::runtime_error("cannot write " + path);
    }
}

ChildResult run_in_child(const std::function<void()>& body) {
    int out[2];
    if (pipe(out) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::fflush(nullptr);
    int pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        body();
        std::fflush(nullptr);
        std::_Exit(0);
    }
    close(out[1]);
    ChildResult result{-1, ""};
    char chunk[4096];
    for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;) {
        result.out.append(chunk, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void limit_data(size_t extra) {
    size_t pages[6] = {}; // the sixth field of statm: data and stack
    std::ifstream statm("/proc/self/statm");
    for (size_t& field : pages) {
        statm >> field;
    }
    rlimit limit{pages[5] * static_cast<size_t>(sysconf(_SC_PAGESIZE)) + extra, RLIM_INFINITY};
    setrlimit(RLIMIT_DATA, &limit);
}

std::vector<uint8_t> face_tileset_pcx(int lift) {
    constexpr int width = 378, height = 240;
    std::vector<uint8_t> indices(width * height, 0);
    std::vector<Rgb> palette(256, Rgb{0, 0, 0});
    for (int face = 0; face < 45; ++face) {
        for (int y = 0; y < 46; ++y) {
            std::fill_n(indices.begin() + (face / 9 * 48 + y) * width + face % 9 * 42, 40,
                        face + 1);
        }
        auto level = [lift](int step) { return static_cast<uint8_t>(40 + 60 * step + lift); };
        palette[face + 1] = {level(face % 4), level(face / 4 % 4), level(face / 16)};
    }
    return pcx_8bit(width, height, indices, palette);
}

uint32_t test_seed() {
    const char* fixed = std::getenv("MAHJONG_TEST_SEED");
    uint32_t seed = fixed != nullptr ? static_cast<uint32_t>(std::strtoul(fixed, nullptr, 10))
                                     : std::random_device{}();
    std::printf("seed %u (MAHJONG_TEST_SEED=%u replays it)\n", seed, seed);
    return seed;
}
