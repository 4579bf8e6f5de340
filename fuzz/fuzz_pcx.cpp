// libFuzzer target for the PCX decoder: each input is written to a file and loaded.
#include "image/pcx.hpp"
#include "platform/display.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// This process's scratch file; named once by LLVMFuzzerInitialize.
std::string input_path;

// What every load promises: a cleared record on failure, a whole picture on
// success (every pixel is read, so a short buffer is caught by the sanitizer).
bool kept_its_promise(int code, const IndexedImage& image) {
    if (code != PCX_OK) {
        const IndexedImage cleared{};
        return std::memcmp(&image, &cleared, sizeof image) == 0;
    }
    const int64_t count = int64_t{image.width} * image.height;
    volatile unsigned sum = 0;
    for (int64_t i = 0; image.pixels != nullptr && i < count; ++i) {
        sum = sum + image.pixels[i];
    }
    return image.pixels != nullptr && image.width > 0 && image.height > 0 &&
           count <= PCX_MAX_PIXELS;
}

// A header alone makes the decoder fill the pixels it claims: inputs claiming more
// than 512 x 512 pixels or lines over 16 KiB would spend the fuzzer's time on memory
// fills (the unit tests cover them). Header bytes past the end read as 0xFF.
bool claims_huge_picture(const uint8_t* data, size_t size) {
    auto byte = [&](size_t at) { return at < size ? int64_t{data[at]} : int64_t{0xFF}; };
    auto field = [&](size_t at) { return byte(at) | byte(at + 1) << 8; };
    int64_t width = field(8) - field(4) + 1;
    int64_t height = field(10) - field(6) + 1;
    bool huge = width > 0 && height > 0 && width * height > (int64_t{1} << 18) &&
                width * height <= PCX_MAX_PIXELS;
    return huge || field(66) * byte(65) > (int64_t{1} << 14);
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
    if (claims_huge_picture(data, size)) {
        return -1; // not added to the corpus
    }
    FILE* file = std::fopen(input_path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::abort();
    }
    IndexedImage image;
    if (!kept_its_promise(pcx_load(input_path.c_str(), &image), image)) {
        std::abort();
    }
    image_free(&image); // a picture left unfreed would show as a leak
    unlink(input_path.c_str());
    return 0;
}
