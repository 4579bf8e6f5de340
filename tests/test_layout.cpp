// Tests of the layout table, the built tile records and the screen mapping.
#include "board/layout.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

void build_full_board() {
    build_tiles(layout_table);
    place_tiles();
}

TEST(Layout, BuildsTheRecordsOfThePyramid) {
    build_full_board();
    ASSERT_EQ(tile_count, TILE_COUNT);
    int per_layer[5] = {};
    for (const Tile& tile : tiles) {
        ASSERT_GE(tile.layer, 0);
        ASSERT_LT(tile.layer, 5);
        ++per_layer[tile.layer];
        EXPECT_EQ(tile.flags, 0u);
    }
    EXPECT_EQ(per_layer[0], 87);
    EXPECT_EQ(per_layer[1], 36);
    EXPECT_EQ(per_layer[2], 16);
    EXPECT_EQ(per_layer[3], 4);
    EXPECT_EQ(per_layer[4], 1);

    struct Expected {
        int index, column, row, layer;
    };
    const Expected singles[] = {{70, 0, 7, 0}, {71, 26, 7, 0}, {72, 28, 7, 0}, {73, 13, 7, 4}};
    for (const Expected& e : singles) {
        SCOPED_TRACE(e.index);
        EXPECT_EQ(tiles[e.index].column, e.column);
        EXPECT_EQ(tiles[e.index].row, e.row);
        EXPECT_EQ(tiles[e.index].layer, e.layer);
    }
    // The stack (3, 10) of grid row 4: three records, layer 0 first.
    for (int layer = 0; layer < 3; ++layer) {
        EXPECT_EQ(tiles[30 + layer].column, 10);
        EXPECT_EQ(tiles[30 + layer].row, 4);
        EXPECT_EQ(tiles[30 + layer].layer, layer);
    }
}

TEST(Layout, RecordsRunInGridRowsInTableOrder) {
    build_full_board();
    // First record of each grid row, and the row after the last one.
    const int rows[] = {0, 2, 4, 6, 7, 8, 10, 12, 14};
    const int first[] = {0, 12, 26, 46, 70, 74, 98, 118, 132, 144};
    for (int r = 0; r < 9; ++r) {
        for (int i = first[r]; i < first[r + 1]; ++i) {
            ASSERT_EQ(tiles[i].row, rows[r]) << "record " << i;
            if (i > first[r] && tiles[i].column == tiles[i - 1].column) {
                EXPECT_EQ(tiles[i].layer, tiles[i - 1].layer + 1) << "record " << i;
            }
        }
    }
    // The pyramid is symmetric about column 13 in every row but the singles' row.
    for (int i = 0; i < TILE_COUNT; ++i) {
        if (tiles[i].row == 7) {
            continue;
        }
        bool mirrored = false;
        for (const Tile& other : tiles) {
            mirrored |= other.row == tiles[i].row && other.layer == tiles[i].layer &&
                        other.column + tiles[i].column == 26;
        }
        EXPECT_TRUE(mirrored) << "record " << i;
    }
}

TEST(Layout, MapsGridPositionsToTheScreen) {
    build_full_board();
    EXPECT_EQ(tiles[73].screen_x, 291);
    EXPECT_EQ(tiles[73].screen_y, 162);
    EXPECT_EQ(tiles[70].screen_x, 2);
    EXPECT_EQ(tiles[70].screen_y, 178);
    EXPECT_EQ(tiles[72].screen_x, 590);
    EXPECT_EQ(tiles[72].screen_y, 178);
    int left = 640, top = 400, right = 0, bottom = 0;
    for (const Tile& tile : tiles) {
        left = std::min(left, tile.screen_x);
        top = std::min(top, tile.screen_y);
        right = std::max(right, tile.screen_x + TILE_FACE_WIDTH - 1);
        bottom = std::max(bottom, tile.screen_y + TILE_FACE_HEIGHT - 1);
    }
    EXPECT_EQ(left, 2);
    EXPECT_EQ(top, 10);
    EXPECT_EQ(right, 629);
    EXPECT_EQ(bottom, 391);
}

TEST(Layout, ReadingStopsAtTheTerminator) {
    for (Tile& tile : tiles) {
        tile.column = 99;
    }
    const LayoutEntry table[] = {{2, 4, 6}, {-3, 8, 10}, {0, 0, 0}, {5, 1, 1}};
    build_tiles(table);
    EXPECT_EQ(tile_count, 3);
    EXPECT_EQ(tiles[2].layer, 2);
    EXPECT_EQ(tiles[2].column, 8);
    EXPECT_EQ(tiles[3].column, 99);
}

TEST(Layout, ReadingNeverFillsMoreThanTheBoard) {
    // 143 singles, a stack that crosses the end of the board, then more singles.
    std::vector<LayoutEntry> table;
    for (int i = 0; i < 143; ++i) {
        table.push_back({1, i % 30, i / 30});
    }
    table.push_back({4, 20, 20});
    for (int i = 0; i < 10; ++i) {
        table.push_back({-2, i, 30});
    }
    table.push_back({0, 0, 0});
    build_tiles(table.data());
    EXPECT_EQ(tile_count, TILE_COUNT);
    EXPECT_EQ(tiles[TILE_COUNT - 1].column, 20);
    EXPECT_EQ(tiles[TILE_COUNT - 1].layer, 0);
}

} // namespace
