// Tests of the layout table, the built tile records and the screen mapping.
#include "board/layout.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

TEST(Layout, BuildsThePyramidAndPlacesItOnTheScreen) {
    build_tiles(layout_table);
    place_tiles();
    ASSERT_EQ(tile_count, TILE_COUNT);
    std::vector<int> per_layer(5);
    int left = 640, top = 400, right = 0, bottom = 0;
    for (const Tile& tile : tiles) {
        ASSERT_TRUE(tile.layer >= 0 && tile.layer < 5);
        ++per_layer[tile.layer];
        left = std::min(left, tile.screen_x);
        top = std::min(top, tile.screen_y);
        right = std::max(right, tile.screen_x + TILE_FACE_WIDTH - 1);
        bottom = std::max(bottom, tile.screen_y + TILE_FACE_HEIGHT - 1);
    }
    EXPECT_EQ(per_layer, (std::vector<int>{87, 36, 16, 4, 1}));
    EXPECT_EQ((std::vector<int>{left, top, right, bottom}), (std::vector<int>{2, 10, 629, 391}));
    struct Record {
        int index, column, row, layer, screen_x, screen_y;
    };
    const Record records[] = {
        {70, 0, 7, 0, 2, 178},     // the single tiles of grid row 7
        {71, 26, 7, 0, 548, 178},  //
        {72, 28, 7, 0, 590, 178},  //
        {73, 13, 7, 4, 291, 162},  // the top tile
        {30, 10, 4, 0, 212, 106},  // the stack of three at (10, 4), layer 0 first
        {31, 10, 4, 1, 216, 102},  //
        {32, 10, 4, 2, 220, 98},   //
        {143, 24, 14, 0, 506, 346} // the last record: the right end of the bottom row
    };
    for (const Record& r : records) {
        const Tile& tile = tiles[r.index];
        EXPECT_EQ(
            (std::vector<int>{tile.column, tile.row, tile.layer, tile.screen_x, tile.screen_y}),
            (std::vector<int>{r.column, r.row, r.layer, r.screen_x, r.screen_y}))
            << "record " << r.index;
    }
}

TEST(Layout, ReadingStopsAtTheTerminatorAndAtAFullBoard) {
    const LayoutEntry short_table[] = {{2, 4, 6}, {-3, 8, 10}, {0, 0, 0}, {5, 1, 1}};
    build_tiles(short_table);
    EXPECT_EQ(tile_count, 3);
    EXPECT_EQ(tiles[2].column, 8);
    EXPECT_EQ(tiles[2].layer, 2);
    // The records left over are off the board; nothing past the terminator was read.
    EXPECT_TRUE(std::all_of(tiles + 3, tiles + TILE_COUNT, [](const Tile& t) {
        return t.flags == TILE_REMOVED && t.column == 0 && t.layer == 0;
    }));
    // 143 singles, a stack that crosses the end of the board, then more singles.
    std::vector<LayoutEntry> long_table(143, {1, 0, 0});
    long_table.insert(long_table.end(), {{4, 20, 20}, {-2, 1, 1}, {-2, 2, 2}, {0, 0, 0}});
    build_tiles(long_table.data());
    EXPECT_EQ(tile_count, TILE_COUNT);
    EXPECT_EQ(tiles[TILE_COUNT - 1].column, 20);
    EXPECT_EQ(tiles[TILE_COUNT - 1].layer, 0);
}

} // namespace
