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

// The seed of a randomized test: MAHJONG_TEST_SEED when set, to replay a
// failure, otherwise the clock.
unsigned test_seed() {
    const char* fixed = std::getenv("MAHJONG_TEST_SEED");
    return fixed != nullptr ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10))
                            : static_cast<unsigned>(std::time(nullptr));
}

constexpr int DEALS = 2000;

bool is_free(const Tile& tile) {
    return (tile.flags & (TILE_BLOCKED | TILE_REMOVED)) == 0;
}

int count_free() {
    int count = 0;
    for (const Tile& tile : tiles) {
        count += is_free(tile) ? 1 : 0;
    }
    return count;
}

// Four of each face 0..33, one of each of 36..43, nothing else.
void expect_dealt_face_set() {
    int per_face[44] = {};
    for (const Tile& tile : tiles) {
        ASSERT_GE(tile.face, 0);
        ASSERT_LE(tile.face, 43);
        ++per_face[tile.face];
    }
    for (int face = 0; face < 44; ++face) {
        int expected = face <= 33 ? 4 : (face >= 36 ? 1 : 0);
        ASSERT_EQ(per_face[face], expected) << "face " << face;
    }
}

// Plays deal_solution on the dealt board: every pair must be free and
// matching when taken, and the board must end empty. Leaves tiles as dealt.
void expect_solution_clears_board() {
    Tile dealt[TILE_COUNT];
    std::memcpy(dealt, tiles, sizeof tiles);
    for (int k = 0; k < TILE_COUNT; k += 2) {
        update_free_tiles();
        const Tile& a = tiles[deal_solution[k]];
        const Tile& b = tiles[deal_solution[k + 1]];
        ASSERT_NE(deal_solution[k], deal_solution[k + 1]) << "move " << k / 2;
        ASSERT_TRUE(is_free(a) && is_free(b)) << "move " << k / 2;
        ASSERT_EQ(faces_match(a.face, b.face), 1) << "move " << k / 2;
        tiles[deal_solution[k]].flags |= TILE_REMOVED;
        tiles[deal_solution[k + 1]].flags |= TILE_REMOVED;
    }
    for (const Tile& tile : tiles) {
        ASSERT_NE(tile.flags & TILE_REMOVED, 0u);
    }
    std::memcpy(tiles, dealt, sizeof tiles);
}

TEST(Deal, EveryDealHasTheFaceSetAndCanBeCleared) {
    unsigned seed = test_seed();
    std::printf("seed %u\n", seed);
    std::srand(seed);
    long attempts = 0;
    for (int deal = 0; deal < DEALS; ++deal) {
        SCOPED_TRACE(deal);
        deal_board(layout_table);
        ASSERT_EQ(tile_count, TILE_COUNT);
        ASSERT_GE(deal_attempts, 1);
        attempts += deal_attempts;
        expect_dealt_face_set();
        expect_solution_clears_board();
    }
    std::printf("%.3f attempts per deal\n", static_cast<double>(attempts) / DEALS);
}

void click_middle(int t) {
    click_tile(CLICK_MOUSE_DOWN, tiles[t].screen_x + TILE_FACE_WIDTH / 2,
               tiles[t].screen_y + TILE_FACE_HEIGHT / 2);
}

TEST(Deal, LeavesTheFullBoardReadyForPlay) {
    std::srand(7);
    deal_board(layout_table);
    // Select, take two pairs, undo one, and select again.
    for (int k = 0; k < 4; ++k) {
        click_middle(deal_solution[k]);
    }
    ASSERT_EQ(history_len, 4);
    ASSERT_TRUE(undo_move());
    click_middle(deal_solution[2]);
    ASSERT_NE(tiles[deal_solution[2]].flags & TILE_SELECTED, 0u);
    const char* status = status_text;

    for (Tile& tile : tiles) {
        tile.screen_x = 0;
        tile.screen_y = 0;
    }
    deal_board(layout_table);
    for (const Tile& tile : tiles) {
        EXPECT_EQ(tile.flags & (TILE_REMOVED | TILE_SELECTED), 0u);
    }
    EXPECT_EQ(history_len, 0);
    EXPECT_EQ(redo_count, 0);
    EXPECT_FALSE(undo_move());
    EXPECT_FALSE(redo_move());
    EXPECT_EQ(status_text, status);
    // The marks and positions are those of the full board, not of the random game.
    EXPECT_EQ(count_free(), 35);
    EXPECT_TRUE(is_free(tiles[73]));
    EXPECT_EQ(tiles[73].screen_x, 291);
    EXPECT_EQ(tiles[73].screen_y, 162);
}

} // namespace
