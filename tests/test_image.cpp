// Tests of the images: the PCX decoder on files written byte by byte, and
// cycling through tile sets and backgrounds, with a background laid as tiles.
#include "image/pcx.hpp"
#include "image/pictures.hpp"
#include "platform/display.hpp"
#include "render/draw.hpp"
#include "support.hpp"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Bytes = std::vector<uint8_t>;

class Pcx : public testing::Test {
  protected:
    void SetUp() override { open_test_display(), mkdir("data", 0755); }
    void TearDown() override { image_free(&image); }

    // Loads file, or the file at path, into a record of garbage; a failure must clear it.
    int load(const Bytes& file, const char* path = nullptr) {
        if (path == nullptr) {
            write_file(path = "picture.pcx", file);
        }
        image_free(&image);
        std::memset(&image, 0xA5, sizeof image);
        image.pixels = nullptr;
        int code = pcx_load(path, &image);
        IndexedImage cleared{};
        EXPECT_TRUE(code == 0 || std::memcmp(&image, &cleared, sizeof image) == 0) << code;
        return code;
    }
    Bytes pixels() const { return {image.pixels, image.pixels + image.width * image.height}; }

    ScratchDir scratch;
    IndexedImage image{};
};

// The codes a player sees in "Failed to load a tile set, code %d": 1 the file
// cannot be opened, 2 not a PCX file, 3 version, 4 encoding, 5 bits per pixel,
// 6 planes, 8 no memory, 9 no pixels, 10 more than 8192 x 8192.
TEST_F(Pcx, EachOutcomeHasItsCodeAndNoFileStaysOpen) {
    const Bytes good = pcx_8bit(4, 2, Bytes(8, 3), {});
    auto with = [&](size_t at, uint8_t value) {
        Bytes bytes = good;
        bytes[at] = value;
        return bytes;
    };
    const std::pair<Bytes, int> cases[] = {
        {good, 0},
        {{}, 2},
        {with(1, 3), 3},
        {with(2, 0), 4},
        {with(3, 4), 5},
        {with(3, 2), 5},
        {Bytes(good.begin(), good.begin() + 3), 5},
        {with(65, 3), 6},
        {with(4, 4), 9},  // xmin 4, xmax 3: width 0
        {with(6, 10), 9}, // ymin 10, ymax 1: height -8
        {pcx_header(8, 1, 65536, 65536, 65535), 10},
        {pcx_header(8, 1, 8193, 8192, 1), 10},
    };
    ASSERT_EQ(mkfifo("pipe.pcx", 0600), 0);
    auto open_files = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto before = open_files();
    for (const auto& c : cases) {
        EXPECT_EQ(load(c.first), c.second) << "case " << &c - cases;
    }
    for (const char* path :
         {"missing.pcx", ".", "pipe.pcx"}) { // a pipe without waiting for a writer
        EXPECT_EQ(load({}, path), 1) << path;
    }
    EXPECT_EQ(open_files(), before);
    write_file("big.pcx", pcx_header(8, 1, 8192, 8000, 1)); // 62.5 MiB from a header alone
    ChildResult child = run_in_child([this] {
        limit_data(32 << 20);
        std::printf("%d", load({}, "big.pcx"));
    });
    EXPECT_EQ(child.out, "8");
}

// Six 7s, two dropped at the line end; 0xC0 (then 9) stores nothing; above 0xBF, runs of one.
TEST_F(Pcx, RunsStopAtTheLineEndAnd0xC0StoresNothing) {
    Bytes file = pcx_header(8, 1, 4, 3, 4);
    file.insert(file.end(), {0xC6, 7, 1, 0xC0, 9, 2, 0xC2, 3, 0xC1, 0xC5, 0xC3, 0xFF});
    ASSERT_EQ(load(file), 0);
    EXPECT_EQ(pixels(), (Bytes{7, 7, 7, 7, 1, 2, 3, 3, 0xC5, 0xFF, 0xFF, 0xFF}));
}

