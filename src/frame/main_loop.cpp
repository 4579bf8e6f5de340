// Start-up, the main loop with its dispatch of event codes, and the way out.
#include "frame/main_loop.hpp"

#include "board/deal.hpp"
#include "board/moves.hpp"
#include "frame/services.hpp"
#include "image/pictures.hpp"
#include "platform/display.hpp"
#include "platform/input.hpp"
#include "render/board_view.hpp"
#include "render/draw.hpp"
#include "render/font.hpp"

#include <cstdio>
#include <cstdlib>

static_assert(CLICK_MOUSE_DOWN == EV_MOUSE_DOWN, "the board and the input layer agree on clicks");

LoopState loop_state;

void game_start() {
    background_index = -1;
    tileset_index = -1;
    seed_random();
    display_open(SCREEN_WIDTH, SCREEN_HEIGHT);
    std::atexit(display_close);
    game_prepare();
}

void game_prepare() {
    font_build();
    tileset_image.pixels = nullptr;
    int code = next_tileset();
    if (code != 0) {
        std::printf("Failed to load a tile set, code %d\n", code);
        std::exit(2);
    }
    mask_alloc();
    fill_rect(0, 0, display.width, display.height, BACKDROP_RED, BACKDROP_GREEN, BACKDROP_BLUE);
    status_text = STATUS_CLICK_TILE;
    loop_state = {
        .redraw_pending = true, .history_request = HistoryRequest::none, .quit_requested = false};
    save_screen(0);
    deal_board(layout_table);
}

void dispatch_event(int code) {
    if ((code & EV_MOUSE_BIT) != 0) {
        int x = event_pop();
        int y = event_pop();
        if (click_tile(code, x, y) != 0) {
            loop_state.redraw_pending = true;
        }
        return;
    }
    switch (code) {
    case KEY_ENTER:
        deal_board(layout_table);
        loop_state.redraw_pending = true;
        break;
    case KEY_LEFT:
        loop_state.history_request = HistoryRequest::undo;
        break;
    case KEY_RIGHT:
        loop_state.history_request = HistoryRequest::redo;
        break;
    case KEY_F1:
        next_tileset();
        loop_state.redraw_pending = true;
        break;
    case KEY_F2:
        next_background();
        loop_state.redraw_pending = true;
        break;
    case KEY_ESCAPE:
        loop_state.quit_requested = true;
        break;
    default:
        break;
    }
}

void drain_events() {
    for (;;) {
        input_poll();
        int code = event_pop();
        if (code < 0) {
            return;
        }
        dispatch_event(code);
    }
}

void apply_history_request() {
    bool stepped = false;
    if (loop_state.history_request == HistoryRequest::undo) {
        stepped = undo_move();
    } else if (loop_state.history_request == HistoryRequest::redo) {
        stepped = redo_move();
    }
    if (stepped) {
        loop_state.redraw_pending = true;
    }
    loop_state.history_request = HistoryRequest::none;
}

bool run_pass() {
    sleep_ms(1);
    drain_events();
    if (loop_state.redraw_pending) {
        draw_board();
        loop_state.redraw_pending = false;
        display_present();
    }
    apply_history_request();
    return !loop_state.quit_requested;
}

int run_game() {
    game_start();
    while (run_pass()) {
    }
    return 0;
}
