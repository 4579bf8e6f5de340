// Tests of the free-tile analysis and the match rule.
#include "board/layout.hpp"
#include "board/rules.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

constexpr uint32_t BLOCKED = TILE_BLOCKED, NORTH = TILE_OPEN_NORTH, SOUTH = TILE_OPEN_SOUTH;
constexpr uint32_t WEST = TILE_OPEN_WEST, EAST_UPPER = TILE_OPEN_EAST_UPPER;
constexpr uint32_t EAST = EAST_UPPER | TILE_OPEN_EAST_LOWER, ALL_OPEN = NORTH | SOUTH | WEST | EAST;

// Builds the records of table; those it leaves unfilled are off the board.
void build_board(std::vector<LayoutEntry> table) {
    table.push_back({0, 0, 0});
    build_tiles(table.data());
}

std::vector<int> free_tiles() {
    std::vector<int> list;
    for (int i = 0; i < TILE_COUNT; ++i) {
        if ((tiles[i].flags & (TILE_BLOCKED | TILE_REMOVED)) == 0) {
            list.push_back(i);
        }
    }
    return list;
}

const std::vector<int> FULL_BOARD_FREE = {0,   11,  12,  14,  24,  25,  26,  29,  32,  41,  43, 45,
                                          50,  53,  64,  66,  70,  72,  73,  78,  81,  92,  94, 98,
                                          101, 104, 113, 115, 117, 118, 120, 130, 131, 132, 143};

TEST(FreeTiles, FullBoardMarksAndWhatRemovingATileFrees) {
    build_tiles(layout_table);
    tiles[5].flags = TILE_SELECTED;
    update_free_tiles();
    EXPECT_EQ(free_tiles(), FULL_BOARD_FREE);
    EXPECT_EQ(tiles[5].flags, TILE_SELECTED | BLOCKED | NORTH); // (12, 0): selected still
    EXPECT_EQ(tiles[70].flags, NORTH | WEST | SOUTH);           // (0, 7)
    EXPECT_EQ(tiles[73].flags, ALL_OPEN);                       // the top tile
    EXPECT_EQ(tiles[46].flags, BLOCKED | NORTH);                // (2, 6)
    const std::vector<int> removals[] = {
        // The tile taken off, then the tiles that frees.
        {73, 57, 61, 85, 89}, // the top tile uncovers the four layer-3 tiles
        {70, 46, 74},         // (0, 7) touched (2, 6) and (2, 8) by half a tile each
        {72, 71},             // (28, 7) was the right neighbour of (26, 7)
    };
    for (const std::vector<int>& removal : removals) {
        tiles[removal[0]].flags |= TILE_REMOVED;
        update_free_tiles();
        std::vector<int> expected(removal.begin() + 1, removal.end());
        expected.insert(expected.end(), FULL_BOARD_FREE.begin(), FULL_BOARD_FREE.end());
        std::erase(expected, removal[0]);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(free_tiles(), expected) << "without tile " << removal[0];
        tiles[removal[0]].flags &= ~TILE_REMOVED; // and back: blocked again in the next round
    }
}

TEST(FreeTiles, OnlyTheOwnLayerBesideAndTheNextLayerUpBlock) {
    struct Board {
        std::vector<LayoutEntry> layout;
        std::vector<int> free;
        int tile;
        uint32_t flags;
    };
    const Board boards[] = {
        // Neighbours half a tile higher on the left and half a tile lower on the right.
        {{{1, 0, 0}, {1, 2, 1}, {1, 4, 2}}, {0, 2}, 1, BLOCKED | NORTH | EAST_UPPER | SOUTH},
        // A neighbour a whole tile lower does not touch.
        {{{1, 0, 0}, {1, 2, 1}, {1, 4, 3}}, {0, 1, 2}, 1, NORTH | EAST | SOUTH},
        // A neighbour below, half a tile to the right, closes the south side too.
        {{{1, 0, 0}, {1, 1, 2}}, {0, 1}, 0, NORTH | WEST | EAST},
        // Lower-layer tiles beside never block.
        {{{1, 0, 0}, {2, 2, 0}, {1, 4, 0}}, {0, 2, 3}, 2, ALL_OPEN},
        // Half a tile of the next layer up covers.
        {{{2, 0, 0}, {2, 2, 0}, {-3, 1, 0}}, {4}, 1, BLOCKED | NORTH | WEST | SOUTH},
        // A tile two layers up does not.
        {{{1, 0, 0}, {2, 2, 0}, {-3, 1, 0}}, {0, 3}, 0, NORTH | WEST | SOUTH},
    };
    for (const Board& board : boards) {
        build_board(board.layout);
        update_free_tiles();
        EXPECT_EQ(free_tiles(), board.free) << "board " << &board - boards;
        EXPECT_EQ(tiles[board.tile].flags, board.flags) << "board " << &board - boards;
    }
}

TEST(FacesMatch, EachPlainFaceItselfAndTheFlowersAndTheSeasonsAmongThemselves) {
    // The tile-set pictures fix the groups: plain faces 0..33, flowers 36..39, seasons 40..43.
    ASSERT_EQ((std::vector{FACE_PLAIN_COUNT, FACE_FLOWER_FIRST, FACE_SEASON_FIRST, FACE_COUNT}),
              (std::vector{34, 36, 40, 44}));
    // A group number per face; the two after the plain faces belong to no group.
    auto group = [](int face) {
        return face < FACE_PLAIN_COUNT     ? face
               : face >= FACE_FLOWER_FIRST ? FACE_COUNT + face / FACE_GROUP_SIZE
                                           : -1;
    };
    for (int a = 0; a < FACE_COUNT; ++a) {
        for (int b = 0; b < FACE_COUNT; ++b) {
            bool pair = group(a) >= 0 && group(a) == group(b);
            ASSERT_EQ(faces_match(a, b), pair ? 1 : 0) << a << ", " << b;
        }
    }
}

} // namespace
