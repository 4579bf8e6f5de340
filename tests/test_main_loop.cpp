// Tests of start-up, the dispatch of event codes and the passes of the main loop.
#include "board/deal.hpp"
#include "board/moves.hpp"
#include "board/rules.hpp"
#include "frame/main_loop.hpp"
#include "image/pictures.hpp"
#include "platform/display.hpp"
#include "platform/input.hpp"
#include "render/board_view.hpp"
#include "render/draw.hpp"
#include "support.hpp"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sys/stat.h>
#include <vector>

namespace {

// A pixel in a corner no tile, shadow or text reaches: it survives a pass
// only when that pass does not redraw.
constexpr int MARK_X = 639;
constexpr int MARK_Y = 399;
constexpr uint16_t MARK = 0x1234;

class MainLoopTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static ScratchDir data_dir; // lives until the program ends
        mkdir("data", 0755);
        write_file("data/tiles0.pcx", face_tileset_pcx());
        tileset_index = -1;
        background_index = -1;
        open_test_display();
        game_prepare();
    }

    void SetUp() override {
        event_queue = {};
        key_repeat = {};
        deal_board(layout_table);
        loop_state = {false, 0, false};
    }

    static void mark_screen() { *screen_pixel(MARK_X, MARK_Y) = MARK; }
    static bool redrawn() { return *screen_pixel(MARK_X, MARK_Y) != MARK; }

    static void click_tile_at(int index) {
        event_push(EV_MOUSE_DOWN);
        event_push(tiles[index].screen_x + 20);
        event_push(tiles[index].screen_y + 20);
    }

    // Takes the first pairs of the deal's own solution through the queue.
    static void take_pairs(int pairs) {
        for (int k = 0; k < 2 * pairs; ++k) {
            click_tile_at(deal_solution[k]);
            drain_events();
        }
        ASSERT_EQ(history_len, 2 * pairs);
    }

    static std::vector<int32_t> faces() {
        std::vector<int32_t> result;
        for (const Tile& tile : tiles) {
            result.push_back(tile.face);
        }
        return result;
    }
};

TEST_F(MainLoopTest, StartUpLeavesTheFirstFrameToDraw) {
    EXPECT_EQ(tileset_index, 0);
    EXPECT_EQ(background_index, -1);
    EXPECT_STREQ(status_text, "Click on a tile");
    loop_state.redraw_pending = true; // as start-up left it
    mark_screen();
    EXPECT_TRUE(run_pass());
    EXPECT_TRUE(redrawn());
    EXPECT_FALSE(loop_state.redraw_pending);
}

TEST_F(MainLoopTest, APassWithoutEventsDrawsNothing) {
    mark_screen();
    EXPECT_TRUE(run_pass());
    EXPECT_FALSE(redrawn());
}

TEST_F(MainLoopTest, MouseMovesAndReleasesCauseNoRedraw) {
    for (int code : {EV_MOUSE_MOVE, EV_MOUSE_UP}) {
        event_push(code);
        event_push(tiles[0].screen_x + 20);
        event_push(tiles[0].screen_y + 20);
    }
    mark_screen();
    run_pass();
    EXPECT_FALSE(redrawn());
    EXPECT_EQ(tiles[0].flags & TILE_SELECTED, 0u);
}

TEST_F(MainLoopTest, AClickIsDrawnInTheSamePass) {
    click_tile_at(deal_solution[0]);
    mark_screen();
    run_pass();
    EXPECT_TRUE(redrawn());
    EXPECT_NE(tiles[deal_solution[0]].flags & TILE_SELECTED, 0u);
    EXPECT_STREQ(status_text, "Click on another tile");
}

TEST_F(MainLoopTest, SeveralUndosInOnePassGiveOneStepDrawnInTheNext) {
    take_pairs(2);
    for (int i = 0; i < 3; ++i) {
        event_push(KEY_LEFT);
    }
    run_pass();
    EXPECT_EQ(history_len, 2);
    EXPECT_EQ(redo_count, 1);
    EXPECT_TRUE(loop_state.redraw_pending);
    mark_screen();
    run_pass();
    EXPECT_TRUE(redrawn());
    EXPECT_EQ(history_len, 2);
}

TEST_F(MainLoopTest, UndoThenRedoInOneDrainGivesOnlyTheRedo) {
    take_pairs(2);
    event_push(KEY_LEFT);
    run_pass();
    ASSERT_EQ(history_len, 2);
    event_push(KEY_LEFT);
    event_push(KEY_RIGHT);
    run_pass();
    EXPECT_EQ(history_len, 4);
    EXPECT_EQ(redo_count, 0);
}

TEST_F(MainLoopTest, UndoWithEmptyHistoryChangesAndDrawsNothing) {
    event_push(KEY_LEFT);
    run_pass();
    mark_screen();
    run_pass();
    EXPECT_FALSE(redrawn());
    EXPECT_EQ(history_len, 0);
    EXPECT_EQ(redo_count, 0);
}

