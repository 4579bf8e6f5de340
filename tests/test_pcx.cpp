// Tests of the byte reader and the PCX decoder, on files written byte by byte.
#include "image/pcx.hpp"

#include "support.hpp"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

void set16(Bytes& bytes, size_t at, int value) {
    bytes[at] = static_cast<uint8_t>(value & 255);
    bytes[at + 1] = static_cast<uint8_t>((value >> 8) & 255);
}

void append(Bytes& bytes, const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
}

// Entry i is (i, 255 - i, i / 2).
std::vector<Rgb> tail_colours() {
    std::vector<Rgb> colours;
    for (int i = 0; i < 256; ++i) {
        colours.push_back(
            {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2)});
    }
    return colours;
}

// The marker 12, then tail_colours() as the file's last 768 bytes.
Bytes palette_tail() {
    Bytes tail{12};
    for (const Rgb& colour : tail_colours()) {
        append(tail, {colour.red, colour.green, colour.blue});
    }
    return tail;
}

std::vector<Rgb> sixteen_colours() {
    std::vector<Rgb> colours;
    for (int i = 0; i < 16; ++i) {
        colours.push_back({static_cast<uint8_t>(16 * i), static_cast<uint8_t>(200 - 8 * i),
                           static_cast<uint8_t>(i * i)});
    }
    return colours;
}

Bytes random_indices(std::mt19937& rng, int count, int colours) {
    Bytes indices(count);
    uint8_t colour = 0;
    for (uint8_t& index : indices) {
        // Short stretches of one colour, so that runs occur.
        if (rng() % 3 == 0) {
            colour = static_cast<uint8_t>(rng() % colours);
        }
        index = colour;
    }
    return indices;
}

class Pcx : public ::testing::Test {
  protected:
    void SetUp() override { open_test_display(); }
    void TearDown() override { image_free(&image); }

    int load(const Bytes& bytes) {
        write_file("picture.pcx", bytes);
        return load_path("picture.pcx");
    }

    // Loads into a record full of garbage; a failure must leave it cleared.
    int load_path(const char* path) {
        image_free(&image);
        std::memset(&image, 0xA5, sizeof image);
        image.pixels = nullptr;
        int code = pcx_load(path, &image);
        if (code != PCX_OK) {
            IndexedImage cleared{};
            EXPECT_EQ(0, std::memcmp(&image, &cleared, sizeof image)) << "code " << code;
        }
        return code;
    }

    void expect_pixels(const Bytes& expected) {
        ASSERT_EQ(static_cast<size_t>(image.width) * image.height, expected.size());
        EXPECT_EQ(Bytes(image.pixels, image.pixels + expected.size()), expected);
    }

    void expect_palette(const std::vector<Rgb>& colours) {
        for (int i = 0; i < 256; ++i) {
            uint32_t want = 0;
            if (i < static_cast<int>(colours.size())) {
                want = test_pixel(colours[i].red, colours[i].green, colours[i].blue);
            }
            EXPECT_EQ(image.palette[i], want) << "entry " << i;
        }
    }

    ScratchDir scratch;
    IndexedImage image{};
};

TEST_F(Pcx, EachRefusalHasItsCodeAndLeavesTheRecordCleared) {
    Bytes good = pcx_8bit(4, 2, Bytes(8, 3), {});
    EXPECT_EQ(load_path("missing.pcx"), PCX_ERR_OPEN);
    EXPECT_EQ(load_path("."), PCX_ERR_OPEN);
    ASSERT_EQ(mkfifo("pipe.pcx", 0600), 0);
    EXPECT_EQ(load_path("pipe.pcx"), PCX_ERR_OPEN); // and does not wait for a writer
    EXPECT_EQ(load({}), PCX_ERR_MANUFACTURER);
    Bytes bad = good;
    bad[1] = 3;
    EXPECT_EQ(load(bad), PCX_ERR_VERSION);
    bad = good;
    bad[2] = 0;
    EXPECT_EQ(load(bad), PCX_ERR_ENCODING);
    for (int bits : {4, 2}) {
        bad = good;
        bad[3] = static_cast<uint8_t>(bits);
        EXPECT_EQ(load(bad), PCX_ERR_DEPTH);
    }
    bad = good;
    bad[65] = 3;
    EXPECT_EQ(load(bad), PCX_ERR_PLANES);
    EXPECT_EQ(load(Bytes(good.begin(), good.begin() + 3)), PCX_ERR_DEPTH); // ends in the header
}

