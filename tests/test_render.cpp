// Tests of the rendering: the primitives, the shadow mask and text against per-pixel
// models, and whole board frames, with every record's position, pinned by checksum.
#include "board/moves.hpp"
#include "image/pictures.hpp"
#include "platform/display.hpp"
#include "render/board_view.hpp"
#include "render/draw.hpp"
#include "render/font.hpp"
#include "support.hpp"

#include <algorithm>
#include <climits>
#include <gtest/gtest.h>

namespace {

// The whole screen, row after row with no gaps.
std::vector<uint16_t> screen_copy() {
    std::vector<uint16_t> out;
    for (int y = 0; y < 400; ++y) {
        out.insert(out.end(), screen_pixel(0, y), screen_pixel(0, y) + 640);
    }
    return out;
}

// Fills the screen with random pixel values; returns them as screen_copy would.
std::vector<uint16_t> paint_noise(std::mt19937& rng) {
    for (int y = 0; y < 400; ++y) {
        std::generate_n(screen_pixel(0, y), 640, [&] { return rng(); });
    }
    return screen_copy();
}

struct Rect {
    int x, y, width, height;
};

// The screen's rows lie 16 pixels further apart than it is wide; the gaps stay 0xBEEF.
std::vector<uint16_t> screen_memory(656 * 400, 0xBEEF);

class Render : public testing::Test {
  protected:
    void SetUp() override {
        open_test_display();
        display.pixels = reinterpret_cast<uint8_t*>(screen_memory.data());
        display.pitch = 656 * 2;
        mask_alloc();
        font_build();
        // Shades of the tests' own, the same under every SDL (whose colour conversions differ):
        // dimming halves each component of RGB565, brightening sets its top bit.
        for (int p = 0; p < 65536; ++p) {
            dim_table[p] = static_cast<uint16_t>((p >> 1) & 0x7BEF);
            brighten_table[p] = static_cast<uint16_t>(p | 0x8410);
        }
    }

    void TearDown() override {
        for (int y = 0; y < 400; ++y) {
            const uint16_t* gap = &screen_memory[y * 656 + 640];
            ASSERT_EQ(std::count(gap, gap + 16, 0xBEEF), 16) << y;
        }
    }

    // The screen as expected: before, with each pixel p at (x, y) replaced by change(x, y, p).
    template <class Change>
    static std::vector<uint16_t> expect(std::vector<uint16_t> screen, Change change) {
        for (int y = 0; y < 400; ++y) {
            for (int x = 0; x < 640; ++x) {
                screen[y * 640 + x] = change(x, y, screen[y * 640 + x]);
            }
        }
        return screen;
    }

