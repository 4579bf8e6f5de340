// Tests of start-up, the dispatch of event codes and the passes of the main loop.
#include "board/deal.hpp"
#include "board/moves.hpp"
#include "board/rules.hpp"
#include "frame/main_loop.hpp"
#include "image/pictures.hpp"
#include "platform/display.hpp"
#include "platform/input.hpp"
#include "render/board_view.hpp"
#include "support.hpp"

#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <vector>

namespace {

// A mark in a corner no tile, shadow or text reaches survives a pass only
// when that pass does not redraw.
constexpr uint16_t MARK = 0x1234;
void mark_screen() {
    *screen_pixel(639, 399) = MARK;
}
bool redrawn() {
    return *screen_pixel(639, 399) != MARK;
}

bool first_pass_drew; // whether the pass right after start-up drew

void push_all(const std::vector<int>& codes) {
    for (int code : codes) {
        event_push(code);
    }
}

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
        mark_screen();
        first_pass_drew = run_pass() && redrawn();
    }

    void SetUp() override {
        event_queue_clear();
        deal_board(layout_table);
        loop_state = {.redraw_pending = false,
                      .history_request = HistoryRequest::none,
                      .quit_requested = false};
    }
};

TEST_F(MainLoopTest, StartUpLoadsTileSetZeroAndTheFirstPassDraws) {
    EXPECT_TRUE(first_pass_drew);
    EXPECT_EQ(tileset_index, 0);
    EXPECT_EQ(background_index, -1);
}

TEST_F(MainLoopTest, APassDrawsAtMostOnceAndStepsTheHistoryAtMostOnce) {
    const int X = 64, Y = 33; // the middle of tile 0, which is free on every full board
    const int LEFT = KEY_LEFT, MOVE = EV_MOUSE_MOVE, UP = EV_MOUSE_UP;
    struct Pass {
        const char* what;
        int pairs, undone;      // taken before the pass, and then undone
        std::vector<int> codes; // queued for the pass
        bool ends, draws;       // the pass's result and whether it drew
        int history;            // history_len after this pass and the next
        bool next_draws;        // whether the next, empty pass draws
    };
    const Pass passes[] = {
        {"nothing", 0, 0, {}, false, false, 0, false},
        {"a click", 0, 0, {EV_MOUSE_DOWN, X, Y}, false, true, 0, false},
        {"a move and a release", 0, 0, {MOVE, X, Y, UP, X, Y}, false, false, 0, false},
        {"a move at (27, 13)", 0, 0, {MOVE, KEY_ESCAPE, KEY_ENTER}, false, false, 0, false},
        {"three undos", 2, 0, {LEFT, LEFT, LEFT}, false, false, 2, true},
        {"an undo then a redo", 2, 1, {LEFT, KEY_RIGHT}, false, false, 4, true},
        {"an undo of nothing", 0, 0, {LEFT}, false, false, 0, false},
        {"Escape then Enter", 1, 0, {KEY_ESCAPE, KEY_ENTER}, true, true, 0, false},
        {"ignored key codes", 0, 0, {0, 896, 525, 539, 402, 1}, false, false, 0, false},
    };
    for (const Pass& pass : passes) {
        SCOPED_TRACE(pass.what);
        SetUp();
        for (int k = 0; k < 2 * pass.pairs; ++k) { // the first pairs of the deal's own solution
            const Tile& tile = tiles[deal_solution[k]];
            click_tile(CLICK_MOUSE_DOWN, tile.screen_x + 20, tile.screen_y + 23);
        }
        for (int i = 0; i < pass.undone; ++i) {
            undo_move();
        }
        push_all(pass.codes);
        mark_screen();
        EXPECT_EQ(run_pass(), !pass.ends);
        EXPECT_EQ(redrawn(), pass.draws);
        mark_screen();
        run_pass();
        EXPECT_EQ(redrawn(), pass.next_draws);
        EXPECT_EQ(history_len, pass.history);
    }
}

TEST_F(MainLoopTest, FunctionKeysCycleThePicturesAndRedraw) {
    write_file("data/tiles1.pcx", face_tileset_pcx(30));
    // F1 loads tiles1, then wraps to tiles0 (there is no tiles2); F2 finds no background at all.
    const int steps[][3] = {{KEY_F1, 1, -1}, {KEY_F1, 0, -1}, {KEY_F2, 0, 0}};
    for (const auto& step : steps) {
        event_push(step[0]);
        mark_screen();
        run_pass();
        EXPECT_TRUE(redrawn());
        EXPECT_EQ(tileset_index, step[1]);
        EXPECT_EQ(background_index, step[2]);
    }
    std::remove("data/tiles1.pcx");
}

// The removed tiles are exactly those taken, one tile at most is selected,
// never a removed one, and the status is one of the two messages.
void expect_consistent_board() {
    ASSERT_TRUE(history_len % 2 == 0 && redo_count >= 0 &&
                history_len + 2 * redo_count <= TILE_COUNT);
    std::vector<int> taken(history, history + history_len), removed;
    std::sort(taken.begin(), taken.end());
    int selected = 0; // a removed tile that is selected counts twice
    for (int i = 0; i < TILE_COUNT; ++i) {
        bool gone = (tiles[i].flags & TILE_REMOVED) != 0;
        if (gone) {
            removed.push_back(i);
        }
        selected += (tiles[i].flags & TILE_SELECTED) == 0 ? 0 : gone ? 2 : 1;
    }
    ASSERT_EQ(taken, removed);
    ASSERT_LE(selected, 1);
    ASSERT_TRUE(status_text == STATUS_CLICK_TILE || status_text == STATUS_CLICK_ANOTHER);
}