TEST_F(Pcx, RandomPicturesDecodeToWhatWasWritten) {
    unsigned seed = std::random_device{}();
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    for (int round = 0; round < 20; ++round) {
        int width = 1 + static_cast<int>(rng() % 70);
        int height = 1 + static_cast<int>(rng() % 12);
        int planes = 1 + static_cast<int>(rng() % 4);
        Bytes indices = random_indices(rng, width * height, 256);
        ASSERT_EQ(load(pcx_8bit(width, height, indices, tail_colours(), width + 1 + round % 3)),
                  PCX_OK);
        expect_pixels(indices);
        expect_palette(tail_colours());
        indices = random_indices(rng, width * height, 1 << planes);
        std::vector<Rgb> colours = sixteen_colours();
        ASSERT_EQ(load(pcx_planar(width, height, planes, indices, colours)), PCX_OK);
        expect_pixels(indices);
        expect_palette(colours); // entries 16 to 255 stay 0
    }
}

TEST_F(Pcx, LineBytesBeyondTheWidthAreDropped) {
    // 8-bit, 3 wide, 4 bytes per line: the fourth byte of each line is not a pixel.
    Bytes file = pcx_header(8, 1, 3, 2, 4);
    append(file, {1, 2, 3, 0x77, 4, 5, 6, 0x78});
    append(file, palette_tail());
    ASSERT_EQ(load(file), PCX_OK);
    expect_pixels({1, 2, 3, 4, 5, 6});
    // Monochrome, 5 wide: the three bits past the width in each line are set.
    file = pcx_header(1, 1, 5, 2, 2, sixteen_colours());
    append(file, pcx_encode_line({0b10101111, 0xFF}));
    append(file, pcx_encode_line({0b01110111, 0xFF}));
    ASSERT_EQ(load(file), PCX_OK);
    expect_pixels({1, 0, 1, 0, 1, 0, 1, 1, 1, 0});
}

TEST_F(Pcx, RunsStopAtTheLineEndAndCountZeroFillsNothing) {
    Bytes file = pcx_header(8, 1, 4, 3, 4);
    append(file, {0xC6, 7});                // six 7s: the last two are dropped
    append(file, {1, 0xC0, 9, 2, 0xC2, 3}); // 0xC0 takes its value byte, stores nothing
    append(file, {0xC1, 0xC5, 0xC3, 0xFF}); // data above 0xBF comes as a run of one
    append(file, palette_tail());
    ASSERT_EQ(load(file), PCX_OK);
    expect_pixels({7, 7, 7, 7, 1, 2, 3, 3, 0xC5, 0xFF, 0xFF, 0xFF});
}

TEST_F(Pcx, MissingDataReadsAsAllOnes) {
    Bytes file = pcx_header(8, 1, 8, 2, 8);
    append(file, {10, 11, 12, 0xC3, 13, 14, 0xC2}); // ends inside a run
    ASSERT_EQ(load(file), PCX_OK);
    expect_pixels({10, 11, 12, 13, 13, 13, 14, 255, 255, 255, 255, 255, 255, 255, 255, 255});
    expect_palette(std::vector<Rgb>(256, Rgb{255, 255, 255})); // shorter than a palette
    file = pcx_header(1, 4, 8, 1, 1);
    append(file, {0x0F, 0x33}); // planes 2 and 3 are missing: all their bits are set
    ASSERT_EQ(load(file), PCX_OK);
    expect_pixels({12, 12, 14, 14, 13, 13, 15, 15});
}

TEST_F(Pcx, ThePaletteIsTheLast768BytesWithOrWithoutItsMarker) {
    Bytes indices{0, 1, 2, 200, 201, 255};
    Bytes file = pcx_8bit(3, 2, indices, tail_colours(), 4);
    file.erase(file.end() - 769); // the marker byte 12
    ASSERT_EQ(load(file), PCX_OK);
    expect_pixels(indices);
    expect_palette(tail_colours());
}

TEST_F(Pcx, TheReaderForgetsTheLastFile) {
    Bytes indices{5, 6, 7, 8};
    Bytes good = pcx_8bit(2, 2, indices, tail_colours());
    Bytes wrong_version = good;
    wrong_version[1] = 4;
    ASSERT_EQ(load(wrong_version), PCX_ERR_VERSION); // leaves buffered bytes behind
    ASSERT_EQ(load(good), PCX_OK);
    expect_pixels(indices);
    ASSERT_EQ(load(wrong_version), PCX_ERR_VERSION);
    ASSERT_EQ(load(pcx_header(8, 1, 2, 2, 2)), PCX_OK); // no data: none taken from before
    expect_pixels({255, 255, 255, 255});
}

TEST_F(Pcx, TheReaderDeliversEveryByteThenMinusOne) {
    Bytes bytes(2 * READ_BUFFER_SIZE + 7);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
    }
    write_file("bytes.bin", bytes);
    read_fd = open("bytes.bin", O_RDONLY);
    ASSERT_GE(read_fd, 0);
    reader_reset();
    Bytes got;
    for (int byte = reader_next_byte(); byte >= 0; byte = reader_next_byte()) {
        got.push_back(static_cast<uint8_t>(byte));
    }
    EXPECT_EQ(reader_next_byte(), -1);
    close(read_fd);
    read_fd = -1;
    EXPECT_EQ(got, bytes);
}

