// Tests of cycling through tile sets and backgrounds and of laying a background.
#include "image/pictures.hpp"

#include "platform/display.hpp"
#include "render/draw.hpp"
#include "support.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// A picture whose colour index at (x, y) is index(x, y), in 256 colours that
// stay distinct in the 16-bit format.
Rgb colour(int i) {
    return {static_cast<uint8_t>((i & 31) << 3), static_cast<uint8_t>(i >> 5 << 5), 128};
}
template <class Index> std::vector<uint8_t> picture(int width, int height, Index index) {
    std::vector<uint8_t> indices;
    std::vector<Rgb> palette;
    for (int i = 0; i < std::max(width * height, 256); ++i) {
        indices.push_back(static_cast<uint8_t>(index(i % width, i / width)));
        palette.push_back(colour(i % 256));
    }
    return pcx_8bit(width, height, indices, palette);
}
uint16_t pixel_of(int i) {
    return test_pixel(colour(i).red, colour(i).green, colour(i).blue);
}

class Pictures : public testing::Test {
  protected:
    void SetUp() override {
        open_test_display();
        mkdir("data", 0755);
    }
    ScratchDir dir;
};

// Numbered files: missing, a picture (all colour n + 1 for file n), bytes
// that are no picture, or (tile sets only) a picture a column or row too small.
enum Content { MISSING, GOOD, BAD, NARROW, LOW };

TEST_F(Pictures, EachKindCyclesFromZeroAndWrapsAtTheFirstThatFails) {
    struct Case {
        bool tiles;
        std::vector<Content> files;
        std::vector<int> shown; // in use after each call; -1: nothing loaded by it
        int code;               // what a call that loads nothing returns
    };
    const Case cases[] = {
        {true, {GOOD, GOOD, GOOD}, {0, 1, 2, 0, 1}, 0},
        {true, {GOOD}, {0, 0, 0}, 0},
        {true, {GOOD, GOOD, LOW, GOOD}, {0, 1, 0, 1}, 0},
        {true, {GOOD, BAD, GOOD}, {0, 0}, 0},
        {true, {NARROW, GOOD}, {-1, 1, -1}, TILESET_ERR_TOO_SMALL},
        {true, {BAD, GOOD}, {-1, 1, -1}, PCX_ERR_MANUFACTURER},
        {true, {MISSING}, {-1, -1}, PCX_ERR_OPEN},
        {false, {GOOD, GOOD, BAD, GOOD, GOOD}, {0, 1, 0, 1, 0}, 0},
        {false, {}, {-1, -1, -1}, PCX_ERR_OPEN},
        {false, {MISSING, GOOD}, {-1, 1, -1}, PCX_ERR_OPEN}, // after a failure, 1 is tried
    };
    for (const Case& c : cases) {
        ScratchDir scratch;
        mkdir("data", 0755);
        for (size_t n = 0; n < c.files.size(); ++n) {
            int width = c.tiles ? 376 - (c.files[n] == NARROW) : 8;
            int height = c.tiles ? 238 - (c.files[n] == LOW) : 8;
            std::string name =
                "data/" + std::string(c.tiles ? "tiles" : "bg") + std::to_string(n) + ".pcx";
            if (c.files[n] != MISSING) {
                write_file(name, c.files[n] == BAD
                                     ? std::vector<uint8_t>{'n', 'o', 'p', 'e'}
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

// The pictures the game ships load with the game's own decoder; their kinds,
// sizes and faces are checked by tools/test_make_art.py, with a reader of its own.
TEST(ShippedPictures, LoadWithTheGamesDecoder) {
    open_test_display();
    for (const char* name : {"tiles0", "tiles1", "tiles2", "bg0", "bg1", "bg2"}) {
        std::string path = std::string(MAHJONG_SOURCE_DIR) + "/data/" + name + ".pcx";
        IndexedImage image{};
        EXPECT_EQ(pcx_load(path.c_str(), &image), PCX_OK) << path;
        image_free(&image);
    }
}

} // namespace