    std::mt19937 rng{test_seed()};
};

// Over a noisy screen and mask, each operation must change exactly the pixels
// and mask bits of its rectangle that lie on the screen, and those as it should.
TEST_F(Render, EachPrimitiveChangesExactlyTheOnScreenPartOfItsRectangle) {
    // Every colour index, and so every screen value, names one pixel of the 16 x 16 source.
    std::vector<uint8_t> indices(256);
    IndexedImage image{.palette = {}, .pixels = indices.data(), .width = 16, .height = 16};
    for (int i = 0; i < 256; ++i) {
        indices[i] = static_cast<uint8_t>(i);
        image.palette[i] = 0x4000u + i;
    }
    // Inside, over each edge and corner, off each side, empty, far enough out to overflow careless
    // arithmetic, and random; all fit the source from (2, 3) but the last three, over the screen.
    std::vector<Rect> rects = {
        {100, 50, 12, 10},         {-5, 50, 12, 10},   {100, -7, 12, 10},     {634, 50, 12, 10},
        {100, 395, 12, 10},        {-4, -3, 12, 10},   {636, 396, 12, 10},    {-12, 50, 12, 10},
        {640, 50, 12, 10},         {100, -10, 12, 10}, {100, 400, 12, 10},    {100, 50, 0, 10},
        {100, 50, -3, 10},         {100, 50, 12, -4},  {INT_MIN, 50, 12, 10}, {INT_MAX, 50, 12, 10},
        {100, INT_MAX - 2, 12, 10}};
    for (int i = 0; i < 20; ++i) {
        rects.push_back({int(rng() % 668) - 14, int(rng() % 424) - 12, int(rng() % 15) - 2,
                         int(rng() % 13) - 2});
    }
    rects.insert(rects.end(),
                 {{-10, -10, INT_MAX, INT_MAX}, {INT_MIN, 0, INT_MAX, 5}, {0, 0, 640, 400}});
    enum { BLIT, FILL, FILL_UNMASK, DIM, BRIGHTEN, MASK, UNMASK };
    const uint16_t colour = test_pixel(0xE7, 0x30, 0x9C);
    for (const Rect& r : rects) {
        const std::vector<uint16_t> before = paint_noise(rng);
        std::vector<uint8_t> start(32000);
        std::generate(start.begin(), start.end(), [&] { return rng(); });
        for (int op = r.width > 12 || r.height > 10 ? FILL : BLIT; op <= UNMASK; ++op) {
            std::vector<uint8_t> mask = start;
            const std::vector<uint16_t> screen = expect(before, [&](int x, int y, uint16_t p) {
                if (x < int64_t{r.x} || x >= int64_t{r.x} + r.width || y < int64_t{r.y} ||
                    y >= int64_t{r.y} + r.height) {
                    return p;
                }
                uint8_t bit = uint8_t(1 << x % 8), &byte = mask[y * 80 + x / 8];
                byte = op == MASK                          ? byte | bit
                       : op == FILL_UNMASK || op == UNMASK ? byte & ~bit
                                                           : byte;
                return op == BLIT ? uint16_t(0x4000 + (3 + y - r.y) * 16 + 2 + x - r.x)
                       : op == FILL || op == FILL_UNMASK ? colour
                       : op == DIM                       ? dim_table[p]
                       : op == BRIGHTEN                  ? brighten_table[p]
                                                         : p;
            });
            for (int y = 0; y < 400; ++y) {
                std::copy_n(&before[y * 640], 640, screen_pixel(0, y));
            }
            std::copy(start.begin(), start.end(), mask_bitmap);
            op == BLIT          ? blit_image(r.x, r.y, &image, 2, 3, r.width, r.height)
            : op == FILL        ? fill_rect(r.x, r.y, r.width, r.height, 0xE7, 0x30, 0x9C)
            : op == FILL_UNMASK ? fill_rect_unmask(r.x, r.y, r.width, r.height, 0xE7309C)
            : op == DIM         ? remap_rect(r.x, r.y, r.width, r.height, dim_table)
            : op == BRIGHTEN    ? brighten_rect(r.x, r.y, r.width, r.height)
                                : mask_rect(r.x, r.y, r.width, r.height, op == MASK ? -1 : 0);
            EXPECT_TRUE(screen_copy() == screen &&
                        std::equal(mask.begin(), mask.end(), mask_bitmap))
                << r.x << "," << r.y << " " << r.width << "x" << r.height << ", operation " << op;
        }
    }
    std::fill_n(mask_bitmap, 32350, 0xFF); // (640 + 7) x 400 / 8 bytes, all cleared
    mask_clear();
    EXPECT_EQ(std::count(mask_bitmap, mask_bitmap + 32350, 0), 32350);
}

// The glyph table is pinned: FNV-1a of its 1248 row bytes, worked out once from the glyph listing
// of the game's design, not from the table. Text is drawn with "%s": characters past 255 are cut,
// codes 128 to 255 draw nothing, a newline is a blank cell, and cells over an edge are clipped.
TEST_F(Render, TextLightsExactlyItsGlyphBitsOnOneLine) {
    EXPECT_EQ(fnv1a(std::vector<uint8_t>(font_bitmap, font_bitmap + 1248)), 0x3E32649Cu);
    const uint16_t white = test_pixel(255, 255, 255);
    // The model: white where a glyph of codes 32..127 has its bit (bit k is column k).
    auto text_on = [&](const std::vector<uint16_t>& before, const std::string& text, int x, int y) {
        return expect(before, [&](int px, int py, uint16_t p) {
            int64_t dx = int64_t{px} - x, dy = int64_t{py} - y;
            bool inside = dx >= 0 && dy >= 0 && dy < 13 && dx / 6 < int64_t(text.size());
            int code = inside && dx / 6 < 255 ? static_cast<unsigned char>(text[dx / 6]) : 0;
            bool lit =
                code >= 32 && code < 128 && (font_bitmap[(code - 32) * 13 + dy] >> dx % 6 & 1);
            return lit ? white : p;
        });
    };
    std::string all, high; // every glyph, the solid block first; codes 128 to 255
    for (int code = 127; code < 256; code = code == 127 ? 32 : code == 126 ? 128 : code + 1) {
        (code < 128 ? all : high) += static_cast<char>(code);
    }
    std::vector<std::tuple<int, int, std::string>> cases = {
        {500, 320, "Click on a tile"},
        {30, 40, ""},
        {30, 40, "A\nB"},
        {0, 60, all.substr(0, 64)},
        {0, 80, all.substr(64)},
        {0, 60, high.substr(0, 64) + "A"},
        {0, 60, high.substr(64) + "A"},
        {-6 * 250, 60, std::string(255, 'I') + "WWW"}};
    // clang-format off
    for (auto [x, y] : {std::pair{-3, 5}, {637, 5}, {5, -7}, {5, 395}, {-3, -7}, {637, 395},
                        {-6, 0}, {640, 0}, {0, 400}, {0, -13}, {INT_MIN, INT_MIN},
                        {INT_MAX, INT_MAX}, {-20, 50}, {620, 390}, {INT_MAX, 0}, {INT_MIN, 0}}) {
        // clang-format on
        cases.emplace_back(x, y, "\x7fMahjong");
    }
    for (const auto& [x, y, text] : cases) {
        std::vector<uint16_t> before = paint_noise(rng);
        draw_text(x, y, "%s", text.c_str());
        EXPECT_TRUE(screen_copy() == text_on(before, text, x, y)) << x << "," << y << " " << text;
    }
}

class BoardView : public Render {
  protected:
    // The full board, tile set faces of known colours, a backdrop that dimming changes visibly.
    void SetUp() override {
        Render::SetUp();
        write_file("tiles.pcx", face_tileset_pcx());
        ASSERT_EQ((image_free(&tileset_image), pcx_load("tiles.pcx", &tileset_image)), 0);
        for (int y = 0; y < 400; ++y) {
            for (int x = 0; x < 640; ++x) {
                *screen_pixel(x, y) = test_pixel(64 + x % 130, 64 + y % 120, 64 + (x + y) % 140);
            }
        }
        save_screen(0);
        build_tiles(layout_table);
        for (int i = 0; i < TILE_COUNT; ++i) {
            tiles[i].face = (5 * i) % 44;
        }
        status_text = STATUS_CLICK_TILE;
    }

