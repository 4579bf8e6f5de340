// Tests of start-up, the dispatch of event codes and the passes of the main loop.
#include "board/deal.hpp"
#include "board/moves.hpp"
#include "frame/main_loop.hpp"
#include "image/pictures.hpp"
#include "platform/display.hpp"
#include "platform/input.hpp"
#include "render/draw.hpp"
#include "support.hpp"

#include <cstring>
#include <gtest/gtest.h>
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

TEST(StartUp, AnUnknownVideoDriverEndsWithStatusOne) {
    ScratchDir dir;
    ChildResult child = run_program(dir.path(), {MAHJONG_BINARY}, {"SDL_VIDEODRIVER=no-such-driver"});
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_EQ(child.err.rfind("Couldn't initialize SDL: ", 0), 0u) << child.err;
}

} // namespace
