// Helpers shared by the tests: a display under SDL's dummy driver, a scratch
// directory, PCX files built byte by byte, child processes, seeds and checksums.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

// Opens the 640 x 400 display once per test program, under the dummy driver.
void open_test_display();
// The screen's pixel value for a colour, as SDL maps it.
uint16_t test_pixel(int red, int green, int blue);

// A fresh directory under /tmp, the working directory while the object lives, then removed.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    std::string path, previous;
};

struct Rgb {
    uint8_t red, green, blue;
};

// A 128-byte version 5 header, the header palette black; bytes_per_line is per plane.
std::vector<uint8_t> pcx_header(int bits, int planes, int width, int height, int bytes_per_line);
// An 8-bit picture: header, rows run-length encoded and padded with 0 to an even length,
// the marker 12 and 256 colours (missing ones black).
std::vector<uint8_t> pcx_8bit(int width, int height, const std::vector<uint8_t>& indices,
                              const std::vector<Rgb>& palette);
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// What a child process printed on standard output (its standard error is the
// test's) and the status it passed to exit, or -1 when it did not exit normally.
struct ChildResult {
    int exit_status;
    std::string out;
};

// Runs body in a forked child with its output captured; the child exits 0 when body returns.
ChildResult run_in_child(const std::function<void()>& body);

// Limits the process's data (heap and private mappings) to about what it uses
// now plus extra bytes, so that larger allocations fail.
void limit_data(size_t extra);

// A 378 x 240 8-bit tile set with the 40 x 46 face of cell f in index f + 1, in a distinct colour
// for each face (components 40, 100, 160 or 220) with each component raised by lift, black between.
std::vector<uint8_t> face_tileset_pcx(int lift = 0);

// The seed of a randomised test, printed: MAHJONG_TEST_SEED when set (to replay one), else fresh.
uint32_t test_seed();

// FNV-1a (32 bits) over values, each taken as 4 bytes, low byte first: the tests' pins.
template <typename Values> uint32_t fnv1a(const Values& values) {
    uint32_t hash = 2166136261u;
    for (auto value : values) {
        for (int i = 0; i < 32; i += 8) {
            hash = (hash ^ ((static_cast<uint32_t>(value) >> i) & 255)) * 16777619u;
        }
    }
    return hash;
}