    // Draws the board from made-up positions and marks; the checksum of frame and positions.
    static uint32_t draw_and_sum() {
        for (Tile& t : tiles) {
            t.screen_x = t.screen_y = -12345;
            t.flags &= TILE_REMOVED | TILE_SELECTED;
        }
        draw_board();
        std::vector<uint16_t> frame = screen_copy();
        std::vector<int32_t> values(frame.begin(), frame.end());
        for (const Tile& t : tiles) {
            values.insert(values.end(), {t.screen_x, t.screen_y});
        }
        return fnv1a(values);
    }

    ScratchDir dir;
};

// The checksums were taken once from frames found equal, pixel for pixel, to an independent model
// of the drawing: per pixel the colour, the layer last painted and the shadow copies left on it.
TEST_F(BoardView, FramesOfAGameInPlay) {
    tiles[73].flags |= TILE_SELECTED; // the top tile
    EXPECT_EQ(draw_and_sum(), 0x0C06A865u) << "the full board";
    // Drawn right after it: no shadow of the full board may stay.
    for (int i = 0; i < TILE_COUNT; ++i) {
        tiles[i].flags = i % 3 == 0 || i > 120 ? TILE_REMOVED : 0;
    }
    tiles[1].flags |= TILE_SELECTED;
    status_text = "5%% off"; // text, not a format
    EXPECT_EQ(draw_and_sum(), 0xDFAD0181u) << "tiles taken, removed ones still placed";
    image_free(&tileset_image);
    EXPECT_EQ(draw_and_sum(), 0x3123369Eu) << "no tile set: blank faces";
}

} // namespace
