// libFuzzer target for the PCX decoder: each input is written to a file and loaded.
#include "image/pcx.hpp"
#include "platform/display.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// This process's scratch file; named once by LLVMFuzzerInitialize.
std::string input_path;

void write_input(const uint8_t* data, size_t size) {
    int fd = open(input_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::abort();
    }
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written <= 0) {
            std::abort();
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    close(fd);
}

// What every load promises: a cleared record on failure, a whole picture on
// success (every pixel is read, so a short buffer is caught by the sanitizer).
void check_record(int code, const IndexedImage& image) {
    if (code != PCX_OK) {
        IndexedImage cleared{};
        if (std::memcmp(&image, &cleared, sizeof image) != 0) {
            std::abort();
        }
        return;
    }
    int64_t count = int64_t{image.width} * image.height;
    if (image.pixels == nullptr || image.width <= 0 || image.height <= 0 ||
        count > PCX_MAX_PIXELS) {
        std::abort();
    }
    unsigned sum = 0;
    for (int64_t i = 0; i < count; ++i) {
        sum += image.pixels[i];
    }
    volatile unsigned sink = sum;
    (void)sink;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    display_open(640, 400);
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    input_path = std::string(dir) + "/fuzz_pcx." + std::to_string(getpid()) + ".pcx";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    write_input(data, size);
    IndexedImage image;
    int code = pcx_load(input_path.c_str(), &image);
    check_record(code, image);
    image_free(&image); // a picture left unfreed would show as a leak
    unlink(input_path.c_str());
    return 0;
}
