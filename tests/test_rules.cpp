// Tests of the free-tile analysis and the match rule.
#include "board/layout.hpp"
#include "board/rules.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr uint32_t ALL_OPEN = TILE_OPEN_EAST_UPPER | TILE_OPEN_EAST_LOWER | TILE_OPEN_NORTH |
                              TILE_OPEN_WEST | TILE_OPEN_SOUTH;

// Builds the records of table and takes every record it leaves unfilled off the board.
void build_board(const LayoutEntry* table) {
    for (Tile& tile : tiles) {
        tile = Tile{};
    }
    build_tiles(table);
    for (int i = tile_count; i < TILE_COUNT; ++i) {
        tiles[i].flags = TILE_REMOVED;
    }
}

int index_at(int column, int row, int layer) {
    for (int i = 0; i < TILE_COUNT; ++i) {
        if (tiles[i].column == column && tiles[i].row == row && tiles[i].layer == layer) {
            return i;
        }
    }
    ADD_FAILURE() << "no tile at " << column << "," << row << " layer " << layer;
    return 0;
}

bool is_free(int i) {
    return (tiles[i].flags & (TILE_BLOCKED | TILE_REMOVED)) == 0;
}

std::vector<int> free_tiles() {
    std::vector<int> list;
    for (int i = 0; i < TILE_COUNT; ++i) {
        if (is_free(i)) {
            list.push_back(i);
        }
    }
    return list;
}

TEST(FreeTiles, FullBoardHas35FreeTiles) {
    build_board(layout_table);
    update_free_tiles();
    const std::vector<int> expected = {0,   11,  12,  14,  24,  25,  26,  29,  32,  41,  43, 45,
                                       50,  53,  64,  66,  70,  72,  73,  78,  81,  92,  94, 98,
                                       101, 104, 113, 115, 117, 118, 120, 130, 131, 132, 143};
    EXPECT_EQ(free_tiles(), expected);
}

TEST(FreeTiles, FullBoardOpenSides) {
    build_board(layout_table);
    update_free_tiles();
    EXPECT_EQ(tiles[70].flags, TILE_OPEN_NORTH | TILE_OPEN_WEST | TILE_OPEN_SOUTH);
    EXPECT_EQ(tiles[73].flags, ALL_OPEN);
    EXPECT_EQ(tiles[index_at(2, 6, 0)].flags, TILE_BLOCKED | TILE_OPEN_NORTH);
    // A tile with its upper right neighbour only: (24, 6) touches (26, 7) by its lower half.
    EXPECT_EQ(tiles[index_at(24, 6, 0)].flags & (TILE_OPEN_EAST_UPPER | TILE_OPEN_EAST_LOWER),
              TILE_OPEN_EAST_UPPER);
}

TEST(FreeTiles, RemovingTilesFreesTheirNeighbours) {
    build_board(layout_table);
    update_free_tiles();
    const int layer3[] = {index_at(12, 6, 3), index_at(14, 6, 3), index_at(12, 8, 3),
                          index_at(14, 8, 3)};
    for (int i : layer3) {
        EXPECT_FALSE(is_free(i)) << i;
    }
    const int west_upper = index_at(2, 6, 0);
    const int west_lower = index_at(2, 8, 0);
    EXPECT_FALSE(is_free(west_upper));
    EXPECT_FALSE(is_free(west_lower));
    EXPECT_FALSE(is_free(71));

    tiles[73].flags |= TILE_REMOVED;
    tiles[70].flags |= TILE_REMOVED;
    tiles[72].flags |= TILE_REMOVED;
    update_free_tiles();
    for (int i : layer3) {
        EXPECT_TRUE(is_free(i)) << i;
    }
    EXPECT_TRUE(is_free(west_upper));
    EXPECT_TRUE(is_free(west_lower));
    EXPECT_TRUE(is_free(71));
    // The removed marks are left alone, and putting the tiles back blocks them again.
    EXPECT_NE(tiles[73].flags & TILE_REMOVED, 0u);
    tiles[73].flags &= ~TILE_REMOVED;
    tiles[70].flags &= ~TILE_REMOVED;
    update_free_tiles();
    EXPECT_FALSE(is_free(layer3[0]));
    EXPECT_FALSE(is_free(west_upper));
}

TEST(FreeTiles, HalfTileNeighboursTouch) {
    // The middle tile has a neighbour half a tile higher on its left and half
    // a tile lower on its right.
    const LayoutEntry staggered[] = {{1, 0, 0}, {1, 2, 1}, {1, 4, 2}, {0, 0, 0}};
    build_board(staggered);
    update_free_tiles();
    EXPECT_FALSE(is_free(1));
    EXPECT_TRUE(is_free(0));
    EXPECT_TRUE(is_free(2));
    EXPECT_EQ(tiles[1].flags & ALL_OPEN, TILE_OPEN_NORTH | TILE_OPEN_EAST_UPPER | TILE_OPEN_SOUTH);

    // A whole tile lower on the right no longer touches.
    const LayoutEntry apart[] = {{1, 0, 0}, {1, 2, 1}, {1, 4, 3}, {0, 0, 0}};
    build_board(apart);
    update_free_tiles();
    EXPECT_TRUE(is_free(1));
}

TEST(FreeTiles, OnlyTheOwnLayerAndTheNextOneUpCount) {
    // A layer-1 tile standing on a layer-0 tile between two layer-0 tiles.
    const LayoutEntry beside[] = {{1, 0, 0}, {2, 2, 0}, {1, 4, 0}, {0, 0, 0}};
    build_board(beside);
    update_free_tiles();
    EXPECT_TRUE(is_free(2)) << "lower-layer tiles beside it never block";
    EXPECT_EQ(tiles[2].flags, ALL_OPEN);
    EXPECT_FALSE(is_free(1));

    // Two stacks of two, and a layer-2 tile resting half on each of them.
    const LayoutEntry bridged[] = {{2, 0, 0}, {2, 2, 0}, {-3, 1, 0}, {0, 0, 0}};
    build_board(bridged);
    update_free_tiles();
    EXPECT_FALSE(is_free(1)) << "covered by half a tile from the next layer up";
    EXPECT_FALSE(is_free(3));
    EXPECT_TRUE(is_free(4));
    EXPECT_FALSE(is_free(0));
    tiles[1].flags |= TILE_REMOVED;
    update_free_tiles();
    EXPECT_TRUE(is_free(0)) << "a tile two layers up does not cover it";
    EXPECT_FALSE(is_free(2));
}

// The match groups: each face 0..33 alone, 36..39, 40..43; 34 and 35 in none.
int match_group(int face) {
    if (face <= 33) {
        return face;
    }
    return face >= 36 ? 34 + (face - 36) / 4 : -1;
}

TEST(FacesMatch, PairsFacesByGroup) {
    EXPECT_EQ(faces_match(5, 5), 1);
    EXPECT_EQ(faces_match(5, 6), 0);
    EXPECT_EQ(faces_match(36, 39), 1);
    EXPECT_EQ(faces_match(39, 40), 0);
    EXPECT_EQ(faces_match(40, 43), 1);
    EXPECT_EQ(faces_match(34, 34), 0);
    EXPECT_EQ(faces_match(35, 35), 0);
    EXPECT_EQ(faces_match(33, 36), 0);
    for (int a = 0; a <= 43; ++a) {
        for (int b = 0; b <= 43; ++b) {
            bool same = match_group(a) >= 0 && match_group(a) == match_group(b);
            ASSERT_EQ(faces_match(a, b), same ? 1 : 0) << a << "," << b;
        }
    }
}

} // namespace