// Random pictures, 8-bit or in 1 to 10 planes, lines longer or shorter than the width, each byte
// alone (above 0xBF a run of one), most cut short: in the header's palette, pixels or palette.
TEST_F(Pcx, PicturesDecodeToTheirLineBytesAndEveryMissingByteReadsAs0xFF) {
    std::mt19937 rng(test_seed());
    auto pick = [&](size_t n) { return static_cast<int>(rng() % n); };
    for (int round = 0; round < 100; ++round) {
        const bool planar = round % 2 == 1;
        const int width = 1 + pick(round < 90 ? 40 : 700), height = 1 + pick(6);
        const int planes = planar ? 1 + pick(round % 10 == 1 ? 10 : 4) : 1;
        const int line = std::max(0, (planar ? (width + 7) / 8 : width) - 1 + pick(4));
        Bytes file = pcx_header(planar ? 1 : 8, planes, width, height, line);
        std::generate_n(&file[16], 48, std::ref(rng)); // the header's 16 colours
        Bytes stream(size_t(line) * planes * height);
        std::vector<size_t> ends; // where the code of each line byte ends in the file
        for (uint8_t& byte : stream) {
            byte = static_cast<uint8_t>(rng());
            if (byte > 0xBF) {
                file.push_back(0xC1);
            }
            file.push_back(byte);
            ends.push_back(file.size());
        }
        for (int i = round % 4 == 0 ? 1 : 0; !planar && i <= 768; ++i) { // the marker in most
            file.push_back(i == 0 ? 12 : static_cast<uint8_t>(rng()));
        }
        const size_t cut = round % 3 == 0             ? file.size()
                           : planar && round % 3 == 1 ? 16 + pick(48)
                                                      : 128 + pick(file.size() - 127);
        file.resize(cut);
        Bytes header(file.begin(), file.begin() + std::min<size_t>(cut, 128));
        header.resize(128, 0xFF); // as the decoder reads it
        const int read_planes = header[65], read_line = header[66] | header[67] << 8;
        const size_t kept = std::upper_bound(ends.begin(), ends.end(), cut) - ends.begin();
        auto line_byte = [&](int y, int p, int i) {
            size_t at = (size_t(y) * read_planes + p) * read_line + i;
            return at < kept ? stream[at] : uint8_t{0xFF};
        };
        Bytes want(size_t(width) * height, 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t& pixel = want[size_t(y) * width + x];
                pixel = !planar && x < read_line ? line_byte(y, 0, x) : 0;
                for (int p = 0; planar && p < std::min(read_planes, 8) && x / 8 < read_line; ++p) {
                    pixel = uint8_t(pixel | ((line_byte(y, p, x / 8) >> (7 - x % 8)) & 1) << p);
                }
            }
        }
        // The header's 16 colours, or the file's last 768 bytes: 255 past its end.
        std::vector<Rgb> palette(planar ? 16 : 256, Rgb{255, 255, 255});
        const uint8_t* from = planar ? &header[16] : cut >= 768 ? &file[cut - 768] : nullptr;
        if (from != nullptr) {
            std::memcpy(palette.data(), from, 3 * palette.size());
        }
        ASSERT_EQ(load(file), 0) << "round " << round << ", cut at " << cut;
        EXPECT_EQ(pixels(), want) << "round " << round << ", cut at " << cut;
        for (size_t i = 0; i < 256; ++i) {
            const Rgb c = i < palette.size() ? palette[i] : Rgb{};
            ASSERT_EQ(image.palette[i], i < palette.size() ? test_pixel(c.red, c.green, c.blue) : 0)
                << "round " << round << ", entry " << i;
        }
    }
}

// 256 colours that stay distinct in the 16-bit format.
Rgb colour(int i) {
    return {static_cast<uint8_t>((i & 31) << 3), static_cast<uint8_t>(i >> 5 << 5), 128};
}
uint16_t pixel_of(int i) {
    return test_pixel(colour(i).red, colour(i).green, colour(i).blue);
}
// A picture whose colour index at (x, y) is index(x, y).
template <class Index> Bytes picture(int width, int height, Index index) {
    Bytes indices;
    std::vector<Rgb> palette;
    for (int i = 0; i < width * height || i < 256; ++i) {
        indices.push_back(static_cast<uint8_t>(index(i % width, i / width)));
        palette.push_back(colour(i % 256));
    }
    return pcx_8bit(width, height, indices, palette);
}

using Pictures = Pcx;

