// Helpers shared by the tests: a display under SDL's dummy driver, a scratch
// directory, PCX files built byte by byte, and child processes.
#include "support.hpp"

#include "platform/display.hpp"

#include <SDL.h>
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

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

std::vector<uint8_t> pcx_header(int bits, int planes, int width, int height, int bytes_per_line,
                                const std::vector<Rgb>& palette16) {
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
    static_assert(sizeof(Rgb) == 3);
    auto* components = reinterpret_cast<const uint8_t*>(palette16.data()); // may be null
    std::copy_n(components, 3 * std::min<size_t>(palette16.size(), 16), &h[16]);
    return h;
}

std::vector<uint8_t> pcx_encode_line(const std::vector<uint8_t>& line) {
    std::vector<uint8_t> out;
    for (size_t i = 0, run = 1; i < line.size(); i += run, run = 1) {
        while (i + run < line.size() && line[i + run] == line[i] && run < 63) {
            ++run;
        }
        if (run > 1 || line[i] >= 0xC0) {
            out.push_back(static_cast<uint8_t>(0xC0 | run));
        }
        out.push_back(line[i]);
    }
    return out;
}

namespace {

// Encodes the rows of a picture, each given by line(y), after header.
template <class Line>
std::vector<uint8_t> encode_rows(std::vector<uint8_t> out, int height, Line line) {
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> encoded = pcx_encode_line(line(y));
        out.insert(out.end(), encoded.begin(), encoded.end());
    }
    return out;
}

} // namespace

std::vector<uint8_t> pcx_8bit(int width, int height, const std::vector<uint8_t>& indices,
                              const std::vector<Rgb>& palette, int bytes_per_line) {
    int line_bytes = bytes_per_line != 0 ? bytes_per_line : width + (width & 1);
    std::vector<uint8_t> out =
        encode_rows(pcx_header(8, 1, width, height, line_bytes), height, [&](int y) {
            std::vector<uint8_t> line(line_bytes, 0);
            std::copy_n(indices.begin() + y * width, std::min(width, line_bytes), line.begin());
            return line;
        });
    std::vector<Rgb> colours = palette;
    colours.resize(256, Rgb{0, 0, 0});
    out.push_back(12);
    auto* components = reinterpret_cast<const uint8_t*>(colours.data());
    out.insert(out.end(), components, components + 768);
    return out;
}

std::vector<uint8_t> pcx_planar(int width, int height, int planes,
                                const std::vector<uint8_t>& indices,
                                const std::vector<Rgb>& palette16) {
    int line_bytes = (width + 15) / 16 * 2;
    std::vector<uint8_t> header = pcx_header(1, planes, width, height, line_bytes, palette16);
    return encode_rows(header, height, [&](int y) {
        std::vector<uint8_t> line(static_cast<size_t>(line_bytes) * planes, 0);
        for (int p = 0; p < planes; ++p) {
            for (int x = 0; x < width; ++x) {
                int bit = (indices[y * width + x] >> p) & 1;
                line[p * line_bytes + x / 8] |= static_cast<uint8_t>(bit << (7 - x % 8));
            }
        }
        return line;
    });
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

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
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    *out_fd = out_pipe[0];
    *err_fd = err_pipe[0];
    return pid;
}

ChildResult collect_child(int pid, int out_fd, int err_fd) {
    ChildResult result{-1, "", ""};
    // Output is small, so reading one pipe to its end before the other cannot stall.
    for (auto [fd, text] : {std::pair{out_fd, &result.out}, std::pair{err_fd, &result.err}}) {
        char chunk[4096];
        for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
            text->append(chunk, static_cast<size_t>(n));
        }
        close(fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.end_signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

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
        usleep(static_cast<useconds_t>(stop_after_ms) * 1000);
        kill(pid, SIGTERM);
        // Up to 5 seconds to end (left unreaped for collect_child), then SIGKILL.
        siginfo_t info{};
        for (int wait = 0; wait < 50 && info.si_pid != pid; ++wait) {
            waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
            usleep(info.si_pid == pid ? 0 : 100000);
        }
        if (info.si_pid != pid) {
            kill(pid, SIGKILL);
        }
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
    std::vector<Rgb> palette(256, Rgb{0, 0, 0});
    for (int face = 0; face < 45; ++face) {
        for (int y = 0; y < 46; ++y) {
            std::fill_n(indices.begin() + (face / 9 * 48 + y) * width + face % 9 * 42, 40,
                        face + 1);
        }
        Rgb c = face_colour(face);
        palette[face + 1] = {static_cast<uint8_t>(c.red + lift),
                             static_cast<uint8_t>(c.green + lift),
                             static_cast<uint8_t>(c.blue + lift)};
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