TEST_F(MainLoopTest, EscapeThenEnterDealsDrawsAndThenEnds) {
    std::vector<int32_t> before = faces();
    event_push(KEY_ESCAPE);
    event_push(KEY_ENTER);
    mark_screen();
    EXPECT_FALSE(run_pass());
    EXPECT_TRUE(redrawn());
    EXPECT_NE(faces(), before);
}

TEST_F(MainLoopTest, KeysWithModifiersOrUnknownCodesAreIgnored) {
    for (int code : {0, 896, 525, 539, 402, 1}) {
        event_push(code);
    }
    mark_screen();
    EXPECT_TRUE(run_pass());
    EXPECT_FALSE(redrawn());
    EXPECT_EQ(tileset_index, 0);
}

TEST_F(MainLoopTest, FunctionKeysCycleThePicturesAndRedraw) {
    event_push(KEY_F1); // only tiles0 exists: tiles1 fails, tiles0 again
    mark_screen();
    run_pass();
    EXPECT_TRUE(redrawn());
    EXPECT_EQ(tileset_index, 0);
    ASSERT_NE(tileset_image.pixels, nullptr);
    event_push(KEY_F2); // no background at all: the screen's backdrop stays
    run_pass();
    EXPECT_EQ(background_index, 0);
}

// The history, the removed marks and the selection agree.
::testing::AssertionResult board_is_consistent() {
    if (history_len < 0 || history_len % 2 != 0 || redo_count < 0 ||
        history_len + 2 * redo_count > TILE_COUNT) {
        return ::testing::AssertionFailure()
               << "history_len " << history_len << ", redo_count " << redo_count;
    }
    std::set<int> taken(history, history + history_len);
    if (taken.size() != static_cast<size_t>(history_len)) {
        return ::testing::AssertionFailure() << "a tile is taken twice";
    }
    int selected = 0;
    for (int i = 0; i < TILE_COUNT; ++i) {
        bool removed = (tiles[i].flags & TILE_REMOVED) != 0;
        if (removed != (taken.count(i) == 1)) {
            return ::testing::AssertionFailure() << "tile " << i << " removed: " << removed;
        }
        if ((tiles[i].flags & TILE_SELECTED) != 0) {
            ++selected;
            if (removed) {
                return ::testing::AssertionFailure() << "tile " << i << " removed and selected";
            }
        }
    }
    if (selected > 1) {
        return ::testing::AssertionFailure() << selected << " tiles selected";
    }
    if (status_text != STATUS_CLICK_TILE && status_text != STATUS_CLICK_ANOTHER) {
        return ::testing::AssertionFailure() << "status " << status_text;
    }
    return ::testing::AssertionSuccess();
}

// One random event as the input layer would queue it: clicks on tiles and
// anywhere around the board, releases and moves, undo, redo, a new deal, the
// picture keys, and any other key code.
void push_random_event(std::mt19937& rng) {
    int roll = static_cast<int>(rng() % 1000);
    if (roll < 700) {
        const Tile& tile = tiles[rng() % TILE_COUNT];
        bool on_tile = roll < 450;
        int code = roll < 600 ? EV_MOUSE_DOWN : (roll < 650 ? EV_MOUSE_UP : EV_MOUSE_MOVE);
        event_push(code);
        event_push(on_tile ? tile.screen_x + static_cast<int>(rng() % 41)
                           : static_cast<int>(rng() % 700) - 30);
        event_push(on_tile ? tile.screen_y + static_cast<int>(rng() % 47)
                           : static_cast<int>(rng() % 460) - 30);
        return;
    }
    constexpr int keys[] = {KEY_LEFT, KEY_RIGHT, KEY_ENTER, KEY_F1, KEY_F2};
    constexpr int key_weights[] = {120, 120, 6, 1, 1}; // out of the remaining 300
    int rest = roll - 700;
    for (int k = 0; k < 5; ++k) {
        if (rest < key_weights[k]) {
            event_push(keys[k]);
            return;
        }
        rest -= key_weights[k];
    }
    event_push(static_cast<int>(rng() % 1024));
}

