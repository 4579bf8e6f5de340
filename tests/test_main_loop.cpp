// Tests of start-up, the dispatch of event codes, the passes of the main loop and the services.
#include "board/deal.hpp"
#include "board/moves.hpp"
#include "frame/main_loop.hpp"
#include "frame/services.hpp"
#include "image/pictures.hpp"
#include "platform/display.hpp"
#include "platform/input.hpp"
#include "support.hpp"

#include <SDL.h>
#include <algorithm>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <vector>

static int presented; // frames shown, counted by the SDL_UpdateRect below

// Stands in front of SDL's own SDL_UpdateRect for the whole test program:
// counts each frame the game presents, then presents it through SDL.
extern "C" void SDL_UpdateRect(SDL_Surface* screen, Sint32 x, Sint32 y, Uint32 w, Uint32 h) {
    ++presented;
    using Update = void (*)(SDL_Surface*, Sint32, Sint32, Uint32, Uint32);
    static auto sdl_update = reinterpret_cast<Update>(dlsym(RTLD_NEXT, "SDL_UpdateRect"));
    sdl_update(screen, x, y, w, h);
}

namespace {

using Values = std::vector<int>;

// Runs one pass and adds to seen whether the loop goes on, whether the pass drew over a
// mark in a corner that no tile, shadow or text reaches, and how many frames it presented.
void run_marked_pass(Values& seen) {
    *screen_pixel(639, 399) = 0x1234;
    int shown = presented;
    bool goes_on = run_pass();
    seen.insert(seen.end(), {goes_on, *screen_pixel(639, 399) != 0x1234, presented - shown});
}

// Start-up as the game runs it, then the first pass; the state afterwards.
class MainLoop : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static ScratchDir data_dir; // the working directory until the program ends
        mkdir("data", 0755);
        write_file("data/tiles0.pcx", face_tileset_pcx());
        tileset_index = background_index = 7; // start-up begins at picture 0 of each kind
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        game_start();
        uint16_t backdrop = test_pixel(60, 84, 12);
        int plain_rows = 0;
        for (int y = 0; y < 400; ++y) {
            plain_rows += std::count(screen_pixel(0, y), screen_pixel(640, y), backdrop) == 640;
        }
        start_up = {plain_rows, tileset_index, background_index};
        run_marked_pass(start_up);
        start_up.push_back(*screen_pixel(639, 399) == backdrop);
    }
    static inline Values start_up;

    void SetUp() override {
        event_queue_clear();
        std::srand(1); // the same deal in every run
        deal_board(layout_table);
        loop_state = LoopState{}; // nothing to draw, no history step, no Escape
    }
};

TEST_F(MainLoop, StartUpLaysTheBackdropLoadsTileSetZeroAndTheFirstPassShowsTheDeal) {
    // 400 rows of backdrop; tile set 0, no background; the pass goes on, draws, presents once and
    // leaves the backdrop where nothing stands.
    EXPECT_EQ(start_up, (Values{400, 0, -1, 1, 1, 1, 1}));
}

TEST_F(MainLoop, APassDrawsAndPresentsAtMostOnceAndStepsTheHistoryAtMostOnce) {
    const int X = 64, Y = 33; // the middle of tile 0, which is free on every full board
    // Codes: 1024, 1027 and 1030 a mouse press, release and move, each with x and y;
    // 400 Left, 401 Right, 27 Escape, 13 Enter.
    struct Pass {
        const char* what;
        int pairs, undone; // taken before the pass, then undone
        Values codes;      // queued for the pass
        Values after;      // the pass, then the next one: goes on, draws, presents; history_len
    } const passes[] = {
        {"a click", 0, 0, {1024, X, Y}, {1, 1, 1, 1, 0, 0, 0}},
        {"a move and a release", 0, 0, {1030, X, Y, 1027, X, Y}, {1, 0, 0, 1, 0, 0, 0}},
        {"a move at (27, 13)", 0, 0, {1030, 27, 13}, {1, 0, 0, 1, 0, 0, 0}},
        {"three undos", 2, 0, {400, 400, 400}, {1, 0, 0, 1, 1, 1, 2}},
        {"an undo then a redo", 2, 1, {400, 401}, {1, 0, 0, 1, 1, 1, 4}},
        {"an undo of nothing", 0, 0, {400}, {1, 0, 0, 1, 0, 0, 0}},
        {"Escape then Enter", 1, 0, {27, 13}, {0, 1, 1, 0, 0, 0, 0}},
        {"ignored codes, Enter", 1, 0, {0, 896, 525, 402, 1, 13}, {1, 1, 1, 1, 0, 0, 0}},
    };
    for (const Pass& pass : passes) {
        SCOPED_TRACE(pass.what);
        SetUp();
        for (int k = 0; k < 2 * pass.pairs; ++k) { // the first pairs of the deal's own solution
            const Tile& tile = tiles[deal_solution[k]];
            click_tile(1024, tile.screen_x + 20, tile.screen_y + 23);
        }
        for (int i = 0; i < pass.undone; ++i) {
            undo_move();
        }
        for (int code : pass.codes) {
            event_push(code);
        }
        Values seen;
        run_marked_pass(seen);
        run_marked_pass(seen);
        seen.push_back(history_len);
        EXPECT_EQ(seen, pass.after);
    }
}

TEST_F(MainLoop, F1LoadsTheNextTileSetAndF2TheNextBackgroundAndBothRedraw) {
    write_file("data/tiles1.pcx", face_tileset_pcx(30));
    write_file("data/bg0.pcx", pcx_8bit(2, 2, {1, 1, 1, 1}, {{0, 0, 0}, {9, 9, 9}}));
    Values seen; // for each pass: goes on, draws, presents; tile set, background
    for (SDLKey key : {SDLK_F1, SDLK_F2}) { // pressed and released in the window
        for (Uint8 type : {SDL_KEYDOWN, SDL_KEYUP}) {
            SDL_Event event{};
            event.type = type;
            event.key.keysym.sym = key;
            ASSERT_EQ(SDL_PushEvent(&event), 0);
        }
        run_marked_pass(seen);
        seen.insert(seen.end(), {tileset_index, background_index});
    }
    EXPECT_EQ(seen, (Values{1, 1, 1, 1, -1, 1, 1, 1, 1, 0}));
}

TEST(Services, SeedRandomSeedsWithTheSumOfSecondsAndMicroseconds) {
    timeval before{}, after{};
    gettimeofday(&before, nullptr);
    seed_random();
    int first = std::rand();
    gettimeofday(&after, nullptr);
    bool found = false; // some time between the two readings gives the same first number
    for (int64_t t = before.tv_sec * 1000000LL + before.tv_usec;
         !found && t <= after.tv_sec * 1000000LL + after.tv_usec; ++t) {
        std::srand(static_cast<uint32_t>(t / 1000000) + static_cast<uint32_t>(t % 1000000));
        found = std::rand() == first;
    }
    EXPECT_TRUE(found);
}

} // namespace
