// Tests of cycling through tile sets and backgrounds and of laying a background.
#include "image/pictures.hpp"

#include "platform/display.hpp"
#include "render/draw.hpp"
#include "support.hpp"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int W = 640, H = 400;

// 256 colours that stay distinct in the 16-bit format.
Rgb colour(int i) {
    return {static_cast<uint8_t>((i & 31) << 3), static_cast<uint8_t>(i >> 5 << 5), 128};
}
std::vector<Rgb> palette() {
    std::vector<Rgb> out;
    for (int i = 0; i < 256; ++i) {
        out.push_back(colour(i));
    }
    return out;
}
uint16_t pixel_of(int i) {
    return test_pixel(colour(i).red, colour(i).green, colour(i).blue);
}

// What lies in a numbered file: nothing, a good picture, bytes that are no
// picture, or (tile sets only) a picture one pixel too narrow or too low.
enum Content { MISSING, GOOD, BAD, NARROW, LOW };

// Picture n is all colour n + 1: a background 8 x 8, a tile set of the least
// size that holds the faces, less a column or a row when too small.
std::vector<uint8_t> picture(bool tiles, int n, Content content) {
    if (content == BAD) {
        return {'n', 'o', 't', ' ', 'P', 'C', 'X'};
    }
    int width = tiles ? 376 - (content == NARROW) : 8, height = tiles ? 238 - (content == LOW) : 8;
    return pcx_8bit(width, height, std::vector<uint8_t>(width * height, n + 1), palette());
}

// The tile set in use: its number, -1 when the record holds no picture at all.
int tileset_number() {
    const IndexedImage& t = tileset_image;
    if (t.pixels != nullptr) {
        return t.pixels[0] - 1;
    }
    return t.width == 0 && t.height == 0 && t.palette[1] == 0 ? -1 : -2;
}

// The background on the screen and in save buffer 0: its number, or -1 while
// both still hold what they held before the first picture.
int background_number() {
    uint16_t shown = *screen_pixel(W - 1, H - 1), saved = screen_save[0][W * H - 1];
    for (int n = 0; n < 5; ++n) {
        if (*screen_pixel(0, 0) == pixel_of(n + 1) && shown == pixel_of(n + 1) && saved == shown) {
            return n;
        }
    }
    return shown == test_pixel(200, 100, 50) && saved == test_pixel(1, 2, 3) ? -1 : -2;
}

class Pictures : public testing::Test {
  protected:
    void SetUp() override { open_test_display(); }
    ScratchDir dir;
};

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
            if (c.files[n] != MISSING) {
                write_file("data/" + std::string(c.tiles ? "tiles" : "bg") + std::to_string(n) +
                               ".pcx",
                           picture(c.tiles, static_cast<int>(n), c.files[n]));
            }
        }
        image_free(&tileset_image);
        tileset_index = background_index = -1;
        fill_rect(0, 0, W, H, 1, 2, 3);
        save_screen(0);
        fill_rect(0, 0, W, H, 200, 100, 50);
        int background = -1;
        for (size_t call = 0; call < c.shown.size(); ++call) {
            SCOPED_TRACE(testing::Message() << "case " << &c - cases << ", call " << call);
            int shown = c.shown[call];
            EXPECT_EQ(c.tiles ? next_tileset() : next_background(), shown >= 0 ? 0 : c.code);
            EXPECT_EQ(c.tiles ? tileset_index : background_index, std::max(shown, 0));
            background = c.tiles || shown < 0 ? background : shown;
            EXPECT_EQ(c.tiles ? tileset_number() : background_number(),
                      c.tiles ? shown : background);
        }
    }
}

TEST_F(Pictures, BackgroundsAreTiledFromTheTopLeftAndCutAtTheEdges) {
    struct Case {
        int width, height, planes; // planes 0: 8 bits per pixel
    };
    for (Case c : {Case{100, 100, 0}, Case{640, 400, 0}, Case{1000, 800, 0}, Case{37, 23, 0},
                   Case{1, 1, 0}, Case{50, 30, 4}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " planes " << c.planes);
        // The colour varies along both axes, so a copy laid at the wrong place shows.
        int colours = c.planes == 0 ? 256 : 16;
        auto index_at = [&](int x, int y) { return (x * 7 + y * 13) % colours; };
        std::vector<uint8_t> indices;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                indices.push_back(static_cast<uint8_t>(index_at(x, y)));
            }
        }
        std::vector<Rgb> pal = palette();
        mkdir("data", 0755);
        write_file("data/bg0.pcx", c.planes == 0 ? pcx_8bit(c.width, c.height, indices, pal)
                                                 : pcx_planar(c.width, c.height, c.planes, indices,
                                                              {pal.begin(), pal.begin() + 16}));
        background_index = -1;
        ASSERT_EQ(next_background(), 0);
        int wrong = 0;
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                uint16_t expected = pixel_of(index_at(x % c.width, y % c.height));
                wrong += *screen_pixel(x, y) != expected ? 1 : 0;
                wrong += screen_save[0][y * W + x] != expected ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

} // namespace
