// Helpers shared by the tests: a display under SDL's dummy driver, a scratch
// directory, and writers of PCX files built byte by byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Opens the 640 x 400 display once per test program (SDL_VIDEODRIVER=dummy
// is set by CTest; set here too when unset).
void open_test_display();

// The screen's pixel value for a colour, as SDL maps it.
uint16_t test_pixel(int red, int green, int blue);

// A fresh directory under /tmp that becomes the working directory for the
// object's lifetime; removed afterwards with everything in it.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string previous_;
};

struct Rgb {
    uint8_t red, green, blue;
};

// A 128-byte version 5 header. bits 8 or 1; bytes_per_line per plane.
// palette16 (up to 16 entries) goes into the header palette.
std::vector<uint8_t> pcx_header(int bits, int planes, int width, int height, int bytes_per_line,
                                const std::vector<Rgb>& palette16 = {});

// Run-length encodes one scan line (runs never cross its end).
std::vector<uint8_t> pcx_encode_line(const std::vector<uint8_t>& line);

// A complete 8-bit picture: header, encoded rows (width bytes each, padded to
// bytes_per_line with 0), marker 12 and the 256-colour palette.
std::vector<uint8_t> pcx_8bit(int width, int height, const std::vector<uint8_t>& indices,
                              const std::vector<Rgb>& palette, int bytes_per_line = 0);

// A complete 1-bit planar picture with planes planes (colour index bit p in plane p).
std::vector<uint8_t> pcx_planar(int width, int height, int planes,
                                const std::vector<uint8_t>& indices,
                                const std::vector<Rgb>& palette16);

void write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// What a child process printed and how it ended.
struct ChildResult {
    int exit_status; // the status passed to exit, or -1 when it did not exit normally
    std::string out;
    std::string err;
    int end_signal = 0; // the signal that ended it, if one did
};

// Runs body in a forked child with its standard output and error captured;
// the child exits 0 when body returns.
template <typename Body> ChildResult run_in_child(Body body);

// Runs a program with arguments in a child, in directory dir, with extra
// environment entries ("NAME=value"), and collects what it printed.
// With stop_after_ms, the program is sent SIGTERM after that time, and
// SIGKILL if it is still running 5 seconds later.
ChildResult run_program(const std::string& dir, const std::vector<std::string>& argv,
                        const std::vector<std::string>& environment, int stop_after_ms = -1);

// The two halves of run_in_child: fork with the child's output going to
// pipes (0 in the child), then read the pipes and wait for the child.
int fork_with_pipes(int* out_fd, int* err_fd);
ChildResult collect_child(int pid, int out_fd, int err_fd);

template <typename Body> ChildResult run_in_child(Body body) {
    int out_fd = -1, err_fd = -1;
    int pid = fork_with_pipes(&out_fd, &err_fd);
    if (pid == 0) {
        body();
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return collect_child(pid, out_fd, err_fd);
}

// A distinct, well separated colour for each face 0..43 (components 40, 100,
// 160 or 220), so every pixel of a face says which face it came from.
Rgb face_colour(int face);

// A 378 x 240 8-bit tile set: the 40 x 46 face of cell f is colour index f + 1
// (face_colour(f), each component raised by lift); the unseen 2-pixel strips of
// each cell are index 0, black.
std::vector<uint8_t> face_tileset_pcx(int lift = 0);
