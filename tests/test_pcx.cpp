// Tests of the byte reader and the PCX decoder, on files written byte by byte.
#include "image/pcx.hpp"

#include "support.hpp"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>

// A failed allocation must come back as null here too, not end the program.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes bytes, const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return bytes;
}

int open_descriptors() {
    using std::filesystem::directory_iterator;
    return static_cast<int>(std::distance(directory_iterator("/proc/self/fd"), {}));
}

class Pcx : public testing::Test {
  protected:
    void SetUp() override { open_test_display(); }
    void TearDown() override {
        image_free(&image);
        EXPECT_EQ(image.pixels, nullptr);
    }

    // Loads file, or without a path written as picture.pcx, into a record full
    // of garbage; a failure must leave it cleared.
    int load(const Bytes& file, const char* path = nullptr) {
        if (path == nullptr) {
            path = "picture.pcx";
            write_file(path, file);
        }
        image_free(&image);
        std::memset(&image, 0xA5, sizeof image);
        image.pixels = nullptr;
        int code = pcx_load(path, &image);
        IndexedImage cleared{};
        EXPECT_TRUE(code == PCX_OK || std::memcmp(&image, &cleared, sizeof image) == 0) << code;
        return code;
    }
    Bytes pixels() const { return {image.pixels, image.pixels + image.width * image.height}; }
    // Entries past the list are 0.
    void expect_palette(const std::vector<Rgb>& list) {
        for (size_t i = 0; i < 256; ++i) {
            uint32_t want =
                i < list.size() ? test_pixel(list[i].red, list[i].green, list[i].blue) : 0;
            ASSERT_EQ(image.palette[i], want) << "entry " << i;
        }
    }
    // The first count of 256 colours whose components all differ in the screen format.
    static std::vector<Rgb> colours(int count) {
        std::vector<Rgb> out;
        for (int i = 0; i < count; ++i) {
            out.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
        }
        return out;
    }

    ScratchDir scratch;
    IndexedImage image{};
};

TEST_F(Pcx, EachOutcomeHasItsCodeAndNoFileStaysOpen) {
    Bytes good = pcx_8bit(4, 2, Bytes(8, 3), {});
    auto with = [&](size_t at, uint8_t value) {
        Bytes bytes = good;
        bytes[at] = value;
        return bytes;
    };
    struct Case {
        Bytes file;
        int code;
        const char* path = nullptr;
    };
    const Case cases[] = {
        {good, PCX_OK},
        {{}, PCX_ERR_OPEN, "missing.pcx"},
        {{}, PCX_ERR_OPEN, "."},
        {{}, PCX_ERR_OPEN, "pipe.pcx"}, // at once, without waiting for a writer
        {{}, PCX_ERR_MANUFACTURER},
        {with(1, 3), PCX_ERR_VERSION},
        {with(2, 0), PCX_ERR_ENCODING},
        {with(3, 4), PCX_ERR_DEPTH},
        {with(3, 2), PCX_ERR_DEPTH},
        {Bytes(good.begin(), good.begin() + 3), PCX_ERR_DEPTH}, // cut in the header
        {with(65, 3), PCX_ERR_PLANES},
        {with(4, 4), PCX_ERR_WINDOW},  // xmin 4, xmax 3: width 0
        {with(6, 10), PCX_ERR_WINDOW}, // ymin 10, ymax 1: height -8
        {pcx_header(8, 1, 65536, 65536, 65535), PCX_ERR_TOO_LARGE},
        {pcx_header(8, 1, 8193, 8192, 1), PCX_ERR_TOO_LARGE},
    };
    ASSERT_EQ(mkfifo("pipe.pcx", 0600), 0);
    int before = open_descriptors();
    for (const Case& c : cases) {
        EXPECT_EQ(load(c.file, c.path), c.code) << "case " << &c - cases;
    }
    EXPECT_EQ(open_descriptors(), before);
}