// One random event as the input layer would queue it, out of 1000: 600 clicks
// (450 on tiles, the rest anywhere around the board), 50 releases, 50 moves,
// 120 undos, 120 redos, 6 new deals, one F1, one F2 and 52 other key codes.
void push_random_event(std::mt19937& rng) {
    auto pick = [&rng](int n) { return static_cast<int>(rng() % n); };
    constexpr int BOUNDS[] = {600, 650, 700, 820, 940, 946, 947, 948};
    constexpr int CODES[] = {EV_MOUSE_DOWN, EV_MOUSE_UP, EV_MOUSE_MOVE, KEY_LEFT,
                             KEY_RIGHT,     KEY_ENTER,   KEY_F1,        KEY_F2};
    int roll = pick(1000);
    int kind = static_cast<int>(std::upper_bound(BOUNDS, BOUNDS + 8, roll) - BOUNDS);
    event_push(kind < 8 ? CODES[kind] : pick(1024));
    const Tile& tile = tiles[pick(TILE_COUNT)];
    if (kind < 3) {
        event_push(roll < 450 ? tile.screen_x + pick(41) : pick(700) - 30);
        event_push(roll < 450 ? tile.screen_y + pick(47) : pick(460) - 30);
    }
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
        ASSERT_NO_FATAL_FAILURE(expect_consistent_board()) << "after event " << i;
    }
    EXPECT_GE(most_taken, 8) << "random play took pairs";
}

// The pairs of free tiles that match.
std::vector<std::pair<int, int>> free_pairs() {
    update_free_tiles();
    std::vector<std::pair<int, int>> pairs;
    for (int a = 0; a < TILE_COUNT; ++a) {
        for (int b = a + 1; b < TILE_COUNT; ++b) {
            if (((tiles[a].flags | tiles[b].flags) & (TILE_BLOCKED | TILE_REMOVED)) == 0 &&
                faces_match(tiles[a].face, tiles[b].face) != 0) {
                pairs.emplace_back(a, b);
            }
        }
    }
    return pairs;
}

// A player's way through a deal without knowing its solution: take any free
// matching pair, and when stuck, undo everything and try other choices.
TEST_F(MainLoopTest, PlayersClearDealsByPickingFreeMatchingPairs) {
    unsigned seed = std::random_device{}();
    std::printf("seed %u\n", seed);
    std::mt19937 rng(seed);
    std::srand(seed); // the deals, too, differ from run to run
    int cleared = 0;
    for (int deal = 0; deal < 100; ++deal) {
        event_push(KEY_ENTER);
        drain_events();
        for (int attempt = 0; attempt < 50 && history_len < TILE_COUNT; ++attempt) {
            for (int undo = 0; undo < TILE_COUNT / 2 && history_len > 0; ++undo) {
                event_push(KEY_LEFT);
                drain_events();
                apply_history_request();
            }
            for (auto pairs = free_pairs(); !pairs.empty(); pairs = free_pairs()) {
                auto [a, b] = pairs[rng() % pairs.size()];
                int before = history_len;
                for (int t : {a, b}) { // within 10 pixels of the middle: no other free box there
                    push_all({EV_MOUSE_DOWN, tiles[t].screen_x + 10 + static_cast<int>(rng() % 21),
                              tiles[t].screen_y + 13 + static_cast<int>(rng() % 21)});
                    drain_events();
                }
                ASSERT_EQ(history_len, before + 2) << "deal " << deal;
            }
        }
        cleared += history_len == TILE_COUNT ? 1 : 0;
        ASSERT_NO_FATAL_FAILURE(expect_consistent_board());
    }
    // Random play clears a deal within 50 tries more than 99 times in 100.
    EXPECT_GE(cleared, 90);
}

// Runs the game in a fresh directory with tiles0 as data/tiles0.pcx (none when empty).
ChildResult run_game_with(const std::vector<uint8_t>& tiles0,
                          const char* stop_once_opened = nullptr) {
    ScratchDir dir;
    if (!tiles0.empty()) {
        mkdir("data", 0755);
        write_file("data/tiles0.pcx", tiles0);
    }
    return run_program(dir.path(), {MAHJONG_BINARY}, {"SDL_VIDEODRIVER=dummy"}, stop_once_opened);
}

TEST(StartUp, WithoutATileSetPrintsTheCodeAndExitsWithTwo) {
    ChildResult child = run_game_with({});
    EXPECT_EQ(child.exit_status, 2);
    EXPECT_EQ(child.out, "Failed to load a tile set, code 1\n");
}

TEST(StartUp, ATileSetTooSmallForTheFacesIsRefused) {
    ChildResult child = run_game_with(pcx_8bit(375, 238, std::vector<uint8_t>(375 * 238, 1), {}));
    EXPECT_EQ(child.exit_status, 2);
    EXPECT_EQ(child.out, "Failed to load a tile set, code 12\n");
}

TEST(StartUp, TheGameCanBeStoppedFromOutside) {
    ChildResult child = run_game_with(face_tileset_pcx(), "data/tiles0.pcx");
    EXPECT_EQ(child.end_signal, SIGTERM);
    EXPECT_EQ(child.out, "");
}

} // namespace
