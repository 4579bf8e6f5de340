// Helpers shared by the tests: a display under SDL's dummy driver, a scratch
// directory, and writers of PCX files built byte by byte.
#include "support.hpp"

#include "platform/display.hpp"

#include <SDL.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

void open_test_display() {
    if (display.screen != nullptr) {
        return;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    display_open(640, 400);
    std::atexit(display_close);
}

uint16_t test_pixel(int red, int green, int blue) {
    return static_cast<uint16_t>(SDL_MapRGB(display.screen->format, red, green, blue));
}

ScratchDir::ScratchDir() {
    char templ[] = "/tmp/mahjong-test-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = templ;
    previous_ = std::filesystem::current_path().string();
    std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
}

namespace {

void put16(std::vector<uint8_t>& out, size_t at, int value) {
    out[at] = static_cast<uint8_t>(value & 255);
    out[at + 1] = static_cast<uint8_t>((value >> 8) & 255);
}

} // namespace

std::vector<uint8_t> pcx_header(int bits, int planes, int width, int height, int bytes_per_line,
                                const std::vector<Rgb>& palette16) {
    std::vector<uint8_t> h(128, 0);
    h[0] = 10;
    h[1] = 5;
    h[2] = 1;
    h[3] = static_cast<uint8_t>(bits);
    put16(h, 8, width - 1);
    put16(h, 10, height - 1);
    put16(h, 12, 72);
    put16(h, 14, 72);
    for (size_t i = 0; i < palette16.size() && i < 16; ++i) {
        h[16 + 3 * i] = palette16[i].red;
        h[17 + 3 * i] = palette16[i].green;
        h[18 + 3 * i] = palette16[i].blue;
    }
    h[65] = static_cast<uint8_t>(planes);
    put16(h, 66, bytes_per_line);
    put16(h, 68, 1);
    return h;
}

std::vector<uint8_t> pcx_encode_line(const std::vector<uint8_t>& line) {
    std::vector<uint8_t> out;
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
    return out;
}

std::vector<uint8_t> pcx_8bit(int width, int height, const std::vector<uint8_t>& indices,
                              const std::vector<Rgb>& palette, int bytes_per_line) {
    if (bytes_per_line == 0) {
        bytes_per_line = width + (width & 1);
    }
    std::vector<uint8_t> out = pcx_header(8, 1, width, height, bytes_per_line);
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> line(bytes_per_line, 0);
        for (int x = 0; x < width && x < bytes_per_line; ++x) {
            line[x] = indices[y * width + x];
        }
        std::vector<uint8_t> encoded = pcx_encode_line(line);
        out.insert(out.end(), encoded.begin(), encoded.end());
    }
    out.push_back(12);
    for (int i = 0; i < 256; ++i) {
        Rgb c = i < static_cast<int>(palette.size()) ? palette[i] : Rgb{0, 0, 0};
        out.push_back(c.red);
        out.push_back(c.green);
        out.push_back(c.blue);
    }
    return out;
}

std::vector<uint8_t> pcx_planar(int width, int height, int planes,
                                const std::vector<uint8_t>& indices,
                                const std::vector<Rgb>& palette16) {
    int bytes_per_line = (width + 7) / 8;
    bytes_per_line += bytes_per_line & 1;
    std::vector<uint8_t> out = pcx_header(1, planes, width, height, bytes_per_line, palette16);
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> line(static_cast<size_t>(bytes_per_line) * planes, 0);
        for (int p = 0; p < planes; ++p) {
            for (int x = 0; x < width; ++x) {
                if ((indices[y * width + x] >> p) & 1) {
                    line[p * bytes_per_line + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
                }
            }
        }
        std::vector<uint8_t> encoded = pcx_encode_line(line);
        out.insert(out.end(), encoded.begin(), encoded.end());
    }
    return out;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    if (!bytes.empty()) { // an empty vector's data() may be null, which fwrite must not get
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    }
    std::fclose(f);
}

namespace {

std::string read_all(int fd) {
    std::string text;
    char chunk[4096];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

} // namespace

int fork_with_pipes(int* out_fd, int* err_fd) {
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::fflush(nullptr);
    int pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        close(out_pipe[0]);
        close(err_pipe[0]);
        close(out_pipe[1]);
        close(err_pipe[1]);
        return 0;
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    *out_fd = out_pipe[0];
    *err_fd = err_pipe[0];
    return pid;
}

ChildResult collect_child(int pid, int out_fd, int err_fd) {
    // Output is small, so reading one pipe to its end before the other cannot stall.
    ChildResult result{-1, read_all(out_fd), read_all(err_fd)};
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) {
        result.exit_status = WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        result.end_signal = WTERMSIG(status);
    }
    return result;
}

namespace {

void stop_child(int pid, int after_ms) {
    usleep(static_cast<useconds_t>(after_ms) * 1000);
    kill(pid, SIGTERM);
    for (int wait = 0; wait < 50; ++wait) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid) {
            return;
        }
        usleep(100000);
    }
    kill(pid, SIGKILL);
}

} // namespace

ChildResult run_program(const std::string& dir, const std::vector<std::string>& argv,
                        const std::vector<std::string>& environment, int stop_after_ms) {
    int out_fd = -1, err_fd = -1;
    int pid = fork_with_pipes(&out_fd, &err_fd);
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) {
            std::_Exit(126);
        }
        for (const std::string& entry : environment) {
            putenv(const_cast<char*>(entry.c_str()));
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        std::_Exit(127);
    }
    if (stop_after_ms >= 0) {
        stop_child(pid, stop_after_ms);
    }
    return collect_child(pid, out_fd, err_fd);
}

Rgb face_colour(int face) {
    auto level = [](int step) { return static_cast<uint8_t>(40 + 60 * step); };
    return {level(face % 4), level((face / 4) % 4), level(face / 16)};
}

std::vector<uint8_t> face_tileset_pcx(int lift) {
    constexpr int width = 378, height = 240;
    std::vector<uint8_t> indices(width * height, 0);
    for (int face = 0; face < 45; ++face) {
        int left = (face % 9) * 42, top = (face / 9) * 48;
        for (int y = top; y < top + 46; ++y) {
            for (int x = left; x < left + 40; ++x) {
                indices[y * width + x] = static_cast<uint8_t>(face + 1);
            }
        }
    }
    std::vector<Rgb> palette(256, Rgb{0, 0, 0});
    for (int face = 0; face < 45; ++face) {
        Rgb c = face_colour(face);
        palette[face + 1] = {static_cast<uint8_t>(c.red + lift),
                             static_cast<uint8_t>(c.green + lift),
                             static_cast<uint8_t>(c.blue + lift)};
    }
    return pcx_8bit(width, height, indices, palette);
}