TEST_F(Pcx, APictureThatCannotBeAllocatedIsCode8) {
    // 8192 x 8000 pixels from a header alone.
    write_file("big.pcx", pcx_header(8, 1, 8192, 8000, 1));
    ChildResult child = run_in_child([this] {
        rlim_t pages = 0; // the address space in use, plus 32 MB
        std::ifstream("/proc/self/statm") >> pages;
        rlimit limit{pages * sysconf(_SC_PAGESIZE) + (32 << 20), RLIM_INFINITY};
        setrlimit(RLIMIT_AS, &limit);
        std::printf("%d", load({}, "big.pcx"));
    });
    EXPECT_EQ(child.out, "8") << child.err;
}

TEST_F(Pcx, RandomPicturesDecodeToWhatWasWritten) {
    unsigned seed = std::random_device{}();
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    auto random_indices = [&](int count, int colour_count) { // in short runs
        Bytes indices(count, static_cast<uint8_t>(rng() % colour_count));
        for (int i = 1; i < count; ++i) {
            indices[i] =
                rng() % 3 == 0 ? static_cast<uint8_t>(rng() % colour_count) : indices[i - 1];
        }
        return indices;
    };
    for (int round = 0; round < 20; ++round) {
        int width = 1 + static_cast<int>(rng() % 70), height = 1 + static_cast<int>(rng() % 12);
        // 8-bit with 1 to 3 bytes per line past the width, the palette marker in every other.
        Bytes indices = random_indices(width * height, 256);
        Bytes file = pcx_8bit(width, height, indices, colours(256), width + 1 + round % 3);
        file.erase(file.end() - 769, file.end() - 769 + round % 2);
        ASSERT_EQ(load(file), PCX_OK);
        EXPECT_EQ(pixels(), indices);
        expect_palette(colours(256));
        // 1 to 4 planes (monochrome to 16 colours) with the header's palette.
        int planes = 1 + round % 4;
        indices = random_indices(width * height, 1 << planes);
        ASSERT_EQ(load(pcx_planar(width, height, planes, indices, colours(16))), PCX_OK);
        EXPECT_EQ(pixels(), indices);
        expect_palette(colours(16));
    }
}

TEST_F(Pcx, RunsAndPaddingStopAtTheLineEnd) {
    Bytes file =
        pcx_header(8, 1, 4, 3, 4) + Bytes{0xC6, 7, // six 7s: the last two are dropped
                                          1,    0xC0, 9,    2,   0xC2, 3, // 0xC0 stores nothing
                                          0xC1, 0xC5, 0xC3, 0xFF};        // data above 0xBF
    ASSERT_EQ(load(file), PCX_OK);
    EXPECT_EQ(pixels(), (Bytes{7, 7, 7, 7, 1, 2, 3, 3, 0xC5, 0xFF, 0xFF, 0xFF}));
    // Monochrome, 5 wide: the bits past the width are set and ignored.
    file = pcx_header(1, 1, 5, 2, 2) + pcx_encode_line({0b10101111, 0xFF}) +
           pcx_encode_line({0b01110111, 0xFF});
    ASSERT_EQ(load(file), PCX_OK);
    EXPECT_EQ(pixels(), (Bytes{1, 0, 1, 0, 1, 0, 1, 1, 1, 0}));
}