TEST_F(MainLoopTest, AMillionRandomEventsKeepTheBoardConsistent) {
    ScratchDir dir; // tile sets 0 and 1 and backgrounds 0 and 1; tiles2 too small
    mkdir("data", 0755);
    write_file("data/tiles0.pcx", face_tileset_pcx());
    write_file("data/tiles1.pcx", face_tileset_pcx(30));
    write_file("data/tiles2.pcx", pcx_8bit(40, 46, std::vector<uint8_t>(40 * 46, 1), {}));
    write_file("data/bg0.pcx", pcx_8bit(100, 100, std::vector<uint8_t>(100 * 100, 1), {{9, 9, 9}}));
    write_file("data/bg1.pcx", {10, 5, 1, 8});
    unsigned seed = std::random_device{}();
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    int most_taken = 0;
    for (int i = 0; i < 1000000; ++i) {
        push_random_event(rng);
        drain_events();
        if (i % 4096 == 0 && loop_state.redraw_pending) {
            draw_board();
            loop_state.redraw_pending = false;
        }
        apply_history_request();
        most_taken = std::max(most_taken, history_len);
        ASSERT_TRUE(board_is_consistent()) << "after event " << i << ", seed " << seed;
    }
    EXPECT_GE(most_taken, 8) << "random play took pairs";
    loop_state.quit_requested = false;
}

// A player's way through a deal without knowing its solution: take any free
// matching pair, and when stuck (no free pair matches), undo everything and
// try other choices. Returns whether the board was cleared.
bool play_by_picking_free_pairs(std::mt19937& rng, int tries) {
    for (int attempt = 0; attempt < tries; ++attempt) {
        for (;;) {
            std::vector<std::pair<int, int>> pairs;
            update_free_tiles();
            for (int a = 0; a < TILE_COUNT; ++a) {
                for (int b = a + 1; b < TILE_COUNT; ++b) {
                    bool free_a = (tiles[a].flags & (TILE_BLOCKED | TILE_REMOVED)) == 0;
                    bool free_b = (tiles[b].flags & (TILE_BLOCKED | TILE_REMOVED)) == 0;
                    if (free_a && free_b && faces_match(tiles[a].face, tiles[b].face) != 0) {
                        pairs.emplace_back(a, b);
                    }
                }
            }
            if (pairs.empty()) {
                break;
            }
            auto [a, b] = pairs[rng() % pairs.size()];
            int before = history_len;
            for (int index : {a, b}) {
                event_push(EV_MOUSE_DOWN);
                // Within 10 pixels of the centre: no other free tile's box reaches there.
                event_push(tiles[index].screen_x + 10 + static_cast<int>(rng() % 21));
                event_push(tiles[index].screen_y + 13 + static_cast<int>(rng() % 21));
                drain_events();
            }
            if (history_len != before + 2) {
                return false;
            }
        }
        if (history_len == TILE_COUNT) {
            return true;
        }
        while (history_len > 0) {
            event_push(KEY_LEFT);
            drain_events();
            apply_history_request();
        }
    }
    return false;
}

TEST_F(MainLoopTest, PlayersClearDealsByPickingFreeMatchingPairs) {
    unsigned seed = std::random_device{}();
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    std::srand(seed); // the deals, too, differ from run to run
    int cleared = 0;
    for (int deal = 0; deal < 100; ++deal) {
        event_push(KEY_ENTER);
        drain_events();
        cleared += play_by_picking_free_pairs(rng, 50) ? 1 : 0;
        ASSERT_TRUE(board_is_consistent());
    }
    // Random play clears a deal within 50 tries more than 99 times in 100.
    EXPECT_GE(cleared, 90);
}

TEST(StartUp, WithoutATileSetPrintsTheCodeAndExitsWithTwo) {
    ScratchDir empty;
    ChildResult child = run_program(empty.path(), {MAHJONG_BINARY}, {"SDL_VIDEODRIVER=dummy"});
    EXPECT_EQ(child.exit_status, 2);
    EXPECT_EQ(child.out, "Failed to load a tile set, code 1\n");
}

TEST(StartUp, ATileSetTooSmallForTheFacesIsRefused) {
    ScratchDir dir;
    mkdir("data", 0755);
    write_file("data/tiles0.pcx", pcx_8bit(375, 238, std::vector<uint8_t>(375 * 238, 1), {}));
    ChildResult child = run_program(dir.path(), {MAHJONG_BINARY}, {"SDL_VIDEODRIVER=dummy"});
    EXPECT_EQ(child.exit_status, 2);
    EXPECT_EQ(child.out, "Failed to load a tile set, code 12\n");
}

TEST(StartUp, TheGameCanBeStoppedFromOutside) {
    ScratchDir dir;
    mkdir("data", 0755);
    write_file("data/tiles0.pcx", face_tileset_pcx());
    ChildResult child = run_program(dir.path(), {MAHJONG_BINARY}, {"SDL_VIDEODRIVER=dummy"}, 500);
    EXPECT_EQ(child.end_signal, SIGTERM);
    EXPECT_EQ(child.out, "");
}

TEST(StartUp, AnUnknownVideoDriverEndsWithStatusOne) {
    ScratchDir dir;
    ChildResult child =
        run_program(dir.path(), {MAHJONG_BINARY}, {"SDL_VIDEODRIVER=no-such-driver"});
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_EQ(child.err.rfind("Couldn't initialize SDL: ", 0), 0u) << child.err;
}

} // namespace
