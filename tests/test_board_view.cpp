// Tests of the board drawing against a per-pixel model of the frame.
#include "render/board_view.hpp"

#include "board/deal.hpp"
#include "board/moves.hpp"
#include "board/rules.hpp"
#include "image/pictures.hpp"
#include "platform/display.hpp"
#include "render/draw.hpp"
#include "render/font.hpp"
#include "support.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr int W = 640, H = 400;

// A rectangle relative to a tile's screen position or shadow origin, drawn
// when the tile's flags masked by side equal when; colour 0 is the face.
struct Piece {
    int x, y, width, height;
    uint32_t side, when, colour;
};
constexpr uint32_t N = TILE_OPEN_NORTH, EU = TILE_OPEN_EAST_UPPER, EL = TILE_OPEN_EAST_LOWER;
constexpr uint32_t WEST = TILE_OPEN_WEST, SOUTH = TILE_OPEN_SOUTH;
// clang-format off
const Piece SHADOW[] = {
    {6, -8, 40, 1, N, N, 0},    {4, -7, 43, 1, N, N, 0},    {2, -6, 43, 1, N, N, 0},
    {1, -5, 43, 1, N, N, 0},    {0, -4, 43, 1, N, N, 0},    {-1, -3, 43, 1, N, N, 0},
    {-2, -2, 43, 1, N, N, 0},   {-3, -1, 43, 1, N, N, 0},   {46, -6, 2, 23, EU, EU, 0},
    {45, -6, 1, 24, EU, EU, 0}, {44, -5, 1, 24, EU, EU, 0}, {43, -4, 1, 24, EU, EU, 0},
    {42, -3, 1, 24, EU, EU, 0}, {41, -2, 1, 24, EU, EU, 0}, {40, -1, 1, 24, EU, EU, 0},
    {47, 16, 1, 24, EL, EL, 0}, {46, 17, 1, 24, EL, EL, 0}, {45, 18, 1, 24, EL, EL, 0},
    {44, 19, 1, 24, EL, EL, 0}, {43, 20, 1, 24, EL, EL, 0}, {42, 21, 1, 24, EL, EL, 0},
    {41, 22, 1, 24, EL, EL, 0}, {40, 23, 1, 24, EL, EL, 0}, {38, 0, 2, 2, 0, 0, 0},
};
const Piece TILE[] = { // in painting order
    {-4, 2, 2, 48, WEST, WEST, 0xE7E3C7},    {-6, 4, 2, 48, WEST, WEST, 0xF7F3F7},
    {38, 2, 2, 48, 0, 0, 0x303030},          {-2, 0, 42, 2, 0, 0, 0x303030},
    {-2, 48, 40, 2, SOUTH, SOUTH, 0xE7E3C7}, {-4, 50, 40, 2, SOUTH, SOUTH, 0xF7F3F7},
    {-2, 48, 42, 2, SOUTH, 0, 0x303030},     {-2, 2, 40, 46, 0, 0, 0},
};
// clang-format on

// Visits the on-screen pixels of the rectangle at (x, y) + piece.
template <class Visit> void for_pixels(int x, int y, const Piece& piece, Visit visit) {
    for (int py = std::max(y + piece.y, 0); py < std::min(y + piece.y + piece.height, H); ++py) {
        for (int px = std::max(x + piece.x, 0); px < std::min(x + piece.x + piece.width, W); ++px) {
            visit(py * W + px);
        }
    }
}

const auto tile_x = [](const Tile& t) { return 21 * t.column + 4 * t.layer + 2; };
const auto tile_y = [](const Tile& t) { return 24 * t.row - 4 * t.layer + 10; };
const auto rgb = [](uint32_t c) { return test_pixel(c >> 16, (c >> 8) & 255, c & 255); };
const auto screen_at = [](int p) { return *screen_pixel(p % W, p / W); };

// The expected frame: per pixel its colour, the layer of the last tile painted
// on it (-1: none) and how many shadow copies fall on it after that.
struct Frame {
    std::vector<uint16_t> colour;
    std::vector<int> layer, copies;
};

void paint_tile(Frame& f, const Tile& t, bool faces) {
    Rgb c = face_colour(t.face);
    uint16_t face = faces ? test_pixel(c.red, c.green, c.blue) : rgb(0xEFEBD7);
    face = (t.flags & TILE_SELECTED) ? brighten_table[face] : face;
    for (const Piece& piece : TILE) {
        uint16_t colour = piece.colour == 0 ? face : rgb(piece.colour);
        if ((t.flags & piece.side) == piece.when) {
            for_pixels(tile_x(t), tile_y(t), piece,
                       [&](int p) { f.colour[p] = colour, f.layer[p] = t.layer; });
        }
    }
}

// Saved background, status line, tiles bottom-up; a shadow copy thrown at
// level L shades a pixel whose last tile lies below L, and shades it once.
Frame model_frame(bool faces) {
    update_free_tiles();
    restore_screen(0); // the background with the status line as the font draws it
    draw_text(500, 320, "%s", status_text);
    Frame f{{}, std::vector<int>(W * H, -1), std::vector<int>(W * H, 0)};
    for (int p = 0; p < W * H; ++p) {
        f.colour.push_back(screen_at(p));
    }
    for (int level = 0; level < 7; ++level) {
        for (const Tile& t : tiles) {
            if (t.layer == level && !(t.flags & TILE_REMOVED)) {
                paint_tile(f, t, faces);
            }
        }
    }
    for (const Tile& t : tiles) {
        for (int level = 0; level <= t.layer && !(t.flags & TILE_REMOVED); ++level) {
            int d = 8 * (t.layer - level);
            for (const Piece& piece : SHADOW) {
                if ((t.flags & piece.side) == piece.when) {
                    for_pixels(tile_x(t) + d, tile_y(t) - d, piece,
                               [&](int p) { f.copies[p] += f.layer[p] < level ? 1 : 0; });
                }
            }
        }
    }
    for (int p = 0; p < W * H; ++p) {
        f.colour[p] = f.copies[p] > 0 ? dim_table[f.colour[p]] : f.colour[p];
    }
    fill_rect(0, 0, W, H, 1, 2, 3); // the frame starts from the background, not from this
    return f;
}

