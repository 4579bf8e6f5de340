// Tests of dealing: the face set, the solution the deal was made from, and the reset.
#include "board/deal.hpp"
#include "board/moves.hpp"
#include "board/rules.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

// Plays deal_solution on the dealt board: every pair must be free and
// matching when taken, so that all 144 tiles are taken.
void expect_solution_clears_board() {
    for (int k = 0; k < TILE_COUNT; k += 2) {
        update_free_tiles();
        Tile& a = tiles[deal_solution[k]];
        Tile& b = tiles[deal_solution[k + 1]];
        ASSERT_TRUE(&a != &b && ((a.flags | b.flags) & (TILE_BLOCKED | TILE_REMOVED)) == 0)
            << "move " << k / 2;
        ASSERT_EQ(faces_match(a.face, b.face), 1) << "move " << k / 2;
        a.flags |= TILE_REMOVED;
        b.flags |= TILE_REMOVED;
    }
}

TEST(Deal, EveryDealHasTheFaceSetAndItsSolutionClearsIt) {
    const char* fixed = std::getenv("MAHJONG_TEST_SEED"); // to replay a failure
    unsigned seed = fixed != nullptr ? std::strtoul(fixed, nullptr, 10) : std::time(nullptr);
    std::printf("seed %u\n", seed);
    std::srand(seed);
    for (int deal = 0; deal < 2000; ++deal) {
        SCOPED_TRACE(deal);
        deal_board(layout_table);
        ASSERT_EQ(tile_count, TILE_COUNT);
        int per_face[FACE_COUNT] = {};
        for (const Tile& tile : tiles) {
            ASSERT_TRUE(tile.face >= 0 && tile.face < FACE_COUNT) << tile.face;
            ++per_face[tile.face];
        }
        for (int face = 0; face < FACE_COUNT; ++face) {
            int dealt = face < FACE_PLAIN_COUNT ? FACE_GROUP_SIZE : face >= FACE_FLOWER_FIRST;
            ASSERT_EQ(per_face[face], dealt) << "face " << face;
        }
        ASSERT_NO_FATAL_FAILURE(expect_solution_clears_board());
    }
}

TEST(Deal, LeavesTheFullBoardReadyForPlayAfterMoves) {
    std::srand(7);
    deal_board(layout_table);
    // Take two pairs, undo one, and select a tile of it again.
    auto click = [](int t) {
        click_tile(CLICK_MOUSE_DOWN, tiles[t].screen_x + 20, tiles[t].screen_y + 23);
    };
    for (int k = 0; k < 4; ++k) {
        click(deal_solution[k]);
    }
    ASSERT_TRUE(undo_move());
    click(deal_solution[2]);
    ASSERT_EQ(history_len, 2);
    ASSERT_NE(tiles[deal_solution[2]].flags & TILE_SELECTED, 0u);
    for (Tile& tile : tiles) {
        tile.screen_x = tile.screen_y = 0;
    }
    deal_board(layout_table);
    EXPECT_EQ(history_len, 0);
    EXPECT_EQ(redo_count, 0);
    EXPECT_STREQ(status_text, STATUS_CLICK_TILE); // nothing is selected any more
    // Nothing taken or selected, and the marks and positions of the full board.
    Tile dealt[TILE_COUNT];
    std::memcpy(dealt, tiles, sizeof tiles);
    update_free_tiles();
    place_tiles();
    for (int i = 0; i < TILE_COUNT; ++i) {
        EXPECT_EQ(dealt[i].flags & (TILE_REMOVED | TILE_SELECTED), 0u) << "tile " << i;
        EXPECT_EQ(dealt[i].flags, tiles[i].flags) << "tile " << i;
        EXPECT_EQ(dealt[i].screen_x, tiles[i].screen_x) << "tile " << i;
        EXPECT_EQ(dealt[i].screen_y, tiles[i].screen_y) << "tile " << i;
    }
}

} // namespace