TEST_F(Pcx, HostileHeadersAreRefused) {
    Bytes file = pcx_header(8, 1, 4, 4, 4);
    set16(file, 4, 10); // xmin 10, xmax 9: width 0
    set16(file, 8, 9);
    EXPECT_EQ(load(file), PCX_ERR_WINDOW);
    file = pcx_header(1, 4, 4, 4, 2);
    set16(file, 6, 10); // ymin 10, ymax 3: height -6
    EXPECT_EQ(load(file), PCX_ERR_WINDOW);
    EXPECT_EQ(load(pcx_header(8, 1, 65536, 65536, 65535)), PCX_ERR_TOO_LARGE);
    EXPECT_EQ(load(pcx_header(8, 1, 8000, 8000, 8000)), PCX_ERR_SHORT_FILE);
    EXPECT_EQ(load(pcx_header(1, 255, 8, 1, 65535)), PCX_ERR_SHORT_FILE);
    EXPECT_EQ(load(pcx_header(8, 1, 65000, 1000, 1)), PCX_ERR_SHORT_FILE); // width past the line
    Bytes cut = pcx_header(8, 1, 100, 100, 100); // a small picture cut after its header loads
    ASSERT_EQ(load(cut), PCX_OK);
    expect_pixels(Bytes(100 * 100, 255));
}

TEST_F(Pcx, LargeAndOddPicturesLoad) {
    // 4096 x 4096 in one colour: the densest run-length encoding a file can have.
    Bytes file = pcx_header(8, 1, 4096, 4096, 4096);
    Bytes line = pcx_encode_line(Bytes(4096, 17));
    for (int y = 0; y < 4096; ++y) {
        append(file, line);
    }
    append(file, palette_tail());
    ASSERT_EQ(load(file), PCX_OK);
    expect_pixels(Bytes(4096 * 4096, 17));
    // 255 planes of 16 bytes: a 4080-byte scan line; planes from the ninth on set no bit.
    file = pcx_header(1, 255, 128, 2, 16);
    for (int y = 0; y < 2; ++y) {
        for (int p = 0; p < 255; ++p) {
            append(file, pcx_encode_line(Bytes(16, p % 2 == 1 ? 0xFF : 0)));
        }
    }
    ASSERT_EQ(load(file), PCX_OK);
    expect_pixels(Bytes(256, 0b10101010));
    // A width past the line's data: those columns are 0, the next line is intact.
    file = pcx_header(8, 1, 6, 2, 4);
    append(file, {1, 2, 3, 4, 5, 6, 7, 8});
    append(file, palette_tail());
    ASSERT_EQ(load(file), PCX_OK);
    expect_pixels({1, 2, 3, 4, 0, 0, 5, 6, 7, 8, 0, 0});
    file = pcx_header(1, 1, 20, 2, 2);
    append(file, pcx_encode_line({0xFF, 0xFF}));
    append(file, {0x80, 0x01});
    ASSERT_EQ(load(file), PCX_OK);
    Bytes expected(40, 0);
    std::fill(expected.begin(), expected.begin() + 16, 1);
    expected[20] = expected[35] = 1;
    expect_pixels(expected);
}

TEST_F(Pcx, ImageFreeReleasesOnlyThePixels) {
    IndexedImage empty{};
    image_free(&empty);
    EXPECT_EQ(empty.pixels, nullptr);
    ASSERT_EQ(load(pcx_planar(3, 2, 1, {0, 1, 1, 0, 0, 1}, sixteen_colours())), PCX_OK);
    image_free(&image);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    expect_palette(sixteen_colours());
    image_free(&image); // a second call does nothing
}

int open_descriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir) != nullptr) {
        ++count;
    }
    closedir(dir);
    return count;
}

TEST_F(Pcx, NoLoadLeavesADescriptorOpen) {
    Bytes good = pcx_8bit(2, 2, {1, 2, 3, 4}, tail_colours());
    Bytes version = good;
    version[1] = 9;
    ASSERT_EQ(mkfifo("pipe.pcx", 0600), 0);
    int before = open_descriptors();
    for (int round = 0; round < 50; ++round) {
        EXPECT_EQ(load(good), PCX_OK);
        EXPECT_EQ(load(version), PCX_ERR_VERSION);
        EXPECT_EQ(load(pcx_header(8, 1, 8000, 8000, 8000)), PCX_ERR_SHORT_FILE);
        EXPECT_EQ(load_path("."), PCX_ERR_OPEN);
        EXPECT_EQ(load_path("pipe.pcx"), PCX_ERR_OPEN);
    }
    EXPECT_EQ(open_descriptors(), before);
}

} // namespace
