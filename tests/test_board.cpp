// Tests of the board: the free-tile rule, dealing, and the player's moves (the layout's records
// are pinned with the board's frames in test_render.cpp).
#include "board/deal.hpp"
#include "board/layout.hpp"
#include "board/moves.hpp"
#include "board/rules.hpp"
#include "support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <ranges>
#include <vector>

namespace {

using Tiles = std::vector<int>;
constexpr uint32_t NORTH = TILE_OPEN_NORTH, SOUTH = TILE_OPEN_SOUTH, WEST = TILE_OPEN_WEST;
constexpr uint32_t EAST = TILE_OPEN_EAST_UPPER | TILE_OPEN_EAST_LOWER;
constexpr uint32_t MARKS = TILE_BLOCKED | NORTH | SOUTH | WEST | EAST;

// Whether a tile on the board covers the cell (dc, dr) from a's top-left, dl layers above a.
bool covered(const Tile& a, int dl, int dc, int dr) {
    return std::any_of(tiles, tiles + TILE_COUNT, [&](const Tile& b) {
        return (b.flags & TILE_REMOVED) == 0 && b.layer == a.layer + dl &&
               unsigned(a.column + dc - b.column) < 2 && unsigned(a.row + dr - b.row) < 2;
    });
}

// The marks of tile a from the geometry: a side is open when no tile of a's layer covers a cell
// along it; a is blocked when left and right are closed, or the next layer covers one of its cells.
uint32_t expected_marks(const Tile& a) {
    bool west = covered(a, 0, -1, 0) || covered(a, 0, -1, 1);
    bool upper = covered(a, 0, 2, 0), lower = covered(a, 0, 2, 1);
    bool north = covered(a, 0, 0, -1) || covered(a, 0, 1, -1);
    bool south = covered(a, 0, 0, 2) || covered(a, 0, 1, 2);
    bool above =
        covered(a, 1, 0, 0) || covered(a, 1, 1, 0) || covered(a, 1, 0, 1) || covered(a, 1, 1, 1);
    return ((west && (upper || lower)) || above ? TILE_BLOCKED : 0) | (west ? 0 : WEST) |
           (upper ? 0 : TILE_OPEN_EAST_UPPER) | (lower ? 0 : TILE_OPEN_EAST_LOWER) |
           (north ? 0 : NORTH) | (south ? 0 : SOUTH);
}

bool free_now(int t) {
    return (tiles[t].flags & TILE_REMOVED) == 0 && (expected_marks(tiles[t]) & TILE_BLOCKED) == 0;
}

// The tiles with any bit of flag, in index order.
Tiles with_flag(uint32_t flag) {
    Tiles list;
    std::ranges::copy_if(std::views::iota(0, TILE_COUNT), std::back_inserter(list),
                         [=](int i) { return (tiles[i].flags & flag) != 0; });
    return list;
}

TEST(FacesMatch, EachPlainFaceItselfAndTheFlowersAndTheSeasonsAmongThemselves) {
    // Faces 0..33 are plain, 34 and 35 blanks, 36..39 the flowers and 40..43 the seasons.
    auto group = [](int face) { return face < 34 ? face : face < 36 ? -1 : 34 + (face - 36) / 4; };
    for (int a = 0; a < 44; ++a) {
        for (int b = 0; b < 44; ++b) {
            ASSERT_EQ(faces_match(a, b), group(a) >= 0 && group(a) == group(b)) << a << ", " << b;
        }
    }
}

TEST(Deal, SortKeysAscendAndEqualRandomPartsGoByTheirPayload) {
    const int32_t ordered[][2] = {{0x000105, 0x000203}, {0x123405, 0x123407}, {0x1234FF, 0x123500}};
    for (const auto& k : ordered) { // each key before the next one, and equal to itself
        EXPECT_TRUE(compare_keys(&k[0], &k[1]) < 0 && compare_keys(&k[1], &k[0]) > 0 &&
                    compare_keys(&k[1], &k[1]) == 0)
            << std::hex << k[0] << " " << k[1];
    }
}

TEST(Deal, EveryDealHasTheFaceSetAndASolutionAndIsReadyForPlay) {
    std::srand(test_seed());
    Tiles face_set(34, 4); // four of each plain face, no blank, one of each flower and season
    face_set.insert(face_set.end(), {0, 0, 1, 1, 1, 1, 1, 1, 1, 1});
    for (int deal = 0; deal < 400; ++deal) {
        SCOPED_TRACE(deal);
        // A game in progress: a selection, a history, positions not yet placed.
        tiles[deal % TILE_COUNT].flags |= TILE_SELECTED;
        history_len = redo_count = 2;
        status_text = STATUS_CLICK_ANOTHER;
        std::for_each(tiles, tiles + TILE_COUNT, [](Tile& t) { t.screen_x = t.screen_y = -1; });
        deal_board(layout_table);
        ASSERT_EQ((Tiles{tile_count, history_len, redo_count}), (Tiles{TILE_COUNT, 0, 0}));
        ASSERT_EQ(status_text, STATUS_CLICK_TILE);
        // Nothing taken or selected, and the full board's marks and positions.
        Tile dealt[TILE_COUNT];
        std::copy_n(tiles, TILE_COUNT, dealt);
        update_free_tiles();
        place_tiles();
        Tiles per_face(44);
        for (int i = 0; i < TILE_COUNT; ++i) {
            const Tile &d = dealt[i], &t = tiles[i];
            ASSERT_EQ(
                (Tiles{int(d.flags), d.screen_x, d.screen_y}),
                (Tiles{int(t.flags & ~(TILE_REMOVED | TILE_SELECTED)), t.screen_x, t.screen_y}))
                << "tile " << i;
            ++per_face.at(d.face);
        }
        ASSERT_EQ(per_face, face_set);
        for (int k = 0; k < TILE_COUNT; k += 2) { // the game it was made from clears it
            int a = deal_solution[k], b = deal_solution[k + 1];
            ASSERT_NE(a, b) << "move " << k / 2;
            update_free_tiles();
            ASSERT_EQ((tiles[a].flags | tiles[b].flags) & (TILE_BLOCKED | TILE_REMOVED), 0u)
                << "move " << k / 2;
            ASSERT_EQ(faces_match(tiles[a].face, tiles[b].face), 1) << "move " << k / 2;
            tiles[a].flags |= TILE_REMOVED;
            tiles[b].flags |= TILE_REMOVED;
        }
    }
}

// The tile a press at (x, y) hits: of free tiles whose 40 x 46 box holds it, the highest, first.
int expected_hit(int x, int y) {
    int hit = -1;
    for (int i = 0; i < TILE_COUNT; ++i) {
        const Tile& t = tiles[i];
        int dx = x - tile_screen_x(t.column, t.layer), dy = y - tile_screen_y(t.row, t.layer);
        if (unsigned(dx) < 40 && unsigned(dy) < 46 && free_now(i) &&
            (hit < 0 || t.layer > tiles[hit].layer)) {
            hit = i;
        }
    }
    return hit;
}

// Random play on the built-in board and on a small one whose boxes overlap: new games (no
// screen positions placed), undo, redo, and mouse codes in and around a random tile's box.
// Models of the click, the history and the free-tile rule predict every result and state.
TEST(Moves, RandomPlayFollowsModelsOfTheClickAndTheHistory) {
    const LayoutEntry overlaps[] = {{1, 0, 0},  {1, 1, 0},  {-2, 0, 2}, {-3, 0, 2}, {1, 5, 0},
                                    {-2, 3, 2}, {-2, 5, 2}, {-2, 7, 2}, {0, 0, 0}};
    const int faces[] = {0, 1, 36, 39}; // two plain faces and two flowers: many pairs
    std::mt19937 random(test_seed());
    Tiles taken, undone, selected; // the history's two parts, and the selection
    for (int step = 0; step < 30000; ++step) {
        SCOPED_TRACE(step);
        unsigned roll = random() % 200;
        if (step % 10000 == 0 || roll == 0) {
            build_tiles(step < 20000 ? layout_table : overlaps);
            for (Tile& tile : tiles) {
                tile.face = faces[random() % 4];
                tile.screen_x = tile.screen_y = 0;
            }
            reset_moves();
            taken.clear(), undone.clear(), selected.clear();
        } else if (roll < 40) { // an undo puts the last pair taken first in the redo list
            bool undo = roll < 20, stepped = !(undo ? taken : undone).empty();
            ASSERT_EQ(undo ? undo_move() : redo_move(), stepped);
            if (stepped && undo) {
                undone.insert(undone.begin(), taken.end() - 2, taken.end());
                taken.resize(taken.size() - 2);
            } else if (stepped) { // and a redo takes it again, with a selected tile of it
                taken.insert(taken.end(), undone.begin(), undone.begin() + 2);
                undone.erase(undone.begin(), undone.begin() + 2);
                std::erase_if(selected,
                              [&](int t) { return t == taken.end()[-1] || t == taken.end()[-2]; });
            }
        } else {
            int code = roll < 180 ? 1024 : roll % 2 == 0 ? 1027 : 1030; // press, release, move
            const Tile& aim = tiles[random() % tile_count];
            int x = tile_screen_x(aim.column, aim.layer) + int(random() % 44) - 2;
            int y = tile_screen_y(aim.row, aim.layer) + int(random() % 50) - 2;
            int hit = code == 1024 ? expected_hit(x, y) : -1;
            int s = selected.empty() ? -1 : selected[0];
            bool pairs = hit >= 0 && s >= 0 && s != hit && free_now(s); // else s is let go
            ASSERT_EQ(click_tile(code, x, y), hit >= 0 ? 1 : 0);
            if (pairs && faces_match(tiles[s].face, tiles[hit].face) != 0) {
                taken.insert(taken.end(), {s, hit});
                undone.clear();
                selected.clear();
            } else if (hit >= 0) {
                selected = hit == s ? Tiles{} : pairs ? Tiles{s} : Tiles{hit};
            }
        }
        if (step % 100 == 0) { // the marks of every tile on the board, stale ones updated
            update_free_tiles();
            for (int i = 0; i < tile_count; ++i) {
                ASSERT_TRUE((tiles[i].flags & TILE_REMOVED) != 0 ||
                            (tiles[i].flags & MARKS) == expected_marks(tiles[i]))
                    << "tile " << i;
            }
        }
        ASSERT_EQ((Tiles{history_len, 2 * redo_count}),
                  (Tiles{int(taken.size()), int(undone.size())}));
        ASSERT_EQ(Tiles(history, history + history_len), taken);
        ASSERT_EQ(Tiles(history + history_len, history + history_len + undone.size()), undone);
        Tiles removed = with_flag(TILE_REMOVED), in_play = taken; // beside the records left over
        std::erase_if(removed, [](int t) { return t >= tile_count; });
        std::sort(in_play.begin(), in_play.end());
        ASSERT_EQ(removed, in_play);
        ASSERT_EQ(with_flag(TILE_SELECTED), selected);
        ASSERT_EQ(status_text, selected.empty() ? STATUS_CLICK_TILE : STATUS_CLICK_ANOTHER);
    }
}

} // namespace