// Numbered files: missing, a picture (colour n + 1 for file n), no picture, a column or row short.
enum Content { MISSING, GOOD, BAD, NARROW, LOW };

TEST_F(Pictures, EachKindCyclesFromZeroAndWrapsAtTheFirstThatFails) {
    struct Case {
        bool tiles;
        std::vector<Content> files;
        std::vector<int> shown; // in use after each call; -1: nothing loaded by it
        int code;               // what a call that loads nothing returns
    } cases[] = {
        {true, {GOOD, GOOD, GOOD}, {0, 1, 2, 0, 1}, 0},
        {true, {GOOD, GOOD, LOW, GOOD}, {0, 1, 0, 1}, 0},
        {true, {GOOD, BAD, GOOD}, {0, 0}, 0},
        {true, {NARROW, GOOD}, {-1, 1, -1}, 12}, // too small to hold the faces
        {true, {BAD, GOOD}, {-1, 1, -1}, 2},
        {true, {MISSING}, {-1, -1}, 1},
        {false, {GOOD, GOOD, BAD, GOOD, GOOD}, {0, 1, 0, 1, 0}, 0},
        {false, {}, {-1, -1, -1}, 1},
        {false, {MISSING, GOOD}, {-1, 1, -1}, 1}, // after a failure, 1 is tried
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        mkdir("data", 0755);
        for (size_t n = 0; n < c.files.size(); ++n) {
            // Tile sets of the smallest size that holds every face, backgrounds 8 x 8.
            int width = c.tiles ? 376 - (c.files[n] == NARROW) : 8;
            int height = c.tiles ? 238 - (c.files[n] == LOW) : 8;
            std::string name =
                std::string("data/") + (c.tiles ? "tiles" : "bg") + std::to_string(n) + ".pcx";
            if (c.files[n] != MISSING) {
                write_file(name, c.files[n] == BAD
                                     ? Bytes{'n', 'o', 'p', 'e'}
                                     : picture(width, height, [&](int, int) { return n + 1; }));
            }
        }
        image_free(&tileset_image);
        tileset_index = background_index = -1;
        fill_rect(0, 0, 640, 400, 1, 2, 3);
        save_screen(0);
        int background = -1; // the one on the screen and in save buffer 0
        for (size_t call = 0; call < c.shown.size(); ++call) {
            SCOPED_TRACE(testing::Message() << "case " << &c - cases << ", call " << call);
            int shown = c.shown[call];
            EXPECT_EQ(c.tiles ? next_tileset() : next_background(), shown >= 0 ? 0 : c.code);
            EXPECT_EQ(c.tiles ? tileset_index : background_index, std::max(shown, 0));
            background = c.tiles || shown < 0 ? background : shown;
            uint16_t expected = background < 0 ? test_pixel(1, 2, 3) : pixel_of(background + 1);
            EXPECT_EQ(screen_save[0][640 * 400 - 1], expected);
            EXPECT_EQ(*screen_pixel(0, 0), expected);
            const IndexedImage& t = tileset_image; // all of colour shown + 1, or cleared
            EXPECT_TRUE(!c.tiles || (t.pixels != nullptr
                                         ? t.pixels[0] == shown + 1
                                         : shown < 0 && t.width + t.height + t.palette[1] == 0));
        }
    }
}

TEST_F(Pictures, BackgroundsAreTiledFromTheTopLeftAndCutAtTheEdges) {
    for (auto [width, height] : {std::pair{100, 100}, {1000, 800}, {37, 23}, {1, 1}}) {
        // The colour varies along both axes, so a copy laid at the wrong place shows.
        auto index = [](int x, int y) { return (x * 7 + y * 13) % 256; };
        write_file("data/bg0.pcx", picture(width, height, index));
        background_index = -1;
        ASSERT_EQ(next_background(), 0);
        int wrong = 0;
        for (int y = 0; y < 400; ++y) {
            for (int x = 0; x < 640; ++x) {
                uint16_t expected = pixel_of(index(x % width, y % height));
                wrong +=
                    (*screen_pixel(x, y) != expected) + (screen_save[0][y * 640 + x] != expected);
            }
        }
        EXPECT_EQ(wrong, 0) << width << "x" << height;
    }
}

} // namespace
