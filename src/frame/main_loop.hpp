// Start-up, the main loop with its dispatch of event codes, and the way out.
#pragma once

// A step in the move history asked for during a pass; the last request counts.
enum class HistoryRequest { none, undo, redo };

// The main loop's own state; lives for the whole run.
struct LoopState {
    bool redraw_pending;            // draw and present at the end of this pass
    HistoryRequest history_request; // taken at the end of the pass
    bool quit_requested;            // Escape was seen
};

extern LoopState loop_state;

constexpr int SCREEN_WIDTH = 640;
constexpr int SCREEN_HEIGHT = 400;
// The plain backdrop laid before any background picture is loaded.
constexpr int BACKDROP_RED = 60;
constexpr int BACKDROP_GREEN = 84;
constexpr int BACKDROP_BLUE = 12;

// Opens the display, then game_prepare.
void game_start();

// With the display open: builds the font, loads tile set 0 (or exits with
// status 2), allocates the mask, lays the backdrop as save buffer 0, resets the
// loop's state and deals the first game. Once per process.
void game_prepare();

// Acts on one event code taken from the queue (mouse codes take their x and y
// from the queue too).
void dispatch_event(int code);

// Polls and dispatches until the queue is empty right after a poll.
void drain_events();

// At most one undo or redo, as the pass's last request asked; a step taken
// sets redraw_pending, so it is drawn in the next pass.
void apply_history_request();

// One pass: sleep 1 ms, drain, redraw and present if needed, then at most one
// undo or redo. Returns false once Escape has been handled.
bool run_pass();

// The whole program: start-up, then passes until Escape. Returns the exit status.
int run_game();