TEST_F(Pcx, APictureCutOffEarlyLoadsWithEveryMissingByteReadAs0xFF) {
    struct Cut {
        int bits, planes, width, height, bytes_per_line;
        int data; // bytes of image data kept
        int lost; // bytes then cut from the end of the whole file
    };
    const Cut cuts[] = {
        {8, 1, 5, 4, 5, 0, 0},          // a header alone
        {8, 1, 5, 4, 6, 3, 0},          // cut in the first row (a pad byte per line)
        {8, 1, 5, 4, 6, 16, 0},         // mid-picture
        {8, 1, 6, 3, 4, 7, 0},          // columns past the line data stay 0
        {8, 1, 5, 4, 5, 99, 1},         // cut in the palette: its last 768 bytes
        {8, 1, 5, 4, 5, 99, 700},       // all of it gone
        {8, 1, 640, 400, 640, 2048, 0}, // a background cut after 2 KB
        {1, 4, 376, 240, 48, 100, 0},   // a tile set cut after 100 bytes
        {1, 1, 5, 3, 1, 1, 0},          // planar: the bits of the planes present
        {1, 3, 12, 3, 2, 7, 0},         //
        {1, 2, 20, 2, 2, 5, 0},         // columns past the line data stay 0
        {1, 10, 8, 2, 1, 3, 0},         // planes from the ninth on set no bit
    };
    Bytes version = pcx_8bit(2, 2, {5, 6, 7, 8}, colours(256)), palette = version;
    version[1] = 4;
    palette.erase(palette.begin(), palette.end() - 769); // the marker and 256 colours
    for (const Cut& c : cuts) {
        // Line bytes of every value, each written alone (a run of one above 0xBF).
        size_t length = size_t(c.bytes_per_line) * c.planes * c.height, kept = 0;
        Bytes stream(length),
            file = pcx_header(c.bits, c.planes, c.width, c.height, c.bytes_per_line, colours(16));
        size_t end = file.size() + size_t(c.data);
        for (size_t i = 0; i < length; ++i) {
            stream[i] = uint8_t(i * 37 + i / 7);
            if (stream[i] > 0xBF) {
                file.push_back(0xC1);
            }
            file.push_back(stream[i]);
            kept += file.size() <= end;
        }
        file.resize(std::min(file.size(), end));
        file = (c.bits == 8 && kept == length ? file + palette : file); // when the data is whole
        file.resize(file.size() - c.lost);
        // The model: pixel by pixel from the line bytes, each 0xFF past the cut.
        auto line_byte = [&](int y, int p, int i) {
            size_t at = (size_t(y) * c.planes + p) * c.bytes_per_line + i;
            return at < kept ? stream[at] : uint8_t{0xFF};
        };
        Bytes want(size_t(c.width) * c.height, 0);
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                uint8_t& pixel = want[size_t(y) * c.width + x];
                if (c.bits == 8 && x < c.bytes_per_line) {
                    pixel = line_byte(y, 0, x);
                }
                for (int p = 0;
                     c.bits == 1 && p < std::min(c.planes, 8) && x / 8 < c.bytes_per_line; ++p) {
                    pixel = uint8_t(pixel | ((line_byte(y, p, x / 8) >> (7 - x % 8)) & 1) << p);
                }
            }
        }
        ASSERT_EQ(load(version), PCX_ERR_VERSION); // leaves bytes in the reader
        ASSERT_EQ(load(file), PCX_OK) << "cut " << &c - cuts;
        EXPECT_EQ(pixels(), want) << "cut " << &c - cuts;
        // The palette is found by its distance from the end: 255 where the file is too short.
        std::vector<Rgb> triples(256, Rgb{255, 255, 255});
        if (file.size() >= 768) {
            std::memcpy(triples.data(), &file[file.size() - 768], 768);
        }
        expect_palette(c.bits == 8 ? triples : colours(16));
    }
    // A header alone claiming the largest picture, in 255 planes of 65,535 bytes a line.
    ASSERT_EQ(load(pcx_header(1, 255, 8192, 8192, 65535)), PCX_OK);
    EXPECT_EQ(std::count(image.pixels, image.pixels + 8192 * 8192, 255), 8192 * 8192);
}

TEST_F(Pcx, All255PlanesAreReadAndThoseFromTheNinthOnSetNoBit) {
    // 255 planes of 16 bytes, a 4080-byte line.
    Bytes file = pcx_header(1, 255, 128, 2, 16);
    for (int n = 0; n < 2 * 255; ++n) {
        int p = n % 255;
        file = file + pcx_encode_line(Bytes(16, p >= 8 || p % 2 == 1 ? 0xFF : 0));
    }
    ASSERT_EQ(load(file), PCX_OK);
    EXPECT_EQ(pixels(), Bytes(256, 0b10101010));
}

} // namespace
