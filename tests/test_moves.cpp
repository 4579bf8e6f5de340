// Tests of clicks, taking pairs, undo and redo.
#include "board/deal.hpp"
#include "board/moves.hpp"
#include "board/rules.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

namespace {

// The seed of a randomized test: MAHJONG_TEST_SEED when set, to replay a
// failure, otherwise the clock.
unsigned test_seed() {
    const char* fixed = std::getenv("MAHJONG_TEST_SEED");
    return fixed != nullptr ? static_cast<unsigned>(std::strtoul(fixed, nullptr, 10))
                            : static_cast<unsigned>(std::time(nullptr));
}

// A face that matches nothing, not even itself.
constexpr int LONE_FACE = 34;

// A dealt board on which no two tiles match until a test gives them faces.
void lone_board() {
    std::srand(1);
    deal_board(layout_table);
    for (Tile& tile : tiles) {
        tile.face = LONE_FACE;
    }
    status_text = STATUS_CLICK_TILE;
}

// The records of table alone, every unfilled record taken off the board.
void small_board(const LayoutEntry* table) {
    for (Tile& tile : tiles) {
        tile = Tile{};
    }
    build_tiles(table);
    for (int i = tile_count; i < TILE_COUNT; ++i) {
        tiles[i].flags = TILE_REMOVED;
    }
    history_len = 0;
    redo_count = 0;
}

// Clicks the middle of tile t's box, where no neighbour's box reaches.
int click(int t) {
    int x = tile_screen_x(tiles[t].column, tiles[t].layer) + TILE_FACE_WIDTH / 2;
    int y = tile_screen_y(tiles[t].row, tiles[t].layer) + TILE_FACE_HEIGHT / 2;
    return click_tile(CLICK_MOUSE_DOWN, x, y);
}

std::vector<int> selected() {
    std::vector<int> list;
    for (int i = 0; i < TILE_COUNT; ++i) {
        if ((tiles[i].flags & TILE_SELECTED) != 0) {
            list.push_back(i);
        }
    }
    return list;
}

bool removed(int t) {
    return (tiles[t].flags & TILE_REMOVED) != 0;
}

std::vector<int> taken() {
    return std::vector<int>(history, history + history_len);
}

TEST(Click, OnlyAMouseButtonGoingDownActs) {
    lone_board();
    const int x = tiles[0].screen_x + 5;
    const int y = tiles[0].screen_y + 5;
    EXPECT_EQ(click_tile(1027, x, y), 0);
    EXPECT_EQ(click_tile(1030, x, y), 0);
    EXPECT_EQ(click_tile(13, x, y), 0);
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(status_text, STATUS_CLICK_TILE);
    EXPECT_EQ(click_tile(CLICK_MOUSE_DOWN, x, y), 1);
    EXPECT_EQ(selected(), std::vector<int>{0});
}

TEST(Click, BoxHoldsItsTopLeftCornerButNotItsFarEdges) {
    lone_board();
    // Tile 0 stands alone at the top left; nothing else reaches these points.
    const int x = tiles[0].screen_x;
    const int y = tiles[0].screen_y;
    EXPECT_EQ(click_tile(CLICK_MOUSE_DOWN, x + TILE_FACE_WIDTH, y + 10), 0);
    EXPECT_EQ(click_tile(CLICK_MOUSE_DOWN, x + 10, y + TILE_FACE_HEIGHT), 0);
    EXPECT_EQ(click_tile(CLICK_MOUSE_DOWN, x - 1, y + 10), 0);
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(click_tile(CLICK_MOUSE_DOWN, x + TILE_FACE_WIDTH - 1, y + TILE_FACE_HEIGHT - 1), 1);
    EXPECT_EQ(selected(), std::vector<int>{0});
    EXPECT_EQ(click_tile(CLICK_MOUSE_DOWN, x, y), 1);
    EXPECT_TRUE(selected().empty());
}

TEST(Click, OverlappingBoxesGoToTheHighestFreeTile) {
    // A layer-0 tile whose box's bottom edge lies under a free layer-1 tile's box.
    const LayoutEntry raised[] = {{1, 0, 0}, {-2, 0, 2}, {0, 0, 0}};
    small_board(raised);
    EXPECT_EQ(click_tile(CLICK_MOUSE_DOWN, 10, 54), 1);
    EXPECT_EQ(selected(), std::vector<int>{1});

    // The same with the layer-1 tile covered: the click falls through to layer 0.
    const LayoutEntry covered[] = {{1, 0, 0}, {-2, 0, 2}, {-3, 0, 2}, {0, 0, 0}};
    small_board(covered);
    EXPECT_EQ(click_tile(CLICK_MOUSE_DOWN, 7, 54), 1);
    EXPECT_EQ(selected(), std::vector<int>{0});

    // Two overlapping tiles of one layer: the lower index wins, wherever it stands.
    const LayoutEntry left_first[] = {{1, 0, 0}, {1, 1, 0}, {0, 0, 0}};
    const LayoutEntry right_first[] = {{1, 1, 0}, {1, 0, 0}, {0, 0, 0}};
    for (const LayoutEntry* table : {left_first, right_first}) {
        small_board(table);
        EXPECT_EQ(click_tile(CLICK_MOUSE_DOWN, 30, 20), 1);
        EXPECT_EQ(selected(), std::vector<int>{0});
    }
}

TEST(Click, ABlockedTileWithNothingFreeBeneathIgnoresTheClick) {
    lone_board();
    ASSERT_EQ(click(0), 1);
    // Tile 3, in the middle of the top row, is blocked by both neighbours.
    EXPECT_EQ(click(3), 0);
    EXPECT_EQ(selected(), std::vector<int>{0});
    EXPECT_EQ(status_text, STATUS_CLICK_ANOTHER);
    EXPECT_EQ(history_len, 0);
}

TEST(Select, SameTileTwiceSelectsThenDeselects) {
    lone_board();
    EXPECT_EQ(click(11), 1);
    EXPECT_EQ(selected(), std::vector<int>{11});
    EXPECT_EQ(status_text, STATUS_CLICK_ANOTHER);
    EXPECT_EQ(click(11), 1);
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(status_text, STATUS_CLICK_TILE);
    EXPECT_EQ(history_len, 0);
}

TEST(Select, ANonMatchingTileLeavesTheFirstSelected) {
    lone_board();
    tiles[0].face = 36;
    tiles[11].face = 5;
    tiles[143].face = 39;
    click(0);
    EXPECT_EQ(click(11), 1);
    EXPECT_EQ(selected(), std::vector<int>{0});
    EXPECT_EQ(status_text, STATUS_CLICK_ANOTHER);
    EXPECT_EQ(history_len, 0);
    EXPECT_EQ(click(143), 1);
    EXPECT_EQ(taken(), (std::vector<int>{0, 143}));
    EXPECT_TRUE(removed(0) && removed(143));
    EXPECT_FALSE(removed(11));
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(status_text, STATUS_CLICK_TILE);
}

// Gives each pair one face of its own and takes them in order.
void take_pairs(const std::vector<std::vector<int>>& pairs) {
    for (const std::vector<int>& pair : pairs) {
        tiles[pair[0]].face = tiles[pair[1]].face = static_cast<int>(&pair - &pairs[0]);
        ASSERT_EQ(click(pair[0]), 1);
        ASSERT_EQ(click(pair[1]), 1);
    }
}

TEST(History, UndoRedoAndANewPairThatEndsTheRedoList) {
    lone_board();
    take_pairs({{0, 11}, {132, 143}, {70, 72}});
    ASSERT_EQ(taken(), (std::vector<int>{0, 11, 132, 143, 70, 72}));
    EXPECT_TRUE(undo_move());
    EXPECT_TRUE(undo_move());
    EXPECT_EQ(history_len, 2);
    EXPECT_EQ(redo_count, 2);
    for (int t : {132, 143, 70, 72}) {
        EXPECT_FALSE(removed(t)) << t;
    }
    EXPECT_TRUE(redo_move());
    EXPECT_EQ(history_len, 4);
    EXPECT_EQ(redo_count, 1);
    EXPECT_TRUE(removed(132) && removed(143));

    take_pairs({{12, 25}});
    EXPECT_EQ(redo_count, 0);
    EXPECT_EQ(taken(), (std::vector<int>{0, 11, 132, 143, 12, 25}));
    EXPECT_FALSE(removed(70) || removed(72));
    EXPECT_FALSE(redo_move());
}

TEST(History, RedoDeselectsATileOfThePairItTakes) {
    lone_board();
    take_pairs({{0, 11}});
    ASSERT_TRUE(undo_move());
    ASSERT_EQ(click(11), 1);
    ASSERT_EQ(selected(), std::vector<int>{11});
    EXPECT_TRUE(redo_move());
    EXPECT_TRUE(removed(0) && removed(11));
    EXPECT_TRUE(selected().empty());
    EXPECT_EQ(click(143), 1);
    EXPECT_EQ(selected(), std::vector<int>{143});
}

TEST(History, NothingToUndoOrRedo) {
    lone_board();
    click(0);
    EXPECT_FALSE(undo_move());
    EXPECT_FALSE(redo_move());
    EXPECT_EQ(history_len, 0);
    EXPECT_EQ(redo_count, 0);
    EXPECT_EQ(selected(), std::vector<int>{0});
}

TEST(Click, MeetsTheCurrentBoardWithoutADrawInBetween) {
    lone_board();
    // Nothing has been drawn: the positions the records hold are stale.
    for (Tile& tile : tiles) {
        tile.screen_x = 0;
        tile.screen_y = 0;
    }
    // Taking the single tiles at both ends frees the tiles at (2, 6) and (2, 8).
    take_pairs({{70, 72}});
    ASSERT_TRUE(removed(70) && removed(72));
    EXPECT_EQ(click(46), 1);
    EXPECT_EQ(selected(), std::vector<int>{46});
}

// The three invariants of the history and the selection, and the history's bounds.
void expect_invariants() {
    ASSERT_EQ(history_len % 2, 0);
    ASSERT_GE(redo_count, 0);
    ASSERT_LE(history_len + 2 * redo_count, TILE_COUNT);
    bool in_history[TILE_COUNT] = {};
    for (int k = 0; k < history_len; ++k) {
        ASSERT_FALSE(in_history[history[k]]) << "tile " << history[k] << " taken twice";
        in_history[history[k]] = true;
    }
    int selected_count = 0;
    for (int i = 0; i < TILE_COUNT; ++i) {
        ASSERT_EQ(removed(i), in_history[i]) << "tile " << i;
        bool is_selected = (tiles[i].flags & TILE_SELECTED) != 0;
        ASSERT_FALSE(is_selected && removed(i)) << "tile " << i;
        selected_count += is_selected ? 1 : 0;
    }
    ASSERT_LE(selected_count, 1);
}

// A free tile, preferring one that matches the selected tile; -1 when none is free.
int pick_free_tile(std::mt19937& random) {
    update_free_tiles();
    std::vector<int> free_list;
    std::vector<int> matching;
    std::vector<int> chosen = selected();
    for (int i = 0; i < TILE_COUNT; ++i) {
        if ((tiles[i].flags & (TILE_BLOCKED | TILE_REMOVED)) != 0) {
            continue;
        }
        free_list.push_back(i);
        if (!chosen.empty() && i != chosen[0] &&
            faces_match(tiles[i].face, tiles[chosen[0]].face)) {
            matching.push_back(i);
        }
    }
    const std::vector<int>& from = !matching.empty() && random() % 2 == 0 ? matching : free_list;
    return from.empty() ? -1 : from[random() % from.size()];
}

void random_step(std::mt19937& random) {
    unsigned roll = random() % 1000;
    if (roll < 2) {
        deal_board(layout_table);
    } else if (roll < 150) {
        undo_move();
    } else if (roll < 300) {
        redo_move();
    } else if (roll < 700) {
        int t = pick_free_tile(random);
        if (t >= 0) {
            EXPECT_EQ(click(t), 1);
        }
    } else {
        int code = roll < 950 ? CLICK_MOUSE_DOWN : 1027;
        click_tile(code, static_cast<int>(random() % 660) - 10,
                   static_cast<int>(random() % 420) - 10);
    }
}

TEST(History, InvariantsHoldUnderRandomPlay) {
    constexpr int SEEDS = 30;
    constexpr int STEPS = 10000;
    const unsigned base_seed = test_seed();
    std::printf("seeds %u to %u\n", base_seed, base_seed + SEEDS - 1);
    for (int s = 0; s < SEEDS; ++s) {
        SCOPED_TRACE(base_seed + s);
        std::srand(base_seed + s);
        std::mt19937 random(base_seed + s);
        deal_board(layout_table);
        for (int step = 0; step < STEPS; ++step) {
            random_step(random);
            expect_invariants();
            ASSERT_FALSE(HasFatalFailure()) << "step " << step;
        }
    }
}

} // namespace