int mismatches(const Frame& f) {
    int count = 0;
    for (int p = 0; p < W * H; ++p) {
        count += screen_at(p) != f.colour[p];
    }
    return count;
}

class BoardView : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        static ScratchDir dir; // lives until the program ends
        mkdir("data", 0755);
        write_file("data/tiles0.pcx", face_tileset_pcx());
        open_test_display();
        font_build();
        mask_alloc();
        tileset_index = -1;
        next_tileset();
        // A backdrop of mid colours, each pixel visibly changed by dimming.
        for (int p = 0; p < W * H; ++p) {
            int x = p % W, y = p / W;
            *screen_pixel(x, y) = test_pixel(64 + x % 130, 64 + y % 120, 64 + (x + y) % 140);
        }
        save_screen(0);
    }

    void SetUp() override {
        ASSERT_NE(tileset_image.pixels, nullptr);
        unsigned seed = std::random_device{}();
        std::printf("deal seed %u\n", seed);
        std::srand(seed);
        deal_board(layout_table);
        status_text = STATUS_CLICK_TILE;
    }
};

// Removed tiles are neither painted nor shading; a selected one differs only
// in its face; the last frame holds no tile at all.
TEST_F(BoardView, FramesOfAClearingGameMatchTheModel) {
    ASSERT_NE(brighten_table[rgb(0xA0A0A0)], rgb(0xA0A0A0)); // face 42 shows a selection
    for (int pairs : {0, 20, 50, 71, 72}) {
        for (int k = 0; k < 2 * pairs; ++k) {
            tiles[deal_solution[k]].flags |= TILE_REMOVED;
        }
        if (pairs < 72) {
            tiles[deal_solution[2 * pairs]].flags |= TILE_SELECTED;
            tiles[deal_solution[2 * pairs]].face = 42;
        }
        status_text = pairs < 72 ? STATUS_CLICK_ANOTHER : "5%% off"; // text, not a format
        Frame expected = model_frame(true);
        for (Tile& t : tiles) { // positions (removed ones too) and marks are recomputed
            t.screen_x = t.screen_y = -12345;
            t.flags &= TILE_REMOVED | TILE_SELECTED;
        }
        draw_board();
        EXPECT_EQ(mismatches(expected), 0) << pairs << " pairs taken";
        for (const Tile& t : tiles) {
            ASSERT_EQ(std::pair(t.screen_x, t.screen_y), std::pair(tile_x(t), tile_y(t)));
        }
    }
    // The empty board: the background, and the status line's 7 cells lit white.
    int wrong = 0;
    for (int p = 0; p < W * H; ++p) {
        bool in_line = p % W >= 500 && p % W < 542 && p / W >= 320 && p / W < 333;
        wrong += screen_at(p) != screen_save[0][p] && !(in_line && screen_at(p) == rgb(0xFFFFFF));
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(BoardView, HandBuiltBoardsMatchTheModel) {
    const std::vector<std::array<int, 3>> boards[] = {
        // column, row, layer
        {{13, 7, 4}},                         // the top tile alone
        {{10, 6, 0}, {0, 7, 0}},              // lone tiles, one clipped at the left edge
        {{10, 4, 0}, {10, 4, 1}, {10, 4, 6}}, // a stack up to level 6: its shadows overlap
        {{24, 13, 0}, {26, 14, 1}},           // over the status line, and shading it
    };
    for (const auto& spots : boards) {
        SCOPED_TRACE(testing::Message() << spots.size() << " tiles");
        for (Tile& t : tiles) {
            t.flags = TILE_REMOVED;
        }
        for (size_t i = 0; i < spots.size(); ++i) { // the first records moved to the spots
            auto [column, row, layer] = spots[i];
            tiles[i] = {uint8_t(column), uint8_t(row), 0, 0, layer, tiles[i].face, 0};
        }
        Frame expected = model_frame(true);
        draw_board();
        EXPECT_EQ(mismatches(expected), 0);
        if (spots.size() == 1) { // face from (289, 164), level-0 shadow from (323, 130)
            Rgb c = face_colour(tiles[0].face);
            EXPECT_EQ(screen_at(164 * W + 289), test_pixel(c.red, c.green, c.blue));
            EXPECT_EQ(screen_at(209 * W + 328), test_pixel(c.red, c.green, c.blue));
            EXPECT_EQ(screen_at(122 * W + 329), dim_table[screen_save[0][122 * W + 329]]);
            EXPECT_EQ(screen_at(122 * W + 328), screen_save[0][122 * W + 328]);
        }
    }
}

TEST_F(BoardView, WithoutATileSetTheFacesAreBlank) {
    std::remove("data/tiles0.pcx");
    EXPECT_EQ(next_tileset(), PCX_ERR_OPEN);
    ASSERT_EQ(tileset_image.pixels, nullptr);
    tiles[deal_solution[0]].flags |= TILE_SELECTED;
    Frame expected = model_frame(false);
    draw_board();
    EXPECT_EQ(mismatches(expected), 0);
    write_file("data/tiles0.pcx", face_tileset_pcx());
    EXPECT_EQ(next_tileset(), 0);
}

} // namespace
